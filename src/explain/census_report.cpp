#include "explain/census_report.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "charset/cp1250.h"
#include "diagnose/cards.h"
#include "diagnose/show.h"
#include "explain/suggestions.h"
#include "text/text_ops.h"
#include "vcard/head.h"

namespace quorlan {

namespace {

constexpr std::size_t kHeadRows = 40;
constexpr std::size_t kHeadsPerMapping = 4;

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
    out += settings.decode ? "\nProperties of the card lines (name and types, as prefixes take them), most "
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
           (settings.decode ? "; with decoding on, a folded line counts with the line it continues" : "") + "\n";
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

// "card 3: A (line 10), then B (line 12)", or with other words between and after the values.
std::string refill_example(const Refill& refill, std::string_view between = ", then ", std::string_view after = "") {
    return "card " + std::to_string(refill.card) + ": " + value_shown(refill.first_value) + " (line " +
           std::to_string(refill.first_line) + ")" + std::string(between) + value_shown(refill.last_value) +
           " (line " + std::to_string(refill.last_line) + ")" + std::string(after);
}

// The lines the mapping takes, and the heads they have, most lines first.
void describe_lines_taken(std::string& out, const Census& census, std::size_t j, std::size_t cards) {
    const MappingTakes& takes = census.takes[j];
    if (takes.lines == 0) {
        out += "takes no line\n";
        return;
    }
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
    if (!heads.empty()) out += "    heads " + heads + (more != 0 ? " and " + std::to_string(more) + " more" : "") + "\n";
}

// Cards in which the mapping met more than one value, and which it kept.
void describe_refills(std::string& out, const Census& census, const FieldMapping& mapping, const MappingTakes& takes) {
    if (!census.decode) {
        if (takes.cards_refilled == 0) return;
        out += "    filled more than once in " + count_of(takes.cards_refilled, "card", "cards") +
               ", where the last value wins: " + refill_example(takes.example) + "\n";
        return;
    }
    out += alternatives_filled(mapping, takes);
    if (takes.cards_dropped != 0) {
        out += "    a later line dropped in " + count_of(takes.cards_dropped, "card", "cards") +
               ", as the first value stays: " + refill_example(takes.dropped_example, " kept, ", " dropped") + "\n";
    }
    if (takes.cards_refilled != 0) {
        out += "    a preferred line replaced the first value in " + count_of(takes.cards_refilled, "card", "cards") +
               ": " + refill_example(takes.example) + "\n";
    }
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
    describe_lines_taken(out, census, j, cards);
    if (takes.continuations != 0) {
        out += "    and " + count_of(takes.continuations, "whole next line", "whole next lines") +
               " by the \";=\" rule\n";
    }
    describe_refills(out, census, mapping, takes);
    if (!census.decode && !mapping.prefix.empty()) {
        const std::size_t decoded = lines_when_decoding(settings, census, j);
        if (decoded != takes.lines) {
            out += "    with DECODE=1, as it stands, it would take " + count_of(decoded, "line", "lines") + "\n";
        }
    }
    if (!mapping.prefix.empty() && (takes.lines == 0 || takes.cards_filled * 2 < cards)) {
        suggest_prefixes(out, settings, census, j, written, claimed);
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
