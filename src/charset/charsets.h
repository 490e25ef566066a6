// Declared charsets of card values: converted to UTF-8 text by the platform's own
// converter, each opened once per run for every name seen.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan {

struct OpenCharset {
    std::string name;              // upper-case, as looked up
    std::shared_ptr<void> handle;  // the platform's converter; null when it knows no such charset
};

struct CharsetConverters {
    std::vector<OpenCharset> open;
};

// The name a charset is looked up by: upper-case, and the names of Shift_JIS as CP932,
// which is what the phones that write them mean (there 0x5C is a backslash, not a yen sign).
std::string charset_lookup_name(std::string_view declared);

// True when `name` reads as UTF-8, which is decoded here, not by the platform.
bool is_utf8_charset(std::string_view lookup_name);

// Appends `bytes`, written in the charset `declared`, to `text` as UTF-8; bytes the
// charset does not allow give U+FFFD. False, with `text` untouched, when neither this
// program nor the platform knows the charset.
bool convert_from_charset(CharsetConverters& converters, std::string_view declared, std::string_view bytes,
                          std::string& text);

// The platform's side, one implementation file per kind of system: a converter from
// `name` to UTF-8 (null when unknown), and the conversion itself.
std::shared_ptr<void> open_platform_charset(const std::string& name);
void convert_with_platform(void* handle, std::string_view bytes, std::string& text);

}  // namespace quorlan
