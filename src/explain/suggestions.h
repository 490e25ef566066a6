// Suggestions for a mapping that misses lines of its property: mapping lines that would take them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "diagnose/census.h"

namespace quorlan {

// The mapping lines that would take the heads of the same property that mapping `j`
// misses, keeping the types its prefix names and leaving alone the lines that a suggestion
// for an earlier mapping takes (`claimed`, to which the heads suggested here are added).
// `written` is the mapping's element name as written in quorlan.ini.
void suggest_prefixes(std::string& out, const Settings& settings, const Census& census, std::size_t j,
                      std::string_view written, std::vector<const HeadCount*>& claimed);

}  // namespace quorlan
