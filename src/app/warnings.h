// The few things a run that succeeded still has to tell: a switch that has no effect, a
// document that XML readers will refuse, and a card file in which no card was found.
#pragma once

#include "convert/document.h"
#include "config/settings.h"

namespace quorlan {

// Prints one "quorlan: warning: ..." line on standard error for UTF8=1 without DECODE=1,
// for each element name that is not an XML Name, and when `input_held_bytes` but no card ended.
void warn_about_the_document(const Settings& settings, const DocumentNames& names, const ConversionResult& result,
                             bool input_held_bytes);

}  // namespace quorlan
