// The file calls on Windows: reading a file, the output through a new file created beside
// the target with CREATE_NEW, flushed and moved over it with MoveFileEx, a console handler
// that removes it, and file identity.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/messages.h"
#include "io/platform.h"

namespace quorlan {

namespace {

// What the console handler needs, kept where it can read it without allocating.
char g_temporary[MAX_PATH * 4];
char g_message[1024];
DWORD g_message_size = 0;
volatile LONG g_temporary_set = 0;

// Pages 2 to g_pages of a paged document: their temporaries are g_temporary, "-" and the
// page's number.
volatile LONG g_pages = 0;

void remove_temporary_and_say_so() {
    if (InterlockedExchange(&g_temporary_set, 0) != 0) {
        for (LONG page = 2; page <= g_pages; ++page) {
            char name[sizeof g_temporary + 24];
            std::snprintf(name, sizeof name, "%s-%ld", g_temporary, static_cast<long>(page));
            DeleteFileA(name);
        }
        DeleteFileA(g_temporary);
    }
    if (g_message_size > 0) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), g_message, g_message_size, &written, nullptr);
    }
}

// Ctrl-C, Ctrl-Break, a closed console: the default handler then ends the process.
BOOL WINAPI on_console_event(DWORD) {
    remove_temporary_and_say_so();
    return FALSE;
}

void on_signal(int signal_number) {
    remove_temporary_and_say_so();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void install_handlers(const std::string& message) {
    g_message_size = static_cast<DWORD>(std::min<std::size_t>(message.size(), sizeof g_message));
    std::memcpy(g_message, message.data(), g_message_size);
    SetConsoleCtrlHandler(on_console_event, TRUE);
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
}

void restore_handlers() {
    SetConsoleCtrlHandler(on_console_event, FALSE);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_message_size = 0;
}

// The errno value closest to a Windows error, for the usual message.
int errno_of(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT: return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return EINVAL;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA: return EPIPE;
        default: return EIO;
    }
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

HANDLE open_existing(const std::string& name) {
    return CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// True when `name` is a file that must be written where it is: not a file on a disk (a
// console, NUL), or one with several hard links.
bool must_write_in_place(const std::string& name, bool& exists) {
    const HANDLE file = open_existing(name);
    exists = file != INVALID_HANDLE_VALUE;
    if (!exists) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool disk_file = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!disk_file) return true;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
    return info.nNumberOfLinks > 1;
}

bool open_in_place(OutputFile& output, int& error) {
    const int fd = _open(output.name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        error = errno;
        return false;
    }
    output.handle = fd;
    install_handlers("quorlan: interrupted; " + quoted_name(output.name) + " is incomplete\r\n");
    return true;
}

// Creates a new file with a name no other run has, its name where the handler finds it.
HANDLE create_temporary(const std::string& target, int& error) {
    const std::string folder = folder_of(target);
    const std::string base = target.substr(folder.size()).substr(0, kTemporaryNameBytes);
    const std::string prefix = folder + "." + base + kTemporaryMark;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = prefix + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64() % 1000000) + std::to_string(attempt);
        if (name.size() >= sizeof g_temporary) {
            error = ENAMETOOLONG;
            return INVALID_HANDLE_VALUE;
        }
        std::memcpy(g_temporary, name.c_str(), name.size() + 1);
        // Shared for deletion, so that the console handler can remove it while it is open.
        const HANDLE file = CreateFileA(g_temporary, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            InterlockedExchange(&g_temporary_set, 1);
            return file;
        }
        const DWORD last = GetLastError();
        if (last != ERROR_FILE_EXISTS && last != ERROR_ALREADY_EXISTS) {
            error = errno_of(last);
            return INVALID_HANDLE_VALUE;
        }
    }
    error = EEXIST;
    return INVALID_HANDLE_VALUE;
}

HANDLE handle_of(const OutputFile& output) {
    if (replaces_atomically(output)) return reinterpret_cast<HANDLE>(output.handle);
    return reinterpret_cast<HANDLE>(_get_osfhandle(static_cast<int>(output.handle)));
}

void close_output(OutputFile& output) {
    if (output.handle == -1) return;
    if (replaces_atomically(output)) {
        CloseHandle(reinterpret_cast<HANDLE>(output.handle));
    } else {
        _close(static_cast<int>(output.handle));
    }
    output.handle = -1;
}

}  // namespace

bool open_for_reading(const std::string& name, std::intptr_t& handle, int& error) {
    handle = _open(name.c_str(), _O_RDONLY | _O_BINARY);
    if (handle < 0) error = errno;
    return handle >= 0;
}

std::size_t read_from_handle(std::intptr_t handle, char* buffer, std::size_t capacity, int& error) {
    const int fd = static_cast<int>(handle);
    const int n = _read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(capacity, 1u << 30)));
    if (n >= 0) return static_cast<std::size_t>(n);
    error = errno;
    return 0;
}

int close_for_reading(std::intptr_t handle) { return _close(static_cast<int>(handle)) == 0 ? 0 : errno; }

bool error_output_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

void ignore_write_signals() {}

bool open_output(OutputFile& output, const std::string& name, int& error) {
    output.name = name;
    output.target = name;
    bool exists = false;
    const bool in_place = must_write_in_place(name, exists);
    // A link holds the name too, one pointing nowhere included: its own attributes are read.
    if (output.keep_existing && GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) exists = true;
    if (exists && output.keep_existing) {
        error = EEXIST;
        return false;
    }
    if (in_place) return open_in_place(output, error);
    if (exists) {
        // A read-only file is refused as it always was, not replaced.
        const int probe = _open(name.c_str(), _O_WRONLY | _O_BINARY);
        if (probe < 0) {
            error = errno;
            return false;
        }
        _close(probe);
    }
    install_handlers("quorlan: interrupted; " + quoted_name(name) + " left as it was\r\n");
    const HANDLE file = create_temporary(output.target, error);
    if (file == INVALID_HANDLE_VALUE) {
        restore_handlers();
        // A folder that refuses new files: the file itself is written, as it always was.
        if (exists && error == EACCES) return open_in_place(output, error);
        return false;
    }
    output.temporary = g_temporary;
    output.handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool write_output(OutputFile& output, const char* data, std::size_t size, int& error) {
    const HANDLE file = handle_of(output);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (WriteFile(file, data, chunk, &written, nullptr) == 0) {
            error = errno_of(GetLastError());
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Moves the temporary file over the target; a file that must not replace another is
// moved without MOVEFILE_REPLACE_EXISTING, which fails on any name that stands there, a
// link included, and never follows one. Another program may hold the target for a
// moment (a second run replacing it at the same time, a virus scanner, an indexer), which
// Windows reports as access denied or a sharing violation: the move is tried again for
// about a second before it counts as failed.
bool move_into_place(const OutputFile& output) {
    const DWORD flags = (output.keep_existing ? 0 : MOVEFILE_REPLACE_EXISTING) | MOVEFILE_WRITE_THROUGH;
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(output.temporary.c_str(), output.target.c_str(), flags) != 0) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 20) {
            SetLastError(error);
            return false;
        }
        Sleep(50);
    }
}

int commit_output(OutputFile& output) {
    int error = 0;
    if (replaces_atomically(output) && FlushFileBuffers(handle_of(output)) == 0) error = errno_of(GetLastError());
    close_output(output);
    if (error == 0 && replaces_atomically(output) && !move_into_place(output)) error = errno_of(GetLastError());
    if (error != 0) {
        abandon_output(output);
        return error;
    }
    InterlockedExchange(&g_temporary_set, 0);
    InterlockedExchange(&g_pages, 0);
    restore_handlers();
    return 0;
}

void abandon_output(OutputFile& output) {
    close_output(output);
    if (replaces_atomically(output)) {
        DeleteFileA(output.temporary.c_str());
        InterlockedExchange(&g_temporary_set, 0);
        InterlockedExchange(&g_pages, 0);
    }
    restore_handlers();
}

bool open_page_output(const OutputFile& first, OutputFile& page, std::size_t number, const std::string& name,
                      int& error) {
    page.name = name;
    if (!replaces_atomically(first)) {
        const int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) error = errno;
        page.handle = fd;
        return fd >= 0;
    }
    const std::size_t slash = name.find_last_of("/\\");
    page.target = folder_of(first.target) + (slash == std::string::npos ? name : name.substr(slash + 1));
    page.temporary = first.temporary + "-" + std::to_string(number);
    const HANDLE file = CreateFileA(page.temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = errno_of(GetLastError());
        page.temporary.clear();
        return false;
    }
    InterlockedExchange(&g_pages, static_cast<LONG>(number));
    page.handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

int finish_page_output(OutputFile& page) {
    int error = 0;
    if (replaces_atomically(page) && FlushFileBuffers(handle_of(page)) == 0) error = errno_of(GetLastError());
    close_output(page);
    return error;
}

// Each later page was flushed as it was finished; the first too, so that its commit can
// hardly fail once the others are in place.
int sync_pages(const OutputFile& first) {
    if (replaces_atomically(first) && FlushFileBuffers(handle_of(first)) == 0) return errno_of(GetLastError());
    return 0;
}

int place_page_output(OutputFile& page) {
    if (!replaces_atomically(page)) return 0;
    if (!move_into_place(page)) return errno_of(GetLastError());
    page.temporary.clear();
    return 0;
}

void abandon_page_output(OutputFile& page) {
    close_output(page);
    if (replaces_atomically(page)) DeleteFileA(page.temporary.c_str());
    page.temporary.clear();
}

FileIdentity file_identity(const std::string& name) {
    const HANDLE file = open_existing(name);
    if (file == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known) return {};
    return FileIdentity{true, info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace quorlan
