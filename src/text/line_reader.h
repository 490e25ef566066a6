// Splits a byte stream into the lines that the conversion works on.
//
// A read delivers at most 1999 bytes, the LF that ends the line included, the way a
// 2000-byte line buffer fills. A CR LF pair counts as one LF before bytes are counted,
// on every platform, so the result never depends on text-mode conversions. A longer
// physical line arrives in several pieces. A NUL byte ends the text of its read: the
// bytes after it, up to the end of that read, are dropped.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "text/function_ref.h"

namespace quorlan {

inline constexpr std::size_t kLineBufferSize = 2000;
inline constexpr std::size_t kMaxLineBytes = kLineBufferSize - 1;

// Where the bytes come from: a file at the program's edge, a buffer in tests.
struct ByteSource {
    // Reads up to `capacity` bytes and returns how many; 0 at the end of the data.
    // On a read error it returns 0 and sets `error` to an errno value.
    using Read = FunctionRef<std::size_t(char* buffer, std::size_t capacity, int& error)>;
    Read read;
};

struct LineReader {
    ByteSource source{};
    std::unique_ptr<char[]> block;
    std::size_t capacity = 0;
    std::size_t begin = 0;  // first byte not yet delivered
    std::size_t end = 0;    // one past the last byte read from the source
    bool exhausted = false;  // the source has nothing more (or failed)
    int error = 0;           // errno of the read that failed, 0 when none did
    // The last read stopped inside a physical line longer than one read: the next read
    // goes on with that line. (A NUL cuts the text of a read but not its bytes, so the
    // text alone can't tell.)
    bool line_goes_on = false;
    // The last read began a physical line: false for the second and later pieces of a
    // line longer than one read.
    bool began_line = true;
    bool last_ended_in_lf = false;  // the last read ended with its line's LF
    // Line ends consumed so far: the next read starts on line `lines_ended + 1`.
    std::size_t lines_ended = 0;
};

LineReader make_line_reader(ByteSource source);

// Reads the next line into `line`, LF included when the line had one.
// Returns false at the end of the data or after a read error (see `LineReader::error`).
bool read_line(LineReader& reader, std::string& line);

// Reads the next line as a view into the reader's block, valid until the next read: the
// bytes of the read without its LF (or CR LF), NUL bytes and what follows them included,
// so that a caller looks for a NUL only in the lines it keeps (`text_before_nul`).
// Returns false at the end of the data or after a read error.
bool read_line_view(LineReader& reader, std::string_view& text);

// The text of a read: its bytes up to the first NUL.
std::string_view text_before_nul(std::string_view bytes);

// Skips a UTF-8 byte-order mark if the data not yet read begins with one; true when it did.
bool skip_utf8_bom(LineReader& reader);

// True when the first block of the data holds a CR but no LF: lines that end in CR alone,
// as old Mac programs write them. The reader must be primed.
bool holds_only_cr_line_ends(const LineReader& reader);

// The state of a reader whose lines end in CR (end_lines_at_cr); it must outlive the reader.
struct CrLineEnds {
    ByteSource inner{};
    bool after_cr = false;
};

// From here on a CR ends a line as an LF does, a CR LF pair still once: the bytes not yet
// read, those in the block and those to come, are read so.
void end_lines_at_cr(LineReader& reader, CrLineEnds& lines);

// Makes sure the reader holds at least one block of data (or knows there is none),
// so that a source that can't be read fails before anything else is done.
void prime_reader(LineReader& reader);

// A source that hands out the bytes of `remaining`, consuming it.
ByteSource memory_source(std::string_view& remaining);

}  // namespace quorlan
