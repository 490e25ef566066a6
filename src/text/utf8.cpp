#include "text/utf8.h"

namespace quorlan {

namespace {

struct SecondRange {
    unsigned char low, high;
};

SecondRange second_range(unsigned char lead) {
    switch (lead) {
        case 0xE0: return {0xA0, 0xBF};
        case 0xED: return {0x80, 0x9F};
        case 0xF0: return {0x90, 0xBF};
        case 0xF4: return {0x80, 0x8F};
        default: return {0x80, 0xBF};
    }
}

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::size_t utf8_lead_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

std::size_t utf8_well_formed_part(std::string_view bytes, std::size_t i, std::size_t length) {
    std::size_t k = 1;
    for (; k < length && i + k < bytes.size(); ++k) {
        const auto b = static_cast<unsigned char>(bytes[i + k]);
        const SecondRange range = k == 1 ? second_range(static_cast<unsigned char>(bytes[i])) : SecondRange{0x80, 0xBF};
        if (b < range.low || b > range.high) break;
    }
    return k;
}

std::size_t utf8_sequence_at(std::string_view bytes, std::size_t i, char32_t& c) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = utf8_lead_length(lead);
    if (length <= 1) {
        c = lead;
        return length;
    }
    if (utf8_well_formed_part(bytes, i, length) != length) return 0;
    c = lead & (0x7FU >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3FU);
    return length;
}

std::size_t utf8_length(std::string_view text, std::size_t i) {
    const std::size_t length = utf8_lead_length(static_cast<unsigned char>(text[i]));
    if (length < 2 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if (!is_continuation(static_cast<unsigned char>(text[i + k]))) return 0;
    }
    return length;
}

bool holds_utf8_sequence(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80 && utf8_length(text, i) != 0) return true;
    }
    return false;
}

}  // namespace quorlan
