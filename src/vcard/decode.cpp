#include "vcard/decode.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/text_ops.h"

namespace quorlan {

void decode_quoted_printable(std::string& line, bool wide) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    std::size_t out = colon + 1;
    std::size_t in = out;
    const std::size_t end = line.size();
    while (in < end) {
        char c = line[in];
        const int high = c == '=' && in + 2 < end ? hex_digit_value(line[in + 1]) : -1;
        const int low = high >= 0 ? hex_digit_value(line[in + 2]) : -1;
        if (low >= 0) {
            c = static_cast<char>(high * 16 + low);
            if (!wide && (c == '\r' || c == '\n')) c = ' ';
            in += 3;
        } else {
            ++in;
        }
        line[out++] = c;
    }
    line.resize(out);
}

namespace {

// The last `count` bytes before `end` (fewer than eight), the first lowest, zeros above.
std::uint64_t load_last(const char* data, std::size_t end, std::size_t count) {
    if (end >= 8) return load_word(data + end - 8) >> (8 * (8 - count));
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < count; ++i) {
        word |= std::uint64_t{static_cast<unsigned char>(data[end - count + i])} << (8 * i);
    }
    return word;
}

// Writes the first `count` bytes of `word` (at most eight) to `at`.
void put_bytes(char* at, std::uint64_t word, std::size_t count) {
    if (count == 8) {
        std::memcpy(at, &word, sizeof word);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) at[i] = static_cast<char>(word >> (8 * i));
}

// Where a clean of the value stands: bytes before `out` are written, bytes from `in` are
// still to read, and `after_space` tells whether the last byte written (or the start) asks
// a space after it to be dropped: the caller's locals, which the inlined helpers below
// move on.
struct CleanAt {
    std::size_t& in;
    std::size_t& out;
    bool& after_space;
};

// Cleans the `valid` bytes of `w` (read at `at.in`), which hold no backslash, a word at a
// time: ";" to space, dropped spaces left out. Nothing is written at or after `at.in`, so
// cleaning in place is safe.
inline void clean_word_without_escape(char* data, const CleanWord& w, std::size_t valid, CleanAt at) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FU;
    if (w.dropped == 0) {
        put_bytes(data + at.out, w.word, valid);
        at.out += valid;
        at.in += valid;
        at.after_space = (w.spaces >> (8 * valid - 1) & 1U) != 0;
        return;
    }
    // The bytes before the first dropped space go out; a run of dropped spaces at the
    // start is passed over (after it, as in it, a space was last).
    const auto kept = static_cast<std::size_t>(std::countr_zero(w.dropped)) / 8;
    if (kept == 0) {
        at.in += static_cast<std::size_t>(std::countr_one(w.dropped | kLow7)) / 8;
    } else {
        put_bytes(data + at.out, w.word, kept);
        at.out += kept;
        at.in += kept;
    }
    at.after_space = true;
}

// Cleans the next `valid` bytes of `value` one at a time, escapes decoded (an escape may
// take one byte more). On copies of the state, which stay in registers while bytes are
// written (measured: fewer instructions than working on the caller's).
inline void clean_bytes_with_escapes(std::string& value, std::size_t end, std::size_t valid, CleanAt at) {
    std::size_t in = at.in;
    std::size_t out = at.out;
    bool after_space = at.after_space;
    for (const std::size_t stop = in + valid; in < stop; ++in) {
        char c = value[in];
        if (c == ';') {
            c = ' ';
        } else if (c == '\\' && in + 1 < end) {
            const char next = value[in + 1];
            if (next == '\\' || next == ',' || next == ';') {
                c = next;
                ++in;
            } else if (next == 'n' || next == 'N') {
                c = ' ';
                ++in;
            }
        }
        // Every byte is written; a dropped space is overwritten by the next one.
        const bool space = c == ' ';
        value[out] = c;
        out += static_cast<std::size_t>(!(space && after_space));
        after_space = space;
    }
    at.in = in;
    at.out = out;
    at.after_space = after_space;
}

}  // namespace

void clean_decoded_value(std::string& value) {
    // One pass: the escapes, ";" to space, spaces at the start dropped and runs of spaces
    // collapsed as the bytes are written, the line end trimmed last. That gives what
    // trimming first gives: the trimmed end is all line-end debris either way, and a space
    // is dropped only after a space or at the start, which depends on no byte after it.
    char* const data = value.data();
    const std::size_t end = value.size();
    std::size_t out = 0;
    bool after_space = true;  // at the start, a space is dropped as after one
    std::size_t in = 0;
    while (in < end) {
        // Eight bytes at a time while they hold no escape, as most words of names, numbers
        // and notes don't; else those eight one at a time.
        const std::size_t valid = std::min<std::size_t>(end - in, 8);
        const CleanWord w = clean_word(valid == 8 ? load_word(data + in) : load_last(data, end, valid), after_space);
        if (bytes_equal(w.word, '\\') == 0) {
            clean_word_without_escape(data, w, valid, CleanAt{in, out, after_space});
        } else {
            clean_bytes_with_escapes(value, end, valid, CleanAt{in, out, after_space});
        }
    }
    while (out > 0 && is_line_end_debris(value[out - 1])) --out;
    value.resize(out);
}

}  // namespace quorlan
