#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "io/platform.h"

namespace fs = std::filesystem;

namespace quorlan {
namespace {

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A file that must not replace another one: refused when the name is taken at opening,
// and when another program takes it before the commit, leaving that program's file (or
// link, never followed) and no temporary file behind.
TEST(OutputFile, KeepsAnExistingFileWhateverTheMoment) {
    // A folder of its own, so that runs of the suite side by side never meet.
    std::string pattern = (fs::temp_directory_path() / "quorlan-keep-existing-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    const std::string target = (dir / "quorlan.ini").string();
    const fs::path planted = dir / "planted.txt";
    for (const bool before_opening : {true, false}) {
        for (const bool link : {false, true}) {
            SCOPED_TRACE(std::string(link ? "a link to nowhere" : "a file") +
                         (before_opening ? " taken before opening" : " taken before the commit"));
            fs::remove(target);
            const auto take = [&] {
                if (link) fs::create_symlink(planted, target);
                else std::ofstream(target, std::ios::binary) << "theirs";
            };
            if (before_opening) take();
            OutputFile output;
            output.keep_existing = true;
            int error = 0;
            const bool opened = open_output(output, target, error);
            if (before_opening) {
                EXPECT_FALSE(opened);
                EXPECT_EQ(error, EEXIST);
            } else {
                ASSERT_TRUE(opened) << error;
                ASSERT_TRUE(write_output(output, "ours", 4, error));
                take();
                EXPECT_EQ(commit_output(output), EEXIST);
            }
            EXPECT_FALSE(fs::exists(planted));
            if (link) EXPECT_TRUE(fs::is_symlink(target));
            else EXPECT_EQ(contents(target), "theirs");
            EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
        }
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quorlan
