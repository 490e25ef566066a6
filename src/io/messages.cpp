#include "io/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "text/terminal_text.h"

namespace quorlan {

std::string quoted_name(std::string_view name) {
    std::string quoted(1, '\'');
    quoted += terminal_name(name);
    quoted += '\'';
    return quoted;
}

int report(const char* what, const std::string& name, int error) {
    std::fprintf(stderr, "quorlan: %s %s: %s\n", what, quoted_name(name).c_str(), std::strerror(error));
    return 1;
}

int report_reading_end(const std::string& name, int read_error, int close_error) {
    if (read_error != 0) return report("cannot read", name, read_error);
    if (close_error != 0) return report("cannot close", name, close_error);
    return 0;
}

int report_no_card(const std::string& input, const std::string& why, const std::string& output) {
    std::fprintf(stderr, "quorlan: %s holds no card (%s); %s left as it was\n", quoted_name(input).c_str(),
                 why.c_str(), quoted_name(output).c_str());
    return 1;
}

ReportOutput write_report(std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
        return ReportOutput::Written;
    }
    if (errno == EPIPE) return ReportOutput::ReaderGone;
    const int error = errno != 0 ? errno : EIO;
    std::fprintf(stderr, "quorlan: cannot write to standard output: %s\n", std::strerror(error));
    return ReportOutput::Failed;
}

int print_report(std::string_view text) { return write_report(text) == ReportOutput::Failed ? 1 : 0; }

// Without a quorlan.ini the card file's name is the default one, which is rarely what the
// user has: the message says where the name came from and how to give another.
int report_unopened_input(const std::string& name, int error, bool config_read) {
    if (config_read) return report("cannot open", name, error);
    std::fprintf(stderr,
                 "quorlan: cannot open %s, the default card file, as there is no quorlan.ini here (arguments name "
                 "no files: name yours in quorlan.ini, or run quorlan --init to start one): %s\n",
                 quoted_name(name).c_str(), std::strerror(error));
    return 1;
}

}  // namespace quorlan
