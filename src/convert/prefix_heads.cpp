// The prefixes read as property heads, once per run, and the quick look at whether a line
// may name one of them.
#include <algorithm>

#include "convert/capture.h"
#include "vcard/head.h"
#include "vcard/value_text.h"

namespace quorlan {

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
            const char first = head.head.name[0];
            prefixes.name_first[static_cast<unsigned char>(first)] = true;
            if (first >= 'A' && first <= 'Z') prefixes.name_first[static_cast<unsigned char>(first - 'A' + 'a')] = true;
        }
    }
    prefixes.codepage = codepage_charset(settings.codepage);
    return prefixes;
}

bool may_feed(const PrefixHeads& prefixes, std::string_view line) {
    // The property name, as property_name_of gives it, in one walk: it ends at the first
    // ";" or ":", and a group before its last "." is no part of it.
    std::size_t start = 0;
    std::size_t end = 0;
    bool high = false;
    bool quote = false;
    for (; end < line.size(); ++end) {
        const auto c = static_cast<unsigned char>(line[end]);
        if (c == ';' || c == ':') break;
        if (c == '.') {
            start = end + 1;
            high = false;
        }
        high = high || c >= 0x80;
        quote = quote || c == '"';
    }
    // Decoding and folding may turn other bytes into the letters of a name; and the head's
    // reader drops quotes and reads past a ";", "." or ":" between them: left to it.
    if (high || quote) return true;
    std::string_view name = line.substr(start, end - start);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty() && prefixes.name_first[static_cast<unsigned char>(name[0])] &&
        std::any_of(prefixes.names.begin(), prefixes.names.end(), [&](const std::string& wanted) {
            return wanted.size() == name.size() && equal_any_case(name, wanted);
        })) {
        return true;
    }
    // The card's charset and the labels of its groups are learnt from lines that feed nothing.
    if (end < line.size() && line[end] == ';' && declares_charset(line.substr(end))) return true;
    return start != 0 && equal_any_case(name, "X-ABLABEL");
}

}  // namespace quorlan
