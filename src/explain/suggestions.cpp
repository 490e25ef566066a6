// The mapping lines that would take the heads a mapping misses: the shortest prefixes that
// take them and no lines of another kind, and what each would take.
#include "explain/suggestions.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "diagnose/cards.h"
#include "diagnose/show.h"
#include "text/text_ops.h"
#include "vcard/head.h"

namespace quorlan {

namespace {

constexpr std::size_t kSuggestions = 4;

// What a mapping in place of mapping `j` with `prefix` would take: lines of heads that
// begin with it, less those an earlier mapping takes first.
struct Promise {
    std::size_t lines = 0;
    std::size_t heads = 0;
    std::size_t taken_before = 0;  // lines an earlier mapping takes first
    std::size_t before = SIZE_MAX;  // that earlier mapping
};

// True when `prefix` takes the lines of `head`: by their first bytes, or with decoding by
// what the head means (suggested prefixes give a name and types only, so the meaning
// decides alone).
bool takes_head(const Census& census, const HeadCount& head, std::string_view prefix) {
    if (!census.decode) return begins_with(head.compared, prefix);
    return prefix_matches(parse_prefix_head(prefix), parse_head(head.head), {});
}

Promise promise_of(const Census& census, std::size_t j, std::string_view prefix) {
    Promise promise;
    const std::uint64_t earlier = (std::uint64_t{1} << j) - 1;
    for (const HeadCount& head : census.heads) {
        if (!takes_head(census, head, prefix)) continue;
        ++promise.heads;
        const std::uint64_t first = head.mappings & earlier;
        if (first == 0) {
            promise.lines += head.lines;
            continue;
        }
        promise.lines += head.lines - head.taken;
        promise.taken_before += head.taken;
        promise.before = std::min(promise.before, static_cast<std::size_t>(std::countr_zero(first)));
    }
    return promise;
}

std::string promised(const Settings& settings, const Promise& promise) {
    std::string text = " would take " + count_of(promise.lines, "line", "lines");
    if (promise.taken_before != 0) {
        text += "; " + mapping_name(settings, promise.before) + " takes " + std::to_string(promise.taken_before) +
                " more first: put this line before it";
    }
    return text;
}

std::string common_prefix(const std::vector<std::string>& texts) {
    std::string common = texts.empty() ? std::string() : texts[0];
    for (const std::string& text : texts) {
        std::size_t n = 0;
        while (n < common.size() && n < text.size() && common[n] == text[n]) ++n;
        common.resize(n);
    }
    return common;
}

// True when the head gives every type the mapping's prefix gives.
bool of_the_kind(const std::vector<std::string>& head, const std::vector<std::string>& wanted) {
    return std::includes(head.begin() + 1, head.end(), wanted.begin() + 1, wanted.end());
}

// The heads of the same property that mapping `j` misses, those of the kind its prefix
// names first (all of them when none is).
std::vector<const HeadCount*> missed_heads(const Settings& settings, const Census& census, std::size_t j) {
    const std::vector<std::string> wanted = head_kind(settings.mappings[j].prefix);
    std::vector<const HeadCount*> same_name, same_kind;
    for (const HeadCount* head : heads_by_lines(census)) {
        if ((head->mappings >> j & 1U) != 0 || parse_head(head->head).name != wanted[0]) continue;
        same_name.push_back(head);
        if (of_the_kind(head_kind(head->head), wanted)) same_kind.push_back(head);
    }
    // A mapping that takes lines already is shown only heads of its own kind.
    return same_kind.empty() && census.takes[j].lines == 0 ? same_name : same_kind;
}

std::vector<const HeadCount*> heads_taken(const Census& census, std::string_view prefix) {
    std::vector<const HeadCount*> taken;
    for (const HeadCount& other : census.heads) {
        if (takes_head(census, other, prefix)) taken.push_back(&other);
    }
    return taken;
}

// The shortest prefix of `head`, cut where a parameter begins, that takes the same heads
// of the file as the head itself (cut to the prefix's 20 bytes) does, and still names the
// types the mapping names: "TEL;TYPE=CELL" for "TEL;CELL", never "TEL". With decoding,
// the name and the types that tell kinds apart.
std::string shortest_prefix(const Census& census, const std::string& head, const std::vector<std::string>& wanted) {
    if (census.decode) {
        const std::vector<std::string> kind = head_kind(head);
        std::string prefix = kind[0];
        for (std::size_t k = 1; k < kind.size(); ++k) prefix += ";" + kind[k];
        return prefix;
    }
    const std::string whole = head.substr(0, kMaxPrefixBytes);
    const std::vector<const HeadCount*> by_whole = heads_taken(census, whole);
    for (std::size_t cut = whole.find(';'); cut != std::string::npos; cut = whole.find(';', cut + 1)) {
        // Before the ";" and with it: "N;" takes the lines of N with parameters, not NOTE.
        for (const std::size_t length : {cut, cut + 1}) {
            const std::string_view shorter = std::string_view(whole).substr(0, length);
            if (of_the_kind(head_kind(shorter), wanted) && heads_taken(census, shorter) == by_whole) {
                return std::string(shorter);
            }
        }
    }
    return whole;
}

// True when the prefix takes only lines of the mapping's kind, and none that a suggestion
// for another mapping takes.
bool fits(const Census& census, std::string_view prefix, const std::vector<std::string>& wanted,
          const std::vector<const HeadCount*>& claimed) {
    for (const HeadCount* head : heads_taken(census, prefix)) {
        if (std::find(claimed.begin(), claimed.end(), head) != claimed.end()) return false;
        const std::vector<std::string> kind = head_kind(head->head);
        if (kind[0] == wanted[0] && !of_the_kind(kind, wanted)) return false;
    }
    return true;
}

void claim(const Census& census, std::string_view prefix, std::vector<const HeadCount*>& claimed) {
    for (const HeadCount* head : heads_taken(census, prefix)) claimed.push_back(head);
}

// The prefixes of the heads missed, most lines first, that fit the mapping's kind and no
// other suggestion's lines; a prefix that takes all the lines of a shorter one says nothing
// more.
std::vector<std::string> fitting_prefixes(const Census& census, const std::vector<const HeadCount*>& missed,
                                          const std::vector<std::string>& wanted,
                                          const std::vector<const HeadCount*>& claimed) {
    std::vector<std::string> prefixes;
    // Where heads abound, only the most frequent are worked out; the rest are counted.
    for (std::size_t i = 0; i < missed.size() && prefixes.size() < kSuggestions; ++i) {
        std::string prefix = shortest_prefix(census, missed[i]->compared, wanted);
        if (std::find(prefixes.begin(), prefixes.end(), prefix) != prefixes.end() ||
            !fits(census, prefix, wanted, claimed)) {
            continue;
        }
        prefixes.push_back(std::move(prefix));
    }
    std::erase_if(prefixes, [&](const std::string& prefix) {
        const std::vector<const HeadCount*> taken = heads_taken(census, prefix);
        return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& other) {
            if (other.size() >= prefix.size()) return false;
            if (!census.decode) return begins_with(prefix, other);
            const std::vector<const HeadCount*> by_other = heads_taken(census, other);
            return std::all_of(taken.begin(), taken.end(), [&](const HeadCount* head) {
                return std::find(by_other.begin(), by_other.end(), head) != by_other.end();
            });
        });
    });
    return prefixes;
}

std::size_t heads_not_taken(const Census& census, const std::vector<const HeadCount*>& missed,
                            const std::vector<std::string>& prefixes) {
    return static_cast<std::size_t>(std::count_if(missed.begin(), missed.end(), [&](const HeadCount* head) {
        return std::none_of(prefixes.begin(), prefixes.end(),
                            [&](const std::string& prefix) { return takes_head(census, *head, prefix); });
    }));
}

// Without decoding: the shorter prefix that takes all the heads missed at once, or empty
// when there is none worth suggesting.
std::string all_at_once(const Census& census, const std::vector<const HeadCount*>& missed,
                        const std::vector<std::string>& prefixes, const std::vector<std::string>& wanted,
                        const std::vector<const HeadCount*>& claimed) {
    if (census.decode || missed.size() < 2) return {};
    std::vector<std::string> all_heads = prefixes;
    for (const HeadCount* head : missed) all_heads.push_back(head->compared.substr(0, kMaxPrefixBytes));
    const std::string shorter = common_prefix(all_heads);
    if (parse_head(shorter).name != wanted[0] || std::find(prefixes.begin(), prefixes.end(), shorter) != prefixes.end() ||
        !of_the_kind(head_kind(shorter), wanted) || !fits(census, shorter, wanted, claimed)) {
        return {};
    }
    return shorter;
}

}  // namespace

void suggest_prefixes(std::string& out, const Settings& settings, const Census& census, std::size_t j,
                      std::string_view written, std::vector<const HeadCount*>& claimed) {
    const std::vector<std::string> wanted = head_kind(settings.mappings[j].prefix);
    const std::vector<const HeadCount*> missed = missed_heads(settings, census, j);
    const std::vector<std::string> prefixes = fitting_prefixes(census, missed, wanted, claimed);
    for (const std::string& prefix : prefixes) {
        out += "    suggestion: " + shown(written) + "=" + shown(prefix) +
               promised(settings, promise_of(census, j, prefix)) + "\n";
    }
    if (const std::size_t not_taken = heads_not_taken(census, missed, prefixes); not_taken != 0) {
        out += "    and " + count_of(not_taken, "more head", "more heads") + " of " + in_quotes(wanted[0]) + "\n";
    }
    // The heads of these suggestions are claimed once the shorter prefix that takes them
    // all at once has been tried: it may take them, being an alternative to them.
    const std::string shorter = all_at_once(census, missed, prefixes, wanted, claimed);
    for (const std::string& prefix : prefixes) claim(census, prefix, claimed);
    if (shorter.empty()) return;
    const Promise all = promise_of(census, j, shorter);
    out += "    suggestion, all at once: " + shown(written) + "=" + shown(shorter) + promised(settings, all) +
           " of " + count_of(all.heads, "head", "heads") +
           "; in a card with several, the last wins, and a later mapping gets none of these lines: put longer "
           "prefixes first\n";
    claim(census, shorter, claimed);
}

}  // namespace quorlan
