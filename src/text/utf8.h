// The shape of UTF-8 sequences, for every room that meets bytes which may be UTF-8: the
// length a lead byte announces and the well-formed sequence at a position.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorlan {

// The length the byte `lead` announces: 1 for ASCII, 2 to 4 for the first byte of a
// well-formed sequence (C2 to F4), 0 for a continuation byte or one no sequence begins with.
std::size_t utf8_lead_length(unsigned char lead);

// How many of the `length` bytes at `i` (`length` from utf8_lead_length) begin a
// well-formed sequence: `length` itself when they are one. Unicode's table of
// well-formed UTF-8 narrows the second byte after E0, ED, F0 and F4, which rules out
// overlong forms, surrogates and code points beyond U+10FFFF.
std::size_t utf8_well_formed_part(std::string_view bytes, std::size_t i, std::size_t length);

// The length of the well-formed UTF-8 sequence at `i` (1 to 4), with its character in
// `c`; 0 when the bytes there are no such sequence (overlong forms and surrogates included).
std::size_t utf8_sequence_at(std::string_view bytes, std::size_t i, char32_t& c);

// The length of the sequence of two or more bytes at `i` that its lead byte announces and
// continuation bytes follow, or 0. Looser than utf8_sequence_at: it only asks whether
// bytes look like UTF-8, which is what a guess at a text's charset needs.
std::size_t utf8_length(std::string_view text, std::size_t i);
// True when the text holds such a sequence of two or more bytes.
bool holds_utf8_sequence(std::string_view text);

}  // namespace quorlan
