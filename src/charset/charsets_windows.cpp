// Declared charsets through the Windows code page functions.
#include <windows.h>

#include <array>
#include <string_view>

#include "charset/charsets.h"
#include "charset/unicode_text.h"

namespace quorlan {

namespace {

struct CodePageName {
    std::string_view name;
    UINT code_page;
};

// The names vCard files declare, with the code pages Windows reads them by.
constexpr std::array<CodePageName, 33> kCodePages = {{
    {"CP932", 932},          {"WINDOWS-1250", 1250}, {"CP1250", 1250},      {"WINDOWS-1251", 1251},
    {"CP1251", 1251},        {"WINDOWS-1252", 1252}, {"CP1252", 1252},      {"WINDOWS-1253", 1253},
    {"WINDOWS-1254", 1254},  {"WINDOWS-1255", 1255}, {"WINDOWS-1256", 1256}, {"WINDOWS-1257", 1257},
    {"WINDOWS-1258", 1258},  {"ISO-8859-1", 28591},  {"ISO_8859-1", 28591}, {"LATIN1", 28591},
    {"US-ASCII", 20127},     {"ISO-8859-2", 28592},  {"ISO_8859-2", 28592}, {"LATIN2", 28592},
    {"ISO-8859-5", 28595},   {"ISO-8859-7", 28597},  {"ISO-8859-9", 28599}, {"ISO-8859-15", 28605},
    {"KOI8-R", 20866},       {"KOI8-U", 21866},      {"GB2312", 936},       {"GBK", 936},
    {"GB18030", 54936},      {"BIG5", 950},          {"EUC-KR", 51949},     {"EUC-JP", 20932},
    {"ISO-2022-JP", 50220},
}};

}  // namespace

std::shared_ptr<void> open_platform_charset(const std::string& name) {
    for (const CodePageName& known : kCodePages) {
        if (known.name == name && IsValidCodePage(known.code_page) != 0) {
            return std::make_shared<UINT>(known.code_page);
        }
    }
    return nullptr;
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
