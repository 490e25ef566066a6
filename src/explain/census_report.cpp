#include "explain/census_report.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "charset/cp1250.h"
#include "diagnose/cards.h"
#include "diagnose/show.h"
#include "text/text_ops.h"
#include "vcard/head.h"

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

// With decoding, how the lines of a head by meaning are spelt in the file.
std::string spellings_of(const HeadCount& head) {
    if (head.spellings.empty() || (head.spellings.size() == 1 && head.spellings[0].first == head.head)) return {};
    std::string text;
    std::size_t shown_lines = 0;
    for (const auto& [spelling, lines] : head.spellings) {
        text += (text.empty() ? " (" : ", ") + shown(spelling) + " " + std::to_string(lines);
        shown_lines += lines;
    }
    if (shown_lines < head.lines) text += ", others " + std::to_string(head.lines - shown_lines);
    return text + ")";
}

void describe_heads(std::string& out, const Settings& settings, const Census& census) {
    out += settings.decode != 0 ? "\nProperties of the card lines (name and types, as prefixes take them), most "
                                  "lines first\n"
                                : "\nHeads of the card lines (text before the first \":\"), most lines first\n";
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
               taken + spellings_of(head) + "\n";
    }
    if (heads.size() > kHeadRows || census.lines_not_kept != 0) {
        const std::size_t more = heads.size() > kHeadRows ? heads.size() - kHeadRows : 0;
        out += "  and " + std::to_string(more) + (census.lines_not_kept != 0 ? "+" : "") +
               (more == 1 && census.lines_not_kept == 0 ? " more head in " : " more heads in ") +
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

// The mapping lines that would take the heads of the same property that mapping `j`
// misses, keeping the types its prefix names and leaving alone the lines that a suggestion
// for an earlier mapping takes.
void suggest(std::string& out, const Settings& settings, const Census& census, std::size_t j,
             std::string_view written, std::vector<const HeadCount*>& claimed) {
    const std::vector<std::string> wanted = head_kind(settings.mappings[j].prefix);
    const std::string& name = wanted[0];
    const std::vector<const HeadCount*> missed = missed_heads(settings, census, j);
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
    // A prefix that takes all the lines of a shorter one says nothing more.
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
    for (const std::string& prefix : prefixes) {
        out += "    suggestion: " + shown(written) + "=" + shown(prefix) +
               promised(settings, promise_of(census, j, prefix)) + "\n";
    }
    // The heads of these suggestions are claimed once the shorter prefix that takes them
    // all at once has been tried: it may take them, being an alternative to them.
    const auto claim_suggested = [&] {
        for (const std::string& prefix : prefixes) claim(census, prefix, claimed);
    };
    const std::size_t not_taken =
        static_cast<std::size_t>(std::count_if(missed.begin(), missed.end(), [&](const HeadCount* head) {
            return std::none_of(prefixes.begin(), prefixes.end(),
                                [&](const std::string& prefix) { return takes_head(census, *head, prefix); });
        }));
    if (not_taken != 0) {
        out += "    and " + count_of(not_taken, "more head", "more heads") + " of " + in_quotes(name) + "\n";
    }
    if (census.decode || missed.size() < 2) return claim_suggested();
    std::vector<std::string> all_heads = prefixes;
    for (const HeadCount* head : missed) all_heads.push_back(head->compared.substr(0, kMaxPrefixBytes));
    const std::string shorter = common_prefix(all_heads);
    if (parse_head(shorter).name != name || std::find(prefixes.begin(), prefixes.end(), shorter) != prefixes.end() ||
        !of_the_kind(head_kind(shorter), wanted) || !fits(census, shorter, wanted, claimed)) {
        return claim_suggested();
    }
    claim_suggested();
    const Promise all = promise_of(census, j, shorter);
    out += "    suggestion, all at once: " + shown(written) + "=" + shown(shorter) + promised(settings, all) +
           " of " + count_of(all.heads, "head", "heads") +
           "; in a card with several, the last wins, and a later mapping gets none of these lines: put longer "
           "prefixes first\n";
    claim(census, shorter, claimed);
}

// Without decoding: how many lines of the file the mapping's prefix would take with
// DECODE=1 as it stands, a line going to the first mapping that names it. Heads are all
// the census keeps, so a value after the prefix's ":" is taken as met.
std::size_t lines_when_decoding(const Settings& settings, const Census& census, std::size_t j) {
    // Every alternative of a prefix ("N|FN"), as decoding reads it.
    const auto head_only = [&](std::size_t k) {
        std::vector<PrefixHead> alternatives;
        for (const std::string_view alternative : prefix_alternatives(settings.mappings[k].prefix)) {
            alternatives.push_back(parse_prefix_head(alternative));
            alternatives.back().value_prefix.clear();
        }
        return alternatives;
    };
    const auto names = [](const std::vector<PrefixHead>& alternatives, const Head& parsed) {
        return std::any_of(alternatives.begin(), alternatives.end(),
                           [&](const PrefixHead& prefix) { return prefix_matches(prefix, parsed, {}); });
    };
    const std::vector<PrefixHead> wanted = head_only(j);
    std::vector<std::vector<PrefixHead>> earlier;
    for (std::size_t k = 0; k < j; ++k) earlier.push_back(head_only(k));
    std::size_t lines = 0;
    for (const HeadCount& head : census.heads) {
        const Head parsed = parse_head(head.compared);
        if (!names(wanted, parsed)) continue;
        if (std::none_of(earlier.begin(), earlier.end(),
                         [&](const std::vector<PrefixHead>& other) { return names(other, parsed); })) {
            lines += head.lines;
        }
    }
    return lines;
}

// With decoding, for a prefix with alternatives: the cards each one filled.
std::string alternatives_filled(const FieldMapping& mapping, const MappingTakes& takes) {
    const std::vector<std::string_view> alternatives = prefix_alternatives(mapping.prefix);
    if (alternatives.size() < 2) return {};
    std::string text = "    cards filled by each alternative:";
    for (std::size_t k = 0; k < alternatives.size(); ++k) {
        const std::size_t cards = k < takes.by_alternative.size() ? takes.by_alternative[k] : 0;
        text += (k == 0 ? " " : ", ") + in_quotes(alternatives[k]) + " " + std::to_string(cards);
    }
    return text + "\n";
}

std::string refill_example(const Refill& refill) {
    return "card " + std::to_string(refill.card) + ": " + value_shown(refill.first_value) + " (line " +
           std::to_string(refill.first_line) + "), then " + value_shown(refill.last_value) + " (line " +
           std::to_string(refill.last_line) + ")";
}

void describe_mapping_takes(std::string& out, const Settings& settings, const Census& census, std::size_t j,
                            std::string_view written, std::size_t cards, std::vector<const HeadCount*>& claimed) {
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
    if (census.decode) {
        out += alternatives_filled(mapping, takes);
        if (takes.cards_dropped != 0) {
            const Refill& example = takes.dropped_example;
            out += "    a later line dropped in " + count_of(takes.cards_dropped, "card", "cards") +
                   ", as the first value stays: card " + std::to_string(example.card) + ": " +
                   value_shown(example.first_value) + " (line " + std::to_string(example.first_line) + ") kept, " +
                   value_shown(example.last_value) + " (line " + std::to_string(example.last_line) + ") dropped\n";
        }
        if (takes.cards_refilled != 0) {
            out += "    a preferred line replaced the first value in " +
                   count_of(takes.cards_refilled, "card", "cards") + ": " + refill_example(takes.example) + "\n";
        }
    } else if (takes.cards_refilled != 0) {
        out += "    filled more than once in " + count_of(takes.cards_refilled, "card", "cards") +
               ", where the last value wins: " + refill_example(takes.example) + "\n";
    }
    if (!census.decode && !mapping.prefix.empty()) {
        const std::size_t decoded = lines_when_decoding(settings, census, j);
        if (decoded != takes.lines) {
            out += "    with DECODE=1, as it stands, it would take " + count_of(decoded, "line", "lines") + "\n";
        }
    }
    if (!mapping.prefix.empty() && (takes.lines == 0 || takes.cards_filled * 2 < cards)) {
        suggest(out, settings, census, j, written, claimed);
    }
}

}  // namespace

void describe_census(std::string& out, const Settings& settings, const Census& census,
                     const std::vector<std::string_view>& written, std::size_t cards) {
    describe_heads(out, settings, census);
    if (settings.mappings.empty()) return;
    out += "\nWhat each mapping takes\n";
    std::vector<const HeadCount*> claimed;  // heads that a suggestion already takes
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        describe_mapping_takes(out, settings, census, j, written[j], cards, claimed);
    }
}

}  // namespace quorlan
