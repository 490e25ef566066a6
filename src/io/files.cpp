#include "io/files.h"

#include "io/platform.h"

namespace quorlan {

bool open_text_file(TextFile& text, const std::string& name, int& error) {
    return open_for_reading(name, text.handle, error);
}

ByteSource text_bytes(TextFile& text) { return utf16_source(text.utf16, ByteSource{read_from_handle, &text.handle}); }

int close_text_file(TextFile& text) {
    const int error = close_for_reading(text.handle);
    text.handle = -1;
    return error;
}

}  // namespace quorlan
