// The cards of the card file as the run's loop sees them: how many a run would write,
// how many it would leave out and why, and how often each mapping is filled.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "config/settings.h"
#include "convert/observer.h"
#include "convert/document.h"
#include "text/line_reader.h"

namespace quorlan {

// What the start of a card file seems to hold, for telling why no card came of it.
enum class CardFileLook { Empty, Blank, Binary, Text };

// Looks at the first block the reader holds (primed, nothing read yet): no byte, or a UTF-8
// byte-order mark alone, is Empty; only white space, in a file of a KiB or less, Blank; NUL
// bytes, or more than a few other control characters, in its first KiB, Binary.
CardFileLook look_at_card_file(const LineReader& primed);

// Why a card file in which no card ended gave none, for a message in parentheses: "it is
// empty", "it holds binary data, not text", "the card begun on line 3 (...) has no END:
// line: was the export cut off?"...
std::string why_no_card(CardFileLook look, const ConversionResult& result);

// "the card begun on line 12, \"Jan Novak\", has no END: line" for the card the file ended
// inside, as the conversion found it; empty when there is none.
std::string unfinished_card(const ConversionResult& result);

struct CardWatch {
    const Settings* settings = nullptr;
    std::size_t begun = 0;
    std::size_t ended_without_begin = 0;
    bool begun_since_end = false;
    std::vector<std::size_t> required_empty;    // per mapping, over the cards left out
    std::vector<std::size_t> forbidden_filled;  // per mapping, over the cards left out
    std::vector<std::size_t> filled_written;    // per mapping, over the records written
    std::size_t ended = 0;
    std::vector<std::string> first_left_out;  // a line about each of the first few
    const char* encoding = nullptr;           // "UTF-16 LE" or "UTF-16 BE" when the file was converted
    CardFileLook look = CardFileLook::Text;
};

CardWatch make_card_watch(const Settings& settings);
void note_card_begun(CardWatch& watch);
void note_card_ended(CardWatch& watch, const CardEnded& card);

void describe_cards(std::string& out, const Settings& settings, const DocumentNames& names,
                    const ConversionResult& result, const CardWatch& watch);

// The condition that left out the most cards, as "Required <NAME> was empty in 6 of them";
// empty when no card was left out.
std::string commonest_reason(const Settings& settings, const CardWatch& watch);

// "mapping 2 <MOBILE>"
std::string mapping_name(const Settings& settings, std::size_t j);

}  // namespace quorlan
