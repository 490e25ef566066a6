// The cards of a folder, one .vcf file each, read as one stream of card lines: the files
// in the order of their names, hidden files left out, a line end put between two files
// where the first lacks one. Only one file is open at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/line_reader.h"

namespace quorlan {

struct FolderSource {
    std::vector<std::string> files;
    std::size_t next = 0;        // the next file to open
    std::intptr_t handle = -1;   // the file being read, -1 between files
    bool ended_in_lf = true;     // the bytes handed out so far end with a line end
    std::string failed_file;     // the file whose opening, reading or closing failed
    FolderSource() = default;
    FolderSource(const FolderSource&) = delete;
    FolderSource& operator=(const FolderSource&) = delete;
};

// Lists the folder's card files; false with an errno value in `error` when it can't.
bool open_folder_source(FolderSource& source, const std::string& folder, int& error);
ByteSource folder_bytes(FolderSource& source);
// Closes the file being read, if any; returns 0 or the errno value of a failed close.
[[nodiscard]] int close_folder_source(FolderSource& source);

}  // namespace quorlan
