#include "vcard/decode.h"

#include <cstddef>

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

void decode_quoted_printable(std::string& line) {
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
            if (c == '\0') break;
            if (c == '\r' || c == '\n') c = ' ';
            in += 3;
        } else {
            ++in;
        }
        line[out++] = c;
    }
    line.resize(out);
}

bool begins_with_any_case(std::string_view text, std::string_view pattern) {
    if (text.size() < pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != pattern[i]) return false;
    }
    return true;
}

void clean_decoded_value(std::string& value) {
    std::size_t out = 0;
    const std::size_t end = value.size();
    for (std::size_t in = 0; in < end; ++in) {
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
        value[out++] = c;
    }
    value.resize(out);
    trim_line_end(value);
    const std::size_t first = value.find_first_not_of(' ');
    value.erase(0, first == std::string::npos ? value.size() : first);
    collapse_spaces(value);
}

}  // namespace quorlan
