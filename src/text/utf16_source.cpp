#include "text/utf16_source.h"

#include <algorithm>
#include <cstring>

namespace quorlan {

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

bool is_high_surrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Reads from the inner source until `size` bytes are there or it has no more.
void read_head(Utf16Source& s) {
    while (s.head_size < s.head.size() && !s.inner_done) {
        int error = 0;
        const std::size_t n = s.inner.read(reinterpret_cast<char*>(s.head.data() + s.head_size),
                                           s.head.size() - s.head_size, error);
        if (n == 0) {
            s.inner_done = true;
            s.error = error;
        }
        s.head_size += n;
    }
}

// Writes the UTF-8 bytes of `code_point` to `out`; returns how many.
std::size_t utf8_bytes(std::uint32_t code_point, char* out) {
    std::size_t n = 0;
    if (code_point < 0x80) {
        out[n++] = static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out[n++] = static_cast<char>(0xC0 | (code_point >> 6));
        out[n++] = static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out[n++] = static_cast<char>(0xE0 | (code_point >> 12));
        out[n++] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out[n++] = static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out[n++] = static_cast<char>(0xF0 | (code_point >> 18));
        out[n++] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out[n++] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out[n++] = static_cast<char>(0x80 | (code_point & 0x3F));
    }
    return n;
}

void encode_utf8(Utf16Source& s, std::uint32_t code_point) {
    s.pending_begin = 0;
    s.pending_end = utf8_bytes(code_point, s.pending.data());
}

void encode_and_append(std::string& text, std::uint32_t code_point) {
    std::array<char, 4> bytes{};
    text.append(bytes.data(), utf8_bytes(code_point, bytes.data()));
}

// Puts the character of one code unit (or of a surrogate pair) into `pending`; a half
// of a pair just waits for the other.
void convert_unit(Utf16Source& s, std::uint32_t unit) {
    if (s.high_surrogate != 0) {
        const std::uint32_t high = s.high_surrogate;
        if (is_low_surrogate(unit)) {
            s.high_surrogate = 0;
            encode_utf8(s, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
            return;
        }
        // An unpaired high surrogate: its replacement goes out now, `unit` next time.
        s.high_surrogate = 0;
        encode_utf8(s, kReplacement);
        if (is_high_surrogate(unit)) {
            s.high_surrogate = unit;
        } else {
            // Keep the unit for the next call by stepping back over its two bytes.
            s.raw_begin -= 2;
        }
        return;
    }
    if (is_high_surrogate(unit)) {
        s.high_surrogate = unit;
        return;
    }
    encode_utf8(s, is_low_surrogate(unit) ? kReplacement : unit);
}

// Refills `raw` from the inner source, keeping an odd byte left over. False at the end.
bool refill(Utf16Source& s) {
    if (s.inner_done) return false;
    const std::size_t left = s.raw_end - s.raw_begin;
    std::memmove(s.raw.data(), s.raw.data() + s.raw_begin, left);
    s.raw_begin = 0;
    s.raw_end = left;
    int error = 0;
    const std::size_t n = s.inner.read(reinterpret_cast<char*>(s.raw.data() + left),
                                       s.raw.size() - left, error);
    if (n == 0) {
        s.inner_done = true;
        s.error = error;
        return false;
    }
    s.raw_end += n;
    return true;
}

// Produces the next character into `pending`; false when the text is all out. A lone
// last byte is dropped, and a high surrogate left at the end becomes U+FFFD.
bool next_character(Utf16Source& s) {
    const bool little = s.guess.encoding == TextEncoding::Utf16Le;
    while (s.pending_begin == s.pending_end) {
        if (s.raw_end - s.raw_begin < 2 && !refill(s)) {
            if (s.high_surrogate == 0) return false;
            s.high_surrogate = 0;
            encode_utf8(s, kReplacement);
            return true;
        }
        if (s.raw_end - s.raw_begin < 2) continue;
        const std::uint32_t first = s.raw[s.raw_begin];
        const std::uint32_t second = s.raw[s.raw_begin + 1];
        s.raw_begin += 2;
        convert_unit(s, little ? first | (second << 8) : (first << 8) | second);
    }
    return true;
}

std::size_t read_converted(Utf16Source& s, char* buffer, std::size_t capacity, int& error) {
    std::size_t n = 0;
    while (n < capacity && next_character(s)) {
        const std::size_t take = std::min(capacity - n, s.pending_end - s.pending_begin);
        std::memcpy(buffer + n, s.pending.data() + s.pending_begin, take);
        s.pending_begin += take;
        n += take;
    }
    if (n == 0) error = s.error;
    return n;
}

void detect(Utf16Source& s) {
    read_head(s);
    s.guess = guess_encoding(s.head.data(), s.head_size);
    s.detected = true;
    if (s.guess.encoding == TextEncoding::Bytes) return;
    // The head becomes the first converted bytes, unless it is the mark.
    if (!s.guess.mark) {
        std::memcpy(s.raw.data(), s.head.data(), s.head_size);
        s.raw_end = s.head_size;
    }
    s.head_size = 0;
}

std::size_t read_utf16(Utf16Source& s, char* buffer, std::size_t capacity, int& error) {
    if (!s.detected) detect(s);
    if (s.guess.encoding != TextEncoding::Bytes) return read_converted(s, buffer, capacity, error);
    // Plain bytes: hand on the head once, then read straight from the inner source.
    if (s.head_size > 0) {
        const std::size_t n = std::min(capacity, s.head_size);
        std::memcpy(buffer, s.head.data(), n);
        std::memmove(s.head.data(), s.head.data() + n, s.head_size - n);
        s.head_size -= n;
        return n;
    }
    if (s.inner_done) {
        error = s.error;
        return 0;
    }
    return s.inner.read(buffer, capacity, error);
}

}  // namespace

EncodingGuess guess_encoding(const unsigned char* first, std::size_t size) {
    if (size < 2) return {};
    const unsigned a = first[0];
    const unsigned b = first[1];
    if (a == 0xFF && b == 0xFE) return {TextEncoding::Utf16Le, true};
    if (a == 0xFE && b == 0xFF) return {TextEncoding::Utf16Be, true};
    if (a == 0 && b != 0 && b < 0x80) return {TextEncoding::Utf16Be, false};
    if (b == 0 && a != 0 && a < 0x80) return {TextEncoding::Utf16Le, false};
    return {};
}

const char* encoding_name(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf16Le: return "UTF-16 LE";
        case TextEncoding::Utf16Be: return "UTF-16 BE";
        case TextEncoding::Bytes: break;
    }
    return nullptr;
}

namespace {

void append_utf16(std::string& text, std::string_view bytes, TextEncoding order) {
    const auto* first = reinterpret_cast<const unsigned char*>(bytes.data());
    const EncodingGuess guess = guess_encoding(first, bytes.size());
    if (order == TextEncoding::Bytes) order = guess.encoding == TextEncoding::Bytes ? TextEncoding::Utf16Be : guess.encoding;
    if (guess.mark && guess.encoding == order) bytes.remove_prefix(2);
    // The file's own conversion, run over the bytes in memory.
    Utf16Source state;
    std::string_view rest = bytes;
    const ByteSource source = utf16_source(state, memory_source(rest));
    state.detected = true;
    state.guess = EncodingGuess{order, false};
    std::array<char, 256> buffer{};
    int error = 0;
    while (const std::size_t n = source.read(buffer.data(), buffer.size(), error)) {
        text.append(buffer.data(), n);
    }
    // The odd byte of a cut code unit.
    if (bytes.size() % 2 != 0) encode_and_append(text, kReplacement);
}

void append_utf32(std::string& text, std::string_view bytes, TextEncoding order) {
    const auto unit_at = [&](std::size_t i, bool little) {
        std::uint32_t unit = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::uint32_t b = static_cast<unsigned char>(bytes[i + (little ? 3 - k : k)]);
            unit = unit << 8 | b;
        }
        return unit;
    };
    std::size_t i = 0;
    if (order == TextEncoding::Bytes) {
        order = TextEncoding::Utf16Be;
        if (bytes.size() >= 4 && unit_at(0, true) == 0xFEFF) order = TextEncoding::Utf16Le;
    }
    const bool little = order == TextEncoding::Utf16Le;
    if (bytes.size() >= 4 && unit_at(0, little) == 0xFEFF) i = 4;
    for (; i + 4 <= bytes.size(); i += 4) {
        const std::uint32_t unit = unit_at(i, little);
        const bool character = unit <= 0x10FFFF && !is_high_surrogate(unit) && !is_low_surrogate(unit);
        encode_and_append(text, character ? unit : kReplacement);
    }
    if (i < bytes.size()) encode_and_append(text, kReplacement);
}

}  // namespace

void append_unicode_as_utf8(std::string& text, std::string_view bytes, UnicodeWidth width, TextEncoding order) {
    if (width == UnicodeWidth::Utf16) {
        append_utf16(text, bytes, order);
    } else {
        append_utf32(text, bytes, order);
    }
}

ByteSource utf16_source(Utf16Source& state, ByteSource inner) {
    state = Utf16Source{};
    state.inner = inner;
    return ByteSource{ByteSource::Read::bind<read_utf16>(state)};
}

}  // namespace quorlan
