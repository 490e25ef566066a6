#include "carddav/curl_api.h"

#include <dlfcn.h>

namespace quorlan {

namespace {

// Debian's libcurl4 (OpenSSL), the library the headers came from.
constexpr const char* kLibrary = "libcurl.so.4";

CurlApi g_api{};

template <typename Function>
bool find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

bool load(CurlApi& api, std::string& failure) {
    void* library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        failure = std::string("CARDDAV= needs libcurl (Debian's package libcurl4): ") + (why != nullptr ? why : kLibrary);
        return false;
    }
    const bool found = find(library, "curl_global_init", api.global_init) && find(library, "curl_easy_init", api.easy_init) &&
                       find(library, "curl_easy_setopt", api.easy_setopt) &&
                       find(library, "curl_easy_perform", api.easy_perform) &&
                       find(library, "curl_easy_getinfo", api.easy_getinfo) &&
                       find(library, "curl_easy_cleanup", api.easy_cleanup) &&
                       find(library, "curl_easy_strerror", api.easy_strerror) &&
                       find(library, "curl_easy_header", api.easy_header) &&
                       find(library, "curl_slist_append", api.slist_append) &&
                       find(library, "curl_slist_free_all", api.slist_free_all) && find(library, "curl_url", api.url) &&
                       find(library, "curl_url_set", api.url_set) && find(library, "curl_url_get", api.url_get) &&
                       find(library, "curl_url_cleanup", api.url_cleanup) && find(library, "curl_free", api.free);
    if (!found) {
        failure = std::string("the libcurl found (") + kLibrary + ") is older than 7.84, which CARDDAV= needs";
        return false;
    }
    if (api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        failure = "libcurl could not be set up";
        return false;
    }
    return true;
}

}  // namespace

const CurlApi* load_curl(std::string& failure) {
    static std::string load_failure;
    static const bool loaded = load(g_api, load_failure);
    failure = load_failure;
    return loaded ? &g_api : nullptr;
}

const CurlApi& curl() { return g_api; }

}  // namespace quorlan
