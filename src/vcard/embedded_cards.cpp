#include "vcard/embedded_cards.h"

#include "vcard/decode.h"
#include "vcard/head.h"

namespace quorlan {

namespace {

// True when `line` (a logical line) whose property name is `name` (property_name_of) is an
// AGENT line whose value is empty.
bool is_empty_agent_line(std::string_view line, std::string_view name) {
    if (!equal_any_case(name, "AGENT")) return false;
    const std::size_t end = head_end(line);
    if (end == line.size()) return false;  // no ":" at all: no property line
    for (const char c : line.substr(end + 1)) {
        if (c != ' ' && c != '\t') return false;
    }
    return true;
}

}  // namespace

bool in_embedded_card(EmbeddedCards& cards, std::string_view line, std::string_view name, bool card_open) {
    const bool after_agent = cards.after_agent;
    cards.after_agent = false;
    if (begins_with_any_case(line, "BEGIN:VCARD")) {
        if (after_agent && (card_open || cards.depth > 0)) {
            ++cards.depth;
            ++cards.count;
            return true;
        }
        cards.depth = 0;
        return false;
    }
    const bool inside = cards.depth > 0;
    if (inside && begins_with_any_case(line, "END:")) {
        --cards.depth;
    } else {
        cards.after_agent = is_empty_agent_line(line, name);
    }
    return inside;
}

}  // namespace quorlan
