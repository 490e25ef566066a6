// The grouping of international phone numbers: country code, three, three, and the rest.
#pragma once

#include <string>
#include <string_view>

namespace quorlan {

// Groups an international number: country code, three, three, and the rest.
std::string format_phone(std::string_view value);

// Groups the number in place, as format_phone does; a string that has held a number before
// has room for it, so no memory is allocated.
void group_phone(std::string& number);

}  // namespace quorlan
