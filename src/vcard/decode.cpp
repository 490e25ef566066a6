#include "vcard/decode.h"

#include <algorithm>
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

void clean_decoded_value(std::string& value) {
    // One pass: the escapes, ";" to space, spaces at the start dropped and runs of spaces
    // collapsed as the bytes are written, the line end trimmed last. That gives what
    // trimming first gives: the trimmed end is all line-end debris either way, and a space
    // is dropped only after a space or at the start, which depends on no byte after it.
    std::size_t out = 0;
    const std::size_t end = value.size();
    bool after_space = true;  // at the start, a space is dropped as after one
    std::size_t in = 0;
    while (in < end) {
        // Eight bytes at a time while they hold no escape and no space that is dropped, as
        // most words of names, numbers and notes don't. (Each word is loaded before it is
        // stored, and never behind where it is stored, so cleaning in place is safe.)
        if (in + 8 <= end) {
            const CleanWord w = clean_word(value.data() + in, after_space);
            if ((w.dropped | bytes_equal(w.word, '\\')) == 0) {
                std::memcpy(value.data() + out, &w.word, sizeof w.word);
                out += 8;
                in += 8;
                after_space = ends_in_space(w);
                continue;
            }
        }
        // Else the next eight bytes one at a time (an escape may take one more).
        const std::size_t stop = std::min(end, in + 8);
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
