// The file calls on POSIX systems: reading a file, the output through mkstemp beside the
// target, fsync and rename, file identity. The signal handlers that remove a stopped
// run's temporary file are in posix_signals.cpp, the pages in platform_posix_pages.cpp.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "io/messages.h"
#include "io/platform.h"
#include "io/posix_files.h"

namespace quorlan {

using posix::BlockedSignals;
using posix::create_temporary;
using posix::file_descriptor;
using posix::folder_of;
using posix::forget_temporary;
using posix::forget_temporary_blocked;
using posix::install_handlers;
using posix::mode_from_umask;
using posix::restore_handlers;

namespace {

// ---- Names ---------------------------------------------------------------------------

// The file that writing to `name` would change: links followed, also a link that points
// to a file not there yet.
std::string resolve_links(const std::string& name) {
    if (char* real = realpath(name.c_str(), nullptr); real != nullptr) {
        std::string resolved = real;
        std::free(real);
        return resolved;
    }
    std::string path = name;
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        char text[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), text, sizeof text);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof text) return path;
        const std::string link(text, static_cast<std::size_t>(n));
        path = link[0] == '/' ? link : folder_of(path) + link;
    }
    return path;
}

std::string temporary_pattern(const std::string& target) {
    const std::string folder = folder_of(target);
    // A name near the system's limit is shortened: only the folder must be the target's.
    std::string base = target.substr(folder.size()).substr(0, kTemporaryNameBytes);
    return folder + "." + base + kTemporaryMark + "XXXXXX";
}

// ---- Writing -------------------------------------------------------------------------

bool open_in_place(OutputFile& output, int& error) {
    const int fd = open(output.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return false;
    }
    output.handle = fd;
    install_handlers("quorlan: interrupted; " + quoted_name(output.name) + " is incomplete\n");
    return true;
}

// True when `target`, a file of another user, stands in a folder with the sticky bit set
// (such as /tmp): a rename over it would be refused, though the file may be written.
bool only_its_owner_may_replace(const std::string& target, const struct stat& file) {
    struct stat folder {};
    const std::string name = folder_of(target) + ".";
    return stat(name.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 && file.st_uid != geteuid() &&
           folder.st_uid != geteuid() && geteuid() != 0;
}

// Starts writing what the temporary file holds to the disk while the conversion goes on,
// a few megabytes at a time, so that the final fsync has little left to wait for.
void send_ahead(OutputFile& output) {
#ifdef __linux__
    constexpr std::uint64_t kStep = std::uint64_t{8} << 20;
    if (!replaces_atomically(output) || output.written - output.sent < kStep) return;
    sync_file_range(file_descriptor(output), static_cast<off_t>(output.sent),
                    static_cast<off_t>(output.written - output.sent), SYNC_FILE_RANGE_WRITE);
    output.sent = output.written;
#else
    (void)output;
#endif
}

}  // namespace

namespace posix {

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

mode_t mode_from_umask() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace posix

bool open_for_reading(const std::string& name, std::intptr_t& handle, int& error) {
    handle = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) error = errno;
    return handle >= 0;
}

std::size_t read_from_handle(std::intptr_t handle, char* buffer, std::size_t capacity, int& error) {
    const int fd = static_cast<int>(handle);
    for (;;) {
        const ssize_t n = read(fd, buffer, capacity);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) {
            error = errno;
            return 0;
        }
    }
}

int close_for_reading(std::intptr_t handle) { return close(static_cast<int>(handle)) == 0 ? 0 : errno; }

bool error_output_is_terminal() { return isatty(STDERR_FILENO) == 1; }

void ignore_write_signals() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

bool open_output(OutputFile& output, const std::string& name, int& error) {
    output.name = name;
    struct stat old {};
    // A new file is never created through a link: a link of any kind, one pointing
    // nowhere included, holds the name.
    const bool exists = (output.keep_existing ? lstat(name.c_str(), &old) : stat(name.c_str(), &old)) == 0;
    if (exists && output.keep_existing) {
        error = EEXIST;
        return false;
    }
    // Devices such as /dev/stdout, FIFOs and hard-linked files are written where they are.
    if (exists && (!S_ISREG(old.st_mode) || old.st_nlink > 1)) return open_in_place(output, error);
    output.target = output.keep_existing ? name : resolve_links(name);
    if (exists) {
        // A file the user may not write is refused as it always was, not replaced.
        const int probe = open(output.target.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) {
            error = errno;
            return false;
        }
        close(probe);
        if (only_its_owner_may_replace(output.target, old)) return open_in_place(output, error);
    }
    // The handlers are in place before the file exists, so that no signal leaves it behind.
    install_handlers("quorlan: interrupted; " + quoted_name(name) + " left as it was\n");
    const int fd = create_temporary(temporary_pattern(output.target), output.temporary);
    if (fd < 0) {
        error = errno;
        restore_handlers();
        // A folder that refuses new files: the file itself is written, as it always was.
        if (exists && (error == EACCES || error == EPERM)) return open_in_place(output, error);
        return false;
    }
    output.handle = fd;
    if (exists) {
        // The new file is the old one's successor: same owner where allowed, same mode.
        [[maybe_unused]] const int owned = fchown(fd, old.st_uid, old.st_gid);
        fchmod(fd, old.st_mode & 07777);
    } else {
        fchmod(fd, mode_from_umask());
    }
    return true;
}

bool write_output(OutputFile& output, const char* data, std::size_t size, int& error) {
    const int fd = file_descriptor(output);
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        output.written += static_cast<std::uint64_t>(n);
    }
    send_ahead(output);
    return true;
}

// Takes the name for the temporary file with a call that fails when anything, a link
// included, stands there at that moment, and never follows a link.
bool move_to_a_free_name(const OutputFile& output) {
    const char* from = output.temporary.c_str();
    const char* to = output.target.c_str();
    if (link(from, to) == 0) {
        unlink(from);
        return true;
    }
    if (errno == EEXIST) return false;
#ifdef RENAME_NOREPLACE
    // A file system without hard links (FAT).
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
    // Neither: the name is taken by a new empty file, which the rename then replaces.
    const int placeholder = open(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (placeholder < 0) return false;
    close(placeholder);
    if (rename(from, to) == 0) return true;
    const int error = errno;
    unlink(to);
    errno = error;
    return false;
}

// Renames the temporary file over the target; or, for a file that must not replace
// another, gives it the target's name only while that name is free.
bool move_into_place(const OutputFile& output) {
    if (output.keep_existing) return move_to_a_free_name(output);
    return rename(output.temporary.c_str(), output.target.c_str()) == 0;
}

int commit_output(OutputFile& output) {
    const int fd = file_descriptor(output);
    output.handle = -1;
    int error = 0;
    if (replaces_atomically(output) && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && replaces_atomically(output)) {
        BlockedSignals blocked;
        if (!move_into_place(output)) {
            error = errno;
        } else {
            forget_temporary_blocked();
            // The rename itself is on disk once the folder is; some file systems can't say.
            const int folder = open((folder_of(output.target) + ".").c_str(), O_RDONLY | O_CLOEXEC);
            if (folder >= 0) {
                fsync(folder);
                close(folder);
            }
        }
    }
    if (error != 0) {
        abandon_output(output);
        return error;
    }
    restore_handlers();
    return 0;
}

void abandon_output(OutputFile& output) {
    if (output.handle >= 0) close(file_descriptor(output));
    output.handle = -1;
    if (replaces_atomically(output)) {
        unlink(output.temporary.c_str());
        forget_temporary();
    }
    restore_handlers();
}

FileIdentity file_identity(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) != 0) return {};
    return FileIdentity{true, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace quorlan
