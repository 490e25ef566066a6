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

void remove_char(std::string& text, char c) {
    text.erase(std::remove(text.begin(), text.end(), c), text.end());
}

void to_upper_ascii(std::string& text) {
    for (char& c : text) c = upper_ascii(c);
}

}  // namespace quorlan
