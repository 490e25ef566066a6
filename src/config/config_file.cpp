#include "config/config_file.h"

#include <cerrno>

#include "io/files.h"
#include "io/messages.h"
#include "text/line_reader.h"

namespace quorlan {

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
    const int close_error = close_text_file(file);
    return report_reading_end(kConfigFile, reader.error, close_error) == 0;
}

}  // namespace quorlan
