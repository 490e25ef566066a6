// The grouping of international phone numbers: country code, three, three, and the rest.
#pragma once

#include <string>
#include <string_view>

namespace quorlan {

// Groups an international number in place: country code, three, three, and the rest. A
// string that has held a number before has room for it, so no memory is allocated.
void group_phone(std::string& number);

// The grouping of decoded numbers: separators (spaces, "-", ".", "/", parentheses)
// dropped, the ITU country code, two groups of three and the rest, an extension ("x12",
// "ext. 12", "ext=12") kept after them. False, the number untouched, for a value that is
// no such number.
bool group_decoded_phone(std::string& number);

}  // namespace quorlan
