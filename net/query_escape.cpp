#include "net/query_escape.h"

#include <climits>
#include <memory>
#include <new>

#include <curl/curl.h>

namespace vexa::net {

std::string EscapeQueryValue(std::string_view value) {
    if (value.empty()) return {};
    if (value.size() > std::size_t(INT_MAX)) throw std::bad_alloc();
    // Since libcurl 7.82 the handle argument is ignored.
    std::unique_ptr<char, decltype(&curl_free)> escaped(
        curl_easy_escape(nullptr, value.data(), int(value.size())), curl_free);
    if (!escaped) throw std::bad_alloc();  // libcurl fails only when memory runs out
    return escaped.get();
}

}  // namespace vexa::net
