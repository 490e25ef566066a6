// The command line: the few options a user asks the tool about itself. An argument that
// looks like an option but is none is refused; any other argument is ignored, and
// without options the program converts as always.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorlan {

enum class Action { Convert, Help, Version, Explain, Init, Template, Unknown };

// The command line, read once.
struct Options {
    // Unknown when any argument before "--" begins with "-" and is no option, or when
    // "--for" stands without "--init"; otherwise the action of the first option ("/?" is
    // --help, as Windows users type it), or Convert.
    Action action = Action::Convert;
    // The first argument before "--" that looks like an option but is none; empty when
    // "--for" without "--init" made the action Unknown.
    std::string unknown;
    // The arguments of --init: the names on the command line (the arguments that are no
    // options, and every argument after "--", which ends the options), and "--for" with
    // the argument after it.
    std::vector<std::string> init_arguments;
    // The arguments after "--template", for that option.
    std::vector<std::string> template_arguments;
};

Options read_options(int argc, const char* const* argv);

// Says which argument is not an option; returns the exit status 2.
int refuse_unknown_option(const Options& options);

// Prints the usage or the version on standard output. Returns the exit status: 0, or 1
// after reporting that standard output could not be written.
int print_help();
int print_version();

}  // namespace quorlan
