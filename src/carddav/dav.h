// One WebDAV request whose multistatus answer is read as it arrives, and the one line
// that says why an answer is not what was asked for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "carddav/http.h"
#include "carddav/multistatus.h"

namespace quorlan {

struct DavAnswer {
    HttpAnswer http;
    bool well_formed = true;  // a 207 answer read to its end without fault
    std::string xml_error;
    std::string sync_token;
    bool refuses_token = false;  // a DAV error naming valid-sync-token
};

// Sends the request; each response of a 207 answer goes to `sink` as it is read.
DavAnswer dav_request(HttpClient& client, std::string_view method, const std::string& url, int depth,
                      std::string_view body, ResponseSink sink);

// The same, collecting the responses.
DavAnswer dav_request(HttpClient& client, std::string_view method, const std::string& url, int depth,
                      std::string_view body, std::vector<DavResponse>& responses);

// True when the answer is a whole, well-formed multistatus.
bool is_multistatus(const DavAnswer& answer);

// One line on what went wrong with a request that did not give a multistatus.
std::string answer_failure(const HttpClient& client, const DavAnswer& answer, std::string_view method);

}  // namespace quorlan
