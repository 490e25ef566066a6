#include <map>
#include <string>
#include <vector>

#include "carddav/card_folder.h"
#include "carddav/carddav.h"
#include "carddav/dav.h"
#include "carddav/discovery.h"

namespace quorlan {

namespace {

constexpr std::size_t kCardsPerMultiget = 100;
// A server that truncates its changes (507) is asked again from the token it gave; this
// many rounds is far beyond any real book and ends a server that never finishes.
constexpr int kMaxSyncRounds = 1000;

struct Listed {
    std::string href;
    std::string etag;
};

struct Listing {
    std::map<std::string, Listed> members;  // by href_key: new or changed, or every member of a full listing
    std::vector<std::string> removed;
    bool full = false;  // every member was listed: those not listed are gone
    std::string token;
    bool truncated = false;
    int failed_status = 0;  // the HTTP status of the answer that failed
};

std::string xml_escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string trimmed_key(std::string_view href) {
    std::string key = href_key(href);
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

// Takes the responses of a listing of the book `book_key` into `listing`.
struct TakeListed {
    Listing& listing;
    std::string book_key;

    void operator()(DavResponse& response) {
        const std::string key = trimmed_key(response.href);
        if (key == book_key || response.href.ends_with('/')) {
            // The collection's own entry: 507 on it says the changes were cut short.
            if (key == book_key && response.status == kHttpInsufficientStorage) listing.truncated = true;
            return;
        }
        if (response.status == kHttpNotFound) {
            listing.removed.push_back(href_key(response.href));
        } else if (response.status == kHttpOk) {
            listing.members[href_key(response.href)] = Listed{response.href, response.etag};
        }
    }
};

enum class Outcome { Listed, TokenRefused, NoSync, Failed };

bool is_token_refusal(const DavAnswer& answer) {
    const int s = answer.http.status;
    return answer.refuses_token || s == 400 || s == 409 || s == 410 || s == 412 || s == 500;
}

bool is_sync_unknown(const DavAnswer& answer) {
    const int s = answer.http.status;
    return s == 400 || s == 405 || s == 415 || s == 422 || s == 501 || (s == kHttpForbidden && !answer.http.error_body.empty() &&
                                                                        !answer.refuses_token &&
                                                                        answer.http.error_body.find("supported-report") !=
                                                                            std::string::npos);
}

Outcome list_by_sync(HttpClient& client, const std::string& book, std::string token, Listing& listing,
                     std::string& failure) {
    listing.full = token.empty();
    TakeListed take{listing, trimmed_key(book)};
    for (int round = 0; round < kMaxSyncRounds; ++round) {
        listing.truncated = false;
        const std::string body =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:sync-collection xmlns:d=\"DAV:\"><d:sync-token>" +
            xml_escaped(token) + "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop>"
                                 "</d:sync-collection>";
        const DavAnswer answer = dav_request(client, "REPORT", book, kDepthItself, body, take);
        if (!is_multistatus(answer)) {
            if (answer.http.failure.empty() && answer.well_formed) {
                if (!token.empty() && round == 0 && is_token_refusal(answer)) return Outcome::TokenRefused;
                if (token.empty() && is_sync_unknown(answer)) return Outcome::NoSync;
            }
            failure = answer_failure(client, answer, "REPORT");
            listing.failed_status = answer.http.status;
            return Outcome::Failed;
        }
        listing.token = answer.sync_token;
        if (!listing.truncated || answer.sync_token.empty() || answer.sync_token == token) return Outcome::Listed;
        token = answer.sync_token;
    }
    failure = "the server at " + book + " kept cutting its list of changes short";
    return Outcome::Failed;
}

bool list_by_propfind(HttpClient& client, const std::string& book, Listing& listing, std::string& failure) {
    listing = Listing{};
    listing.full = true;
    TakeListed take{listing, trimmed_key(book)};
    const DavAnswer answer =
        dav_request(client, "PROPFIND", book, kDepthMembers,
                    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/>"
                    "<d:resourcetype/></d:prop></d:propfind>",
                    take);
    if (!is_multistatus(answer)) {
        failure = answer_failure(client, answer, "PROPFIND");
        listing.failed_status = answer.http.status;
        return false;
    }
    return true;
}

// The members to fetch: those whose ETag differs from the kept one. A full listing also
// makes every kept card it lacks a removed one.
std::vector<const Listed*> cards_to_fetch(Listing& listing, const FolderState& state) {
    std::vector<const Listed*> fetch;
    for (const auto& [key, listed] : listing.members) {
        const auto kept = state.cards.find(key);
        if (kept == state.cards.end() || listed.etag.empty() || kept->second.etag != listed.etag) {
            fetch.push_back(&listed);
        }
    }
    if (listing.full) {
        for (const auto& [key, card] : state.cards) {
            if (listing.members.count(key) == 0) listing.removed.push_back(key);
        }
    }
    return fetch;
}

// Keeps the cards of multiget answers that were asked for, in temporary files.
struct TakeCard {
    const FolderState& state;
    FolderChanges& changes;
    FetchProgress progress;
    std::size_t total = 0;
    const std::map<std::string, const Listed*>* asked = nullptr;  // by the multiget being read
    std::size_t arrived = 0;
    std::string failure;

    void operator()(DavResponse& response) {
        const std::string key = href_key(response.href);
        const auto found = asked->find(key);
        if (found == asked->end() || !failure.empty()) return;
        if (response.status == kHttpNotFound) {
            changes.removed.push_back(key);  // gone between the listing and the fetch
            return;
        }
        if (response.status != kHttpOk || response.address_data.empty()) return;
        const Listed& listed = *found->second;
        KeptCard card{listed.href, response.etag.empty() ? listed.etag : response.etag, {}};
        const auto kept = state.cards.find(key);
        card.file = kept != state.cards.end() ? kept->second.file : card_file_name(card.href, changes);
        if (!keep_arrived_card(changes, key, std::move(card), response.address_data, failure)) return;
        ++arrived;
        if (progress) progress(arrived, total);
    }
};

// The body of a multiget of the cards fetch[first] on, at most kCardsPerMultiget; `asked`
// gets them by href_key.
std::string multiget_body(const std::vector<const Listed*>& fetch, std::size_t first,
                          std::map<std::string, const Listed*>& asked) {
    std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<c:addressbook-multiget xmlns:d=\"DAV:\" "
        "xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:prop><d:getetag/><c:address-data/></d:prop>";
    for (std::size_t i = first; i < fetch.size() && i < first + kCardsPerMultiget; ++i) {
        body += "<d:href>" + xml_escaped(fetch[i]->href) + "</d:href>";
        asked[href_key(fetch[i]->href)] = fetch[i];
    }
    body += "</c:addressbook-multiget>";
    return body;
}

bool fetch_cards(HttpClient& client, const std::string& book, const std::vector<const Listed*>& fetch,
                 const FolderState& state, FolderChanges& changes, FetchProgress progress, std::string& failure) {
    TakeCard take{state, changes, progress, fetch.size(), nullptr, 0, {}};
    for (std::size_t first = 0; first < fetch.size(); first += kCardsPerMultiget) {
        std::map<std::string, const Listed*> asked;
        const std::string body = multiget_body(fetch, first, asked);
        take.asked = &asked;
        const DavAnswer answer = dav_request(client, "REPORT", book, kDepthMembers, body, take);
        if (!take.failure.empty()) {
            failure = take.failure;
            return false;
        }
        if (!is_multistatus(answer)) {
            failure = answer_failure(client, answer, "REPORT");
            return false;
        }
    }
    return true;
}

// Lists what changed since the token of `state`: by sync-collection, again from nothing
// when the token is refused, by PROPFIND where the server has no sync.
bool list_changes(HttpClient& client, const std::string& book, const FolderState& state, Listing& listing,
                  std::string& failure) {
    Outcome outcome = list_by_sync(client, book, state.token, listing, failure);
    if (outcome == Outcome::TokenRefused) {
        listing = Listing{};
        outcome = list_by_sync(client, book, "", listing, failure);
    }
    if (outcome == Outcome::NoSync) return list_by_propfind(client, book, listing, failure);
    return outcome == Outcome::Listed;
}

// Lists the changes of the book the folder was filled from; when the folder knows none,
// was filled by other settings, or the book moved (404), of the book found from CARDDAV=.
bool list_book_changes(HttpClient& client, const CarddavSettings& settings, FolderState& state, Listing& listing,
                       std::string& failure) {
    if (state.url != settings.url || state.chosen != settings.book) {
        // Another book (or none) filled the folder: all of it is listed and fetched anew.
        state.book.clear();
        state.token.clear();
    }
    if (!state.book.empty()) {
        if (list_changes(client, state.book, state, listing, failure)) return true;
        if (listing.failed_status != kHttpNotFound) return false;
        // The book moved: it is looked for again from CARDDAV=.
        state.book.clear();
        state.token.clear();
        listing = Listing{};
    }
    return discover_address_book(client, settings, state.book, failure) &&
           list_changes(client, state.book, state, listing, failure);
}

// Puts the fetched cards and the removals in place, with the state of this run; the
// folder is left as it was when the book would end up empty or a step fails.
bool put_in_place(const CarddavSettings& settings, Listing& listing, FolderChanges& changes, FolderState& state,
                  SyncResult& result, std::string& failure) {
    for (std::string& key : listing.removed) changes.removed.push_back(std::move(key));
    listing.members = {};  // no longer needed: memory for the commit
    changes.names = {};
    if (cards_after(changes, state) == 0) {
        // An empty book would make an empty phonebook: more likely a wrong book than a wish.
        failure = "the address book " + state.book + " holds no card; the phonebook and the card folder are left "
                  "as they were";
        abandon_folder_changes(changes);
        return false;
    }
    state.url = settings.url;
    state.chosen = settings.book;
    state.token = listing.token;
    result.fetched = changes.arrived.size();
    if (!commit_folder_changes(changes, state, failure)) return false;
    result.cards = state.cards.size();
    return true;
}

}  // namespace

bool carddav_built_in() { return true; }

bool sync_address_book(const CarddavSettings& settings, FetchProgress progress, SyncResult& result,
                       std::string& failure) {
    HttpClient client;
    if (!make_http_client(client, settings, failure)) return false;
    FolderState state;
    if (!load_folder_state(settings.folder, state, failure)) return false;
    Listing listing;
    if (!list_book_changes(client, settings, state, listing, failure)) return false;
    const std::vector<const Listed*> fetch = cards_to_fetch(listing, state);
    FolderChanges changes = begin_folder_changes(settings.folder, state);
    if (!fetch_cards(client, state.book, fetch, state, changes, progress, failure)) {
        abandon_folder_changes(changes);
        return false;
    }
    return put_in_place(settings, listing, changes, state, result, failure);
}

}  // namespace quorlan
