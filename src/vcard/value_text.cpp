#include "vcard/value_text.h"

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "vcard/decode.h"
#include "vcard/head.h"

namespace quorlan {

std::string declared_charset(std::string_view line) {
    const Head head = parse_head(line.substr(0, head_end(line)));
    for (const auto& [key, value] : head.params) {
        if (key == "CHARSET") return value;
    }
    return {};
}

std::string codepage_charset(std::int32_t code_page) {
    if (code_page <= 0 || code_page > 65535) return {};
    return (code_page >= 1250 && code_page <= 1258 ? "WINDOWS-" : "CP") + std::to_string(code_page);
}

bool is_known_codepage(std::int32_t code_page) {
    const std::string name = codepage_charset(code_page);
    CharsetConverters converters;
    std::string ignored;
    return !name.empty() && convert_from_charset(converters, name, {}, ignored);
}

bool decode_value_text(std::string& value, std::string_view declared, CharsetConverters& converters,
                       std::size_t max_characters, bool* not_utf8) {
    bool known = true;
    if (!declared.empty()) {
        std::string text;
        known = convert_from_charset(converters, declared, value, text);
        if (known) {
            compose_nfc(text);
            value = std::move(text);
        }
    }
    // Plain ASCII, most values by far, is its own text.
    if (declared.empty() || !known) {
        const bool ascii = ascii_prefix_length(value) == value.size();
        if (!ascii && not_utf8 == nullptr) {
            make_text(value);
        } else if (!ascii && !is_composed_latin(value)) {
            // make_text, telling bytes that are not UTF-8 apart on the way: a card's own
            // charset or CODEPAGE= may read them instead.
            *not_utf8 = !is_valid_utf8(value);
            if (*not_utf8) {
                std::string text;
                append_cp1250_text(text, value);
                value.swap(text);
            }
            compose_nfc(value);
        }
    }
    // The limit counts characters: a name in CJK is not cut inside one.
    keep_characters(value, max_characters);
    clean_decoded_value(value);
    return known;
}

}  // namespace quorlan
