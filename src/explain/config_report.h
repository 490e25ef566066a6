// The first part of the report: the settings a run would use, and what every line of
// "quorlan.ini" did.
#pragma once

#include <string>

#include "config/config_file.h"
#include "config/settings.h"
#include "convert/document.h"
#include "explain/config_watch.h"

namespace quorlan {

void describe_settings(std::string& out, const Settings& settings, const DocumentNames& names,
                       const ConfigFileFacts& facts, const ConfigWatch& watch);

void describe_lines(std::string& out, const ConfigWatch& watch);

}  // namespace quorlan
