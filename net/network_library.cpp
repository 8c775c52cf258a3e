#include "net/network_library.h"

#include <curl/curl.h>

namespace net {

NetworkLibrary::NetworkLibrary() : ready_(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}

NetworkLibrary::~NetworkLibrary() {
    if (ready_) curl_global_cleanup();
}

}  // namespace net
