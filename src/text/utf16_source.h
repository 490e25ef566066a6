// Reads text files written in UTF-16 (some Windows exports, PowerShell's ">") as UTF-8.
//
// The first two bytes of the data decide: a byte-order mark (FF FE little-endian, FE FF
// big-endian), or one NUL and one non-NUL ASCII byte (UTF-16 without a mark; big-endian
// when the NUL comes first). Such data is converted to UTF-8 as it is read, the mark
// dropped, so that everything after it sees a UTF-8 file. Any other data passes through
// untouched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/line_reader.h"

namespace quorlan {

enum class TextEncoding { Bytes, Utf16Le, Utf16Be };

struct EncodingGuess {
    TextEncoding encoding = TextEncoding::Bytes;
    bool mark = false;  // the two bytes are a byte-order mark, not text
};

// "UTF-16 LE", "UTF-16 BE", or nullptr for plain bytes.
const char* encoding_name(TextEncoding encoding);

struct Utf16Source {
    ByteSource inner{};
    bool detected = false;
    EncodingGuess guess;
    // The first bytes, read to guess the encoding, until they are handed on.
    std::array<unsigned char, 2> head{};
    std::size_t head_size = 0;
    // UTF-16 bytes read but not yet converted (at most one odd byte between reads).
    std::array<unsigned char, 4096> raw{};
    std::size_t raw_begin = 0;
    std::size_t raw_end = 0;
    // UTF-8 bytes of a converted character that did not fit into the last read.
    std::array<char, 4> pending{};
    std::size_t pending_begin = 0;
    std::size_t pending_end = 0;
    std::uint32_t high_surrogate = 0;  // waiting for its low half; 0 when none
    bool inner_done = false;
    int error = 0;  // the inner source's read error, handed on once the text before it is out
};

// Wraps `inner`; the state lives in `state`, which must outlive the returned source.
ByteSource utf16_source(Utf16Source& state, ByteSource inner);

// The width of the code units of text declared in a Unicode encoding, such as a card
// value whose line names "CHARSET=UTF-16".
enum class UnicodeWidth { Utf16, Utf32 };

// Appends `bytes`, Unicode text of code units of `width` in the byte order `order`, to
// `text` as UTF-8. With `order` Bytes, a byte-order mark at the start tells the order (and
// is dropped), else UTF-16 text is guessed as a file is and big-endian is taken. Code units
// that give no character, and a cut one at the end, give U+FFFD.
void append_unicode_as_utf8(std::string& text, std::string_view bytes, UnicodeWidth width, TextEncoding order);

}  // namespace quorlan
