// Declared charsets of card values: the names this program accepts, and their text
// converted to UTF-8 by the platform's own converter.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan {

// A charset that declared values are read in: its name as the C library's iconv knows it,
// and the Windows code page of the same charset.
struct Charset {
    std::string_view iconv_name;
    unsigned code_page;
};

// The charset `declared` names, quotes around it removed; null when this program accepts
// no such name, whatever the platform's converter would make of it.
const Charset* find_charset(std::string_view declared);

// True for UTF-8, which is decoded here, not by the platform.
bool is_utf8_charset(const Charset* charset);
// True for UTF-16 and UTF-32 in either byte order, which are decoded here too, the same on
// every platform.
bool is_wide_unicode_charset(const Charset* charset);
// True for Windows code page 932, which the names of Shift_JIS give, as phones mean them
// (there 0x5C is a backslash, not a yen sign).
bool is_cp932(const Charset* charset);

// A converter the run holds; `handle` is null when the platform can't convert the charset.
struct OpenCharset {
    const Charset* charset = nullptr;
    std::shared_ptr<void> handle;
};

// The run keeps this many converters open, the most recently used: a file of a few
// charsets opens each once, and one that names many keeps no more.
inline constexpr std::size_t kOpenConverters = 4;

struct CharsetConverters {
    std::vector<OpenCharset> open;  // at most kOpenConverters, the most recently used first
    // The card file was read from UTF-16: its text is Unicode already, and a charset its
    // lines declare named its bytes before that, not now.
    bool text_is_unicode = false;
};

// Appends `bytes`, written in the charset `declared`, to `text` as UTF-8; bytes the
// charset does not allow give U+FFFD. False, with `text` untouched, when this program does
// not accept the name or the platform can't convert the charset.
bool convert_from_charset(CharsetConverters& converters, std::string_view declared, std::string_view bytes,
                          std::string& text);

// The platform's side, one implementation file per kind of system: a converter from
// `charset` to UTF-8 (null when the platform lacks it), and the conversion itself.
std::shared_ptr<void> open_platform_charset(const Charset& charset);
void convert_with_platform(void* handle, std::string_view bytes, std::string& text);

}  // namespace quorlan
