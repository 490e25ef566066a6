#include "diagnose/show.h"

namespace quorlan {

namespace {

// Built by appending: g++ 12 warns falsely about `"x" + std::string`.
std::string enclosed(char open, std::string_view bytes, char close) {
    std::string text(1, open);
    text += shown(bytes);
    text += close;
    return text;
}

}  // namespace

std::string in_quotes(std::string_view bytes) { return enclosed('"', bytes, '"'); }

std::string tag(std::string_view element) { return enclosed('<', element, '>'); }

std::string count_of(std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string line_label(std::size_t number) { return "line " + std::to_string(number); }

std::string value_shown(std::string_view value) {
    constexpr std::size_t kShownBytes = 40;
    if (value.size() <= kShownBytes) return in_quotes(value);
    return in_quotes(value.substr(0, kShownBytes)) + "...";
}

}  // namespace quorlan
