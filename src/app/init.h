// quorlan --init: a first quorlan.ini for a card file, written from what the file holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "config/settings.h"
#include "templates/builtins.h"

namespace quorlan {

// The fields a new quorlan.ini offers and how many cards of the file fill each.
struct InitCounts {
    std::size_t cards = 0;
    std::vector<std::size_t> filled;  // per mapping of init_settings
};

// The settings --init writes for `card_file`: decoding on, the usual fields, or with a
// phone `family`, the fields and the template of that built-in.
Settings init_settings(const std::string& card_file, const BuiltinTemplate* family = nullptr);

// The text of quorlan.ini: the file names, the switch, and each field with the number of
// cards it fills; a field that no card fills is left as a comment.
std::string init_text(const std::string& card_file, const Settings& settings, const InitCounts& counts,
                      const BuiltinTemplate* family = nullptr);

// Runs --init with its arguments (init_arguments): writes quorlan.ini in the current
// folder for the card file named (or the folder's one .vcf file) and prints it; with
// "--for FAMILY", for that built-in template. Returns the exit status: 0, 1 when a file
// can't be read or written, quorlan.ini exists or can't name the card file, 2 when the
// card file or the family is not clear (none, several, an empty name).
int run_init(const std::vector<std::string>& arguments);

}  // namespace quorlan
