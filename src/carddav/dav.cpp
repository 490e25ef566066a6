#include "carddav/dav.h"

namespace quorlan {

DavAnswer dav_request(HttpClient& client, std::string_view method, const std::string& url, int depth,
                      std::string_view body, ResponseSink sink) {
    DavAnswer answer;
    MultistatusReader reader = make_multistatus_reader(sink);
    auto feed = [&reader](std::string_view bytes) { return feed_multistatus(reader, bytes); };
    answer.http = send_request(client, method, url, depth, body, feed);
    if (answer.http.sink_stopped || (answer.http.failure.empty() && answer.http.status == kHttpMultiStatus &&
                                     !finish_multistatus(reader))) {
        answer.well_formed = false;
        answer.xml_error = multistatus_error(reader);
    } else if (answer.http.status == kHttpMultiStatus && !multistatus_seen(reader)) {
        answer.well_formed = false;
        answer.xml_error = "no multistatus in it";
    }
    answer.sync_token = multistatus_sync_token(reader);
    if (!answer.http.error_body.empty()) {
        MultistatusReader error = make_multistatus_reader(ResponseSink{});  // only the DAV error it names
        if (feed_multistatus(error, answer.http.error_body) && finish_multistatus(error)) {
            answer.refuses_token = multistatus_refuses_token(error);
        }
    }
    return answer;
}

DavAnswer dav_request(HttpClient& client, std::string_view method, const std::string& url, int depth,
                      std::string_view body, std::vector<DavResponse>& responses) {
    auto collect = [&responses](DavResponse& response) { responses.push_back(std::move(response)); };
    return dav_request(client, method, url, depth, body, collect);
}

bool is_multistatus(const DavAnswer& answer) {
    return answer.http.failure.empty() && answer.http.status == kHttpMultiStatus && answer.well_formed;
}

std::string answer_failure(const HttpClient& client, const DavAnswer& answer, std::string_view method) {
    const HttpAnswer& http = answer.http;
    if (!http.failure.empty()) return http.failure;
    if (!answer.well_formed) return "the answer from " + http.url + " is not a readable multistatus: " + answer.xml_error;
    const std::string code = std::to_string(http.status);
    switch (http.status) {
        case kHttpUnauthorized:
        case kHttpForbidden:
            if (!http.credentials_sent) {
                return "the server redirected to " + http.url + ", which asks for a login (" + code +
                       "): the credentials of quorlan.ini go to no other server than the one CARDDAV= names";
            }
            if (login_name(client).empty()) {
                return "the server at " + http.url + " asks for a login (" + code +
                       "): add CARDDAV_USER= and CARDDAV_PASSWORD_FROM= to quorlan.ini";
            }
            return "the server at " + http.url + " refused the login of user '" + login_name(client) + "' (" + code +
                   "): check CARDDAV_USER= and the password";
        case kHttpNotFound: return "no address book at " + http.url + " (404): check CARDDAV= in quorlan.ini";
        case kHttpInsufficientStorage: return "the server at " + http.url + " has no room to answer (507 Insufficient Storage)";
        default:
            if (http.status >= 300 && http.status < 400) {
                return "the server at " + http.url + " redirects too often (" + code + ")";
            }
            return "the server at " + http.url + " answered " + code + " to " + std::string(method);
    }
}

}  // namespace quorlan
