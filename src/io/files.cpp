#include "io/files.h"

#include "io/platform.h"

namespace quorlan {

bool open_text_file(TextFile& text, const std::string& name, int& error) {
    return open_for_reading(name, text.handle, error);
}

namespace {

std::size_t read_text_file(const std::intptr_t& handle, char* buffer, std::size_t capacity, int& error) {
    return read_from_handle(handle, buffer, capacity, error);
}

}  // namespace

ByteSource text_bytes(TextFile& text) { return utf16_source(text.utf16, ByteSource{ByteSource::Read::bind<read_text_file>(text.handle)}); }

int close_text_file(TextFile& text) {
    const int error = close_for_reading(text.handle);
    text.handle = -1;
    return error;
}

}  // namespace quorlan
