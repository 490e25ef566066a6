// The prefixes read as property heads, once per run, and the quick look at whether a line
// may name one of them.
#include <algorithm>
#include <cstdint>

#include "charset/cp1250.h"
#include "convert/prefix_heads.h"
#include "convert/waiting.h"
#include "text/text_ops.h"
#include "vcard/head.h"
#include "vcard/value_text.h"

namespace quorlan {

namespace {

// The bit of PrefixHeads::name_lengths for a name of `size` bytes.
std::uint64_t name_length_bit(std::size_t size) { return std::uint64_t{1} << std::min<std::size_t>(size, 63); }

// A name of eight bytes or fewer, none from 0x80 up, `room` of them readable from its
// start, as one word in upper case, zeros after it: two such words are equal exactly when
// the names are equal in any letter case.
std::uint64_t name_word(std::string_view name, std::size_t room) {
    constexpr std::uint64_t kHigh = 0x8080808080808080U;
    std::uint64_t word = 0;
    if (room >= 8) {
        word = load_word(name.data());
        if (name.size() < 8) word &= (std::uint64_t{1} << (8 * name.size())) - 1;
    } else {
        for (std::size_t i = 0; i < name.size(); ++i) word |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
    }
    // a to z, bytes below 0x80 each: from 'a' up and not beyond 'z'.
    const std::uint64_t lower = (word + 0x1F1F1F1F1F1F1F1FU) & ~(word + 0x0505050505050505U) & kHigh;
    return word - (lower >> 2);
}

}  // namespace

PrefixHeads make_prefix_heads(const Settings& settings) {
    PrefixHeads prefixes;
    prefixes.known.resize(kKnownHeads);
    for (const FieldMapping& mapping : settings.mappings) {
        std::vector<PrefixHead>& alternatives = prefixes.alternatives.emplace_back();
        for (const std::string_view alternative : prefix_alternatives(mapping.prefix)) {
            alternatives.push_back(parse_prefix_head(alternative));
        }
        // A rank per alternative is kept in a byte.
        if (alternatives.size() > 255) alternatives.resize(255);
        prefixes.any_alternatives = prefixes.any_alternatives || alternatives.size() > 1;
        prefixes.heads.push_back(alternatives.front());
        for (const PrefixHead& head : alternatives) {
            if (!head.valid || std::find(prefixes.names.begin(), prefixes.names.end(), head.head.name) !=
                                   prefixes.names.end()) {
                continue;
            }
            prefixes.names.push_back(head.head.name);
            // (A line's name with a byte from 0x80 up may feed whatever it names.)
            if (head.head.name.size() <= 8 && ascii_prefix_length(head.head.name) == head.head.name.size()) {
                prefixes.name_words.push_back(name_word(head.head.name, 0));
            }
            const char first = head.head.name[0];
            const std::uint64_t length = name_length_bit(head.head.name.size());
            prefixes.name_lengths[static_cast<unsigned char>(first)] |= length;
            if (first >= 'A' && first <= 'Z') {
                prefixes.name_lengths[static_cast<unsigned char>(first - 'A' + 'a')] |= length;
            }
        }
    }
    prefixes.codepage = codepage_charset(settings.codepage);
    prefixes.any_lists = std::any_of(settings.mappings.begin(), settings.mappings.end(),
                                     [&](const FieldMapping& mapping) { return is_list_field(settings, mapping); });
    return prefixes;
}

bool may_feed(const PrefixHeads& prefixes, std::string_view line, const NameLook& look) {
    // Decoding and folding may turn other bytes into the letters of a name; and the head's
    // reader drops quotes and reads past a ";", "." or ":" between them: left to it.
    if (look.high || look.quote) return true;
    std::string_view name = look.name;
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty() &&
        (prefixes.name_lengths[static_cast<unsigned char>(name[0])] & name_length_bit(name.size())) != 0) {
        if (name.size() <= 8) {
            const std::uint64_t word = name_word(name, line.size() - static_cast<std::size_t>(name.data() - line.data()));
            if (std::find(prefixes.name_words.begin(), prefixes.name_words.end(), word) != prefixes.name_words.end()) {
                return true;
            }
        } else if (std::any_of(prefixes.names.begin(), prefixes.names.end(), [&](const std::string& wanted) {
                       return wanted.size() == name.size() && equal_any_case(name, wanted);
                   })) {
            return true;
        }
    }
    // The card's charset and the labels of its groups are learnt from lines that feed nothing.
    if (look.end < line.size() && line[look.end] == ';' && declares_charset(line.substr(look.end))) return true;
    return look.grouped && equal_any_case(name, "X-ABLABEL");
}

}  // namespace quorlan
