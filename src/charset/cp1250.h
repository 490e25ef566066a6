// The character repertoire: UTF-8 letters of U+00A0 to U+017F turned into windows-1250
// bytes, and accented windows-1250 letters folded to plain ASCII.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorlan {

// The five bytes windows-1250 leaves undefined: no reader can show them, and XML parsers
// refuse a document that holds one.
inline constexpr std::array<std::uint8_t, 5> kCp1250Undefined = {0x81, 0x83, 0x88, 0x90, 0x98};

constexpr bool is_cp1250_undefined(std::uint8_t byte) {
    for (const std::uint8_t undefined : kCp1250Undefined) {
        if (byte == undefined) return true;
    }
    return false;
}

// The output byte for the two-byte UTF-8 sequence lead, second; the lead is 0xC2 to 0xC5
// and the second byte lies in the lead's range (0xA0-0xBF after 0xC2, else 0x80-0xBF).
std::uint8_t cp1250_byte_of(std::uint8_t lead, std::uint8_t second);

// True when `second` completes a sequence started by `lead` that the tables decode.
bool is_decoded_pair(std::uint8_t lead, std::uint8_t second);

// The number of bytes at the start of `text` below 0x80, which decoding and folding both
// leave as they are.
std::size_t ascii_prefix_length(std::string_view text);

// Decodes the two-byte UTF-8 sequences of U+00A0 to U+017F in place; the line never grows.
void utf8_to_cp1250(std::string& line);
// The same for a line whose first `plain` bytes are known to be below 0x80.
void utf8_to_cp1250_after(std::string& line, std::size_t plain);

// Decodes as utf8_to_cp1250_after does and folds what it writes as fold_to_ascii does, in
// one pass.
void utf8_to_cp1250_folded_after(std::string& line, std::size_t plain);

// Replaces the accented letters of the fold table by ASCII letters; the length stays.
void fold_to_ascii(std::string& line);

// The byte that folding turns `byte` into: its ASCII letter, or itself.
std::uint8_t folded_byte(std::uint8_t byte);
// The same for every byte, as a table.
const std::array<char, 256>& fold_map();

}  // namespace quorlan
