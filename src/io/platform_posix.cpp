// The file calls on POSIX systems: reading a file, the output through mkstemp beside the
// target, fsync and rename, signal handlers that remove the temporary file, file identity.
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

namespace quorlan {

namespace {

// ---- Signals -------------------------------------------------------------------------

// What the handler needs, kept where it can read it without allocating: the temporary
// file to remove (empty when there is none) and the line to print.
char g_temporary[PATH_MAX + 64];
// Pages 2 to g_pages of a paged document: their temporaries are g_temporary, "-" and the
// page's number.
volatile sig_atomic_t g_pages = 0;
char g_message[1024];
std::size_t g_message_size = 0;

// SIGINT, SIGTERM and SIGHUP say that the run was stopped; the others end it for a fault
// or an unexpected request, and only remove the temporary file on the way.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kOthers[] = {SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGALRM, SIGUSR1, SIGUSR2};
struct sigaction g_previous_interrupts[std::size(kInterrupts)];
struct sigaction g_previous_others[std::size(kOthers)];

// The temporary of page `number`, built without allocating.
void page_temporary(char (&name)[sizeof g_temporary + 24], long number) {
    std::size_t n = 0;
    while (g_temporary[n] != '\0') {
        name[n] = g_temporary[n];
        ++n;
    }
    name[n++] = '-';
    char digits[24];
    std::size_t d = 0;
    do {
        digits[d++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (d > 0) name[n++] = digits[--d];
    name[n] = '\0';
}

void on_signal(int signal_number) {
    const int saved = errno;
    if (g_temporary[0] != '\0') {
        for (long page = 2; page <= static_cast<long>(g_pages); ++page) {
            char name[sizeof g_temporary + 24];
            page_temporary(name, page);
            unlink(name);
        }
        unlink(g_temporary);
    }
    for (const int interrupt : kInterrupts) {
        if (signal_number == interrupt && g_message_size > 0) {
            // Nothing more can be done about a message that can't be written.
            [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, g_message, g_message_size);
        }
    }
    // Ends the process the way the signal would have: the status is 128 + the signal.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    errno = saved;
}

sigset_t handled_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kInterrupts) sigaddset(&set, s);
    for (const int s : kOthers) sigaddset(&set, s);
    return set;
}

// Keeps the handled signals away while the temporary file's name changes meaning.
struct BlockedSignals {
    sigset_t previous;
    BlockedSignals() {
        const sigset_t set = handled_signals();
        sigprocmask(SIG_BLOCK, &set, &previous);
    }
    ~BlockedSignals() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;
};

void set_message(const std::string& text) {
    g_message_size = std::min(text.size(), sizeof g_message);
    std::memcpy(g_message, text.data(), g_message_size);
}

template <std::size_t N>
void install(const int (&signals)[N], struct sigaction* previous) {
    struct sigaction action {};
    action.sa_handler = on_signal;
    action.sa_mask = handled_signals();
    for (std::size_t i = 0; i < N; ++i) {
        sigaction(signals[i], nullptr, &previous[i]);
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        if (previous[i].sa_handler != SIG_IGN) sigaction(signals[i], &action, nullptr);
    }
}

template <std::size_t N>
void restore(const int (&signals)[N], const struct sigaction* previous) {
    for (std::size_t i = 0; i < N; ++i) sigaction(signals[i], &previous[i], nullptr);
}

void install_handlers(const std::string& message) {
    set_message(message);
    install(kInterrupts, g_previous_interrupts);
    install(kOthers, g_previous_others);
}

void restore_handlers() {
    restore(kInterrupts, g_previous_interrupts);
    restore(kOthers, g_previous_others);
    g_message_size = 0;
}

// ---- Names ---------------------------------------------------------------------------

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

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

int file_descriptor(const OutputFile& output) { return static_cast<int>(output.handle); }

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

// Creates the temporary file, its name where the signal handler finds it.
int create_temporary(const std::string& pattern) {
    if (pattern.size() >= sizeof g_temporary) {
        errno = ENAMETOOLONG;
        return -1;
    }
    BlockedSignals blocked;
    std::memcpy(g_temporary, pattern.c_str(), pattern.size() + 1);
    const int fd = mkostemp(g_temporary, O_CLOEXEC);
    if (fd < 0) g_temporary[0] = '\0';
    return fd;
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

mode_t mode_from_umask() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

void forget_temporary() {
    BlockedSignals blocked;
    g_temporary[0] = '\0';
    g_pages = 0;
}

}  // namespace

bool open_for_reading(const std::string& name, std::intptr_t& handle, int& error) {
    handle = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) error = errno;
    return handle >= 0;
}

std::size_t read_from_handle(void* context, char* buffer, std::size_t capacity, int& error) {
    const int fd = static_cast<int>(*static_cast<std::intptr_t*>(context));
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
    const int fd = create_temporary(temporary_pattern(output.target));
    if (fd < 0) {
        error = errno;
        restore_handlers();
        // A folder that refuses new files: the file itself is written, as it always was.
        if (exists && (error == EACCES || error == EPERM)) return open_in_place(output, error);
        return false;
    }
    output.temporary = g_temporary;
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

bool write_output(void* context, const char* data, std::size_t size, int& error) {
    auto& output = *static_cast<OutputFile*>(context);
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
            g_temporary[0] = '\0';
            g_pages = 0;
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
    page.target = folder_of(first.target) + (slash == std::string::npos ? name : name.substr(slash + 1));
    page.temporary = first.temporary + "-" + std::to_string(number);
    BlockedSignals blocked;
    const int fd = open(page.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        page.temporary.clear();
        return false;
    }
    g_pages = static_cast<sig_atomic_t>(number);
    fchmod(fd, mode_from_umask());
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

FileIdentity file_identity(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) != 0) return {};
    return FileIdentity{true, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace quorlan
