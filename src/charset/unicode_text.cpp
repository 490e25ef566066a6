#include "charset/unicode_text.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "charset/unicode_tables.h"
#include "charset/xml_name.h"
#include "text/utf8.h"

namespace quorlan {

namespace {

// Every character of windows-1250 lies below U+2200: a direct table of that range, built
// from the code page's own table once, gives the byte of a character without a search.
constexpr char32_t kCp1250Range = 0x2200;

const std::array<std::uint8_t, kCp1250Range>& cp1250_bytes() {
    static const std::array<std::uint8_t, kCp1250Range> table = [] {
        std::array<std::uint8_t, kCp1250Range> bytes{};
        for (unsigned b = 1; b < 256; ++b) {
            const std::uint32_t c = cp1250_character(static_cast<std::uint8_t>(b));
            if (c != 0) bytes[c] = static_cast<std::uint8_t>(b);
        }
        return bytes;
    }();
    return table;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    char32_t c = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = utf8_sequence_at(bytes, i, c);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

void append_utf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void append_utf8_replacing(std::string& text, std::string_view bytes) {
    char32_t c = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8_sequence_at(bytes, i, c);
        if (length != 0) {
            text.append(bytes, i, length);
            i += length;
            continue;
        }
        // One replacement for the longest start of a sequence, as readers count them.
        const std::size_t lead_length = utf8_lead_length(static_cast<unsigned char>(bytes[i]));
        i += lead_length == 0 ? 1 : utf8_well_formed_part(bytes, i, lead_length);
        append_utf8(text, kReplacementCharacter);
    }
}

void append_cp1250_text(std::string& text, std::string_view bytes) {
    for (const char byte : bytes) {
        const std::uint32_t c = cp1250_character(static_cast<std::uint8_t>(byte));
        append_utf8(text, c != 0 || byte == '\0' ? c : kReplacementCharacter);
    }
}

char32_t next_character(std::string_view text, std::size_t& i) {
    char32_t c = 0;
    const std::size_t length = utf8_sequence_at(text, i, c);
    i += length == 0 ? 1 : length;
    return length == 0 ? kReplacementCharacter : c;
}

int cp1250_byte_for(char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    if (c >= kCp1250Range) return -1;
    const std::uint8_t b = cp1250_bytes()[c];
    return b == 0 ? -1 : b;
}

namespace {

// The folds of the Latin blocks up to U+024F, where nearly every accented letter of a
// card lies, found by index instead of a search.
constexpr char32_t kDirectFolds = 0x250;

const std::array<const char*, kDirectFolds>& direct_folds() {
    static const std::array<const char*, kDirectFolds> table = [] {
        std::array<const char*, kDirectFolds> folds{};
        for (std::size_t i = 0; i < kLatinFoldCount && kLatinFolds[i].code < kDirectFolds; ++i) {
            folds[kLatinFolds[i].code] = kLatinFolds[i].ascii;
        }
        return folds;
    }();
    return table;
}

}  // namespace

const char* latin_fold(char32_t c) {
    if (c < kDirectFolds) return direct_folds()[c];
    const LatinFold* const end = kLatinFolds + kLatinFoldCount;
    const LatinFold* found =
        std::lower_bound(kLatinFolds, end, c, [](const LatinFold& fold, char32_t code) { return fold.code < code; });
    return found != end && found->code == c ? found->ascii : nullptr;
}

std::string text_from_bytes(std::string_view bytes) {
    std::string text(bytes);
    make_text(text);
    return text;
}

// True when `bytes` are ASCII and two-byte UTF-8 sequences below U+0300 only: well-formed
// text that composition leaves as it is, as the accented letters of Latin scripts are.
// Eight bytes at a time, without a branch for each byte: in a name, letters of one and two
// bytes take turns, and a byte-by-byte walk mispredicts at each turn. Each lead byte
// (0xC2 to 0xCB) must be followed by a continuation byte (0x80 to 0xBF) and each
// continuation byte preceded by a lead; a lead at a word's end carries into the next.
bool is_composed_latin(std::string_view bytes) {
    constexpr std::uint64_t kHigh = 0x8080808080808080U;
    constexpr std::uint64_t kLow6 = 0x3F3F3F3F3F3F3F3FU;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    std::uint64_t carry = 0;  // the high bit of the first byte when a lead ended the word before
    while (left > 0) {
        std::uint64_t word = 0;
        const std::size_t n = left < 8 ? left : 8;
        if (n == 8) {
            std::memcpy(&word, p, sizeof word);
        } else {
            // The missing bytes of a short last word are ASCII zeros. Gathered in a
            // register: bytes stored apart and loaded as one word stall the load.
            for (std::size_t i = 0; i < n; ++i) word |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
        }
        const std::uint64_t high = word & kHigh;
        const std::uint64_t bit6 = (word << 1) & kHigh;
        const std::uint64_t low = word & kLow6;
        const std::uint64_t from_c2 = ((low + 0x3E3E3E3E3E3E3E3EU) << 1) & kHigh;  // low 6 bits >= 2
        const std::uint64_t from_cc = ((low + 0x3434343434343434U) << 1) & kHigh;  // low 6 bits >= 12
        const std::uint64_t leads = high & bit6 & from_c2 & ~from_cc;
        const std::uint64_t continuations = high & ~bit6;
        if ((high & bit6 & ~leads) != 0 || continuations != ((leads << 8) | carry)) return false;
        carry = leads >> 56;  // a lead in a short last word has already failed above
        p += n;
        left -= n;
    }
    return carry == 0;
}

void make_text(std::string& bytes) {
    if (is_composed_latin(bytes)) return;
    if (!is_valid_utf8(bytes)) {
        std::string text;
        append_cp1250_text(text, bytes);
        bytes.swap(text);
    }
    compose_nfc(bytes);
}

std::string name_for_document(std::string_view name, bool as_text, bool utf8) {
    if (!as_text) return std::string(name);
    std::string text = text_from_bytes(name);
    if (utf8) return text;
    std::string bytes;
    for (std::size_t i = 0; i < text.size();) {
        const int byte = cp1250_byte_for(next_character(text, i));
        bytes += byte < 0 ? '_' : static_cast<char>(byte);
    }
    return bytes;
}

bool lacks_cp1250_character(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (cp1250_byte_for(next_character(text, i)) < 0) return true;
    }
    return false;
}

void keep_characters(std::string& text, std::size_t count) {
    if (text.size() <= count) return;  // no more characters than bytes
    std::size_t i = 0;
    for (std::size_t kept = 0; kept < count && i < text.size(); ++kept) next_character(text, i);
    if (i < text.size()) text.resize(i);
}

}  // namespace quorlan
