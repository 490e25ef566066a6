#include "carddav/dav.h"

namespace quorlan {

namespace {

bool feed(void* context, std::string_view bytes) {
    return feed_multistatus(*static_cast<MultistatusReader*>(context), bytes);
}

void collect(void* context, DavResponse& response) {
    static_cast<std::vector<DavResponse>*>(context)->push_back(std::move(response));
}

}  // namespace

DavAnswer dav_request(HttpClient& client, std::string_view method, const std::string& url, int depth,
                      std::string_view body, ResponseSink sink) {
    DavAnswer answer;
    MultistatusReader reader = make_multistatus_reader(sink);
    answer.http = send_request(client, method, url, depth, body, BodySink{feed, &reader});
    if (answer.http.failure == "stopped" || (answer.http.failure.empty() && answer.http.status == 207 &&
                                             !finish_multistatus(reader))) {
        answer.well_formed = false;
        answer.xml_error = multistatus_error(reader);
        answer.http.failure.clear();
    } else if (answer.http.status == 207 && !multistatus_seen(reader)) {
        answer.well_formed = false;
        answer.xml_error = "no multistatus in it";
    }
    answer.sync_token = multistatus_sync_token(reader);
    if (!answer.http.error_body.empty()) {
        MultistatusReader error = make_multistatus_reader(ResponseSink{});
        if (feed_multistatus(error, answer.http.error_body) && finish_multistatus(error)) {
            answer.refuses_token = multistatus_refuses_token(error);
        }
    }
    return answer;
}

DavAnswer dav_request(HttpClient& client, std::string_view method, const std::string& url, int depth,
                      std::string_view body, std::vector<DavResponse>& responses) {
    return dav_request(client, method, url, depth, body, ResponseSink{collect, &responses});
}

bool is_multistatus(const DavAnswer& answer) {
    return answer.http.failure.empty() && answer.http.status == 207 && answer.well_formed;
}

std::string answer_failure(const HttpClient& client, const DavAnswer& answer, std::string_view method) {
    const HttpAnswer& http = answer.http;
    if (!http.failure.empty()) return http.failure;
    if (!answer.well_formed) return "the answer from " + http.url + " is not a readable multistatus: " + answer.xml_error;
    const std::string code = std::to_string(http.status);
    switch (http.status) {
        case 401:
        case 403:
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
        case 404: return "no address book at " + http.url + " (404): check CARDDAV= in quorlan.ini";
        case 507: return "the server at " + http.url + " has no room to answer (507 Insufficient Storage)";
        default:
            if (http.status >= 300 && http.status < 400) {
                return "the server at " + http.url + " redirects too often (" + code + ")";
            }
            return "the server at " + http.url + " answered " + code + " to " + std::string(method);
    }
}

}  // namespace quorlan
