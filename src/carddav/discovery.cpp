#include "carddav/discovery.h"

#include <vector>

#include "carddav/dav.h"

namespace quorlan {

namespace {

constexpr std::string_view kPropfind =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<d:propfind xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:prop>"
    "<d:resourcetype/><d:displayname/><d:current-user-principal/><c:addressbook-home-set/>"
    "</d:prop></d:propfind>";

struct Book {
    std::string url;
    std::string name;  // its display name, else the last segment of its path
};

std::string last_segment(std::string_view url) {
    while (!url.empty() && url.back() == '/') url.remove_suffix(1);
    return std::string(url.substr(url.find_last_of('/') + 1));
}

// True for a URL without a path: only a server's root leads to the well-known address,
// so that a mistyped book is reported as missing rather than replaced by another.
bool names_a_server(std::string_view url) {
    const auto scheme = url.find("://");
    const auto path = url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
    return path == std::string_view::npos || url.substr(path) == "/";
}

// The one response about `url` itself in a Depth 0 answer.
bool ask_about(HttpClient& client, const std::string& url, DavResponse& about, DavAnswer& answer) {
    std::vector<DavResponse> responses;
    answer = dav_request(client, "PROPFIND", url, kDepthItself, kPropfind, responses);
    if (!is_multistatus(answer)) return false;
    for (DavResponse& response : responses) {
        if (response.status == kHttpOk) {
            about = std::move(response);
            return true;
        }
    }
    about = DavResponse{};
    return true;
}

std::string quoted_list(const std::vector<Book>& books) {
    std::string list;
    for (const Book& book : books) list += (list.empty() ? "\"" : ", \"") + book.name + "\"";
    return list;
}

bool choose_book(const std::vector<Book>& books, const CarddavSettings& settings, const std::string& where,
                 std::string& chosen, std::string& failure) {
    if (books.empty()) {
        failure = "no address book at " + where + ": check CARDDAV= in quorlan.ini";
        return false;
    }
    if (!settings.book.empty()) {
        for (const Book& book : books) {
            if (book.name == settings.book || last_segment(book.url) == settings.book) {
                chosen = book.url;
                return true;
            }
        }
        failure = "no address book named \"" + settings.book + "\" at " + where + "; the books there: " +
                  quoted_list(books);
        return false;
    }
    if (books.size() > 1) {
        failure = where + " holds several address books: " + quoted_list(books) +
                  "; name one in quorlan.ini with CARDDAV_BOOK=";
        return false;
    }
    chosen = books.front().url;
    return true;
}

// Asks about the URL of quorlan.ini; a server's root often says nothing, and then the
// well-known address leads to the user's books. `answer` is the one that was read.
bool ask_about_start(HttpClient& client, const CarddavSettings& settings, DavResponse& about, DavAnswer& answer,
                     std::string& failure) {
    if (ask_about(client, settings.url, about, answer)) return true;
    const bool refused = answer.http.status == kHttpUnauthorized || answer.http.status == kHttpForbidden;
    if (answer.http.failure.empty() && !refused && names_a_server(settings.url)) {
        DavAnswer second;
        if (ask_about(client, resolve_href(settings.url, "/.well-known/carddav"), about, second)) {
            answer = second;
            return true;
        }
    }
    failure = answer_failure(client, answer, "PROPFIND");
    return false;
}

// The home of the user's books, from what `about` (the answer about `where`) names: the
// home itself, or a principal that names it; else `where` itself.
bool find_home(HttpClient& client, const std::string& where, const DavResponse& about, std::string& home,
               std::string& failure) {
    home = about.home.empty() ? std::string() : resolve_href(where, about.home);
    if (home.empty() && !about.principal.empty()) {
        DavResponse of_principal;
        DavAnswer answer;
        if (!ask_about(client, resolve_href(where, about.principal), of_principal, answer)) {
            failure = answer_failure(client, answer, "PROPFIND");
            return false;
        }
        if (!of_principal.home.empty()) home = resolve_href(answer.http.url, of_principal.home);
    }
    if (home.empty()) home = where;  // the URL may name the home of the books itself
    return true;
}

// The address books among the members of `home`.
bool list_books(HttpClient& client, const std::string& home, std::vector<Book>& books, std::string& failure) {
    std::vector<DavResponse> members;
    const DavAnswer answer = dav_request(client, "PROPFIND", home, kDepthMembers, kPropfind, members);
    if (!is_multistatus(answer)) {
        failure = answer_failure(client, answer, "PROPFIND");
        return false;
    }
    for (const DavResponse& member : members) {
        if (member.status != kHttpOk || !member.is_addressbook) continue;
        const std::string url = resolve_href(answer.http.url, member.href);
        books.push_back(Book{url, member.display_name.empty() ? last_segment(url) : member.display_name});
    }
    return true;
}

}  // namespace

bool discover_address_book(HttpClient& client, const CarddavSettings& settings, std::string& book,
                           std::string& failure) {
    DavResponse about;
    DavAnswer answer;
    if (!ask_about_start(client, settings, about, answer, failure)) return false;
    const std::string where = answer.http.url;
    if (about.is_addressbook) {
        book = where;
        return true;
    }
    std::string home;
    std::vector<Book> books;
    if (!find_home(client, where, about, home, failure) || !list_books(client, home, books, failure)) return false;
    return choose_book(books, settings, where, book, failure);
}

}  // namespace quorlan
