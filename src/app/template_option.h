// quorlan --template [NAME]: the built-in templates, listed or printed.
#pragma once

#include <string>
#include <vector>

namespace quorlan {

// Prints the built-in template named by the first argument, or the list of them without
// one. Returns the exit status: 0, 1 when standard output can't be written, 2 for a name
// no built-in has.
int print_template(const std::vector<std::string>& arguments);

}  // namespace quorlan
