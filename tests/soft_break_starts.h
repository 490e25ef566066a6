// Shared by the tests and the fuzz targets: the lines on which a follower of the plain
// reads sees logical lines start, those that neither go on at a soft line break nor begin
// with a blank. --explain follows a file read without joining this way, and it must agree
// with the lines the logical line reader starts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "text/line_reader.h"
#include "vcard/logical_lines.h"

namespace quorlan::test_support {

inline std::vector<std::size_t> followed_starts(LineReader& input) {
    SoftBreakFollower follower;
    std::vector<std::size_t> starts;
    std::string read;
    for (;;) {
        const std::size_t number = input.lines_ended + 1;
        const bool first = !input.line_goes_on;
        if (!read_line(input, read)) return starts;
        const bool blank = !starts.empty() && (read[0] == ' ' || read[0] == '\t');
        if (!follow_soft_breaks(follower, read, first, input.line_goes_on) && first && !blank) starts.push_back(number);
    }
}

}  // namespace quorlan::test_support
