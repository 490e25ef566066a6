#include "carddav/multistatus.h"

#include <expat.h>

#include <climits>
#include <utility>
#include <vector>

#include "carddav/http_status.h"

namespace quorlan {

namespace {

// Expat joins a name's namespace and local part with this byte, which neither may hold.
constexpr char kSeparator = ' ';
constexpr std::string_view kDav = "DAV:";
constexpr std::string_view kCardDav = "urn:ietf:params:xml:ns:carddav";

enum class Kind {
    Other, Multistatus, Error, ValidSyncToken, Response, ResponseHref, ResponseStatus, SyncToken, Propstat,
    PropstatStatus, Prop, Etag, DisplayName, AddressData, Principal, Home, InnerHref, ResourceType, Collection,
    Addressbook
};

struct Name {
    std::string_view space;
    std::string_view local;
};

Name split_name(const char* expat_name) {
    const std::string_view whole(expat_name);
    const auto at = whole.find(kSeparator);
    if (at == std::string_view::npos) return {{}, whole};
    return {whole.substr(0, at), whole.substr(at + 1)};
}

// What an element is, from its name and the element it stands in.
Kind kind_of(Kind parent, Name name) {
    const bool dav = name.space == kDav;
    const bool card = name.space == kCardDav;
    const auto is = [&](std::string_view local) { return dav && name.local == local; };
    switch (parent) {
        case Kind::Other: return Kind::Other;
        case Kind::Multistatus:
            if (is("response")) return Kind::Response;
            if (is("sync-token")) return Kind::SyncToken;
            return Kind::Other;
        case Kind::Error: return is("valid-sync-token") ? Kind::ValidSyncToken : Kind::Other;
        case Kind::Response:
            if (is("href")) return Kind::ResponseHref;
            if (is("status")) return Kind::ResponseStatus;
            if (is("propstat")) return Kind::Propstat;
            return Kind::Other;
        case Kind::Propstat:
            if (is("prop")) return Kind::Prop;
            if (is("status")) return Kind::PropstatStatus;
            return Kind::Other;
        case Kind::Prop:
            if (is("getetag")) return Kind::Etag;
            if (is("displayname")) return Kind::DisplayName;
            if (is("current-user-principal")) return Kind::Principal;
            if (is("resourcetype")) return Kind::ResourceType;
            if (card && name.local == "address-data") return Kind::AddressData;
            if (card && name.local == "addressbook-home-set") return Kind::Home;
            return Kind::Other;
        case Kind::Principal:
        case Kind::Home: return is("href") ? Kind::InnerHref : Kind::Other;
        case Kind::ResourceType:
            if (is("collection")) return Kind::Collection;
            if (card && name.local == "addressbook") return Kind::Addressbook;
            return Kind::Other;
        default: return Kind::Other;
    }
}

bool holds_text(Kind kind) {
    switch (kind) {
        case Kind::ResponseHref:
        case Kind::ResponseStatus:
        case Kind::SyncToken:
        case Kind::PropstatStatus:
        case Kind::Etag:
        case Kind::DisplayName:
        case Kind::AddressData:
        case Kind::InnerHref: return true;
        default: return false;
    }
}

// The status code of an HTTP status line such as "HTTP/1.1 200 OK"; 0 when it has none.
int status_code_of(std::string_view status_line) {
    const auto space = status_line.find(' ');
    if (space == std::string_view::npos) return 0;
    int code = 0;
    std::size_t i = space + 1;
    for (std::size_t digits = 0; digits < 3; ++digits, ++i) {
        if (i >= status_line.size() || status_line[i] < '0' || status_line[i] > '9') return 0;
        code = code * 10 + (status_line[i] - '0');
    }
    return code;
}

// Surrounding white space of a value written inside an element; the card text keeps its own.
std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

struct MultistatusParser {
    XML_Parser expat = nullptr;
    ResponseSink sink;
    std::vector<Kind> open;
    std::string text;
    bool collecting = false;
    DavResponse response;
    DavResponse propstat;  // the properties of the propstat being read
    int propstat_status = 0;
    bool saw_ok = false;
    int other_status = 0;
    std::string sync_token;
    bool root_seen = false;
    bool multistatus = false;
    bool refuses_token = false;
    std::string own_error;  // a refusal of ours, rather than expat's

    ~MultistatusParser() {
        if (expat != nullptr) XML_ParserFree(expat);
    }

    void stop(std::string why) {
        if (own_error.empty()) own_error = std::move(why);
        XML_StopParser(expat, XML_FALSE);
    }
};

namespace {

MultistatusParser& state_of(void* data) { return *static_cast<MultistatusParser*>(data); }

void on_start(void* data, const char* name, const char** /*attributes*/) {
    MultistatusParser& s = state_of(data);
    Kind kind = Kind::Other;
    if (!s.root_seen) {
        s.root_seen = true;
        const Name root = split_name(name);
        if (root.space == kDav && root.local == "multistatus") kind = Kind::Multistatus;
        if (root.space == kDav && root.local == "error") kind = Kind::Error;
        s.multistatus = kind == Kind::Multistatus;
    } else {
        kind = kind_of(s.open.back(), split_name(name));
    }
    s.open.push_back(kind);
    switch (kind) {
        case Kind::Response:
            s.response = DavResponse{};
            s.saw_ok = false;
            s.other_status = 0;
            break;
        case Kind::Propstat:
            s.propstat = DavResponse{};
            s.propstat_status = 0;
            break;
        case Kind::ValidSyncToken: s.refuses_token = true; break;
        case Kind::Collection: s.propstat.is_collection = true; break;
        case Kind::Addressbook: s.propstat.is_addressbook = true; break;
        default: break;
    }
    if (holds_text(kind)) {
        s.text.clear();
        s.collecting = true;
    }
}

// The properties of a propstat of status 200 go to the response.
void merge_propstat(MultistatusParser& s) {
    DavResponse& r = s.response;
    DavResponse& f = s.propstat;
    if (!f.etag.empty()) r.etag = std::move(f.etag);
    if (!f.display_name.empty()) r.display_name = std::move(f.display_name);
    if (!f.address_data.empty()) r.address_data = std::move(f.address_data);
    if (!f.principal.empty()) r.principal = std::move(f.principal);
    if (!f.home.empty()) r.home = std::move(f.home);
    r.is_collection = r.is_collection || f.is_collection;
    r.is_addressbook = r.is_addressbook || f.is_addressbook;
}

void on_end(void* data, const char* /*name*/) {
    MultistatusParser& s = state_of(data);
    const Kind kind = s.open.back();
    s.open.pop_back();
    if (holds_text(kind)) s.collecting = false;
    const Kind parent = s.open.empty() ? Kind::Other : s.open.back();
    switch (kind) {
        case Kind::ResponseHref: s.response.href = trimmed(s.text); break;
        case Kind::ResponseStatus: s.response.status = status_code_of(trimmed(s.text)); break;
        case Kind::SyncToken: s.sync_token = trimmed(s.text); break;
        case Kind::PropstatStatus: s.propstat_status = status_code_of(trimmed(s.text)); break;
        case Kind::Etag: s.propstat.etag = trimmed(s.text); break;
        case Kind::DisplayName: s.propstat.display_name = trimmed(s.text); break;
        case Kind::AddressData: s.propstat.address_data = std::move(s.text); break;
        case Kind::InnerHref:
            if (parent == Kind::Principal && s.propstat.principal.empty()) s.propstat.principal = trimmed(s.text);
            if (parent == Kind::Home && s.propstat.home.empty()) s.propstat.home = trimmed(s.text);
            break;
        case Kind::Propstat:
            if (s.propstat_status == kHttpOk) {
                merge_propstat(s);
                s.saw_ok = true;
            } else if (s.other_status == 0) {
                s.other_status = s.propstat_status;
            }
            break;
        case Kind::Response:
            if (s.response.status == 0) s.response.status = s.saw_ok ? kHttpOk : s.other_status;
            if (s.sink) s.sink(s.response);
            break;
        default: break;
    }
}

void on_text(void* data, const char* text, int length) {
    MultistatusParser& s = state_of(data);
    if (!s.collecting) return;
    if (s.text.size() + static_cast<std::size_t>(length) > kMaxPropertyBytes) {
        s.stop("a property over " + std::to_string(kMaxPropertyBytes >> 20) + " MiB");
        return;
    }
    s.text.append(text, static_cast<std::size_t>(length));
}

// A DTD could declare entities that expand without end, or fetch files: answers have none.
void on_doctype(void* data, const char*, const char*, const char*, int) {
    state_of(data).stop("a document type declaration, which a multistatus never needs");
}

}  // namespace

MultistatusReader::MultistatusReader() = default;
MultistatusReader::~MultistatusReader() = default;
MultistatusReader::MultistatusReader(MultistatusReader&&) noexcept = default;
MultistatusReader& MultistatusReader::operator=(MultistatusReader&&) noexcept = default;

MultistatusReader make_multistatus_reader(ResponseSink sink) {
    MultistatusReader reader;
    reader.parser = std::make_unique<MultistatusParser>();
    MultistatusParser& s = *reader.parser;
    s.sink = sink;
    s.expat = XML_ParserCreateNS(nullptr, kSeparator);
    XML_SetUserData(s.expat, &s);
    XML_SetElementHandler(s.expat, on_start, on_end);
    XML_SetCharacterDataHandler(s.expat, on_text);
    XML_SetStartDoctypeDeclHandler(s.expat, on_doctype);
    XML_SetParamEntityParsing(s.expat, XML_PARAM_ENTITY_PARSING_NEVER);
    return reader;
}

bool feed_multistatus(MultistatusReader& reader, std::string_view bytes) {
    MultistatusParser& s = *reader.parser;
    while (!bytes.empty()) {
        const std::size_t piece = bytes.size() < INT_MAX ? bytes.size() : INT_MAX;
        if (XML_Parse(s.expat, bytes.data(), static_cast<int>(piece), XML_FALSE) != XML_STATUS_OK) return false;
        bytes.remove_prefix(piece);
    }
    return true;
}

bool finish_multistatus(MultistatusReader& reader) {
    return XML_Parse(reader.parser->expat, "", 0, XML_TRUE) == XML_STATUS_OK;
}

std::string multistatus_error(const MultistatusReader& reader) {
    const MultistatusParser& s = *reader.parser;
    std::string what = s.own_error.empty() ? XML_ErrorString(XML_GetErrorCode(s.expat)) : s.own_error;
    return what + " at line " + std::to_string(XML_GetCurrentLineNumber(s.expat)) + ", column " +
           std::to_string(XML_GetCurrentColumnNumber(s.expat) + 1);
}

std::string multistatus_sync_token(const MultistatusReader& reader) { return reader.parser->sync_token; }
bool multistatus_refuses_token(const MultistatusReader& reader) { return reader.parser->refuses_token; }
bool multistatus_seen(const MultistatusReader& reader) { return reader.parser->multistatus; }

}  // namespace quorlan
