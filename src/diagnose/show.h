// Showing bytes and counts to a person: the run's warnings, --init and the report all
// speak so.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/terminal_text.h"

namespace quorlan {

std::string in_quotes(std::string_view bytes);
// A value short enough for a line of the report: at most 40 bytes, then "...".
std::string value_shown(std::string_view value);
std::string tag(std::string_view element);
std::string count_of(std::size_t n, std::string_view one, std::string_view many);
std::string line_label(std::size_t number);

}  // namespace quorlan
