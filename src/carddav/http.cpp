#include "carddav/http.h"

#include "carddav/curl_api.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace quorlan {

namespace {

constexpr std::size_t kMaxErrorBody = 64u << 10;
constexpr long kConnectSeconds = 30;

enum class Secret { None, Environment, Netrc };

// A URL as libcurl parses it, freed when it goes.
struct CurlUrl {
    CURLU* handle = curl().url();
    CurlUrl() = default;
    CurlUrl(const CurlUrl&) = delete;
    CurlUrl& operator=(const CurlUrl&) = delete;
    ~CurlUrl() { curl().url_cleanup(handle); }
};

// Sets `url` to `text`, resolved against what it held when `text` is relative.
bool set_url(CurlUrl& url, std::string_view text) {
    return curl().url_set(url.handle, CURLUPART_URL, std::string(text).c_str(), 0) == CURLUE_OK;
}

// One part of `url`, or nothing when libcurl gives none.
std::optional<std::string> url_part(const CurlUrl& url, CURLUPart part, unsigned int flags = 0) {
    char* text = nullptr;
    if (curl().url_get(url.handle, part, &text, flags) != CURLUE_OK) return std::nullopt;
    std::string result = text;
    curl().free(text);
    return result;
}

// The scheme, host and port of a URL: credentials go only where all three are those named.
std::string origin_of(const std::string& url) {
    CurlUrl parsed;
    std::string origin;
    if (!set_url(parsed, url)) return origin;
    for (const CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
        origin += url_part(parsed, part, CURLU_DEFAULT_PORT).value_or("");
        origin += '|';
    }
    return origin;
}

// `url` without a user name or password in it: libcurl writes the ones it sent into the
// URL of a redirect, and URLs end up in messages and the card folder's state file.
std::string without_userinfo(const char* url) {
    CurlUrl parsed;
    if (!set_url(parsed, url)) return url;
    curl().url_set(parsed.handle, CURLUPART_USER, nullptr, 0);
    curl().url_set(parsed.handle, CURLUPART_PASSWORD, nullptr, 0);
    return url_part(parsed, CURLUPART_URL).value_or(url);
}

}  // namespace

struct HttpSession {
    CURL* curl = nullptr;
    std::string user;
    std::string password;
    Secret secret = Secret::None;
    std::string origin;
    long timeout = 120;
    char error_text[CURL_ERROR_SIZE] = {};

    ~HttpSession() {
        if (curl != nullptr) quorlan::curl().easy_cleanup(curl);
    }
};

HttpClient::HttpClient() = default;
HttpClient::~HttpClient() = default;
HttpClient::HttpClient(HttpClient&&) noexcept = default;
HttpClient& HttpClient::operator=(HttpClient&&) noexcept = default;

namespace {

bool read_secret(HttpSession& s, const CarddavSettings& settings, std::string& failure) {
    const std::string& from = settings.password_from;
    if (from.empty()) {
        if (settings.user.empty()) return true;
        failure = "CARDDAV_USER= needs CARDDAV_PASSWORD_FROM=env:VARIABLE or CARDDAV_PASSWORD_FROM=netrc in "
                  "quorlan.ini: the password itself never stands there";
        return false;
    }
    if (from == "netrc") {
        s.secret = Secret::Netrc;
        return true;
    }
    if (from.starts_with("env:") && from.size() > 4) {
        const char* value = std::getenv(from.c_str() + 4);
        if (value == nullptr || *value == '\0') {
            failure = "the password variable " + from.substr(4) + " (CARDDAV_PASSWORD_FROM=) is not set";
            return false;
        }
        s.secret = Secret::Environment;
        s.password = value;
        return true;
    }
    failure = "CARDDAV_PASSWORD_FROM= takes env:VARIABLE or netrc: the password itself never stands in quorlan.ini";
    return false;
}

// Credentials for this request's URL: only at the origin named in quorlan.ini.
void set_credentials(HttpSession& s, bool allowed) {
    curl().easy_setopt(s.curl, CURLOPT_USERNAME, allowed && !s.user.empty() ? s.user.c_str() : nullptr);
    curl().easy_setopt(s.curl, CURLOPT_PASSWORD, allowed && s.secret == Secret::Environment ? s.password.c_str() : nullptr);
    curl().easy_setopt(s.curl, CURLOPT_NETRC,
                     static_cast<long>(allowed && s.secret == Secret::Netrc ? CURL_NETRC_REQUIRED : CURL_NETRC_IGNORED));
}

struct Transfer {
    HttpSession* session;
    BodySink sink;
    std::size_t received = 0;
    bool too_big = false;
    bool sink_stopped = false;
    std::string error_body;
};

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    long code = 0;
    curl().easy_getinfo(t.session->curl, CURLINFO_RESPONSE_CODE, &code);
    if (code < 200 || code > 299) {
        if (t.error_body.size() < kMaxErrorBody) t.error_body.append(data, std::min(bytes, kMaxErrorBody));
        return bytes;
    }
    // Counted here, whatever Content-Length claimed.
    t.received += bytes;
    if (t.received > kMaxAnswerBytes) {
        t.too_big = true;
        return 0;
    }
    if (t.sink && !t.sink(std::string_view(data, bytes))) {
        t.sink_stopped = true;
        return 0;
    }
    return bytes;
}

std::string describe_failure(CURLcode code, const HttpSession& s, const std::string& url) {
    const std::string reason = s.error_text[0] != '\0' ? s.error_text : curl().easy_strerror(code);
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return "the server at " + url + " stopped answering for " + std::to_string(s.timeout) +
                   " s (CARDDAV_TIMEOUT= sets how long to wait): " + reason;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT: return "cannot reach " + url + ": " + reason;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return "TLS failure at " + url + ": " + reason +
                   " (for a server with its own certificate, add CARDDAV_CA=file or CARDDAV_PIN=sha256//key to "
                   "quorlan.ini)";
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING: return "the answer from " + url + " was cut short: " + reason;
        default: return "the request to " + url + " failed: " + reason;
    }
}

bool is_redirect(long code) { return code == 301 || code == 302 || code == 303 || code == 307 || code == 308; }
bool is_busy(long code) { return code == 502 || code == 503 || code == 504; }

// Seconds to wait before trying a busy server again: its Retry-After when it gives a number,
// else a short doubling pause. Negative when it asks for longer than we wait.
long retry_pause(CURL* handle, int attempt) {
    curl_header* header = nullptr;
    if (curl().easy_header(handle, "Retry-After", 0, CURLH_HEADER, -1, &header) == CURLHE_OK) {
        char* end = nullptr;
        const long seconds = std::strtol(header->value, &end, 10);
        if (end != header->value && seconds >= 0) return seconds <= kMaxRetryAfterSeconds ? seconds : -1;
    }
    return 1L << attempt;
}

// The headers of every request: an XML body, no wait for "100 Continue", the depth when
// one is given.
curl_slist* request_headers(int depth) {
    curl_slist* headers = curl().slist_append(nullptr, "Content-Type: application/xml; charset=utf-8");
    headers = curl().slist_append(headers, "Expect:");
    if (depth >= 0) headers = curl().slist_append(headers, ("Depth: " + std::to_string(depth)).c_str());
    return headers;
}

// One attempt at the request to `answer.url`: its status and the start of an error body
// go to `answer`, the body of a 2xx answer to the transfer's sink.
CURLcode perform_once(HttpSession& s, const std::string& verb, curl_slist* headers, std::string_view body,
                      Transfer& transfer, HttpAnswer& answer) {
    CURL* c = s.curl;
    s.error_text[0] = '\0';
    curl().easy_setopt(c, CURLOPT_URL, answer.url.c_str());
    curl().easy_setopt(c, CURLOPT_CUSTOMREQUEST, verb.c_str());
    curl().easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl().easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl().easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl().easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
    curl().easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    answer.credentials_sent = origin_of(answer.url) == s.origin;
    set_credentials(s, answer.credentials_sent);
    const CURLcode code = curl().easy_perform(c);
    long status = 0;
    curl().easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    answer.status = static_cast<int>(status);
    answer.error_body = std::move(transfer.error_body);
    return code;
}

struct Attempts {
    int redirects = 0;
    int retries = 0;
};

// After an attempt: true when the request goes again, to where a redirect leads or to a
// busy server after a pause; false when `answer` is final, with `failure` set if it failed.
bool goes_again(HttpSession& s, CURLcode code, const Transfer& transfer, HttpAnswer& answer, Attempts& attempts) {
    if (transfer.too_big) {
        answer.failure = "the answer from " + answer.url + " is over " + std::to_string(kMaxAnswerBytes >> 20) +
                         " MiB, more than any address book needs";
    } else if (transfer.sink_stopped) {
        answer.sink_stopped = true;
    } else if (code != CURLE_OK) {
        answer.failure = describe_failure(code, s, answer.url);
    } else if (is_redirect(answer.status) && attempts.redirects < kMaxRedirects) {
        char* next = nullptr;
        if (curl().easy_getinfo(s.curl, CURLINFO_REDIRECT_URL, &next) == CURLE_OK && next != nullptr) {
            answer.url = without_userinfo(next);
            ++attempts.redirects;
            return true;
        }
    } else if (is_busy(answer.status) && attempts.retries < kMaxRetries) {
        const long pause = retry_pause(s.curl, attempts.retries);
        if (pause >= 0) {
            std::this_thread::sleep_for(std::chrono::seconds(pause));
            ++attempts.retries;
            return true;
        }
    }
    return false;
}

}  // namespace

bool make_http_client(HttpClient& client, const CarddavSettings& settings, std::string& failure) {
    client.session = std::make_unique<HttpSession>();
    HttpSession& s = *client.session;
    if (load_curl(failure) == nullptr) return false;
    if ((s.curl = curl().easy_init()) == nullptr) {
        failure = "libcurl could not be set up";
        return false;
    }
    if (!read_secret(s, settings, failure)) return false;
    s.user = settings.user;
    s.origin = origin_of(settings.url);
    s.timeout = settings.timeout;
    CURL* c = s.curl;
    curl().easy_setopt(c, CURLOPT_ERRORBUFFER, s.error_text);
    curl().easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl().easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl().easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    curl().easy_setopt(c, CURLOPT_USERAGENT, "quorlan");
    curl().easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl().easy_setopt(c, CURLOPT_CONNECTTIMEOUT, std::min(kConnectSeconds, s.timeout));
    // An idle bound, not a total one: a server may take long to build a big answer, but
    // one that sends nothing for this long has stopped.
    curl().easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl().easy_setopt(c, CURLOPT_LOW_SPEED_TIME, s.timeout);
    if (!settings.ca_file.empty()) curl().easy_setopt(c, CURLOPT_CAINFO, settings.ca_file.c_str());
    if (!settings.pinned_key.empty()) curl().easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, settings.pinned_key.c_str());
    return true;
}

HttpAnswer send_request(HttpClient& client, std::string_view method, const std::string& url, int depth,
                        std::string_view body, BodySink sink) {
    HttpSession& s = *client.session;
    HttpAnswer answer;
    answer.url = url;
    const std::string verb(method);
    curl_slist* headers = request_headers(depth);
    Attempts attempts;
    for (;;) {
        Transfer transfer{&s, sink, 0, false, false, {}};
        const CURLcode code = perform_once(s, verb, headers, body, transfer, answer);
        if (!goes_again(s, code, transfer, answer, attempts)) break;
    }
    curl().slist_free_all(headers);
    return answer;
}

std::string resolve_href(std::string_view base, std::string_view href) {
    CurlUrl parsed;
    if (!set_url(parsed, base) || !set_url(parsed, href)) return std::string(href);
    return url_part(parsed, CURLUPART_URL).value_or(std::string(href));
}

std::string login_name(const HttpClient& client) {
    const HttpSession& s = *client.session;
    if (!s.user.empty()) return s.user;
    return s.secret == Secret::Netrc ? std::string("(from .netrc)") : std::string();
}

}  // namespace quorlan
