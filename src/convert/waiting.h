// The lines of a card that wait for its end when decoding, and what the card tells about
// them on other lines (its declared charset, the Apple labels of its groups); settle_card
// (convert/capture.h) feeds them to the fields once the card has ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vcard/head.h"

namespace quorlan {

// When decoding, the lines of a card that wait for its end before they feed a field: what
// they feed depends on lines that may still come (a better alternative of a prefix, the
// label of their group, the charset the card declares). See settle_card.
struct WaitingLine {
    std::string head;   // the text before the ":"
    std::string value;  // the value part, as far as a value can use it
    std::size_t number = 0;
    std::string text;               // the value decoded, once the card has ended
    std::string charset;            // the charset it was decoded from (empty: UTF-8 or windows-1250)
    std::vector<std::uint8_t> rank;  // per mapping: its first alternative that takes the line
    std::string name;                // the property name
    ValueKind kind = ValueKind::Other;
    bool tel = false;
    bool preferred = false;
    bool used = false;
};

inline constexpr std::size_t kMaxWaitingLines = 4096;
// The bytes of value parts that one card keeps waiting, at most: a value is kept whole, as
// it is decoded whole, and a card of many long lines must not take the memory of a file.
inline constexpr std::size_t kMaxWaitingBytes = std::size_t{1} << 20;

struct CardLines {
    bool waiting = false;  // the card's lines wait for its end from now on
    std::vector<WaitingLine> lines;  // kept for reuse: `count` of them are this card's
    std::size_t count = 0;
    std::size_t bytes = 0;  // of the value parts of those lines
    std::vector<std::pair<std::string, std::string>> labels;  // group, Apple label
    std::string charset;  // the charset the card declares, when it declares exactly one
    bool charsets_differ = false;
};

// Whether the parameters of a head (from its first ";") may give a CHARSET.
bool declares_charset(std::string_view params);
// The card declares `charset` on one of its lines.
void note_card_charset(CardLines& card, const std::string& charset);
// The card's group `group` has the label `label` (an X-ABLabel line).
void note_label(CardLines& card, const std::string& group, std::string_view label);
// Keeps the line for the card's end: its head, its value part and its line of the file.
void keep_waiting(CardLines& card, std::string_view head, std::string_view value_part, std::size_t number);

}  // namespace quorlan
