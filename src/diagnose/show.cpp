#include "diagnose/show.h"

#include "io/messages.h"

namespace quorlan {

std::string shown(std::string_view bytes) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            text += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            text += c;
        } else {
            text += "\\x";
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
        }
    }
    return text;
}

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

// The length of the valid UTF-8 sequence of two or more bytes at `i`, or 0.
std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4                                 ? 4
                                                                                              : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

bool holds_utf8_sequence(std::string_view value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (static_cast<unsigned char>(value[i]) >= 0x80 && utf8_length(value, i) != 0) return true;
    }
    return false;
}

ReportOutput print(const std::string& text) { return write_report(text); }

}  // namespace quorlan
