// Files read as text: the card file, "quorlan.ini", a template. UTF-16 arrives as UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "text/line_reader.h"
#include "text/utf16_source.h"

namespace quorlan {

// A file open for reading as text: UTF-16 arrives converted to UTF-8, anything else as
// it is. It must stay where it is while its bytes are read.
struct TextFile {
    std::intptr_t handle = -1;
    Utf16Source utf16;
    TextFile() = default;
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;
};

// Opens `name`; false with the errno value in `error` when it can't.
bool open_text_file(TextFile& text, const std::string& name, int& error);
ByteSource text_bytes(TextFile& text);
// Closes the file; returns 0 or the errno value of a failed close. Every caller reports
// it as it reports a failed read: the bytes are in, but a run that ends well says nothing
// went wrong, and a failed close (an NFS server gone) is something that did.
[[nodiscard]] int close_text_file(TextFile& text);

}  // namespace quorlan
