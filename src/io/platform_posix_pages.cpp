// The pages after the first of a document that a phone fetches page by page, on POSIX
// systems: each a temporary beside the first page's, put on disk together.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "io/platform.h"
#include "io/posix_files.h"

namespace quorlan {

using posix::BlockedSignals;
using posix::file_descriptor;

bool open_page_output(const OutputFile& first, OutputFile& page, std::size_t number, const std::string& name,
                      int& error) {
    page.name = name;
    if (!replaces_atomically(first)) {
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) error = errno;
        page.handle = fd;
        return fd >= 0;
    }
    // Beside the first page's target, where the first page's link led.
    const std::size_t slash = name.rfind('/');
    page.target = posix::folder_of(first.target) + (slash == std::string::npos ? name : name.substr(slash + 1));
    page.temporary = first.temporary + "-" + std::to_string(number);
    BlockedSignals blocked;
    const int fd = open(page.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        page.temporary.clear();
        return false;
    }
    posix::note_pages(number);
    fchmod(fd, posix::mode_from_umask());
    page.handle = fd;
    return true;
}

int finish_page_output(OutputFile& page) {
    const int fd = file_descriptor(page);
    page.handle = -1;
    int error = 0;
#ifdef __linux__
    // A disk flush for each page of a long phonebook would take seconds: the page is only
    // sent on its way here, and sync_pages puts every page on disk with one call.
    if (replaces_atomically(page)) sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    if (replaces_atomically(page) && fsync(fd) != 0) error = errno;
#endif
    if (close(fd) != 0 && error == 0) error = errno;
    return error;
}

int sync_pages(const OutputFile& first) {
    if (!replaces_atomically(first)) return 0;
#ifdef __linux__
    if (syncfs(file_descriptor(first)) != 0) return errno;
#endif
    // The first page too, so that its commit can hardly fail once the others are in place.
    return fsync(file_descriptor(first)) != 0 ? errno : 0;
}

int place_page_output(OutputFile& page) {
    if (!replaces_atomically(page)) return 0;
    if (rename(page.temporary.c_str(), page.target.c_str()) != 0) return errno;
    page.temporary.clear();
    return 0;
}

void abandon_page_output(OutputFile& page) {
    if (page.handle >= 0) close(file_descriptor(page));
    page.handle = -1;
    if (replaces_atomically(page)) unlink(page.temporary.c_str());
    page.temporary.clear();
}

}  // namespace quorlan
