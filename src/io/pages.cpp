#include "io/pages.h"

#include <filesystem>
#include <system_error>

namespace quorlan {

namespace {

OutputFile& current_page(PagedOutput& output) { return output.later.empty() ? output.first : output.later.back(); }

}  // namespace

std::string page_file_name(std::string_view output_file, std::size_t number) {
    std::string name(output_file);
    if (number <= 1) return name;
    // Built by appending: g++ 12 warns falsely about `"x" + std::string`.
    std::string tail = "-";
    tail += std::to_string(number);
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.find_last_of("/\\");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        name.insert(dot, tail);
    } else {
        name += tail;
    }
    return name;
}

bool write_page(PagedOutput& output, const char* data, std::size_t size, int& error) {
    return write_output(current_page(output), data, size, error);
}

bool begin_next_page(PagedOutput& output, int& error) {
    // The first page stays open until the commit; a later one is finished now, so that a
    // long phonebook holds one file open, not one per page.
    if (!output.later.empty()) {
        if (const int failed = finish_page_output(output.later.back()); failed != 0) {
            error = failed;
            return false;
        }
    }
    ++output.pages;
    OutputFile& page = output.later.emplace_back();
    return open_page_output(output.first, page, output.pages, page_file_name(output.first.name, output.pages), error);
}

int commit_pages(PagedOutput& output) {
    if (!output.later.empty() && output.later.back().handle >= 0) {
        if (const int error = finish_page_output(output.later.back()); error != 0) {
            abandon_pages(output);
            return error;
        }
    }
    if (const int error = output.later.empty() ? 0 : sync_pages(output.first); error != 0) {
        abandon_pages(output);
        return error;
    }
    for (OutputFile& page : output.later) {
        if (const int error = place_page_output(page); error != 0) {
            abandon_pages(output);
            return error;
        }
    }
    if (const int error = commit_output(output.first); error != 0) return error;
    // The pages of an earlier run beyond this run's last are gone from the links, and
    // would be shown to a phone that still asks for them.
    std::error_code ignored;
    for (std::size_t number = output.pages + 1;; ++number) {
        if (!std::filesystem::remove(page_file_name(output.first.name, number), ignored)) break;
    }
    return 0;
}

void abandon_pages(PagedOutput& output) {
    for (OutputFile& page : output.later) abandon_page_output(page);
    abandon_output(output.first);
}

}  // namespace quorlan
