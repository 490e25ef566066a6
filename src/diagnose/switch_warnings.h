// Switches that a run can't follow: UTF8= and CODEPAGE= without DECODE=1, and a code page
// that is not known here. Worded once for the run's warnings on standard error and for
// the report's line of quorlan.ini, which says it shorter beside the line.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"

namespace quorlan {

enum class Wording { Run, Report };

// True when a switch set to `value` needs DECODE=1, which `settings` lack.
inline bool needs_decoding(std::int32_t value, const Settings& settings) {
    return value != 0 && !settings.decode;
}

// True when CODEPAGE= names a code page that no conversion here knows.
bool names_unknown_codepage(std::int32_t code_page);

// UTF8=1 without DECODE=1: the document stays windows-1250.
std::string utf8_needs_decoding(Wording wording);
// CODEPAGE= without DECODE=1: it is ignored.
std::string codepage_needs_decoding(Wording wording);
// CODEPAGE=`code_page` names no code page known here: undeclared text stays windows-1250.
std::string unknown_codepage(std::int32_t code_page, Wording wording);

}  // namespace quorlan
