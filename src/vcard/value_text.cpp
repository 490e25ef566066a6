#include "vcard/value_text.h"

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "vcard/decode.h"
#include "vcard/head.h"
#include "vcard/logical_lines.h"

namespace quorlan {

std::string declared_charset(std::string_view line) {
    const Head head = parse_head(line.substr(0, head_end(line)));
    for (const auto& [key, value] : head.params) {
        if (key == "CHARSET") return value;
    }
    return {};
}

bool declares_wide_charset(std::string_view line) {
    const std::string_view head = line.substr(0, line.find(':'));
    for (std::size_t at = head.find('-'); at != std::string_view::npos; at = head.find('-', at + 1)) {
        if (at >= 3 && at + 2 < head.size() && begins_with_any_case(head.substr(at - 3), "UTF-") &&
            (head.compare(at + 1, 2, "16") == 0 || head.compare(at + 1, 2, "32") == 0)) {
            // The quick look only finds the name: the charset the value is read in decides,
            // so that an unknown "UTF-16X" line, read as undeclared text, gets no line breaks.
            return is_wide_unicode_charset(find_charset(declared_charset(line)));
        }
    }
    return false;
}

std::string line_value_text(std::string_view line, CharsetConverters& converters) {
    std::string decoded(line);
    if (is_quoted_printable_line(line)) decode_quoted_printable(decoded, declares_wide_charset(line));
    const std::size_t end = head_end(decoded);
    std::string value = end < decoded.size() ? decoded.substr(end + 1) : std::string();
    std::string charset = declared_charset(decoded);
    if (find_charset(charset) == nullptr) charset.clear();
    decode_value_text(value, charset, converters, kShownValueCharacters);
    return value;
}

std::string codepage_charset(std::int32_t code_page) {
    // Windows numbers its code pages with 16 bits; its ANSI code pages of Europe and the
    // Middle East go by "WINDOWS-", the others by "CP".
    constexpr std::int32_t kLastCodePage = 0xFFFF;
    constexpr std::int32_t kFirstWindowsAnsi = 1250;
    constexpr std::int32_t kLastWindowsAnsi = 1258;
    if (code_page <= 0 || code_page > kLastCodePage) return {};
    const bool windows_ansi = code_page >= kFirstWindowsAnsi && code_page <= kLastWindowsAnsi;
    return (windows_ansi ? "WINDOWS-" : "CP") + std::to_string(code_page);
}

bool is_known_codepage(std::int32_t code_page) {
    const std::string name = codepage_charset(code_page);
    CharsetConverters converters;
    std::string ignored;
    return !name.empty() && convert_from_charset(converters, name, {}, ignored);
}

namespace {

// Where a cut at `at` or before it falls between the characters of UTF-8 `bytes`.
std::size_t utf8_cut(std::string_view bytes, std::size_t at) {
    for (std::size_t back = 0; back < 3 && at > 0; ++back, --at) {
        if ((static_cast<unsigned char>(bytes[at]) & 0xC0U) != 0x80) break;
    }
    return at;
}

// No charset takes more than four bytes for a character: a value of this many bytes or
// fewer is decoded whole.
std::size_t first_bound(std::size_t max_characters) { return 4 * (max_characters + 2); }

// Turns `value` into the first `max_characters` characters of the composed text that
// `decode` gives for its bytes. A long value is decoded by its first bytes where they
// surely give those characters: no character a cut splits, nor marks cut off from their
// letter, can change what comes before the last two starters of their text. Else by
// four times as many, and at last whole: decomposed text may take many bytes a character.
template <typename Decode>
void decode_first_characters(std::string& value, std::size_t max_characters, bool utf8, Decode decode) {
    std::string text;
    bool enough = false;
    for (std::size_t bound = first_bound(max_characters); !enough && bound < value.size(); bound *= 4) {
        text.clear();
        const std::string_view bytes(value);
        decode(bytes.substr(0, utf8 ? utf8_cut(bytes, bound) : bound), text);
        enough = settled_characters(text) > max_characters;
    }
    if (!enough) {
        text.clear();
        decode(value, text);
    }
    value = std::move(text);
    keep_characters(value, max_characters);
}

}  // namespace

bool decode_value_text(std::string& value, std::string_view declared, CharsetConverters& converters,
                       std::size_t max_characters, bool* not_utf8) {
    // A card file read from UTF-16 is Unicode already: a charset its lines declare named
    // its bytes before that.
    if (converters.text_is_unicode) declared = {};
    std::string ignored;
    const bool known = declared.empty() || convert_from_charset(converters, declared, {}, ignored);
    if (!declared.empty() && known) {
        decode_first_characters(value, max_characters, false, [&](std::string_view bytes, std::string& text) {
            convert_from_charset(converters, declared, bytes, text);
            compose_nfc(text);
        });
    } else if (const std::size_t plain = ascii_prefix_length(value); plain == value.size()) {
        // Plain ASCII, most values by far, is its own text, a character a byte.
        if (value.size() > max_characters) value.resize(max_characters);
    } else if (value.size() <= first_bound(max_characters)) {
        // Latin letters of two bytes, most of the rest, are composed UTF-8 already: looked
        // for once, from the first byte that is not ASCII.
        const bool composed = is_composed_latin(std::string_view(value).substr(plain));
        // Bytes that are not UTF-8 are told apart on the way: a card's own charset or
        // CODEPAGE= may read them instead.
        if (not_utf8 != nullptr) *not_utf8 = !composed && !is_valid_utf8(value);
        if (!composed) make_text(value);
        if (value.size() > max_characters) keep_characters(value, max_characters);
    } else {
        // Whether the bytes are UTF-8 is a question about all of them.
        const bool utf8 = is_valid_utf8(value);
        if (not_utf8 != nullptr) *not_utf8 = !utf8;
        decode_first_characters(value, max_characters, utf8, [&](std::string_view bytes, std::string& text) {
            if (utf8) {
                text.assign(bytes);
            } else {
                append_cp1250_text(text, bytes);
            }
            compose_nfc(text);
        });
    }
    clean_decoded_value(value);
    return known;
}

}  // namespace quorlan
