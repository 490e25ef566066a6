// The prefixes read as property heads, once per run, for capture when decoding, and what
// capture learnt of the heads of the lines it has read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "vcard/head.h"

namespace quorlan {

// What capture learnt of a head it has read: the lines of a file share a few heads, and
// each is read once instead of on every line.
struct KnownHead {
    std::string head;         // its bytes; empty in a slot not used yet
    std::uint64_t named = 0;  // bit j: the prefix of mapping j names it (values aside)
    bool preferred = false;
    bool tel = false;  // a TEL line, whose value may be a "tel:" URI
    std::string charset;  // the value of its CHARSET parameter, when it has one
    bool grouped = false;  // it has a group, whose Apple label may give it a type
    bool wanted = false;   // a prefix gives its property name
    bool label = false;    // an X-ABLabel line
    ValueKind kind = ValueKind::Other;  // when some field is a list
    std::string group;
};
inline constexpr std::size_t kKnownHeads = 64;
// Longer heads, rare and mostly of quoted parameters, are read again on every line.
inline constexpr std::size_t kKnownHeadBytes = 96;
static_assert(kMaxMappings <= 64);

struct PrefixHeads {
    std::vector<PrefixHead> heads;  // one per mapping, in mapping order (its first alternative)
    // Every alternative of each mapping's prefix ("N|FN|ORG"), in order.
    std::vector<std::vector<PrefixHead>> alternatives;
    bool any_alternatives = false;  // some prefix has two or more: every card waits for its end
    bool any_lists = false;         // some field is a list, whose values keep their kinds
    std::string codepage;  // the charset of undeclared text that is not UTF-8 (CODEPAGE=), or empty
    std::vector<std::string> names;  // the property names they give, each once
    // Their lengths by their first bytes, in either letter case: bit n for a name of n
    // bytes (63 for 63 or more), so that most other names are told apart without comparing.
    std::array<std::uint64_t, 256> name_lengths{};
    // Those of eight bytes or fewer as words (name_word), compared whole.
    std::vector<std::uint64_t> name_words;
    std::vector<KnownHead> known;    // kKnownHeads slots, chosen by a hash of the head
    KnownHead long_head;             // the facts of the last head too long to keep
    // Reused for every line, so that reading a head and a value allocates nothing once
    // lines like it have been read.
    Head line;
    std::string value;
};

PrefixHeads make_prefix_heads(const Settings& settings);

// A quick look, before any decoding, at whether the line, whose property name `look` gives
// (look_at_name), may name a property that some prefix names; false only when it surely
// doesn't.
bool may_feed(const PrefixHeads& prefixes, std::string_view line, const NameLook& look);

}  // namespace quorlan
