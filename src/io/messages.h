// The one wording of the program's messages on standard error and of the names in them,
// and the writing of a report (the help, the version, --explain) to standard output.
#pragma once

#include <string>
#include <string_view>

#include "text/terminal_text.h"

namespace quorlan {

// A file name in single quotes as a terminal may show it (terminal_name), the way
// messages name a file.
std::string quoted_name(std::string_view name);

// Prints "quorlan: <what> '<name>': <reason>" on standard error; returns the exit status 1.
int report(const char* what, const std::string& name, int error);

// Reports how the reading of file `name` ended: a read error (`read_error`), else a failed
// close (`close_error`). Returns 1 when either was reported, 0 when the file was read well.
int report_reading_end(const std::string& name, int read_error, int close_error);

// Reports a card file in which no card ended, `why` in parentheses, and that the phonebook
// `output` was left as it was. Returns the exit status 1.
int report_no_card(const std::string& input, const std::string& why, const std::string& output);

// Reports a card file that can't be opened; when no quorlan.ini was read, also that its
// name is the default one and how to give another. Returns the exit status 1.
int report_unopened_input(const std::string& name, int error, bool config_read);

// How writing a report (the help, the version, --explain) to standard output ended.
enum class ReportOutput { Written, ReaderGone, Failed };

// Writes `text` to standard output and flushes it. A reader that stopped reading (a pipe
// into `head`) is no failure for a report, which only tells: that ends it quietly. Any
// other failure is reported.
ReportOutput write_report(std::string_view text);

// Writes a report that is all the program does (the help, --init's result): the exit
// status, 0, or 1 when standard output failed.
int print_report(std::string_view text);

}  // namespace quorlan
