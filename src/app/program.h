// The program as a user runs it: files in the current folder, messages on standard error.
#pragma once

namespace quorlan {

// Converts the vCard file named by "quorlan.ini" (or "import.vcf") into its XML file.
// Returns the exit status: 0 after a complete run, 1 after a failure, which is reported
// in one line on standard error.
int run_program();

}  // namespace quorlan
