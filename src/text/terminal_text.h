// Bytes as a terminal may show them. The configuration and the cards may be windows-1250
// or UTF-8 and the terminal's encoding is unknown, and control bytes could rewrite the
// terminal: every byte that is not safe to show is written as \xNN, and a backslash as \\,
// so that \xNN always stands for one byte.
#pragma once

#include <string>
#include <string_view>

namespace quorlan {

// Printable ASCII as it is, every other byte as \xNN: for bytes whose charset is unknown.
std::string shown(std::string_view bytes);

// A file name or a name of the configuration: printable ASCII and the UTF-8 letters a
// terminal shows as themselves kept, every other byte as \xNN.
std::string terminal_name(std::string_view name);

}  // namespace quorlan
