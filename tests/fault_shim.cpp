// Preloaded into the program by the end-to-end tests (LD_PRELOAD) for the faults libfiu has
// no names for. QUORLAN_SHIM in the environment says which:
//   "no-links": a file system without hard links or RENAME_NOREPLACE, as FAT: link() fails
//   with EPERM and renameat2() with flags fails with EINVAL;
//   "close-fails:NAME": closing a file whose name ends in "/NAME" fails with EIO (the file
//   is closed all the same, as the system does).
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* shim_mode() {
    const char* mode = std::getenv("QUORLAN_SHIM");
    return mode != nullptr ? mode : "";
}

bool no_links() { return std::strcmp(shim_mode(), "no-links") == 0; }

// True when `fd` is open on a file whose name ends in "/" and the name after "close-fails:".
bool close_fails(int fd) {
    constexpr const char* kPrefix = "close-fails:";
    const char* mode = shim_mode();
    if (std::strncmp(mode, kPrefix, std::strlen(kPrefix)) != 0) return false;
    const std::string suffix = std::string("/") + (mode + std::strlen(kPrefix));
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), path, sizeof path);
    if (n <= 0) return false;
    const std::string name(path, static_cast<std::size_t>(n));
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

extern "C" int link(const char* from, const char* to) noexcept {
    if (no_links()) {
        errno = EPERM;
        return -1;
    }
    return linkat(AT_FDCWD, from, AT_FDCWD, to, 0);
}

extern "C" int renameat2(int from_folder, const char* from, int to_folder, const char* to, unsigned int flags) noexcept {
    if (no_links() && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(syscall(SYS_renameat2, from_folder, from, to_folder, to, flags));
}

extern "C" int close(int fd) {
    const bool fails = close_fails(fd);
    const int result = static_cast<int>(syscall(SYS_close, fd));
    if (result == 0 && fails) {
        errno = EIO;
        return -1;
    }
    return result;
}
