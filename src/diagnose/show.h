// Showing bytes and counts to a person: the run's warnings, --init and the report all speak so.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "io/messages.h"

namespace quorlan {

// Printable ASCII as it is, a backslash as \\ and every other byte as \xNN: the
// configuration and the cards may be windows-1250 or UTF-8 and the terminal's encoding is
// unknown, and \xNN in the output then always stands for one byte.
std::string shown(std::string_view bytes);
std::string in_quotes(std::string_view bytes);
// A value short enough for a line of the report: at most 40 bytes, then "...".
std::string value_shown(std::string_view value);
std::string tag(std::string_view element);
std::string count_of(std::size_t n, std::string_view one, std::string_view many);
std::string line_label(std::size_t number);

// The length of the valid UTF-8 sequence of two or more bytes at `i`, or 0.
std::size_t utf8_length(std::string_view text, std::size_t i);
// True when the text holds a UTF-8 sequence of two or more bytes.
bool holds_utf8_sequence(std::string_view text);

// Writes `text` to standard output; reports a failure as a run reports a failed write,
// and ends quietly when the reader has gone.
ReportOutput print(const std::string& text);

}  // namespace quorlan
