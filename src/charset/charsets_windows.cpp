// Declared charsets through the Windows code page functions.
#include <windows.h>

#include <string_view>

#include "charset/charsets.h"
#include "charset/unicode_text.h"

namespace quorlan {

std::shared_ptr<void> open_platform_charset(const Charset& charset) {
    if (IsValidCodePage(charset.code_page) == 0) return nullptr;
    return std::make_shared<UINT>(charset.code_page);
}

void convert_with_platform(void* handle, std::string_view bytes, std::string& text) {
    const UINT code_page = *static_cast<UINT*>(handle);
    if (bytes.empty()) return;
    const int size = static_cast<int>(bytes.size());
    const int wide_size = MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
    if (wide_size <= 0) {
        append_utf8(text, kReplacementCharacter);
        return;
    }
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(code_page, 0, bytes.data(), size, wide.data(), wide_size);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<char16_t>(wide[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
            const char32_t low = static_cast<char16_t>(wide[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = kReplacementCharacter;
        append_utf8(text, c);
    }
}

}  // namespace quorlan
