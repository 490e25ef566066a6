// What the conversion decided, told as it decides it: each card line with its head read,
// each value and what became of it, each card's start and end. Whoever shows a user what a
// run makes of a file counts these facts instead of reading the file again; a run without
// an observer pays nothing for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "text/function_ref.h"
#include "vcard/line_head.h"

namespace quorlan {

// How a card line stands to the line before it, as the reader that feeds the loop reads
// the file.
enum class LineJoin : std::uint8_t {
    Own,        // a line of its own
    Piece,      // a further read of a physical line longer than one read
    SoftBreak,  // a physical line that goes on with a quoted-printable line ending in "="
};

// Every card line the loop takes, before anything is done to it and before lines that
// can't matter are passed over.
struct CardLineFact {
    std::size_t number = 0;  // the line of the file it starts on (1 for the first)
    // The bytes as read, the line end trimmed; when decoding, the logical line as joined
    // (unfolded, soft line breaks joined), before quoted-printable decoding and escapes.
    std::string_view raw;
    LineJoin join = LineJoin::Own;  // always Own when decoding: the reader has joined the rest
    const LineHead& head;
    bool quoted_printable = false;  // its head says so, or it goes on after a soft line break
    // When decoding: the charset its head declares (empty: none), and whether the platform
    // converts from it.
    std::string_view declared_charset;
    bool charset_known = false;
};

// What became of a value that a mapping's prefix reached.
enum class ValueOutcome : std::uint8_t {
    Taken,         // the mapping holds it now
    Continuation,  // taken whole from the line after a ";=" value
    // When decoding, dropped: it came out empty, or the card's first (or preferred) value
    // stays, or the list holds it already.
    DroppedEmpty,
    DroppedFirstStays,
    DroppedListHolds,
    // When decoding, lost (see LostValues): the mapping takes one value and keeps another,
    // or no field's prefix names the line's kind.
    LostToKept,
    LostUnnamed,
};

// The Apple labels of a card's groups (X-ABLabel lines), by group, as the run gave their
// lines types.
using GroupLabels = std::span<const std::pair<std::string, std::string>>;

struct ValueFact {
    std::size_t mapping = 0;      // kNoField for a value that no field's prefix names
    std::size_t alternative = 0;  // of the mapping's prefix ("N|FN|ORG"), 0 for the first
    std::size_t line = 0;         // the card line it came from
    // As capture cleaned it, before the record's constants, trimming and phone grouping.
    std::string_view value;
    ValueOutcome outcome = ValueOutcome::Taken;
    bool waited = false;  // the line waited for the card's end (when decoding)
    // When decoding, a value that waited: read in a charset the run knows (its own, the
    // card's or CODEPAGE='s), not as UTF-8 or windows-1250 for want of one.
    bool read_in_charset = false;
    GroupLabels labels;     // of a value that waited: those of its card
    std::string_view name;  // of a lost value: its property name, upper case
};

struct CardBegun {
    std::size_t line = 0;
};

// An "END:" line has offered the card to the filter. When it was left out, `values` are
// those the filter saw; when written, the values as written.
struct CardEnded {
    std::span<const std::string> values;
    bool written = false;
    GroupLabels labels;  // when decoding
};

// One function per kind of fact, each may be unset.
struct ConversionObserver {
    FunctionRef<void(const CardBegun&)> card_begun;
    FunctionRef<void(const CardEnded&)> card_ended;
    FunctionRef<void(const CardLineFact&)> card_line;
    FunctionRef<void(const ValueFact&)> value;
};

}  // namespace quorlan
