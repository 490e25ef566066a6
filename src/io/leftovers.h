// The temporary files that runs stopped by force left beside the XML file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorlan {

// A temporary file beside the XML file that a run stopped by force (kill -9, a power
// cut) left behind; no run removes it, since another run may be writing it.
struct LeftOverFile {
    std::string path;             // as the XML file's name gives its folder
    std::int64_t age_seconds = 0;  // since it was last written
};

// The temporary files of runs writing `output` (links followed), oldest first.
std::vector<LeftOverFile> left_over_temporaries(const std::string& output);

}  // namespace quorlan
