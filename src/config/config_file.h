// Reading "quorlan.ini" from the current folder, the way every run does.
#pragma once

#include "config/settings.h"
#include "text/utf16_source.h"

namespace quorlan {

inline constexpr const char* kConfigFile = "quorlan.ini";

// What reading the configuration found besides the settings.
struct ConfigFileFacts {
    bool present = false;      // the file exists (a missing one leaves the defaults)
    bool bom_skipped = false;  // a UTF-8 byte-order mark stood before the first line
    TextEncoding encoding = TextEncoding::Bytes;  // UTF-16 is read as UTF-8
};

// Reads "quorlan.ini" into `settings`; `observer` sees each line. Returns false after
// reporting a file that exists but can't be read.
bool load_settings(Settings& settings, const ConfigObserver& observer, ConfigFileFacts& facts);

}  // namespace quorlan
