#include "explain/census_report.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "charset/cp1250.h"
#include "explain/cards.h"
#include "explain/show.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

constexpr std::size_t kHeadRows = 40;
constexpr std::size_t kHeadsPerMapping = 4;
constexpr std::size_t kSuggestions = 4;

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string right(std::size_t n, std::size_t width) {
    std::string text = std::to_string(n);
    return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

std::string mappings_of(const Settings& settings, std::uint64_t mask) {
    std::string text;
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        if ((mask >> j & 1U) == 0) continue;
        if (!text.empty()) text += ", ";
        text += mapping_name(settings, j);
    }
    return text.empty() ? "none" : text;
}

void describe_heads(std::string& out, const Settings& settings, const Census& census) {
    out += "\nHeads of the card lines (text before the first \":\"), most lines first\n";
    out += "   lines  cards  head                            taken by\n";
    const std::vector<const HeadCount*> heads = heads_by_lines(census);
    std::size_t rest_lines = census.lines_not_kept;
    for (std::size_t i = 0; i < heads.size(); ++i) {
        const HeadCount& head = *heads[i];
        if (i >= kHeadRows) {
            rest_lines += head.lines;
            continue;
        }
        std::string taken = mappings_of(settings, head.mappings);
        if (head.mappings != 0 && head.taken != head.lines) {
            taken += " (" + std::to_string(head.taken) + " of the lines)";
        }
        out += "  " + right(head.lines, 6) + " " + right(head.cards, 6) + "  " + padded(in_quotes(head.head), 31) + " " +
               taken + "\n";
    }
    if (heads.size() > kHeadRows || census.lines_not_kept != 0) {
        const std::size_t more = heads.size() > kHeadRows ? heads.size() - kHeadRows : 0;
        out += "  and " + std::to_string(more) + (census.lines_not_kept != 0 ? "+" : "") + " more heads in " +
               count_of(rest_lines, "line", "lines") + "\n";
    }
    if (heads.empty()) out += "  none\n";
    out += "  not heads: " + count_of(census.continuation_lines, "continuation line", "continuation lines") +
           " (folded, base64 data, quoted-printable soft line breaks, pieces of long lines, values of the "
           "\";=\" rule) and " + count_of(census.empty_lines, "empty line", "empty lines") +
           (settings.decode != 0 ? "; with decoding on, a folded line counts with the line it continues" : "") + "\n";
}

// What a mapping in place of mapping `j` with `prefix` would take: lines of heads that
// begin with it, less those an earlier mapping takes first.
struct Promise {
    std::size_t lines = 0;
    std::size_t heads = 0;
    std::size_t taken_before = 0;  // lines an earlier mapping takes first
    std::size_t before = SIZE_MAX;  // that earlier mapping
};

Promise promise_of(const Census& census, std::size_t j, std::string_view prefix) {
    Promise promise;
    const std::uint64_t earlier = (std::uint64_t{1} << j) - 1;
    for (const HeadCount& head : census.heads) {
        if (!begins_with(head.compared, prefix)) continue;
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
        if ((head->mappings >> j & 1U) != 0 || property_name(head->head) != wanted[0]) continue;
        same_name.push_back(head);
        if (of_the_kind(head_kind(head->head), wanted)) same_kind.push_back(head);
    }
    // A mapping that takes lines already is shown only heads of its own kind.
    return same_kind.empty() && census.takes[j].lines == 0 ? same_name : same_kind;
}

// The shortest prefix of `head`, cut where a parameter begins, that takes the same heads
// of the file as the head itself (cut to the prefix's 20 bytes) does.
std::string shortest_prefix(const Census& census, const std::string& head) {
    const std::string whole = head.substr(0, kMaxPrefixBytes);
    const auto heads_taken = [&](std::string_view prefix) {
        std::vector<const HeadCount*> taken;
        for (const HeadCount& other : census.heads) {
            if (begins_with(other.compared, prefix)) taken.push_back(&other);
        }
        return taken;
    };
    const std::vector<const HeadCount*> by_whole = heads_taken(whole);
    for (std::size_t cut = whole.find(';'); cut != std::string::npos; cut = whole.find(';', cut + 1)) {
        // Before the ";" and with it: "N;" takes the lines of N with parameters, not NOTE.
        for (const std::size_t length : {cut, cut + 1}) {
            if (heads_taken(std::string_view(whole).substr(0, length)) == by_whole) return whole.substr(0, length);
        }
    }
    return whole;
}

// The mapping lines that would take the heads of the same property that mapping `j` misses.
void suggest(std::string& out, const Settings& settings, const Census& census, std::size_t j,
             std::string_view written) {
    const std::string name = property_name(settings.mappings[j].prefix);
    const std::vector<const HeadCount*> missed = missed_heads(settings, census, j);
    std::vector<std::string> prefixes;
    // Where heads abound, only the most frequent are worked out; the rest are counted.
    for (std::size_t i = 0; i < missed.size() && prefixes.size() < kSuggestions; ++i) {
        std::string prefix = shortest_prefix(census, missed[i]->compared);
        if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end()) prefixes.push_back(std::move(prefix));
    }
    // A prefix that begins another takes all its lines too: the longer one says nothing more.
    std::erase_if(prefixes, [&](const std::string& prefix) {
        return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& other) {
            return other.size() < prefix.size() && begins_with(prefix, other);
        });
    });
    for (const std::string& prefix : prefixes) {
        out += "    suggestion: " + shown(written) + "=" + shown(prefix) +
               promised(settings, promise_of(census, j, prefix)) + "\n";
    }
    std::vector<std::string> all_heads = prefixes;
    for (const HeadCount* head : missed) all_heads.push_back(head->compared.substr(0, kMaxPrefixBytes));
    const std::size_t not_taken =
        static_cast<std::size_t>(std::count_if(missed.begin(), missed.end(), [&](const HeadCount* head) {
            return std::none_of(prefixes.begin(), prefixes.end(),
                                [&](const std::string& prefix) { return begins_with(head->compared, prefix); });
        }));
    if (not_taken != 0) {
        out += "    and " + count_of(not_taken, "more head", "more heads") + " of " + in_quotes(name) + "\n";
    }
    const std::string shorter = common_prefix(all_heads);
    if (missed.size() < 2 || property_name(shorter) != name ||
        std::find(prefixes.begin(), prefixes.end(), shorter) != prefixes.end()) {
        return;
    }
    const Promise all = promise_of(census, j, shorter);
    out += "    suggestion, all at once: " + shown(written) + "=" + shown(shorter) + promised(settings, all) +
           " of " + count_of(all.heads, "head", "heads") +
           "; in a card with several, the last wins, and a later mapping gets none of these lines: put longer "
           "prefixes first\n";
}

std::string refill_example(const Refill& refill) {
    return "card " + std::to_string(refill.card) + ": " + value_shown(refill.first_value) + " (line " +
           std::to_string(refill.first_line) + "), then " + value_shown(refill.last_value) + " (line " +
           std::to_string(refill.last_line) + ")";
}

void describe_mapping_takes(std::string& out, const Settings& settings, const Census& census, std::size_t j,
                            std::string_view written, std::size_t cards) {
    const FieldMapping& mapping = settings.mappings[j];
    const MappingTakes& takes = census.takes[j];
    out += "  " + mapping_name(settings, j) + " " + in_quotes(mapping.prefix) + ": ";
    if (mapping.constant) {
        out += "a constant field, written the same in every record\n";
        return;
    }
    if (takes.lines == 0) {
        out += "takes no line\n";
    } else {
        out += "takes " + count_of(takes.lines, "line", "lines") + ", filled in " + std::to_string(takes.cards_filled) +
               " of " + count_of(cards, "card", "cards") + "\n";
        std::string heads;
        std::size_t shown_heads = 0, more = 0;
        for (const HeadCount* head : heads_by_lines(census)) {
            if ((head->mappings >> j & 1U) == 0) continue;
            if (shown_heads++ == kHeadsPerMapping) {
                ++more;
                --shown_heads;
                continue;
            }
            heads += (heads.empty() ? "" : ", ") + in_quotes(head->head) + " (" + std::to_string(head->lines) + ")";
        }
        if (!heads.empty()) {
            out += "    heads " + heads + (more != 0 ? " and " + std::to_string(more) + " more" : "") + "\n";
        }
    }
    if (takes.continuations != 0) {
        out += "    and " + count_of(takes.continuations, "whole next line", "whole next lines") +
               " by the \";=\" rule\n";
    }
    if (takes.cards_refilled != 0) {
        out += "    filled more than once in " + count_of(takes.cards_refilled, "card", "cards") +
               ", where the last value wins: " + refill_example(takes.example) + "\n";
    }
    if (!mapping.prefix.empty() && (takes.lines == 0 || takes.cards_filled * 2 < cards)) {
        suggest(out, settings, census, j, written);
    }
}

}  // namespace

void describe_census(std::string& out, const Settings& settings, const Census& census,
                     const std::vector<std::string_view>& written, std::size_t cards) {
    describe_heads(out, settings, census);
    if (settings.mappings.empty()) return;
    out += "\nWhat each mapping takes\n";
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        describe_mapping_takes(out, settings, census, j, written[j], cards);
    }
}

}  // namespace quorlan
