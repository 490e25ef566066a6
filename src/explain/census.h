// The census of the card file: the property heads its lines really use (a card line's
// text before its first ":", as written), how many lines and cards have each, and which
// mapping takes them, gathered from the run's own loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/settings.h"
#include "convert/card.h"

namespace quorlan {

// Heads are kept to this many bytes; longer ones are told apart by these bytes only.
inline constexpr std::size_t kHeadBytesKept = 60;
// Distinct heads kept; the lines of further heads are only counted, so that memory stays
// bounded whatever the file holds.
inline constexpr std::size_t kHeadsKept = 4000;
// Which mappings take a head is one bit per mapping.
static_assert(kMaxMappings <= 64);

struct HeadCount {
    std::string head;
    std::string compared;  // as prefixes are compared with it: without decoding, converted and folded as lines are
    std::size_t lines = 0;
    std::size_t cards = 0;
    std::size_t last_card = 0;   // the card that last counted, so that each card counts once
    std::uint64_t mappings = 0;  // bit j: mapping j took a line of this head
    std::size_t taken = 0;       // lines of this head that some mapping took
};

// A card in which a mapping was filled more than once: the last value wins.
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
    // The current card.
    std::size_t filled_now = 0;
    Refill now;
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
    bool soft_break = false;          // the last line was quoted-printable and ended in "="
};

Census make_census(const Settings& settings);
void census_line(Census& census, std::size_t number, std::string_view raw, bool piece);
void census_value(Census& census, std::size_t mapping, std::string_view value, bool continuation);
void census_card_begun(Census& census);
void census_card_ended(Census& census, const CardState& card);

// The head of a card line, or an empty view for a line that continues another one
// (folded, base64 data, a quoted-printable soft line break) or holds no ":".
std::string_view head_of(std::string_view raw);

// The property name of a head or prefix: its text up to the first ";" or ":", without a
// group such as "item1.", in upper case.
std::string property_name(std::string_view head);

// What kind of line a head stands for: its property name and the types it gives
// (TYPE values and bare parameters, such as CELL or WORK), sorted and in upper case;
// parameters that don't tell kinds apart (PREF, VOICE, INTERNET, encodings, charsets)
// are left out. "TEL;CELL;VOICE" and "TEL;TYPE=cell" are of one kind.
std::vector<std::string> head_kind(std::string_view head);

// The heads in the order of the report: most lines first.
std::vector<const HeadCount*> heads_by_lines(const Census& census);

}  // namespace quorlan
