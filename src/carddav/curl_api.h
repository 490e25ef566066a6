// libcurl, loaded when a run first needs it. Linked in, its thirty libraries (TLS,
// Kerberos, LDAP, SSH...) were loaded by every run, which more than doubled the start of a
// conversion that never touches the network; loaded here, only a CardDAV run pays for them.
#pragma once

#include <curl/curl.h>

#include <string>

namespace quorlan {

struct CurlApi {
    CURLcode (*global_init)(long flags);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...);
    CURLcode (*easy_perform)(CURL* handle);
    CURLcode (*easy_getinfo)(CURL* handle, CURLINFO info, ...);
    void (*easy_cleanup)(CURL* handle);
    const char* (*easy_strerror)(CURLcode code);
    CURLHcode (*easy_header)(CURL* handle, const char* name, size_t index, unsigned int origin, int request,
                             struct curl_header** header);
    curl_slist* (*slist_append)(curl_slist* list, const char* text);
    void (*slist_free_all)(curl_slist* list);
    CURLU* (*url)();
    CURLUcode (*url_set)(CURLU* handle, CURLUPart part, const char* text, unsigned int flags);
    CURLUcode (*url_get)(const CURLU* handle, CURLUPart part, char** text, unsigned int flags);
    void (*url_cleanup)(CURLU* handle);
    void (*free)(void* pointer);
};

// The library's functions, loaded and initialised once; null with `failure` set when
// libcurl can't be loaded.
const CurlApi* load_curl(std::string& failure);

// The functions once load_curl succeeded.
const CurlApi& curl();

}  // namespace quorlan
