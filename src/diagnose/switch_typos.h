// Mapping lines that were meant as switches: "ASCI=1", "DECODE = 1", "ENCODING=UTF-8".
// Read as mappings, they make an element that stays empty while the switch stays off, and
// nothing else would say so.
#pragma once

#include <string>
#include <string_view>

#include "config/settings.h"

namespace quorlan {

// True when `a` becomes `b` by at most one edit: a byte inserted, removed or replaced, or
// two neighbouring bytes swapped.
bool within_one_edit(std::string_view a, std::string_view b);

// What to write instead, when the element of `mapping` looks like a switch; empty otherwise.
std::string switch_typo_warning(const FieldMapping& mapping);

}  // namespace quorlan
