// Values of a card file that reach no field, told to a person: how many, of which
// properties, and the configuration lines that would keep them. The run's warning and
// --explain say it alike.
#pragma once

#include <string>

#include "config/settings.h"
#include "convert/capture.h"

namespace quorlan {

// "25 values (20 TEL, 5 EMAIL)": the count and the commonest properties.
std::string lost_values_count(const LostValues& lost);

// What to write in quorlan.ini so that they are kept: each one-value field that dropped
// values as a list, and for properties whose kind no field names, a list field that takes
// every kind (with a template, one that the template writes).
std::string lost_values_fix(const Settings& settings, const LostValues& lost);

}  // namespace quorlan
