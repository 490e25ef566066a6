// The signal handlers of the POSIX platform: a run stopped by a signal removes the
// temporary file of its output, and those of its pages, before it ends as the signal would
// have ended it.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include "io/posix_files.h"

namespace quorlan::posix {

namespace {

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

}  // namespace

BlockedSignals::BlockedSignals() {
    const sigset_t set = handled_signals();
    sigprocmask(SIG_BLOCK, &set, &previous);
}

BlockedSignals::~BlockedSignals() { sigprocmask(SIG_SETMASK, &previous, nullptr); }

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

int create_temporary(const std::string& pattern, std::string& name) {
    if (pattern.size() >= sizeof g_temporary) {
        errno = ENAMETOOLONG;
        return -1;
    }
    BlockedSignals blocked;
    std::memcpy(g_temporary, pattern.c_str(), pattern.size() + 1);
    const int fd = mkostemp(g_temporary, O_CLOEXEC);
    if (fd < 0) g_temporary[0] = '\0';
    name = g_temporary;
    return fd;
}

void note_pages(std::size_t pages) { g_pages = static_cast<sig_atomic_t>(pages); }

void forget_temporary_blocked() {
    g_temporary[0] = '\0';
    g_pages = 0;
}

void forget_temporary() {
    BlockedSignals blocked;
    forget_temporary_blocked();
}

}  // namespace quorlan::posix
