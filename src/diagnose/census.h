// The census of the card file: the property heads its lines really use (a card line's
// text before its first ":", as written), how many lines and cards have each, and which
// mapping takes them, gathered from the run's own loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/settings.h"
#include "convert/card_state.h"
#include "convert/observer.h"
#include "vcard/head.h"

namespace quorlan {

// Heads are kept to this many bytes; longer ones are told apart by these bytes only.
inline constexpr std::size_t kHeadBytesKept = 60;
// Distinct heads kept; the lines of further heads are only counted, so that memory stays
// bounded whatever the file holds.
inline constexpr std::size_t kHeadsKept = 4000;
// Which mappings take a head is one bit per mapping.
static_assert(kMaxMappings <= 64);

// Spellings of one property kept for a head by meaning; the lines of others are counted
// with the head only.
inline constexpr std::size_t kSpellingsKept = 6;

struct HeadCount {
    // The text before the first ":" as written; with decoding, what prefixes match: the
    // property name and its sorted types ("TEL;CELL;VOICE"), the spellings of the file
    // counted in `spellings`.
    std::string head;
    std::vector<std::pair<std::string, std::size_t>> spellings;
    std::string compared;  // as prefixes are compared with it: without decoding, converted and folded as lines are
    std::size_t lines = 0;
    std::size_t cards = 0;
    std::size_t last_card = 0;   // the card that last counted, so that each card counts once
    std::uint64_t mappings = 0;  // bit j: mapping j took a line of this head
    std::size_t taken = 0;       // lines of this head that some mapping took
};

// A card in which a mapping was filled more than once: the last value wins (with
// decoding, the first stays, or a preferred one replaces it).
struct Refill {
    std::size_t card = 0;
    std::size_t first_line = 0, last_line = 0;
    std::string first_value, last_value;
};

struct MappingTakes {
    std::size_t lines = 0;          // card lines it took a value from
    std::size_t continuations = 0;  // lines taken whole by the ";=" rule
    std::size_t cards_filled = 0;   // card ends at which its value was not empty
    std::size_t cards_refilled = 0;
    Refill example;
    // With decoding: cards where a later line was dropped as the first value stays, and
    // where a preferred line replaced the first value (then counted in cards_refilled).
    std::size_t cards_dropped = 0;
    Refill dropped_example;
    // With alternatives in the prefix ("N|FN|ORG"): the cards each alternative filled.
    std::vector<std::size_t> by_alternative;
    // The current card.
    std::size_t alternative_now = 0;
    std::size_t filled_now = 0;
    std::size_t dropped_now = 0;
    Refill now;
    Refill dropped;
};

struct Census {
    bool fold = false;
    bool decode = false;  // card lines are then known in any case
    std::unordered_map<std::string, std::size_t> index;  // head, position in `heads`
    std::vector<HeadCount> heads;
    std::size_t lines_not_kept = 0;  // lines of heads beyond kHeadsKept
    std::size_t continuation_lines = 0;
    std::size_t empty_lines = 0;
    std::vector<MappingTakes> takes;  // per mapping
    std::size_t card = 1;             // the card the lines belong to, numbered by their ends
    std::size_t card_serial = 1;      // changes at every card start and end
    std::size_t line = 0;             // the number of the current card line
    std::size_t current = SIZE_MAX;   // the head of the current line, or none
    bool line_taken = false;          // a mapping took the current line
    std::size_t alternative = 0;      // of the prefix, that named the current line
    // With decoding, the current card's lines and their heads, for values that wait for
    // the card's end (as many as wait, kMaxWaitingLines); once the run has told the Apple
    // labels of its groups, a grouped line counts under the type its label gives.
    struct CardLine {
        std::size_t number = 0;
        std::size_t head = 0;
        std::string group;     // of a grouped line
        std::string spelling;  // its head as written, when grouped
    };
    std::vector<CardLine> card_lines;
    bool relabelled = false;
};

Census make_census(const Settings& settings);
void census_line(Census& census, const CardLineFact& line);
// A value and what became of it: taken, or with decoding, dropped (lost values are the
// report's to show, not counted here).
void census_value(Census& census, const ValueFact& value);
void census_card_begun(Census& census);
void census_card_ended(Census& census, const CardEnded& card);

// What kind of line a head stands for: its property name and the types it gives
// (TYPE values and bare parameters, such as CELL or WORK), sorted and in upper case;
// types that don't tell kinds apart (PREF, VOICE, INTERNET) are left out.
// "TEL;CELL;VOICE" and "TEL;TYPE=cell" are of one kind.
std::vector<std::string> head_kind(std::string_view head);

// The heads in the order of the report: most lines first.
std::vector<const HeadCount*> heads_by_lines(const Census& census);

}  // namespace quorlan
