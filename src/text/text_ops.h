// Byte-string operations on which configuration reading and card conversion are built.
// A text is a std::string of raw bytes (windows-1250, ASCII or undecoded UTF-8) without NUL.
// Extraction returns a new text; clean-up works in place. Every input, the empty text
// included, has a defined result and nothing past the end of a text is ever read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quorlan {

// Position of the first occurrence of `pattern` at or after `start`, or -1.
// A start beyond the length and an empty pattern both give -1.
std::ptrdiff_t find_text(std::string_view text, std::string_view pattern, std::size_t start);

// True when `text` begins with `pattern`; an empty pattern begins nothing.
inline bool begins_with(std::string_view text, std::string_view pattern) {
    if (pattern.empty() || text.size() < pattern.size()) return false;
    // Without the library comparison, whose call costs more than comparing the few bytes
    // of a prefix: eight bytes at a time, then the rest byte by byte.
    std::size_t i = 0;
    for (; i + 8 <= pattern.size(); i += 8) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, text.data() + i, sizeof a);
        std::memcpy(&b, pattern.data() + i, sizeof b);
        if (a != b) return false;
    }
    for (; i < pattern.size(); ++i) {
        if (text[i] != pattern[i]) return false;
    }
    return true;
}

// The bytes of `word` (eight bytes of text) that equal `byte`, as their high bits; exact for
// every byte, so that such masks can be combined.
inline std::uint64_t bytes_equal(std::uint64_t word, unsigned char byte) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
    const std::uint64_t x = word ^ (0x0101010101010101 * byte);
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// Eight bytes of a value being cleaned: ";" turned into a space, the spaces, and the
// spaces a clean drops (a second space in a row, the first one too after `after_space`).
struct CleanWord {
    std::uint64_t word;
    std::uint64_t spaces;
    std::uint64_t dropped;
};
inline CleanWord clean_word(std::uint64_t word, bool after_space) {
    CleanWord w;
    w.word = word ^ (bytes_equal(word, ';') >> 7) * static_cast<std::uint64_t>(';' ^ ' ');
    w.spaces = bytes_equal(w.word, ' ');
    w.dropped = (w.spaces & (w.spaces << 8)) | (after_space ? w.spaces & 0x80 : 0);
    return w;
}
inline CleanWord clean_word(const char* at, bool after_space) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return clean_word(word, after_space);
}
// True when the last byte of a clean word is a space.
inline bool ends_in_space(const CleanWord& w) { return (w.spaces >> 63) != 0; }

// The word scans below take the first byte of a word as its lowest, as the processors the
// tool is built for store it.
static_assert(std::endian::native == std::endian::little);

// The eight bytes from `at`, the first in the lowest bits.
inline std::uint64_t load_word(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The position of the first byte of `text` that `marks` marks, or text.size(). `marks`
// takes eight bytes and returns the high bits of the bytes it marks; it must be exact for
// the lowest one, and may mark more after it. The values and lines searched are short:
// whole words and one overlapping last word cost less than the library's search and its
// call.
template <typename Marks>
inline std::size_t first_marked(std::string_view text, Marks marks) {
    const std::size_t size = text.size();
    const char* const p = text.data();
    if (size < 8) {
        std::uint64_t word = 0;
        for (std::size_t i = 0; i < size; ++i) word |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
        const std::uint64_t found = marks(word) & ((std::uint64_t{1} << (8 * size)) - 1);
        return found == 0 ? size : static_cast<std::size_t>(std::countr_zero(found)) / 8;
    }
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        if (const std::uint64_t found = marks(load_word(p + i)); found != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(found)) / 8;
        }
    }
    if (i == size) return size;
    // The last word overlaps bytes already passed, which marks nothing among them.
    const std::uint64_t found = marks(load_word(p + size - 8));
    return found == 0 ? size : size - 8 + static_cast<std::size_t>(std::countr_zero(found)) / 8;
}

// The position of the first `byte` in `text`, or text.size().
inline std::size_t find_byte(std::string_view text, unsigned char byte) {
    return first_marked(text, [byte](std::uint64_t word) { return bytes_equal(word, byte); });
}

// a-z as A-Z; every other byte, accented letters included, as it is.
inline char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The value of a hexadecimal digit of either case, or -1.
inline int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

inline bool is_line_end_debris(char c) { return c == '\r' || c == '\n' || c == ' '; }

std::string left_text(std::string_view text, std::size_t n);

// Removes any mix of CR, LF and spaces from the end.
inline void trim_line_end(std::string& text) {
    std::size_t n = text.size();
    while (n > 0 && is_line_end_debris(text[n - 1])) --n;
    text.resize(n);
}
// The same for a view.
inline std::string_view trimmed_line_end(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && is_line_end_debris(text[n - 1])) --n;
    return text.substr(0, n);
}
void remove_char(std::string& text, char c);
// a-z become A-Z; every other byte, accented letters included, stays.
void to_upper_ascii(std::string& text);

}  // namespace quorlan
