// The head of a card line (group, property name, parameters) and of a mapping's prefix
// read the same way, and whether a prefix names a line: the reading by which one
// configuration serves every exporter's spelling of the same property.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text_ops.h"

namespace quorlan {

struct Head {
    // Upper case, spaces around them removed. A name "item1.EMAIL" gives the group
    // "ITEM1" and the name "EMAIL".
    std::string group;
    std::string name;
    // One entry per parameter value: "TYPE=cell,voice" gives (TYPE, CELL) and (TYPE, VOICE);
    // a bare "CELL" gives (TYPE, CELL), a bare "QUOTED-PRINTABLE" (ENCODING, ...); a key
    // given with no value gives one entry with an empty value.
    std::vector<std::pair<std::string, std::string>> params;
    // The type PREF or the parameter PREF=1.
    bool preferred = false;
    // Where the value part begins, after the first ":" outside double quotes; npos when
    // the text holds none.
    std::size_t value_at = std::string_view::npos;
    // A double quote left open: the head runs to the end of the text.
    bool open_quote = false;
};

// Reads the head of a card line (or of a prefix).
Head parse_head(std::string_view line);
// The same into `head`, reusing its storage: no memory is allocated for a line like the
// ones before it.
void read_head(std::string_view line, Head& head);

// A mapping's prefix read as a head. Its ENCODING and CHARSET parameters are left out, as
// decoding takes care of how a value is written, and its PREF is kept as `preferred` only.
struct PrefixHead {
    Head head;
    std::string value_prefix;  // after the ":", spaces at the start removed
    bool valid = false;        // a name without spaces and no open quote
};

PrefixHead parse_prefix_head(std::string_view prefix);

// The alternatives of a prefix, "N|FN|ORG" when decoding: its parts between "|", spaces
// around them removed; a prefix without "|" is its own one alternative. ("|" is no part of
// a property head, so no prefix means anything else by it.)
std::vector<std::string_view> prefix_alternatives(std::string_view prefix);

// Why a prefix is no property head, or an empty view when it is one.
std::string_view prefix_head_fault(std::string_view prefix);

// True when the prefix names the line whose head is `line` and whose value part (once
// decoded) is `value`: equal names, the prefix's group if it gives one, every parameter
// value it gives among the line's, PREF met by a preferred line, and the value beginning
// with its value prefix; letter case and spaces around names and values aside.
bool prefix_matches(const PrefixHead& prefix, const Head& line, std::string_view value);
// The two halves of it: the head alone, and the value.
bool prefix_names_head(const PrefixHead& prefix, const Head& line);
bool prefix_takes_value(const PrefixHead& prefix, std::string_view value);

// Where the head of a line ends: its first ":" outside double quotes, or its end.
std::size_t head_end(std::string_view line);

// True when every line that `later` names is named by `earlier` too.
bool prefix_covers(const PrefixHead& earlier, const PrefixHead& later);

// The property name of a card line, as it stands (group removed, case kept, nothing
// trimmed): a quick look, without reading the parameters, at whether a line may matter.
std::string_view property_name_of(std::string_view line);

// That quick look with what the walk to the name's end saw on the way, taken once per line
// for every step that decides whether the line matters.
struct NameLook {
    std::string_view name;  // as property_name_of gives it
    std::size_t end = 0;    // where the name ends: the line's first ";" or ":", or its size
    bool grouped = false;   // a "." before the name: it has a group
    bool high = false;      // the name holds a byte from 0x80 up
    bool quote = false;     // a double quote stands before `end`
};

// The bytes at which look_at_name stops: the end of a name (";" or ":"), the "." after a
// group, a double quote and the bytes from 0x80 up.
inline constexpr std::array<bool, 256> kNameStops = [] {
    std::array<bool, 256> stops{};
    for (const char c : std::string_view(";:.\"")) stops[static_cast<unsigned char>(c)] = true;
    for (std::size_t c = 0x80; c < 0x100; ++c) stops[c] = true;
    return stops;
}();

// Inline: every line of a decoding run is looked at.
inline NameLook look_at_name(std::string_view line) {
    NameLook look;
    std::size_t start = 0;
    std::size_t i = 0;
    for (;; ++i) {
        // Names are a few letters: byte by byte, each looked up once, to the next byte that
        // ends the name or says something about it.
        while (i < line.size() && !kNameStops[static_cast<unsigned char>(line[i])]) ++i;
        if (i == line.size()) break;
        const char c = line[i];
        if (c == ';' || c == ':') break;
        if (c == '.') {
            start = i + 1;
            look.high = false;  // a group's bytes are no part of the name
        } else if (c == '"') {
            look.quote = true;
        } else {
            look.high = true;
        }
    }
    look.end = i;
    look.grouped = start != 0;
    look.name = line.substr(start, i - start);
    return look;
}

// True when the two texts are equal in any ASCII letter case. Inline, as every card line's
// name is compared with the names the prefixes give.
inline bool equal_any_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper_ascii(a[i]) != upper_ascii(b[i])) return false;
    }
    return true;
}

// Apple's exports give a line's kind as the label of its group ("item2.TEL" with
// "item2.X-ABLabel:_$!<Mobile>!$_"). Adds the types a standard label stands for ("CELL",
// "HOME,FAX") to the head of a line of its group, as if the line gave them; false, the
// head unchanged, for any other label.
bool add_apple_label(Head& head, std::string_view label);

// The TYPE values of a head (bare parameters such as CELL included), sorted, each once,
// PREF left out; with `kinds_only` also VOICE and INTERNET, which tell no kinds of lines
// apart: every telephone line may be a voice line and every mail address is INTERNET.
std::vector<std::string_view> head_types(const Head& head, bool kinds_only);

// The kind of line a head stands for, as "NAME;TYPE1;TYPE2": the name without its group
// and its TYPE values sorted, PREF left out. "TEL;CELL;VOICE", "TEL;type=VOICE;type=cell"
// and "item2.TEL;TYPE=cell,voice" are one kind.
std::string head_meaning(const Head& head);

// The kind of a value, as phones sort numbers: one per value, so a work fax is a fax.
enum class ValueKind : std::uint8_t { Mobile, Work, Home, Fax, Pager, Other };
inline constexpr std::size_t kValueKinds = 6;

// The kind a head gives its value, from its TYPE values (bare ones and Apple labels added
// included): FAX before PAGER before CELL before WORK before HOME; any other type, none, or
// only VOICE and PREF give Other.
ValueKind value_kind(const Head& head);

// "mobile", "work", "home", "fax", "pager" or "other".
std::string_view kind_name(ValueKind kind);

}  // namespace quorlan
