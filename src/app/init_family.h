// "--for FAMILY" among the arguments of --init: the phone family a quorlan.ini is for.
#pragma once

#include <string>
#include <vector>

#include "templates/builtins.h"

namespace quorlan {

// Takes "--for FAMILY" out of `arguments`: `family` is its built-in template (null without
// "--for"), `rest` the other arguments. False after a message on standard error when
// "--for" has no family after it or names none of the built-ins.
bool read_family(const std::vector<std::string>& arguments, const BuiltinTemplate*& family,
                 std::vector<std::string>& rest);

}  // namespace quorlan
