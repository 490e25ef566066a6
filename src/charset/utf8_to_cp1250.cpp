#include "charset/cp1250.h"

#include <cstddef>
#include <cstring>

#include "text/text_ops.h"

namespace quorlan {

namespace {

// One table per lead byte, indexed by the second byte minus the start of the lead's range.
// Each entry is the windows-1250 byte of the code point, or "_" (0x5F) where windows-1250
// has no such letter, except for twelve letters that get a look-alike byte instead
// (U+00A1, U+00A2, U+00C3, U+00E3, U+00EA, U+0112 to U+0115, U+0127, U+016A, U+016B).
constexpr std::array<std::uint8_t, 32> kLeadC2 = {
    // U+00A0 to U+00BF
    0xA0, 0xA1, 0xA2, 0x5F, 0xA4, 0x5F, 0xA6, 0xA7, 0xA8, 0xA9, 0x5F, 0xAB, 0xAC, 0xAD, 0xAE, 0x5F,
    0xB0, 0xB1, 0x5F, 0x5F, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0x5F, 0x5F, 0xBB, 0x5F, 0x5F, 0x5F, 0x5F,
};
constexpr std::array<std::uint8_t, 64> kLeadC3 = {
    // U+00C0 to U+00FF
    0x5F, 0xC1, 0xC2, 0xC3, 0xC4, 0x5F, 0x5F, 0xC7, 0x5F, 0xC9, 0x5F, 0xCB, 0x5F, 0xCD, 0xCE, 0x5F,
    0x5F, 0x5F, 0x5F, 0xD3, 0xD4, 0x5F, 0xD6, 0xD7, 0x5F, 0x5F, 0xDA, 0x5F, 0xDC, 0xDD, 0x5F, 0xDF,
    0x5F, 0xE1, 0xE2, 0xE3, 0xE4, 0x5F, 0x5F, 0xE7, 0x5F, 0xE9, 0xEA, 0xEB, 0x5F, 0xED, 0xEE, 0x5F,
    0x5F, 0x5F, 0x5F, 0xF3, 0xF4, 0x5F, 0xF6, 0xF7, 0x5F, 0x5F, 0xFA, 0x5F, 0xFC, 0xFD, 0x5F, 0x5F,
};
constexpr std::array<std::uint8_t, 64> kLeadC4 = {
    // U+0100 to U+013F
    0x5F, 0x5F, 0xC3, 0xE3, 0xA5, 0xB9, 0xC6, 0xE6, 0x5F, 0x5F, 0x5F, 0x5F, 0xC8, 0xE8, 0xCF, 0xEF,
    0xD0, 0xF0, 0xCB, 0xEB, 0xD1, 0xEC, 0x5F, 0x5F, 0xCA, 0xEA, 0xCC, 0xEC, 0x5F, 0x5F, 0x5F, 0x5F,
    0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x60, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,
    0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0xC5, 0xE5, 0x5F, 0x5F, 0xBC, 0xBE, 0x5F,
};
constexpr std::array<std::uint8_t, 64> kLeadC5 = {
    // U+0140 to U+017F
    0x5F, 0xA3, 0xB3, 0xD1, 0xF1, 0x5F, 0x5F, 0xD2, 0xF2, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,
    0xD5, 0xF5, 0x5F, 0x5F, 0xC0, 0xE0, 0x5F, 0x5F, 0xD8, 0xF8, 0x8C, 0x9C, 0x5F, 0x5F, 0xAA, 0xBA,
    0x8A, 0x9A, 0xDE, 0xFE, 0x8D, 0x9D, 0x5F, 0x5F, 0x5F, 0x5F, 0xDC, 0xFC, 0x5F, 0x5F, 0xD9, 0xF9,
    0xDB, 0xFB, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x8F, 0x9F, 0xAF, 0xBF, 0x8E, 0x9E, 0x5F,
};

// Start of the second byte's range for each lead byte 0xC2 to 0xC5.
constexpr std::uint8_t range_start(std::uint8_t lead) { return lead == 0xC2 ? 0xA0 : 0x80; }

}  // namespace

std::size_t ascii_prefix_length(std::string_view text) {
    // Eight bytes at a time: most card lines, and every piece of a base64 photo, are
    // plain ASCII, and a byte-by-byte scan of them was a large share of a run.
    return first_marked(text, [](std::uint64_t word) { return word & 0x8080808080808080; });
}

bool is_decoded_pair(std::uint8_t lead, std::uint8_t second) {
    return lead >= 0xC2 && lead <= 0xC5 && second >= range_start(lead) && second <= 0xBF;
}

std::uint8_t cp1250_byte_of(std::uint8_t lead, std::uint8_t second) {
    const std::size_t index = static_cast<std::size_t>(second - range_start(lead));
    switch (lead) {
        case 0xC2: return kLeadC2[index];
        case 0xC3: return kLeadC3[index];
        case 0xC4: return kLeadC4[index];
        default: return kLeadC5[index];
    }
}

namespace {

template <bool kFold>
void decode_after(std::string& line, std::size_t plain) {
    const std::size_t n = line.size();
    char* const data = line.data();
    const char* const fold = kFold ? fold_map().data() : nullptr;
    // Nothing changes before the first lead byte (or, when folding, the first byte from
    // 0x80 up): skip ahead without writing.
    std::size_t read = plain;
    while (!kFold && read < n) {
        const auto b = static_cast<std::uint8_t>(data[read]);
        if (b >= 0xC2 && b <= 0xC5) break;
        ++read;
    }
    std::size_t write = read;
    while (read < n) {
        const auto b = static_cast<std::uint8_t>(data[read]);
        std::uint8_t out = b;
        // A lead byte without a byte of its range after it is a windows-1250 letter
        // (Â, Ă, Ä, Ĺ) in 8-bit input: it is kept and the next byte is looked at anew.
        if (read + 1 < n && b >= 0xC2 && is_decoded_pair(b, static_cast<std::uint8_t>(data[read + 1]))) {
            out = cp1250_byte_of(b, static_cast<std::uint8_t>(data[read + 1]));
            read += 2;
        } else {
            ++read;
        }
        if constexpr (kFold) out = static_cast<std::uint8_t>(fold[out]);
        data[write] = static_cast<char>(out);
        ++write;
    }
    line.resize(write);
}

}  // namespace

void utf8_to_cp1250(std::string& line) { utf8_to_cp1250_after(line, ascii_prefix_length(line)); }

void utf8_to_cp1250_after(std::string& line, std::size_t plain) { decode_after<false>(line, plain); }

void utf8_to_cp1250_folded_after(std::string& line, std::size_t plain) { decode_after<true>(line, plain); }

}  // namespace quorlan
