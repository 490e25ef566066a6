#include "text/terminal_text.h"

#include <cstddef>

#include "text/utf8.h"

namespace quorlan {

namespace {

// True for a character a terminal shows as itself. Left out are the C1 controls and the
// invisible characters that reorder or hide text (U+2000 to U+206F, U+FEFF, the specials
// from U+FFF0, the tag characters from U+E0000).
bool shows_as_itself(char32_t c) {
    return !(c < 0xA0 || c == 0xAD || (c >= 0x2000 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF0 && c <= 0xFFFF) ||
             (c >= 0xE0000 && c <= 0xE007F));
}

// The length of the well-formed UTF-8 sequence at `i` when its character shows as
// itself; 0 otherwise.
std::size_t shown_sequence_length(std::string_view text, std::size_t i) {
    char32_t c = 0;
    const std::size_t length = utf8_sequence_at(text, i, c);
    return length >= 2 && shows_as_itself(c) ? length : 0;
}

std::string escaped(std::string_view bytes, bool keep_letters) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\\') {
            text += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            text += bytes[i];
        } else if (const std::size_t length = keep_letters ? shown_sequence_length(bytes, i) : 0; length > 0) {
            text += bytes.substr(i, length);
            i += length - 1;
        } else {
            text += "\\x";
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
        }
    }
    return text;
}

}  // namespace

std::string shown(std::string_view bytes) { return escaped(bytes, false); }

std::string terminal_name(std::string_view name) { return escaped(name, true); }

}  // namespace quorlan
