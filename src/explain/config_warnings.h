// Warnings about likely mistakes in "quorlan.ini": traps of the line rules, prefixes
// that can't match or that others hide, element names XML readers refuse.
#pragma once

#include <string>

#include "config/settings.h"
#include "convert/document.h"
#include "explain/config_watch.h"

namespace quorlan {

void describe_config_warnings(std::string& out, const Settings& settings, const DocumentNames& names,
                              const ConfigWatch& watch);

}  // namespace quorlan
