// The report's section on values and lines a run would write wrong, from the value checks
// and the census of the card file.
#pragma once

#include <cstddef>
#include <string>

#include "diagnose/census.h"
#include "explain/value_checks.h"

namespace quorlan {

// With decoding on, the charsets that card lines declare, and whether they are decoded.
void describe_charsets(std::string& out, const ValueChecks& checks);
// With decoding on, the lines of 8-bit text that declare no charset and are not UTF-8, how
// they are read, and the code page their letters fit best (the CODEPAGE= suggestion).
void describe_undeclared_text(std::string& out, const ValueChecks& checks);

// `lost`: the values the run found reaching no field.
void describe_value_warnings(std::string& out, const ValueChecks& checks, const Census& census,
                             std::size_t cards_ended, const LostValues& lost);

}  // namespace quorlan
