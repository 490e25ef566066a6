// The command line: the few options a user asks the tool about itself. Any other
// argument is ignored, and without options the program converts as always.
#pragma once

namespace quorlan {

enum class Action { Convert, Help, Version, Explain };

// The action of the first recognised option, or Convert when there is none.
Action choose_action(int argc, const char* const* argv);

// Prints the usage or the version on standard output. Returns the exit status: 0, or 1
// after reporting that standard output could not be written.
int print_help();
int print_version();

}  // namespace quorlan
