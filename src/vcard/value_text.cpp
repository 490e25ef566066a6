#include "vcard/value_text.h"

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "vcard/decode.h"

namespace quorlan {

std::string_view declared_charset(std::string_view line) {
    const std::string_view head = line.substr(0, line.find(':'));
    for (std::size_t semicolon = head.find(';'); semicolon != std::string_view::npos;
         semicolon = head.find(';', semicolon + 1)) {
        const std::string_view parameter = head.substr(semicolon + 1);
        if (!begins_with_any_case(parameter, "CHARSET=")) continue;
        const std::string_view name = parameter.substr(8);
        return name.substr(0, name.find(';'));
    }
    return {};
}

bool decode_value_text(std::string& value, std::string_view declared, CharsetConverters& converters,
                       std::size_t max_characters) {
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
        if (ascii_prefix_length(value) != value.size()) value = text_from_bytes(value);
    }
    // The limit counts characters: a name in CJK is not cut inside one.
    keep_characters(value, max_characters);
    clean_decoded_value(value);
    return known;
}

}  // namespace quorlan
