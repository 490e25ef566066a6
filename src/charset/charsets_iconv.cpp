// Declared charsets through the C library's iconv.
#include <iconv.h>

#include <cerrno>
#include <string>

#include "charset/charsets.h"
#include "charset/unicode_text.h"

namespace quorlan {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

}  // namespace

std::shared_ptr<void> open_platform_charset(const Charset& charset) {
    const std::string name(charset.iconv_name);
    iconv_t converter = iconv_open("UTF-8", name.c_str());
    if (converter == kNoConverter) return nullptr;
    return std::shared_ptr<void>(converter, [](void* handle) { iconv_close(static_cast<iconv_t>(handle)); });
}

void convert_with_platform(void* handle, std::string_view bytes, std::string& text) {
    const auto converter = static_cast<iconv_t>(handle);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state for every value
    char buffer[1024];
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    while (in_left > 0) {
        char* out = buffer;
        std::size_t out_left = sizeof buffer;
        const std::size_t done = iconv(converter, &in, &in_left, &out, &out_left);
        const int error = errno;
        text.append(buffer, static_cast<std::size_t>(out - buffer));
        if (done != static_cast<std::size_t>(-1) || error == E2BIG) continue;
        // A byte the charset does not allow, or a sequence cut off at the end.
        append_utf8(text, kReplacementCharacter);
        if (error != EILSEQ) break;
        ++in;
        --in_left;
    }
    char* out = buffer;
    std::size_t out_left = sizeof buffer;
    iconv(converter, nullptr, nullptr, &out, &out_left);
    text.append(buffer, static_cast<std::size_t>(out - buffer));
}

}  // namespace quorlan
