#include "charset/xml_name.h"

#include <array>

#include "charset/unicode_text.h"

namespace quorlan {

namespace {

// The characters of windows-1250 bytes 0x80 to 0xFF, in which the document is declared;
// 0 where the code page has no character.
// clang-format off
constexpr std::array<std::uint16_t, 128> kCp1250High = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021,
    0,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
// clang-format on

// The characters an XML 1.0 (fifth edition) name may begin with.
bool is_xml_name_start(std::uint32_t c) {
    return c == ':' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || c == 0x200C || c == 0x200D ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

}  // namespace

std::uint32_t cp1250_character(std::uint8_t byte) { return byte < 0x80 ? byte : kCp1250High[byte - 0x80u]; }

bool is_xml_name_char(std::uint32_t c) {
    return is_xml_name_start(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || c == 0x203F || c == 0x2040;
}

std::string_view name_in_tag(std::string_view name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r')) {
        name.remove_suffix(1);
    }
    return name;
}

std::size_t xml_name_fault_at(std::string_view name) {
    if (name.empty()) return 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::uint32_t c = cp1250_character(static_cast<std::uint8_t>(name[i]));
        if (!(i == 0 ? is_xml_name_start(c) : is_xml_name_char(c))) return i;
    }
    return std::string_view::npos;
}

std::string xml_name_suggestion(std::string_view name) {
    std::string suggestion;
    bool replaced = false;  // bytes left out since the last one kept: one "_" between words
    for (const char byte : name) {
        const auto b = static_cast<std::uint8_t>(byte);
        const bool marker = byte == '-' || byte == '*' || byte == '#' || byte == ':';
        if (!marker && is_xml_name_char(cp1250_character(b))) {
            if (replaced && !suggestion.empty()) suggestion += '_';
            suggestion += byte;
            replaced = false;
        } else if (b < 0x80) {
            replaced = true;
        } else {
            return {};
        }
    }
    if (!suggestion.empty() && !is_xml_name_start(cp1250_character(static_cast<std::uint8_t>(suggestion[0])))) {
        suggestion.insert(0, 1, '_');
    }
    return suggestion;
}

std::size_t xml_text_name_fault_at(std::string_view name) {
    if (name.empty()) return 0;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t start = i;
        const char32_t c = next_character(name, i);
        if (!(start == 0 ? is_xml_name_start(c) : is_xml_name_char(c))) return start;
    }
    return std::string_view::npos;
}

}  // namespace quorlan
