// The files a run reads and the messages that name them: "quorlan.ini", the card file,
// standard output, and the one wording for a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "text/line_reader.h"
#include "text/utf16_source.h"

namespace quorlan {

inline constexpr const char* kConfigFile = "quorlan.ini";

// What reading the configuration found besides the settings.
struct ConfigFileFacts {
    bool present = false;      // the file exists (a missing one leaves the defaults)
    bool bom_skipped = false;  // a UTF-8 byte-order mark stood before the first line
    TextEncoding encoding = TextEncoding::Bytes;  // UTF-16 is read as UTF-8
};

// Reads "quorlan.ini" from the current folder into `settings` the way every run does;
// `observer` sees each line. Returns false after reporting a file that exists but can't
// be read.
bool load_settings(Settings& settings, const ConfigObserver& observer, ConfigFileFacts& facts);

// A file open for reading as text: UTF-16 arrives converted to UTF-8, anything else as
// it is. It must stay where it is while its bytes are read.
struct TextFile {
    std::intptr_t handle = -1;
    Utf16Source utf16;
    TextFile() = default;
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;
};

// Opens `name`; false with the errno value in `error` when it can't.
bool open_text_file(TextFile& text, const std::string& name, int& error);
ByteSource text_bytes(TextFile& text);
// Closes the file; returns 0 or the errno value of a failed close.
int close_text_file(TextFile& text);

// A file name as a terminal may show it: printable ASCII and UTF-8 letters as they are,
// a backslash doubled, and every other byte (control bytes above all, which could
// rewrite the terminal) as \xNN.
std::string terminal_name(std::string_view name);
// The same in single quotes, the way messages name a file.
std::string quoted_name(std::string_view name);

// Prints "quorlan: <what> '<name>': <reason>" on standard error; returns the exit status 1.
int report(const char* what, const std::string& name, int error);

// Reports a card file that can't be opened; when no quorlan.ini was read, also that its
// name is the default one and how to give another. Returns the exit status 1.
int report_unopened_input(const std::string& name, int error, bool config_read);

// How writing a report (the help, the version, --explain) to standard output ended.
enum class ReportOutput { Written, ReaderGone, Failed };

// Writes `text` to standard output and flushes it. A reader that stopped reading (a pipe
// into `head`) is no failure for a report, which only tells: that ends it quietly. Any
// other failure is reported.
ReportOutput write_report(std::string_view text);

// A temporary file beside the XML file that a run stopped by force (kill -9, a power
// cut) left behind; no run removes it, since another run may be writing it.
struct LeftOverFile {
    std::string path;             // as the XML file's name gives its folder
    std::int64_t age_seconds = 0;  // since it was last written
};

// The temporary files of runs writing `output` (links followed), oldest first.
std::vector<LeftOverFile> left_over_temporaries(const std::string& output);

// True when `output`, links followed, is the card file `input` or "quorlan.ini"; then
// it has said so on standard error.
bool output_is_an_input(const std::string& output, const std::string& input);

}  // namespace quorlan
