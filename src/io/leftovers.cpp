// Finding the temporary files that runs stopped by force left beside the XML file, by the
// name both systems give them (kTemporaryNameBytes, kTemporaryMark).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "io/leftovers.h"
#include "io/platform.h"


namespace quorlan {

std::vector<LeftOverFile> left_over_temporaries(const std::string& output) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path given(output);
    fs::path target = given;
    // Links are followed as a run follows them, to a file that need not be there yet.
    for (int depth = 0; depth < kMaxLinkDepth && fs::is_symlink(target, error); ++depth) {
        const fs::path link = fs::read_symlink(target, error);
        if (error) return {};
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    error.clear();
    const fs::path folder = target.parent_path();
    // Built by appending: g++ 12 warns falsely about `"x" + std::string`.
    std::string prefix = ".";
    prefix += target.filename().string().substr(0, kTemporaryNameBytes);
    prefix += kTemporaryMark;

    std::vector<LeftOverFile> found;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        std::error_code no_time;
        const auto written = fs::last_write_time(it->path(), no_time);
        const auto age = no_time ? std::chrono::seconds(0)
                                 : std::chrono::duration_cast<std::chrono::seconds>(now - written);
        found.push_back(LeftOverFile{(folder / name).string(), std::max<std::int64_t>(0, age.count())});
    }
    std::sort(found.begin(), found.end(),
              [](const LeftOverFile& a, const LeftOverFile& b) { return a.age_seconds > b.age_seconds; });
    return found;
}

}  // namespace quorlan
