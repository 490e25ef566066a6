// The values a run would write wrong, and the lines of the card file it would misread:
// each kind counted, with a few examples, from what the run's loop shows of each line and
// value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "charset/charsets.h"
#include "config/settings.h"
#include "convert/observer.h"

namespace quorlan {

enum class Fault : std::uint8_t {
    // Values, counted once per written value.
    QuotedPrintable,
    Continuation,
    Escape,
    Folded,
    LeadingSpace,
    Unconverted,
    Underscored,
    Foreign,
    Referenced,  // with decoding: characters written as character references
    // Lines and the file.
    CardLineCase,
    CrLineEnds,
    ByteOrderMark,
    NoCard,
};
inline constexpr std::size_t kFaultKinds = static_cast<std::size_t>(Fault::NoCard) + 1;  // NoCard stays last
inline constexpr std::size_t kExamplesShown = 3;

struct Tally {
    std::size_t count = 0;
    std::vector<std::string> examples;
};

// A charset that card lines declare, as decoding sees them.
struct DeclaredCharset {
    std::string name;  // as declared (upper case), cut to kCharsetNameShown bytes
    bool cut = false;
    const Charset* charset = nullptr;  // null when this program accepts no such name
    std::size_t lines = 0;
    std::size_t first_line = 0;
    bool known = false;
};
// The report lists this many charsets, and counts the lines of the others: a file may
// name a new charset on every line. Names are kept to their first bytes.
inline constexpr std::size_t kCharsetsListed = 20;
inline constexpr std::size_t kCharsetNameShown = 64;

// What check_line learnt of a card line, for values that wait for the card's end (the
// run keeps kMaxWaitingLines of a card's lines waiting, and so many are remembered).
struct LineFacts {
    std::size_t number = 0;
    bool quoted_printable = false, beyond_cp1250 = false, underscored = false;
    bool undeclared_8bit = false;  // neither UTF-8 nor declared, and unlike windows-1250
};

struct ValueChecks {
    const Settings* settings = nullptr;
    std::array<Tally, kFaultKinds> tallies;
    std::vector<std::uint32_t> faults;  // per mapping, of the value it holds now
    std::vector<std::size_t> lines;     // per mapping, where that value came from
    std::vector<std::size_t> taken_on_last_line;
    std::size_t card = 1;  // numbered by their ends, as in the list of cards left out
    std::size_t line = 0;
    bool quoted_printable = false;  // the current line's head says so, or it goes on with such a line
    bool beyond_cp1250 = false;     // it is UTF-8 with characters that are not converted
    bool underscored = false;       // it has UTF-8 letters that windows-1250 lacks, which become "_"
    bool foreign = false;           // it is 8-bit text of another code page
    std::size_t card_lines = 0;
    std::vector<DeclaredCharset> charsets;
    std::size_t other_charset_lines = 0;  // lines that declare a charset beyond those listed
    std::size_t charset_lines = 0;        // lines that declare a charset at all
    bool text_is_unicode = false;  // the card file was UTF-16: declared charsets don't apply
    // With decoding: the current card's lines.
    std::vector<LineFacts> card_facts;
    // Undeclared 8-bit text that is not UTF-8, a sample for the CODEPAGE= suggestion.
    std::string undeclared_sample;
    std::size_t undeclared_lines = 0;
    // Values that reach no field, each shown with its line, the first kLostShown of them.
    std::vector<std::string> lost;
    std::vector<std::string> card_lost;  // the current card's, kept when it is written
};
inline constexpr std::size_t kLostShown = 12;

ValueChecks make_value_checks(const Settings& settings);
void check_line(ValueChecks& checks, const CardLineFact& line);
// A value taken is checked; one that reaches no field is listed.
void check_value(ValueChecks& checks, const ValueFact& value);
void checks_card_begun(ValueChecks& checks);
void checks_card_ended(ValueChecks& checks, const CardEnded& card);

}  // namespace quorlan
