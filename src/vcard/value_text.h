// The text of a value: its bytes decoded from the charset its line declares, from UTF-8,
// or from windows-1250, then composed and cleaned as vCard readers read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "charset/charsets.h"

namespace quorlan {

// The value of the CHARSET parameter of a card line's head, read as the head parser reads
// it (any case, quotes removed, in upper case); empty when the head has none.
std::string declared_charset(std::string_view line);

// True when the head of the line may declare a charset of UTF-16 or UTF-32 ("UTF-16",
// "UTF-32LE"...), whose quoted-printable bytes keep their CR and LF bytes. A quick look at
// the text before the first ":", in any letter case.
bool declares_wide_charset(std::string_view line);

// A message shows this many characters of a value at most, as many as the phonebook keeps.
inline constexpr std::size_t kShownValueCharacters = 100;

// The text of a card line's value as a message shows it: quoted-printable decoded, read
// from its charset (else UTF-8, else windows-1250), cut to kShownValueCharacters and cleaned.
std::string line_value_text(std::string_view line, CharsetConverters& converters);

// The charset name of a Windows code page number as CODEPAGE= gives it ("WINDOWS-1253" for
// 1253, "CP866" for 866); empty for 0 or a number that names none.
std::string codepage_charset(std::int32_t code_page);
// True when the system's converter knows the code page.
bool is_known_codepage(std::int32_t code_page);

// Turns the bytes of a value in place into its text (UTF-8, NFC): from `declared` when
// this program accepts the name and the platform converts it, else from UTF-8 when all the
// bytes are well-formed UTF-8, else from windows-1250; then keeps its first
// `max_characters` characters and cleans it (clean_decoded_value). Returns false when
// `declared` names a charset that can't be read. A declared charset is not applied to the
// text of a file read from UTF-16 (`converters.text_is_unicode`).
// `not_utf8`, when given, is set when bytes read without a charset were not UTF-8.
bool decode_value_text(std::string& value, std::string_view declared, CharsetConverters& converters,
                       std::size_t max_characters, bool* not_utf8 = nullptr);

}  // namespace quorlan
