// What the tests, the fuzz targets and the benchmarks share: a source that hands out its
// bytes a few at a time, a sink that keeps the document in memory, and the lines on which a
// follower of the plain reads sees logical lines start.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "convert/writer.h"
#include "text/line_reader.h"
#include "vcard/logical_lines.h"

namespace quorlan::test_support {

// Hands out the data `step` bytes at a time, so that CR LF pairs and lines straddle every
// possible refill boundary; then fails with `error` if that is set.
struct Trickle {
    std::string_view data;
    std::size_t step;
    int error = 0;
};

inline std::size_t read_trickle(Trickle& t, char* buffer, std::size_t capacity, int& error) {
    const std::size_t n = std::min({capacity, t.step, t.data.size()});
    if (n == 0) {
        error = t.error;
        return 0;
    }
    std::memcpy(buffer, t.data.data(), n);
    t.data.remove_prefix(n);
    return n;
}

// A sink that appends the document to `buffer`.
inline bool append_to(std::string& buffer, const char* data, std::size_t size, int&) {
    buffer.append(data, size);
    return true;
}
inline ByteSink memory_sink(std::string& buffer) { return ByteSink{ByteSink::Write::bind<append_to>(buffer)}; }

// The lines on which a follower of the plain reads sees logical lines start: those that
// neither go on at a soft line break nor begin with a blank. --explain follows a file read
// without joining this way, and it must agree with the lines the logical line reader starts.
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
