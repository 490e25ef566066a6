#include "text/text_ops.h"

#include <algorithm>

namespace quorlan {

std::ptrdiff_t find_text(std::string_view text, std::string_view pattern, std::size_t start) {
    if (start > text.size() || pattern.empty()) return -1;
    const std::size_t p = text.find(pattern, start);
    return p == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(p);
}

std::string left_text(std::string_view text, std::size_t n) {
    return std::string(text.substr(0, n));
}

std::string mid_text(std::string_view text, std::size_t start, std::size_t n) {
    if (start >= text.size()) return {};
    return std::string(text.substr(start, n));
}

void remove_char(std::string& text, char c) {
    text.erase(std::remove(text.begin(), text.end(), c), text.end());
}

void replace_char(std::string& text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
}

void collapse_spaces(std::string& text) {
    auto both_spaces = [](char a, char b) { return a == ' ' && b == ' '; };
    text.erase(std::unique(text.begin(), text.end(), both_spaces), text.end());
}

void to_upper_ascii(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
}

}  // namespace quorlan
