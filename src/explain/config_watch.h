// Watching "quorlan.ini" being read by the run's own code: each line as the rules saw it
// and what it did.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace quorlan {

struct SeenLine {
    std::size_t number = 0;  // the line of the file
    std::size_t part = 0;    // 1, 2... for the pieces of a line longer than one read
    std::string text;        // as the rules saw it: without its line end
    ConfigLine config;
    bool beyond_limit = false;  // the mapping line that ended the reading
    bool read = true;           // false for the lines after it
    bool past_cap = false;      // kept although the lines kept were already many
};

// The lines kept to be shown; beyond this many, only the lines that still decide
// something (mappings, and the last line of each setting) are kept, the rest counted.
inline constexpr std::size_t kConfigLinesKept = 300;

struct ConfigWatch {
    std::vector<SeenLine> lines;
    std::size_t number = 1;  // the line the next read starts on
    std::size_t part = 0;
    std::size_t lines_read = 0;      // whole lines, read by the rules
    std::size_t lines_not_read = 0;  // whole lines after the mapping line that ended the reading
    std::size_t lines_not_kept = 0;  // reads that were counted but not kept
};

// What a ConfigObserver tells, kept in `watch`: a line as read, and the lines after the
// mapping line that stopped the reading.
void watch_config_line(ConfigWatch& watch, std::string_view as_read, const ConfigLine& config, bool beyond_limit,
                       bool line_goes_on);
void watch_config_rest(ConfigWatch& watch, LineReader& rest);

std::string where(const SeenLine& line);

// A mapping line whose mapping is stored in the settings.
bool is_stored(const SeenLine& line);

// The lines of the stored mappings, in mapping order.
std::vector<const SeenLine*> mapping_lines(const ConfigWatch& watch);

// The read line that last set what `kind` sets; null when none did.
const SeenLine* last_of(const ConfigWatch& watch, LineKind kind);

// The element name as written before "=", markers still in it.
std::string_view written_element(const SeenLine& line);

}  // namespace quorlan
