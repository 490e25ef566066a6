// quorlan --init: a first quorlan.ini for a card file, written from what the file holds.
#pragma once

#include <string>
#include <vector>

namespace quorlan {

// Runs --init with its arguments (Options::init_arguments): writes quorlan.ini in the current
// folder for the card file named (or the folder's one .vcf file) and prints it; with
// "--for FAMILY", for that built-in template. Returns the exit status: 0, 1 when a file
// can't be read or written, quorlan.ini exists or can't name the card file, 2 when the
// card file or the family is not clear (none, several, an empty name).
int run_init(const std::vector<std::string>& arguments);

}  // namespace quorlan
