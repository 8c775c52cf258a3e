#include "net/network_library.h"

#include <string>

#include <curl/curl.h>

namespace vexa::net {

NetworkLibrary::NetworkLibrary() {
    if (CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT); code != CURLE_OK) {
        status_ = vexa::Error(vexa::ErrorCode::kInternal,
                              std::string("cannot initialise libcurl: ") + curl_easy_strerror(code),
                              std::uint32_t(code));
    }
}

NetworkLibrary::~NetworkLibrary() {
    if (status_.ok()) curl_global_cleanup();
}

}  // namespace vexa::net
