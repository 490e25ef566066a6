// The census in the report: the heads of the card file, what each mapping takes, and
// the mapping lines that would take the heads a mapping misses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "diagnose/census.h"

namespace quorlan {

// `written` holds each mapping's element name as written in quorlan.ini, markers and all;
// `cards` the number of card ends.
void describe_census(std::string& out, const Settings& settings, const Census& census,
                     const std::vector<std::string_view>& written, std::size_t cards);

}  // namespace quorlan
