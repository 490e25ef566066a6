// Reads a card file in logical vCard lines: the pieces of a long physical line joined
// again, folded lines unfolded and quoted-printable soft line breaks joined.
#pragma once

#include <cstddef>
#include <string>

#include "text/line_reader.h"

namespace quorlan {

// A logical line is kept to its first 8 KiB as joined: a prefix has at most 20 bytes and
// the value after it at most 100, so no byte beyond can reach the output, and memory stays
// the same however long the lines of a file are.
inline constexpr std::size_t kMaxLogicalLineBytes = std::size_t{8} * 1024;

struct LogicalLineReader {
    LineReader* input = nullptr;
    std::string ahead;             // the physical line read ahead, without its line end
    std::size_t ahead_number = 0;  // the file line it starts on
    std::size_t ahead_length = 0;  // the length of its whole text, of which `ahead` keeps 8 KiB and a byte
    std::size_t ahead_equals = 0;  // the "="s its whole text ends in
    bool has_ahead = false;
    std::string joined;  // the logical line last joined from several physical lines
};

LogicalLineReader make_logical_line_reader(LineReader& input);

// Reads the next logical line, without any line end, and the number of the file line it
// starts on into `number`. Returns false at the end of the data (or after a read error,
// left in the line reader). `line` views the line where it lies (the line reader's block
// or the logical line reader), valid until the next read.
bool read_logical_line_view(LogicalLineReader& reader, std::string_view& line, std::size_t& number);

// Follows the reads of a file that is read without joining, one at a time, to tell which
// physical lines a vCard reader joins to the line before at a quoted-printable soft line
// break, by the rule read_logical_line_view joins them by.
struct SoftBreakFollower {
    std::size_t equals = 0;  // the "="s the logical line's text read so far ends in
    std::size_t crs = 0;     // and the CRs after them, which may yet be its line end
    bool cut = false;        // a NUL ended the text of the current physical line
    bool at_start = true;
    // The logical line's bytes as the reader keeps them, up to the first ":": its property
    // part may go on in a further read or a folded line.
    std::string property;
    bool property_open = false;
};

// `read` is the next read of the line reader, with its LF if it had one; `first` when it
// begins a physical line, `goes_on` when its physical line goes on in the next read.
// True when it begins a physical line that goes on with the one before at a soft break.
bool follow_soft_breaks(SoftBreakFollower& follower, std::string_view read, bool first, bool goes_on);

// True for a line whose property part (before its first ":") holds "QUOTED-PRINTABLE" in
// any case.
bool is_quoted_printable_line(std::string_view line);
// The same for a property part already cut from its line.
bool names_quoted_printable(std::string_view property);

}  // namespace quorlan
