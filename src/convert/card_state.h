// The card being captured: its values, one per field mapping, the lists of list fields,
// the values it lost and, when decoding, the lines that wait for its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "charset/charsets.h"
#include "vcard/head.h"

namespace quorlan {

// When decoding, the lines of a card that wait for its end before they feed a field: what
// they feed depends on lines that may still come (a better alternative of a prefix, the
// label of their group, the charset the card declares). See settle_card (convert/waiting.h).
struct WaitingLine {
    std::string head;   // the text before the ":"
    std::string value;  // the value part, as far as a value can use it
    std::size_t number = 0;
    std::string text;               // the value decoded, once the card has ended
    std::string charset;            // the charset it was decoded from (empty: UTF-8 or windows-1250)
    bool read_in_charset = false;   // `charset` is one the platform converts from
    std::vector<std::uint8_t> rank;  // per mapping: its first alternative that takes the line
    std::string name;                // the property name
    ValueKind kind = ValueKind::Other;
    bool tel = false;
    bool preferred = false;
    bool used = false;
};

inline constexpr std::size_t kMaxWaitingLines = 4096;
// The bytes of value parts that one card keeps waiting, at most: a value is kept whole, as
// it is decoded whole, and a card of many long lines must not take the memory of a file.
inline constexpr std::size_t kMaxWaitingBytes = std::size_t{1} << 20;

struct WaitingLines {
    bool active = false;  // the card's lines wait for its end from now on
    std::vector<WaitingLine> lines;  // kept for reuse: `count` of them are this card's
    std::size_t count = 0;
    std::size_t bytes = 0;  // of the value parts of those lines
    std::vector<std::pair<std::string, std::string>> labels;  // group, Apple label
    std::string charset;  // the charset the card declares, when it declares exactly one
    bool charsets_differ = false;
};

inline constexpr std::size_t kMaxValueBytes = 100;

// No field: the mapping of a lost value that no field's prefix names.
inline constexpr std::size_t kNoField = static_cast<std::size_t>(-1);

// One value of a list field (is_list_field), as its line gave it.
struct ListValue {
    std::string text;
    ValueKind kind = ValueKind::Other;
    bool preferred = false;
    bool number = false;  // from a TEL line: the card's numbers are told apart by their digits
};

// The values of a list field in card order: the first `count` of `items`; the others are
// kept for the next card, so that their storage is reused.
struct ValueList {
    std::vector<ListValue> items;
    std::size_t count = 0;
};

// Values that a field's property names reach no field: a second value where the field
// takes one, or a line whose types no field's prefix names.
struct LostValues {
    std::size_t count = 0;
    // The property names they came from, with their counts, the commonest few kept.
    std::vector<std::pair<std::string, std::size_t>> by_name;
    std::uint64_t one_value_fields = 0;  // bit j: mapping j took one value where a card gave more
    std::vector<std::string> unnamed;    // properties of a kind no prefix names, the first few
};
inline constexpr std::size_t kLostNamesKept = 8;

// The current card's values, one per field mapping, in mapping order.
struct CardState {
    std::vector<std::string> values;
    // With list fields: one list per mapping (empty for the others), and the first value of
    // each list in `values`, so that the filter sees a list with a value as filled.
    std::vector<ValueList> lists{};
    // When decoding: the values the current card lost (see keep_lost_values).
    LostValues card_lost{};
    // When decoding: the value kept came from a preferred line, so no later line replaces it.
    std::vector<unsigned char> preferred{};
    // When decoding: the card line each kept value came from, to tell of it when a
    // preferred value replaces it.
    std::vector<std::size_t> kept_line{};
    // The converters of the charsets that decoded values declared, kept for the whole run
    // so that each is opened once.
    CharsetConverters charsets = {};
    // When decoding for a form that shows them (a template's {{N.1}}): each kept value's
    // components, split at each ";" that no backslash escapes, decoded and cleaned as a
    // value is, for the mappings of the bits of `component_mappings`. Empty otherwise.
    std::uint64_t component_mappings = 0;
    std::vector<std::vector<std::string>> components{};
    WaitingLines waiting = {};
};

}  // namespace quorlan
