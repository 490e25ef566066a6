// Capture: the values that card lines give the field mappings, byte for byte or, when
// decoding, as vCard readers read the lines, and the card they are gathered in.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "convert/card_state.h"
#include "convert/observer.h"
#include "convert/prefix_heads.h"
#include "text/function_ref.h"

namespace quorlan {

// The first bytes of all non-empty prefixes: a line whose first byte is not among them
// can't feed any mapping, so capture can pass it by at once.
struct PrefixIndex {
    std::array<bool, 256> first_byte{};
    // For each first byte, the mappings whose prefix begins with it, one bit each in
    // mapping order: a line visits only the mappings it may feed, not all of them.
    std::array<std::uint64_t, 256> by_first{};
    static_assert(kMaxMappings <= 64, "one bit for each mapping");
};

PrefixIndex make_prefix_index(const Settings& settings);

CardState make_card_state(const Settings& settings);

// Adds a value to list field `j`: false, and the list unchanged, when the card holds it
// already (a number by its digits in any list field, other values by their text in this
// one); a preferred duplicate makes the value kept preferred.
bool add_list_value(CardState& card, std::size_t j, std::string_view text, ValueKind kind, bool preferred,
                    bool number);

// True when `a` and `b` are the same value: numbers by their digits, when they have any.
bool same_value(std::string_view a, std::string_view b, bool numbers);

// Adds the lost values of a card that was written to `kept`, the run's (a card the filter
// leaves out loses its values on purpose).
void keep_lost_values(const CardState& card, LostValues& kept);

// Counts a lost value and tells `observer` about it.
[[gnu::cold]] void note_lost_value(CardState& card, std::size_t number, std::string_view name, std::size_t mapping,
                                   std::string_view value, const ConversionObserver* observer);

// Tells `observer`, when one listens to values, what became of mapping `j`'s `value` from
// card line `line`; inline, so that a run without one builds no fact.
inline void tell_value(const ConversionObserver* observer, std::size_t j, std::string_view value,
                       ValueOutcome outcome, std::size_t line) {
    if (observer == nullptr) return;
    ValueFact fact;
    fact.mapping = j;
    fact.line = line;
    fact.value = value;
    fact.outcome = outcome;
    observer->value(fact);
}

// Empties every value.
void reset_card(CardState& card);

// Where the exact reading finds the line that a value ending in ";=" goes on with: the
// next line of its file, read into the string, which stays as it is at the end of the input.
using ReadContinuation = FunctionRef<void(std::string&)>;

// Feeds the values of the mappings whose prefixes the line begins with, byte for byte,
// telling `observer` (when given) about every value taken from card line `number`. `line`
// may be a view into the reader's block: a value whose rest holds ";=" is taken from the
// next line, read from `more` into `buffer`. Returns the line as it stands after capture:
// `line`, or `buffer` when it holds a continuation line.
std::string_view capture_values(std::string_view line, std::string& buffer, ReadContinuation more,
                                const Settings& settings, const PrefixIndex& index, CardState& card,
                                const ConversionObserver* observer = nullptr, std::size_t number = 0);

// Capture when decoding: the line, decoded, feeds the first mapping whose prefix names it
// and no other, with its value part cut and cleaned. A field keeps the first value of the
// card, unless a later line is preferred and the kept one is not. Returns true when the
// line fed a field; a line whose value comes out empty feeds none.
// A line whose field depends on what the card holds further on waits for the card's end
// (see settle_card in convert/waiting.h; `card.waiting`) and has fed none yet; `number` is its line of the file.
// `head_size`, when the caller knows it, is head_end(line).
bool capture_decoded_values(std::string_view line, const Settings& settings, PrefixHeads& prefixes,
                            CardState& card, const ConversionObserver* observer = nullptr, std::size_t number = 0,
                            std::size_t head_size = std::string_view::npos);

// Keeps the components of mapping `j`'s value, whose value part `value_part` is read in
// `charset` (empty: UTF-8, else windows-1250), when the card keeps them.
void keep_components(CardState& card, std::size_t j, std::string_view value_part, std::string_view charset);
// Whether the card keeps the components of mapping `j`.
inline bool keeps_components(const CardState& card, std::size_t j) {
    return (card.component_mappings >> j & 1U) != 0;
}

// The clean-up of every captured value: ";" to space, line end trimmed, runs of spaces collapsed.
void clean_value(std::string& value);

}  // namespace quorlan
