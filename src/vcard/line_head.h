// The head of a card line as a whole line shows it: the text before its value, read once
// for everyone who looks at the line.
#pragma once

#include <string_view>

#include "vcard/head.h"

namespace quorlan {

struct LineHead {
    // The text before the first ":" outside quotes; empty for a line that continues
    // another one (folded, base64 data, a quoted-printable soft line break) or holds no ":".
    std::string_view text;
    Head parsed;  // `text` parsed
};

LineHead read_line_head(std::string_view raw);

}  // namespace quorlan
