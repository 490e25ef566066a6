#include "io/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "io/platform.h"
#include "text/line_reader.h"

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

bool open_text_file(TextFile& text, const std::string& name, int& error) {
    return open_for_reading(name, text.handle, error);
}

ByteSource text_bytes(TextFile& text) { return utf16_source(text.utf16, ByteSource{read_from_handle, &text.handle}); }

int close_text_file(TextFile& text) {
    const int error = close_for_reading(text.handle);
    text.handle = -1;
    return error;
}

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

bool output_is_an_input(const std::string& output, const std::string& input) {
    const FileIdentity written = file_identity(output);
    if (!written.exists) return false;
    const char* what = nullptr;
    std::string name;
    if (same_file(written, file_identity(input))) {
        what = "the card file";
        name = input;
    } else if (same_file(written, file_identity(kConfigFile))) {
        what = "the configuration file";
        name = kConfigFile;
    } else {
        return false;
    }
    std::fprintf(stderr, "quorlan: %s is %s %s; nothing written\n", quoted_name(output).c_str(), what,
                 quoted_name(name).c_str());
    return true;
}

bool load_settings(Settings& settings, const ConfigObserver& observer, ConfigFileFacts& facts) {
    TextFile file;
    int error = 0;
    if (!open_text_file(file, kConfigFile, error)) {
        if (error == ENOENT) return true;
        report("cannot open", kConfigFile, error);
        return false;
    }
    facts.present = true;
    LineReader reader = make_line_reader(text_bytes(file));
    // Editors put a byte-order mark before the first line; it belongs to no setting.
    facts.bom_skipped = skip_utf8_bom(reader);
    facts.encoding = file.utf16.guess.encoding;
    settings = read_settings(reader, observer);
    close_text_file(file);
    if (reader.error != 0) {
        report("cannot read", kConfigFile, reader.error);
        return false;
    }
    return true;
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
