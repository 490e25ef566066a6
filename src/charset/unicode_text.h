// Unicode text held as UTF-8: strict decoding of bytes that claim to be UTF-8, windows-1250
// bytes as characters and characters as windows-1250 bytes, composition (NFC) and the
// folding of Latin letters to ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/utf8.h"

namespace quorlan {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// True when all of `bytes` is well-formed UTF-8.
bool is_valid_utf8(std::string_view bytes);

void append_utf8(std::string& text, char32_t c);

// Appends `bytes` read as UTF-8, each ill-formed part as U+FFFD.
void append_utf8_replacing(std::string& text, std::string_view bytes);

// Appends `bytes` read as windows-1250; the five bytes it leaves undefined give U+FFFD.
void append_cp1250_text(std::string& text, std::string_view bytes);

// The character of well-formed UTF-8 `text` at `i`, moving `i` past it.
char32_t next_character(std::string_view text, std::size_t& i);

// The windows-1250 byte of `c`, or -1 when the code page lacks it.
int cp1250_byte_for(char32_t c);

// Composes `text` (well-formed UTF-8) to Unicode's normalization form C in place.
void compose_nfc(std::string& text);

// How many characters at the start of composed text `text` stay as they are, whatever text
// followed it: those before its last two starters (characters of combining class 0). The
// last starter may take marks, or compose with a starter, from what follows, and the one
// before it with a character that a cut split.
std::size_t settled_characters(std::string_view text);

// What ASCII folding makes of `c`: its ASCII letters (empty for a combining mark that is
// dropped), or nullptr when `c` has no fold and stays as it is.
const char* latin_fold(char32_t c);

// Bytes that hold no charset of their own as text: UTF-8 when they are well-formed UTF-8,
// else windows-1250; composed (NFC) either way.
std::string text_from_bytes(std::string_view bytes);
// The same in place: well-formed UTF-8 is only composed where it has to be.
void make_text(std::string& bytes);

// An element name of the configuration as the document holds it: its bytes as they stand
// when values are bytes (`as_text` false); as text when they are text: UTF-8 in a UTF-8
// document, else the windows-1250 bytes of the text, "_" for a character the code page
// lacks (a character reference can't stand in a name).
std::string name_for_document(std::string_view name, bool as_text, bool utf8);
// True when text `text` holds a character that windows-1250 lacks.
bool lacks_cp1250_character(std::string_view text);
// True when `bytes` are ASCII and two-byte UTF-8 sequences below U+0300 only: well-formed
// text that composition leaves as it is. A quick test, eight bytes at a time.
bool is_composed_latin(std::string_view bytes);

// Cuts well-formed UTF-8 `text` after its first `count` characters.
void keep_characters(std::string& text, std::size_t count);

}  // namespace quorlan
