// The lines of a card that wait for its end, and which field each feeds once the whole card
// is known (the alternatives of prefixes, Apple's labels, the card's own charset).
#include "convert/waiting.h"

#include <algorithm>

#include "charset/unicode_text.h"
#include "convert/capture.h"
#include "convert/observer.h"
#include "text/text_ops.h"
#include "vcard/decode.h"
#include "vcard/head.h"
#include "vcard/value_text.h"

namespace quorlan {

namespace {

constexpr std::uint8_t kNoRank = 255;

std::string_view label_of(const WaitingLines& card, std::string_view group) {
    for (const auto& [known, label] : card.labels) {
        if (known == group) return label;
    }
    return {};
}

// The charset the line is read in: its own, else, for bytes that are not UTF-8, the one
// the card declares elsewhere, else the code page of CODEPAGE= (else windows-1250).
std::string_view charset_of(const PrefixHeads& prefixes, const WaitingLines& card, const Head& head,
                            std::string_view value) {
    // A charset not known here is as good as none.
    for (const auto& [key, charset] : head.params) {
        if (key == "CHARSET" && find_charset(charset) != nullptr) return charset;
    }
    if (is_valid_utf8(value)) return {};
    // A card that declares UTF-8 says nothing of bytes that are not.
    if (!card.charset.empty() && !card.charsets_differ && !is_utf8_charset(find_charset(card.charset))) {
        return card.charset;
    }
    return prefixes.codepage;
}

// Reads the line's head (with its group's label), decodes its value and ranks the
// alternatives of every mapping that take it.
void read_waiting_line(const Settings& settings, PrefixHeads& prefixes, CardState& card, WaitingLine& line) {
    Head& head = prefixes.line;
    read_head(line.head, head);
    if (!head.group.empty()) {
        if (const std::string_view label = label_of(card.waiting, head.group); !label.empty()) {
            add_apple_label(head, label);
        }
    }
    line.text = line.value;
    line.charset.assign(charset_of(prefixes, card.waiting, head, line.value));
    // A code page not known here (CODEPAGE=9999) leaves the bytes read as windows-1250.
    line.read_in_charset = decode_value_text(line.text, line.charset, card.charsets, kMaxValueBytes) &&
                           !line.charset.empty();
    // A vCard 4.0 number is written as a URI: "TEL;VALUE=uri:tel:+420603123456".
    if (std::string_view(head.name) == "TEL" && begins_with_any_case(line.text, "TEL:")) line.text.erase(0, 4);
    line.rank.assign(settings.mappings.size(), kNoRank);
    for (std::size_t j = 0; j < prefixes.alternatives.size(); ++j) {
        const std::vector<PrefixHead>& alternatives = prefixes.alternatives[j];
        for (std::size_t k = 0; k < alternatives.size(); ++k) {
            if (prefix_matches(alternatives[k], head, line.value)) {
                line.rank[j] = static_cast<std::uint8_t>(k);
                break;
            }
        }
    }
    line.preferred = head.preferred;
    line.kind = value_kind(head);
    line.tel = std::string_view(head.name) == "TEL";
    line.name = head.name;
    line.used = false;
}

// The alternative mapping `j` takes: the first that gives a value. When none does, the
// first that names a line, whose lines are dropped with their empty values.
std::uint8_t chosen_alternative(const WaitingLines& card, std::size_t j) {
    std::uint8_t chosen = kNoRank;
    std::uint8_t named = kNoRank;
    for (std::size_t i = 0; i < card.count; ++i) {
        const WaitingLine& line = card.lines[i];
        if (line.used) continue;
        named = std::min(named, line.rank[j]);
        if (!line.text.empty()) chosen = std::min(chosen, line.rank[j]);
    }
    return chosen != kNoRank ? chosen : named;
}

// Tells `observer` what became of the value of a line that waited, which alternative
// `alternative` of mapping `j`'s prefix names.
void tell_waited(const ConversionObserver* observer, const CardState& card, std::size_t j, const WaitingLine& line,
                 std::uint8_t alternative, std::string_view value, ValueOutcome outcome) {
    if (observer == nullptr) return;
    ValueFact fact;
    fact.mapping = j;
    fact.alternative = alternative;
    fact.line = line.number;
    fact.value = value;
    fact.outcome = outcome;
    fact.waited = true;
    fact.read_in_charset = line.read_in_charset;
    fact.labels = card.waiting.labels;
    observer->value(fact);
}

void take_list_lines(CardState& card, std::size_t j, std::uint8_t alternative, const ConversionObserver* observer) {
    for (std::size_t i = 0; i < card.waiting.count; ++i) {
        WaitingLine& line = card.waiting.lines[i];
        if (line.used || line.rank[j] != alternative) continue;
        line.used = true;
        const ValueOutcome outcome =
            line.text.empty() ? ValueOutcome::DroppedEmpty
            : add_list_value(card, j, line.text, line.kind, line.preferred, line.tel) ? ValueOutcome::Taken
                                                                                      : ValueOutcome::DroppedListHolds;
        tell_waited(observer, card, j, line, alternative, line.text, outcome);
    }
}

// Address books show the first value of a card, or the preferred one; a value that is not
// kept is lost, unless it is the kept one again.
void take_line(CardState& card, std::size_t j, std::uint8_t alternative, const WaitingLine& line,
               const ConversionObserver* observer) {
    std::string& kept = card.values[j];
    const bool replaces = line.preferred && card.preferred[j] == 0;
    if (!line.text.empty() && !kept.empty() && !same_value(kept, line.text, line.tel)) {
        note_lost_value(card, replaces ? card.kept_line[j] : line.number, line.name, j,
                        replaces ? std::string_view(kept) : line.text, observer);
    }
    if (line.text.empty() || !(kept.empty() || replaces)) {
        tell_waited(observer, card, j, line, alternative, line.text,
                    line.text.empty() ? ValueOutcome::DroppedEmpty : ValueOutcome::DroppedFirstStays);
        return;
    }
    kept = line.text;
    card.kept_line[j] = line.number;
    card.preferred[j] = line.preferred ? 1 : 0;
    if (keeps_components(card, j)) keep_components(card, j, line.value, line.charset);
    tell_waited(observer, card, j, line, alternative, kept, ValueOutcome::Taken);
}

void take_lines(CardState& card, std::size_t j, std::uint8_t alternative, const ConversionObserver* observer) {
    for (std::size_t i = 0; i < card.waiting.count; ++i) {
        WaitingLine& line = card.waiting.lines[i];
        if (line.used || line.rank[j] != alternative) continue;
        line.used = true;
        take_line(card, j, alternative, line, observer);
    }
}

// A line that no field's prefix names at all (an Apple label no field takes) is lost; one
// that an alternative names was left by a field that took another alternative.
void note_unnamed_lines(CardState& card, const ConversionObserver* observer) {
    for (std::size_t i = 0; i < card.waiting.count; ++i) {
        const WaitingLine& line = card.waiting.lines[i];
        if (line.used || line.text.empty()) continue;
        if (std::any_of(line.rank.begin(), line.rank.end(), [](std::uint8_t rank) { return rank != kNoRank; })) continue;
        note_lost_value(card, line.number, line.name, kNoField, line.text, observer);
    }
}

}  // namespace

// "CHARSET=" in any case, before the first ":" outside quotes, where the head ends. From one
// "=" to the next, which most heads have one or two of.
bool declares_charset(std::string_view params) {
    // One walk to each "=" and no further than the ":": an inline photo is thousands of
    // bytes without "=".
    for (std::size_t at = 0;; ++at) {
        at += first_marked(params.substr(at), [](std::uint64_t word) {
            return bytes_equal(word, '=') | bytes_equal(word, ':');
        });
        if (at >= params.size()) return false;
        if (params[at] == ':') {
            // A ":" in a quoted parameter value, as in X="a:b", does not end the head: a
            // charset after it is declared all the same, as the head's reader finds it.
            // (Most heads hold no quote: one look for it, and a count only where there is.)
            const std::string_view before = params.substr(0, at);
            if (before.find('"') == std::string_view::npos ||
                std::count(before.begin(), before.end(), '"') % 2 == 0) {
                return false;
            }
            continue;
        }
        if (at >= 7 && (params[at - 7] | 0x20) == 'c' && equal_any_case(params.substr(at - 7, 7), "CHARSET")) {
            return true;
        }
    }
}

// The card declares `charset` on one of its lines.
void note_card_charset(WaitingLines& card, const std::string& charset) {
    if (card.charsets_differ || charset == card.charset) return;
    if (card.charset.empty()) {
        card.charset = charset;
    } else {
        card.charsets_differ = true;
    }
}

void note_label(WaitingLines& card, const std::string& group, std::string_view label) {
    for (auto& [known, text] : card.labels) {
        if (known == group) {
            text = label;
            return;
        }
    }
    // As many labels as lines wait, at most: memory stays bounded.
    if (card.labels.size() < kMaxWaitingLines) card.labels.emplace_back(group, label);
}

void keep_waiting(WaitingLines& card, std::string_view head, std::string_view value_part, std::size_t number) {
    card.active = true;
    // Memory stays bounded whatever a card holds: lines beyond so many feed nothing, as no
    // address book shows that many values of one card.
    if (card.count == kMaxWaitingLines || card.bytes + value_part.size() > kMaxWaitingBytes) return;
    if (card.count == card.lines.size()) card.lines.emplace_back();
    WaitingLine& line = card.lines[card.count++];
    line.head.assign(head);
    line.value.assign(value_part);
    card.bytes += value_part.size();
    line.number = number;
    line.used = false;
}

void settle_card(const Settings& settings, PrefixHeads& prefixes, CardState& card,
                 const ConversionObserver* observer) {
    WaitingLines& waiting = card.waiting;
    if (!waiting.active) return;
    for (std::size_t i = 0; i < waiting.count; ++i) read_waiting_line(settings, prefixes, card, waiting.lines[i]);
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        // A value taken before the card began to wait came from the mapping's only
        // alternative, from a line before all that waited.
        const std::uint8_t alternative = card.values[j].empty() ? chosen_alternative(waiting, j) : 0;
        if (alternative == kNoRank) continue;
        if (!card.lists.empty() && is_list_field(settings, settings.mappings[j])) {
            take_list_lines(card, j, alternative, observer);
        } else {
            take_lines(card, j, alternative, observer);
        }
    }
    note_unnamed_lines(card, observer);
    // Settled once: a second "END:" line of the card finds nothing waiting.
    waiting.active = false;
    waiting.count = 0;
    waiting.bytes = 0;
}

}  // namespace quorlan
