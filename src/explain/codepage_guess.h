// Which Windows code page undeclared 8-bit text is most likely written in, for the
// CODEPAGE= suggestion of the report.
#pragma once

#include <cstdint>
#include <string_view>

#include "charset/charsets.h"

namespace quorlan {

// The code page (1250 to 1257) whose letters fit `sample` best, or 0 when none fits: words
// mostly of 8-bit bytes are Greek, Cyrillic, Hebrew or Arabic, words with a few of them
// Latin, and each code page scores by how many of its language's common letters it reads.
std::int32_t best_codepage(std::string_view sample, CharsetConverters& converters);

}  // namespace quorlan
