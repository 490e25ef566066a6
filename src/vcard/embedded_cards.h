// Cards embedded in a card: vCard 2.1 writes an agent's card inside the card it belongs to,
// as the value of an AGENT line without a value of its own ("AGENT:", then "BEGIN:VCARD" ...
// "END:VCARD").
#pragma once

#include <cstddef>
#include <string_view>

#include "vcard/head.h"

namespace quorlan {

struct EmbeddedCards {
    std::size_t depth = 0;     // embedded cards open
    bool after_agent = false;  // the line before was an AGENT line without a value
    std::size_t count = 0;     // embedded cards begun
};

// Follows one logical line of the card file, whose property name is `name`; true when it
// belongs to an embedded card: its "BEGIN:VCARD" (right after an empty AGENT line of an
// open card, `card_open`), its lines and its matching "END:" line. Any other "BEGIN:VCARD"
// closes every embedded card, so that one that lost its end never swallows the cards after it.
bool in_embedded_card(EmbeddedCards& cards, std::string_view line, std::string_view name, bool card_open);

// False only when in_embedded_card would return false and change nothing: no embedded card
// is open, the line before was no empty AGENT line, and the line neither begins with a "B"
// nor is named AGENT. Inline, as every line is asked and nearly all answer false.
inline bool may_be_in_embedded_card(const EmbeddedCards& cards, std::string_view line, std::string_view name) {
    return cards.depth > 0 || cards.after_agent || (!line.empty() && (line[0] | 0x20) == 'b') ||
           equal_any_case(name, "AGENT");
}

}  // namespace quorlan
