// Reading a WebDAV multistatus answer as it arrives, one response at a time, so that a
// book of any size passes through bounded memory. Elements are known by their namespace,
// never by the prefix a server happens to write ("D:", "ns0:" or none).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "text/function_ref.h"

namespace quorlan {

// One <response> of the answer, with the properties of its propstat of status 200.
struct DavResponse {
    std::string href;
    int status = 0;  // the response's own status, else that of the propstat that held properties
    std::string etag;
    std::string display_name;
    std::string address_data;  // the card itself, for a multiget
    std::string principal;     // current-user-principal
    std::string home;          // addressbook-home-set (the first one)
    bool is_collection = false;
    bool is_addressbook = false;
};

// Called for each response as soon as its end tag is read.
using ResponseSink = FunctionRef<void(DavResponse& response)>;

// A property or card text longer than this ends the reading: no card or property is that big.
inline constexpr std::size_t kMaxPropertyBytes = 8u << 20;

struct MultistatusParser;

struct MultistatusReader {
    std::unique_ptr<MultistatusParser> parser;
    MultistatusReader();
    ~MultistatusReader();
    MultistatusReader(MultistatusReader&&) noexcept;
    MultistatusReader& operator=(MultistatusReader&&) noexcept;
};

MultistatusReader make_multistatus_reader(ResponseSink sink);

// Feeds the next bytes of the answer; false once the answer is found malformed.
bool feed_multistatus(MultistatusReader& reader, std::string_view bytes);
// Ends the answer; false when it is malformed or cut short.
bool finish_multistatus(MultistatusReader& reader);

// After a failure: what was wrong and where ("not well-formed at line 3, column 7").
std::string multistatus_error(const MultistatusReader& reader);
// The <sync-token> of a multistatus, empty when it had none.
std::string multistatus_sync_token(const MultistatusReader& reader);
// True when the answer is a DAV error naming valid-sync-token: the token is no longer known.
bool multistatus_refuses_token(const MultistatusReader& reader);
// True when the root element was a multistatus.
bool multistatus_seen(const MultistatusReader& reader);

}  // namespace quorlan
