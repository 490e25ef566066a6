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

int report(const char* what, const std::string& name, int error) {
    std::fprintf(stderr, "quorlan: %s '%s': %s\n", what, name.c_str(), std::strerror(error));
    return 1;
}

bool load_settings(Settings& settings, const ConfigObserver& observer, ConfigFileFacts& facts) {
    errno = 0;
    std::FILE* file = std::fopen(kConfigFile, "rb");
    if (file == nullptr) {
        if (errno == ENOENT) return true;
        report("cannot open", kConfigFile, errno);
        return false;
    }
    facts.present = true;
    FileSource source{file};
    LineReader reader = make_line_reader(ByteSource{read_from_file, &source});
    // Editors put a byte-order mark before the first line; it belongs to no setting.
    facts.bom_skipped = skip_utf8_bom(reader);
    settings = read_settings(reader, observer);
    std::fclose(file);
    if (reader.error != 0) {
        report("cannot read", kConfigFile, reader.error);
        return false;
    }
    return true;
}

}  // namespace quorlan
