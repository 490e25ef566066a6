// The requests of a CardDAV client through libcurl: one connection kept for the whole run,
// answers streamed to whoever reads them, redirects followed here so that credentials
// never go to another origin, busy answers tried again within bounds.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "carddav/http_status.h"
#include "config/carddav_settings.h"
#include "text/function_ref.h"

namespace quorlan {

// No answer of a CardDAV server needs more: a multiget of 100 cards with photos stays far below.
inline constexpr std::size_t kMaxAnswerBytes = 64u << 20;
inline constexpr int kMaxRedirects = 5;
inline constexpr int kMaxRetries = 3;
inline constexpr long kMaxRetryAfterSeconds = 30;

struct HttpSession;

struct HttpClient {
    std::unique_ptr<HttpSession> session;
    HttpClient();
    ~HttpClient();
    HttpClient(HttpClient&&) noexcept;
    HttpClient& operator=(HttpClient&&) noexcept;
};

// Receives the body of a successful answer (2xx) as it arrives; false stops the transfer.
using BodySink = FunctionRef<bool(std::string_view bytes)>;

struct HttpAnswer {
    int status = 0;              // 0 when no answer came
    std::string url;             // where the answer came from, redirects followed
    bool credentials_sent = true;  // false after a redirect to another origin
    std::string failure;         // one line when the request failed before a whole answer
    bool sink_stopped = false;   // the sink refused the body, which then ended unread
    std::string error_body;      // the start of the body of an answer that is not 2xx
};

// Sets up the client for `settings`; false with `failure` set when it can't (no password
// in the named variable, libcurl refusing an option).
bool make_http_client(HttpClient& client, const CarddavSettings& settings, std::string& failure);

// The depth of a WebDAV request: the resource itself, or it and its members.
inline constexpr int kDepthItself = 0;
inline constexpr int kDepthMembers = 1;

// Sends `method` with `body` (XML, may be empty) to `url` with the header "Depth: depth"
// (none when depth is negative). The body of a 2xx answer goes to `sink`.
HttpAnswer send_request(HttpClient& client, std::string_view method, const std::string& url, int depth,
                        std::string_view body, BodySink sink);

// `href` (an absolute path or URL from an answer) made a whole URL against `base`.
std::string resolve_href(std::string_view base, std::string_view href);

// The user name as messages give it: never the password.
std::string login_name(const HttpClient& client);

}  // namespace quorlan
