// The decoding that vCard readers do on a logical line: quoted-printable values, the
// letter case of the lines that begin and end a card, and backslash escapes in values.
#pragma once

#include <string>
#include <string_view>

#include "text/text_ops.h"

namespace quorlan {

// Decodes the value part (after the first ":") of a quoted-printable line in place: "="
// and two hexadecimal digits of either case become the byte they give, any other "="
// stays. A decoded CR or LF becomes a space, so that the value stays on one line; a decoded
// NUL stays, to be written as every other control character is. The line never grows.
// `wide` keeps CR and LF bytes too: in UTF-16 or UTF-32 text they are parts of other
// characters (0x0D 0x01 is a "c" with caron), and the charset's decoding turns the line
// ends among its characters into spaces instead.
void decode_quoted_printable(std::string& line, bool wide = false);

// True when `text` begins with `pattern` (upper-case letters) in any letter case. Inline:
// every line is tested for the card's start and end, and most differ in the first byte.
inline bool begins_with_any_case(std::string_view text, std::string_view pattern) {
    if (text.size() < pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (upper_ascii(text[i]) != pattern[i]) return false;
    }
    return true;
}

// The clean-up of a value taken from a decoded line: in one pass from the left, "\\" gives
// "\", "\," gives ",", "\;" a literal ";", "\n" and "\N" a space, any other backslash stays
// with what follows it, and a ";" that is not escaped becomes a space; then the line end is
// trimmed, spaces at the start too, and runs of spaces collapse to one.
void clean_decoded_value(std::string& value);

}  // namespace quorlan
