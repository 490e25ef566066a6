#include "vcard/decode.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/text_ops.h"

namespace quorlan {

namespace {

// The value of a hexadecimal digit of either case, or -1.
int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

void decode_quoted_printable(std::string& line, bool wide) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    std::size_t out = colon + 1;
    std::size_t in = out;
    const std::size_t end = line.size();
    while (in < end) {
        char c = line[in];
        const int high = c == '=' && in + 2 < end ? hex_value(line[in + 1]) : -1;
        const int low = high >= 0 ? hex_value(line[in + 2]) : -1;
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

bool names_property(std::string_view line, std::string_view name) {
    return begins_with_any_case(line, name) && line.size() > name.size() &&
           (line[name.size()] == ';' || line[name.size()] == ':');
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

}  // namespace

void clean_decoded_value(std::string& value) {
    // One pass: the escapes, ";" to space, spaces at the start dropped and runs of spaces
    // collapsed as the bytes are written, the line end trimmed last. That gives what
    // trimming first gives: the trimmed end is all line-end debris either way, and a space
    // is dropped only after a space or at the start, which depends on no byte after it.
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FU;
    char* const data = value.data();
    const std::size_t end = value.size();
    std::size_t out = 0;
    bool after_space = true;  // at the start, a space is dropped as after one
    std::size_t in = 0;
    while (in < end) {
        // Eight bytes at a time (the last few with zeros after them, which no rule
        // touches) while they hold no escape, as most words of names, numbers and notes
        // don't. Nothing is written at or after `in`: the bytes still to read stay as
        // they are, so cleaning in place is safe.
        const std::size_t valid = std::min<std::size_t>(end - in, 8);
        const CleanWord w = clean_word(valid == 8 ? load_word(data + in) : load_last(data, end, valid), after_space);
        if (bytes_equal(w.word, '\\') == 0) {
            if (w.dropped == 0) {
                put_bytes(data + out, w.word, valid);
                out += valid;
                in += valid;
                after_space = (w.spaces >> (8 * valid - 1) & 1U) != 0;
                continue;
            }
            // The bytes before the first dropped space go out; a run of dropped spaces at
            // the start is passed over (after it, as in it, a space was last).
            const auto kept = static_cast<std::size_t>(std::countr_zero(w.dropped)) / 8;
            if (kept == 0) {
                in += static_cast<std::size_t>(std::countr_one(w.dropped | kLow7)) / 8;
            } else {
                put_bytes(data + out, w.word, kept);
                out += kept;
                in += kept;
            }
            after_space = true;
            continue;
        }
        // Else the next eight bytes one at a time (an escape may take one more).
        const std::size_t stop = in + valid;
        for (; in < stop; ++in) {
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
    }
    while (out > 0 && is_line_end_debris(value[out - 1])) --out;
    value.resize(out);
}

}  // namespace quorlan
