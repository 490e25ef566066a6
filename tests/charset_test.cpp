#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "charset/cp1250.h"
#include "charset/xml_name.h"

namespace quorlan {
namespace {

// The windows-1250 byte of a code point according to the C library, or -1 where the
// code page has no such character.
int iconv_cp1250(std::uint32_t code_point) {
    iconv_t cd = iconv_open("CP1250", "UTF-32LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return -2;
    char in[4] = {static_cast<char>(code_point & 0xFF), static_cast<char>((code_point >> 8) & 0xFF), 0, 0};
    char out[4] = {};
    char* in_p = in;
    char* out_p = out;
    std::size_t in_left = 4, out_left = sizeof out;
    const std::size_t r = iconv(cd, &in_p, &in_left, &out_p, &out_left);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || sizeof out - out_left != 1) return -1;
    return static_cast<unsigned char>(out[0]);
}

// Look-alike bytes for letters that windows-1250 lacks.
int substitute_of(std::uint32_t code_point) {
    switch (code_point) {
        case 0x00A1: return 0xA1;
        case 0x00A2: return 0xA2;
        case 0x00C3: return 0xC3;
        case 0x00E3: return 0xE3;
        case 0x00EA: return 0xEA;
        case 0x0112: return 0xCB;
        case 0x0113: return 0xEB;
        case 0x0114: return 0xD1;
        case 0x0115: return 0xEC;
        case 0x0127: return 0x60;
        case 0x016A: return 0xDC;
        case 0x016B: return 0xFC;
        default: return -1;
    }
}

TEST(Utf8ToCp1250, EveryTableEntryFollowsTheCodePage) {
    ASSERT_NE(iconv_cp1250(0x0160), -2) << "iconv has no CP1250";
    ASSERT_EQ(iconv_cp1250(0x0160), 0x8A);
    int entries = 0;
    for (std::uint32_t cp = 0xA0; cp <= 0x17F; ++cp) {
        int expected = substitute_of(cp);
        if (expected < 0) expected = iconv_cp1250(cp);
        if (expected < 0) expected = 0x5F;
        std::string line{static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        utf8_to_cp1250(line);
        ASSERT_EQ(line.size(), 1u) << std::hex << "U+" << cp;
        EXPECT_EQ(static_cast<unsigned char>(line[0]), expected) << std::hex << "U+" << cp;
        ++entries;
    }
    EXPECT_EQ(entries, 224);
}

// The table by which windows-1250 text is read and written, against the C library's.
TEST(Cp1250Character, EveryDefinedByteIsTheCodePages) {
    int defined = 0;
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const std::uint32_t c = cp1250_character(static_cast<std::uint8_t>(b));
        if (c == 0) continue;
        EXPECT_EQ(iconv_cp1250(c), static_cast<int>(b)) << std::hex << b;
        ++defined;
    }
    EXPECT_EQ(defined, 123);
}

struct DecodeCase {
    const char* name;
    std::string input, expected;
};

TEST(Utf8ToCp1250, DecodesOnlyTheTwoByteLettersItKnows) {
    const std::vector<DecodeCase> cases = {
        {"czech words", "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88",
         "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2"},
        {"letters without a byte", "\xC3\x80\xC2\xA3", "__"},
        {"plain ascii", "N:Novak;Jan;;;", "N:Novak;Jan;;;"},
        {"windows-1250 letters that are not lead bytes", "\xE9\xF8", "\xE9\xF8"},
        {"lead byte last in the line", "ab\xC4", "ab\xC4"},
        {"lead byte before ascii", "\xC3" "A\xC5" ":", "\xC3" "A\xC5" ":"},
        {"lead byte before another lead byte", "\xC2\xC3\xA1", "\xC2\xE1"},
        {"0xC2 with a byte below its range", "\xC2\x9F", "\xC2\x9F"},
        {"lead byte before a byte from 0xC0", "\xC4\xC0", "\xC4\xC0"},
        {"three-byte sequences pass", "\xE2\x82\xAC \xE2\x80\x93", "\xE2\x82\xAC \xE2\x80\x93"},
        {"0xC1 and 0xC6 after a decoded letter pass", "\xC3\xA1\xC1\xA1\xC6\xA1", "\xE1\xC1\xA1\xC6\xA1"},
        {"other lead bytes pass", "\xC0\x80\xC1\xBF\xC6\x80\xD0\x96", "\xC0\x80\xC1\xBF\xC6\x80\xD0\x96"},
        {"empty", "", ""},
    };
    for (const DecodeCase& c : cases) {
        std::string line = c.input;
        utf8_to_cp1250(line);
        EXPECT_EQ(line, c.expected) << c.name;
    }
}

TEST(Utf8ToCp1250, CzechPhraseGivesThirteenBytes) {
    std::string line = "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88";
    utf8_to_cp1250(line);
    EXPECT_EQ(line.size(), 13u);
}

// The ASCII start of a line is passed by several bytes at a time: a letter must be found
// wherever it stands, also in the bytes left over after the last whole group.
TEST(Charset, LettersAreFoundAtEveryOffset) {
    for (std::size_t before = 0; before <= 20; ++before) {
        for (const std::size_t after : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{9}}) {
            const std::string head(before, 'a');
            const std::string tail(after, 'b');
            std::string line = head + "\xC5\x98" + tail;
            EXPECT_EQ(ascii_prefix_length(line), before);
            utf8_to_cp1250(line);
            EXPECT_EQ(line, head + "\xD8" + tail) << before << " " << after;
            fold_to_ascii(line);
            EXPECT_EQ(line, head + "R" + tail) << before << " " << after;
            // Decoded and folded in one pass, an 8-bit letter outside a pair folded too.
            std::string fused = head + "\xC5\x98\xE8" + tail;
            utf8_to_cp1250_folded_after(fused, before);
            EXPECT_EQ(fused, head + "Rc" + tail) << before << " " << after;

            const std::string lowest_high_byte = head + "\x80" + tail;
            EXPECT_EQ(ascii_prefix_length(lowest_high_byte), before);
            EXPECT_EQ(ascii_prefix_length(head + "\x7F" + tail), before + 1 + after);
        }
    }
}

TEST(FoldToAscii, FoldsTheTableAndNothingElse) {
    const std::vector<DecodeCase> cases = {
        {"name", "N:\xD8" "eho\xF8;\x8A\xE1rka;;;", "N:Rehor;Sarka;;;"},
        {"capital L with acute folds, small stays", "\xC5\xE5", "L\xE5"},
        {"capital L with caron stays, small folds", "\xBC\xBE", "\xBCl"},
        {"O and U capitals without entries", "\xD4\xD9\xF4\xF9", "\xD4\xD9ou"},
        {"sharp s", "Stra\xDF" "e", "Strase"},
        {"letters outside the table", "\xA3\xB3\x8C\x9C\xA5\xB9\xC6\xE6", "\xA3\xB3\x8C\x9C\xA5\xB9\xC6\xE6"},
        {"all capitals", "\xC1\xC4\xC8\xCF\xC9\xCC\xCD\xC5\xD2\xD3\xD6\xD5\xD8\x8A\x8D\xDA\xDC\xDB\xDD\x8E",
         "AACDEEILNOOORSTUUUYZ"},
        {"all small letters",
         "\xE1\xE4\xE8\xEF\xE9\xEC\xED\xBE\xF2\xF3\xF6\xF4\xF5\xF8\x9A\x9D\xFA\xF9\xFC\xFB\xFD\x9E\xDF",
         "aacdeeilnoooorstuuuuyzs"},
    };
    for (const DecodeCase& c : cases) {
        std::string line = c.input;
        fold_to_ascii(line);
        EXPECT_EQ(line, c.expected) << c.name;
    }
}

TEST(FoldToAscii, OnlyTheFortyThreeTableBytesChange) {
    int changed = 0;
    for (int b = 1; b < 256; ++b) {
        std::string line(1, static_cast<char>(b));
        fold_to_ascii(line);
        ASSERT_EQ(line.size(), 1u);
        if (static_cast<unsigned char>(line[0]) != b) {
            ++changed;
            EXPECT_GE(b, 0x80);
            EXPECT_LT(static_cast<unsigned char>(line[0]), 0x80);
        }
    }
    EXPECT_EQ(changed, 43);
}

}  // namespace
}  // namespace quorlan
