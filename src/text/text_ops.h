// Byte-string operations on which configuration reading and card conversion are built.
// A text is a std::string of raw bytes (windows-1250, ASCII or undecoded UTF-8) without NUL.
// Extraction returns a new text; clean-up works in place. Every input, the empty text
// included, has a defined result and nothing past the end of a text is ever read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorlan {

// Position of the first occurrence of `pattern` at or after `start`, or -1.
// A start beyond the length and an empty pattern both give -1.
std::ptrdiff_t find_text(std::string_view text, std::string_view pattern, std::size_t start);

// True when `text` begins with `pattern`; an empty pattern begins nothing.
inline bool begins_with(std::string_view text, std::string_view pattern) {
    // The first bytes are compared on their own: most lines differ there, and that spares
    // the call to the library comparison.
    return !pattern.empty() && text.size() >= pattern.size() && text[0] == pattern[0] &&
           text.substr(1, pattern.size() - 1) == pattern.substr(1);
}

std::string left_text(std::string_view text, std::size_t n);
std::string mid_text(std::string_view text, std::size_t start, std::size_t n);

// Removes any mix of CR, LF and spaces from the end.
void trim_line_end(std::string& text);
void remove_char(std::string& text, char c);
void replace_char(std::string& text, char from, char to);
// Every run of two or more spaces becomes one space.
void collapse_spaces(std::string& text);
// a-z become A-Z; every other byte, accented letters included, stays.
void to_upper_ascii(std::string& text);

}  // namespace quorlan
