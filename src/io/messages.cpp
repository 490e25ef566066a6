#include "io/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quorlan {

namespace {

// The length of the UTF-8 sequence at `text[i]` when it is well-formed and stands for a
// character a terminal shows as itself; 0 otherwise. Left out are the C1 controls and
// the invisible characters that reorder or hide text (U+2000 to U+206F, U+FEFF, the
// specials from U+FFF0, the tag characters from U+E0000).
std::size_t shown_sequence_length(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    if (c < 0xA0 || c == 0xAD || (c >= 0x2000 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF0 && c <= 0xFFFF) ||
        (c >= 0xE0000 && c <= 0xE007F)) {
        return 0;
    }
    return length;
}

}  // namespace

std::string terminal_name(std::string_view name) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string text;
    text.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (b == '\\') {
            text += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            text += name[i];
        } else if (const std::size_t length = shown_sequence_length(name, i); length > 0) {
            text += name.substr(i, length);
            i += length - 1;
        } else {
            text += "\\x";
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
        }
    }
    return text;
}

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
