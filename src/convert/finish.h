// A card that has ended, made a record: the filter's Required and Forbidden conditions, then
// the values as every form writes them (constants, line ends trimmed, phone grouping). The
// loop does this once for each card, and the forms render what it leaves.
#pragma once

#include <string>
#include <vector>

#include "config/settings.h"
#include "convert/capture.h"

namespace quorlan {

// How the numbers of phone mappings (values that begin with "+") are grouped.
enum class PhoneGrouping {
    Fixed,         // the exact reading: group_phone on the bytes
    ByDigits,      // decoded text: group_decoded_phone, else Characters
    ByCharacters,  // decoded text: group_phone counting characters, not bytes
};

// Chosen once per run.
struct RecordFinishing {
    const Settings* settings = nullptr;
    PhoneGrouping phones = PhoneGrouping::Fixed;
    // The constant of each constant field as text (decoded readings; the exact one writes
    // the configured bytes as they stand).
    std::vector<std::string> text_constants;
};

RecordFinishing make_record_finishing(const Settings& settings, PhoneGrouping phones);

// Called for each line that begins with "END:". When the card passes the filter, its values
// and list values become what is written, in place, and true is returned. The changes stay:
// a second "END:" line of the same card sees the constants and the grouped numbers.
bool finish_record(const RecordFinishing& finishing, CardState& card);

}  // namespace quorlan
