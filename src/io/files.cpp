#include "io/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "text/line_reader.h"

namespace quorlan {

std::size_t read_from_file(void* context, char* buffer, std::size_t capacity, int& error) {
    std::FILE* file = static_cast<FileSource*>(context)->file;
    errno = 0;
    const std::size_t n = std::fread(buffer, 1, capacity, file);
    if (n == 0 && std::ferror(file)) error = errno != 0 ? errno : EIO;
    return n;
}

bool open_text_file(TextFile& text, const std::string& name, int& error) {
    errno = 0;
    text.file = std::fopen(name.c_str(), "rb");
    if (text.file == nullptr) {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    text.raw.file = text.file;
    return true;
}

ByteSource text_bytes(TextFile& text) {
    return utf16_source(text.utf16, ByteSource{read_from_file, &text.raw});
}

int close_text_file(TextFile& text) {
    errno = 0;
    const int status = std::fclose(text.file);
    text.file = nullptr;
    return status == 0 ? 0 : errno != 0 ? errno : EIO;
}

int report(const char* what, const std::string& name, int error) {
    std::fprintf(stderr, "quorlan: %s '%s': %s\n", what, name.c_str(), std::strerror(error));
    return 1;
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

}  // namespace quorlan
