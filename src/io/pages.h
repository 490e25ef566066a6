// The pages of a phonebook that a phone fetches one at a time: the first under the XML
// file's name, the next ones beside it ("cisco-directory-2.xml", ...). Every page goes to
// a temporary first, and the pages replace the old ones only once all of them are whole.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "io/platform.h"

namespace quorlan {

// The file name of page `number` (1 for the first) of the document `output_file`.
std::string page_file_name(std::string_view output_file, std::size_t number);

struct PagedOutput {
    OutputFile first;                // opened by open_output before the first byte
    std::vector<OutputFile> later;  // page 2 on, each closed once it is written
    std::size_t pages = 1;          // pages begun so far
};

// Writes to the page being written, as write_output does.
bool write_page(PagedOutput& output, const char* data, std::size_t size, int& error);
// Ends a page: the page is put on its way to the disk and the next one begun. False with
// an errno value in `error` when either fails.
bool begin_next_page(PagedOutput& output, int& error);

// Makes every page the target of its name, and removes the pages that an earlier, longer
// run left beyond the last one. Returns 0, or the errno value of the step that failed:
// then no page has replaced its old one, unless a move failed half way.
int commit_pages(PagedOutput& output);

// Removes every temporary; the old pages stay as they were.
void abandon_pages(PagedOutput& output);

}  // namespace quorlan
