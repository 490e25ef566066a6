// The lines of a card that wait for its end when decoding, and what the card tells about
// them on other lines (its declared charset, the Apple labels of its groups); settle_card
// feeds them to the fields once the card has ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "convert/card_state.h"
#include "convert/observer.h"
#include "convert/prefix_heads.h"

namespace quorlan {

// Whether the parameters of a head (from its first ";") may give a CHARSET.
bool declares_charset(std::string_view params);
// The card declares `charset` on one of its lines.
void note_card_charset(WaitingLines& card, const std::string& charset);
// The card's group `group` has the label `label` (an X-ABLabel line).
void note_label(WaitingLines& card, const std::string& group, std::string_view label);
// Keeps the line for the card's end: its head, its value part and its line of the file.
void keep_waiting(WaitingLines& card, std::string_view head, std::string_view value_part, std::size_t number);

// At the end of a card, when decoding: the lines that waited feed the fields, mapping by
// mapping in order. A mapping takes the lines of the first alternative of its prefix that
// gives a value and leaves the lines of the others to later mappings; among them the
// first value counts, or the first preferred one. Apple labels give their group's lines
// their types, and a line that declares no charset and is not UTF-8 is read in the one
// charset the card declares, else in the code page of CODEPAGE=.
void settle_card(const Settings& settings, PrefixHeads& prefixes, CardState& card,
                 const ConversionObserver* observer = nullptr);

}  // namespace quorlan
