#include "text/line_reader.h"

#include <algorithm>
#include <cstring>

namespace quorlan {

namespace {

constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

// A line needs up to kMaxLineBytes + 1 physical bytes in view: 1999 bytes of text
// and LF, or 1998 bytes of text and a CR LF pair.
constexpr std::size_t kLookahead = kMaxLineBytes + 1;

void fill_to(LineReader& reader, std::size_t wanted) {
    if (reader.end - reader.begin >= wanted || reader.exhausted) return;
    if (reader.begin > 0) {
        std::memmove(reader.block.get(), reader.block.get() + reader.begin,
                     reader.end - reader.begin);
        reader.end -= reader.begin;
        reader.begin = 0;
    }
    while (reader.end < wanted && !reader.exhausted) {
        int error = 0;
        const std::size_t n = reader.source.read(
                                                 reader.block.get() + reader.end,
                                                 reader.capacity - reader.end, error);
        if (n == 0) {
            reader.exhausted = true;
            reader.error = error;
        }
        reader.end += n;
    }
}

std::size_t read_from_memory(std::string_view& remaining, char* buffer, std::size_t capacity, int&) {
    const std::size_t n = std::min(capacity, remaining.size());
    if (n == 0) return 0;  // an empty view may hold a null pointer, which memcpy must not get
    std::memcpy(buffer, remaining.data(), n);
    remaining.remove_prefix(n);
    return n;
}

}  // namespace

LineReader make_line_reader(ByteSource source) {
    LineReader reader;
    reader.source = source;
    reader.capacity = kBlockSize;
    // Left unset: only bytes read from the source are ever looked at, and zeroing 64 KiB
    // would cost more than reading a small file.
    reader.block = std::make_unique_for_overwrite<char[]>(kBlockSize);
    return reader;
}

void prime_reader(LineReader& reader) { fill_to(reader, kLookahead); }

bool read_line_view(LineReader& reader, std::string_view& text) {
    // Most reads find a whole line's worth of bytes in the block already.
    if (reader.end - reader.begin < kLookahead) fill_to(reader, kLookahead);
    const std::size_t available = reader.end - reader.begin;
    if (available == 0) return false;

    const char* p = reader.block.get() + reader.begin;
    const std::size_t window = std::min(available, kLookahead);
    std::size_t text_length = std::min(available, kMaxLineBytes);
    std::size_t consumed = text_length;
    bool ends_in_lf = false;
    if (const void* lf = std::memchr(p, '\n', window)) {
        const auto i = static_cast<std::size_t>(static_cast<const char*>(lf) - p);
        const bool crlf = i > 0 && p[i - 1] == '\r';
        // Bytes this read takes once CR LF counts as one: the text and the LF.
        const std::size_t counted = crlf ? i : i + 1;
        if (counted <= kMaxLineBytes) {
            text_length = crlf ? i - 1 : i;
            consumed = i + 1;
            ends_in_lf = true;
        }
    }
    reader.began_line = !reader.line_goes_on;
    reader.begin += consumed;
    if (ends_in_lf) ++reader.lines_ended;
    reader.line_goes_on = !ends_in_lf && consumed == kMaxLineBytes && reader.end > reader.begin;
    reader.last_ended_in_lf = ends_in_lf;
    text = std::string_view(p, text_length);
    return true;
}

std::string_view text_before_nul(std::string_view bytes) {
    // The library's search: the reads copied include every piece of a long line, such as
    // a photo, where it is faster than a word scan.
    if (const void* nul = std::memchr(bytes.data(), '\0', bytes.size())) {
        return bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
    }
    return bytes;
}

bool read_line(LineReader& reader, std::string& line) {
    std::string_view bytes;
    if (!read_line_view(reader, bytes)) return false;
    const std::string_view text = text_before_nul(bytes);
    line.assign(text);
    // A NUL ends the text of the read, its line end included.
    if (reader.last_ended_in_lf && text.size() == bytes.size()) line.push_back('\n');
    return true;
}

namespace {

// Turns `size` bytes at `bytes` into LF line ends in place: a CR becomes an LF, and an LF
// right after a CR (`after_cr` carries that across calls) is dropped. Returns the bytes kept.
std::size_t cr_to_lf(char* bytes, std::size_t size, bool& after_cr) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == '\n' && after_cr) {
            after_cr = false;
            continue;
        }
        after_cr = c == '\r';
        bytes[kept++] = after_cr ? '\n' : c;
    }
    return kept;
}

std::size_t read_cr_line_ends(CrLineEnds& lines, char* buffer, std::size_t capacity, int& error) {
    // A read that keeps nothing (a lone LF after a CR) is not the end of the data.
    for (;;) {
        const std::size_t n = lines.inner.read(buffer, capacity, error);
        if (n == 0) return 0;
        if (const std::size_t kept = cr_to_lf(buffer, n, lines.after_cr); kept != 0) return kept;
    }
}

}  // namespace

bool holds_only_cr_line_ends(const LineReader& reader) {
    const std::string_view block(reader.block.get() + reader.begin, reader.end - reader.begin);
    return block.find('\n') == std::string_view::npos && block.find('\r') != std::string_view::npos;
}

void end_lines_at_cr(LineReader& reader, CrLineEnds& lines) {
    char* unread = reader.block.get() + reader.begin;
    reader.end = reader.begin + cr_to_lf(unread, reader.end - reader.begin, lines.after_cr);
    lines.inner = reader.source;
    reader.source = ByteSource{ByteSource::Read::bind<read_cr_line_ends>(lines)};
}

bool skip_utf8_bom(LineReader& reader) {
    fill_to(reader, 3);
    if (reader.end - reader.begin >= 3 &&
        std::memcmp(reader.block.get() + reader.begin, "\xEF\xBB\xBF", 3) == 0) {
        reader.begin += 3;
        return true;
    }
    return false;
}

ByteSource memory_source(std::string_view& remaining) {
    return ByteSource{ByteSource::Read::bind<read_from_memory>(remaining)};
}

}  // namespace quorlan
