// What the POSIX platform's files share: the signal handlers that remove the temporary
// files of a stopped run, and small helpers of the output and its pages. For the POSIX
// platform's own files only.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "io/platform.h"

namespace quorlan::posix {

// Keeps the handled signals away while the temporary file's name changes meaning.
struct BlockedSignals {
    sigset_t previous;
    BlockedSignals();
    ~BlockedSignals();
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;
};

// Until restore_handlers, SIGINT, SIGTERM and SIGHUP print `message` and the handled
// signals remove the temporary file and its pages on the way.
void install_handlers(const std::string& message);
void restore_handlers();

// Creates the temporary file from mkostemp's `pattern`, its name where the handlers find
// it and in `name`: the descriptor, or -1 with errno set.
int create_temporary(const std::string& pattern, std::string& name);
// The handlers remove pages 2 to `pages` too, named after the temporary file. Signals
// must be blocked.
void note_pages(std::size_t pages);
// The temporary file is gone or in place: the handlers remove nothing. Signals must be
// blocked (forget_temporary blocks them itself).
void forget_temporary_blocked();
void forget_temporary();

inline int file_descriptor(const OutputFile& output) { return static_cast<int>(output.handle); }

// The folder part of `path`, "/" included; empty for a name without one.
std::string folder_of(const std::string& path);

// The mode of a new file: 0666 less the umask.
mode_t mode_from_umask();

}  // namespace quorlan::posix
