#include "charset/charsets.h"

#include <algorithm>
#include <array>

#include "charset/unicode_text.h"

namespace quorlan {

namespace {

constexpr std::array<std::string_view, 7> kShiftJisNames = {"SHIFT_JIS", "SHIFT-JIS", "SJIS",      "MS_KANJI",
                                                            "CSSHIFTJIS", "CP932",    "WINDOWS-31J"};

}  // namespace

std::string charset_lookup_name(std::string_view declared) {
    // Parameter values may be quoted.
    if (declared.size() >= 2 && declared.front() == '"' && declared.back() == '"') {
        declared = declared.substr(1, declared.size() - 2);
    }
    std::string name(declared);
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (std::find(kShiftJisNames.begin(), kShiftJisNames.end(), name) != kShiftJisNames.end()) return "CP932";
    return name;
}

bool is_utf8_charset(std::string_view lookup_name) { return lookup_name == "UTF-8" || lookup_name == "UTF8"; }

bool convert_from_charset(CharsetConverters& converters, std::string_view declared, std::string_view bytes,
                          std::string& text) {
    const std::string name = charset_lookup_name(declared);
    if (is_utf8_charset(name)) {
        append_utf8_replacing(text, bytes);
        return true;
    }
    auto open = std::find_if(converters.open.begin(), converters.open.end(),
                             [&](const OpenCharset& charset) { return charset.name == name; });
    if (open == converters.open.end()) {
        converters.open.push_back(OpenCharset{name, open_platform_charset(name)});
        open = converters.open.end() - 1;
    }
    if (open->handle == nullptr) return false;
    convert_with_platform(open->handle.get(), bytes, text);
    return true;
}

}  // namespace quorlan
