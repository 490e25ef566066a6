// Values as Unicode text: decoded from their charset, composed, cut by characters, and
// written as windows-1250 with character references, as UTF-8, or folded to ASCII.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charset/unicode_text.h"
#include "convert/record.h"
#include "vcard/value_text.h"

namespace quorlan {
namespace {

std::string repeated(std::string_view text, std::size_t times) {
    std::string all;
    for (std::size_t i = 0; i < times; ++i) all += text;
    return all;
}

struct DecodeCase {
    const char* name;
    std::string line;  // a card line: its head declares the charset, its value follows ":"
    std::string text;
    bool known = true;
};

TEST(ValueText, DecodesFromTheDeclaredCharsetElseUtf8ElseWindows1250) {
    const std::vector<DecodeCase> cases = {
        {"UTF-8", "N:\xC3\x91u\xC3\xB1" "ez", "\xC3\x91u\xC3\xB1" "ez"},
        {"not UTF-8: windows-1250", "N:\xC8" "ern\xFD \x81", "\xC4\x8C" "ern\xC3\xBD \xEF\xBF\xBD"},
        {"a letter across eight bytes", "N:abcdefg\xC3\xA9z", "abcdefg\xC3\xA9z"},
        {"windows-1250: a lead byte ends eight bytes", "N:abcdefg\xC8" "ern", "abcdefg\xC4\x8C" "ern"},
        {"windows-1250: a lead byte ends the value", "N:ab\xC8", "ab\xC4\x8C"},
        {"windows-1252", "N;CHARSET=Windows-1252:\x80 Caf\xE9", "\xE2\x82\xAC Caf\xC3\xA9"},
        {"windows-1251", "LABEL;charset=windows-1251;QUOTED-PRINTABLE:\xCA\xE8\xBF\xE2",
         "\xD0\x9A\xD0\xB8\xD1\x97\xD0\xB2"},
        {"ISO-8859-2", "N;CHARSET=ISO-8859-2:\xA9kola", "\xC5\xA0kola"},
        {"ISO-8859-1 is not windows-1250", "N;CHARSET=ISO-8859-1:\xE6", "\xC3\xA6"},
        // 0x5C after 0x83 is the second byte of a katakana; alone it is a backslash.
        {"Shift_JIS as code page 932", "N;CHARSET=SHIFT_JIS:\x88\xC0\x93\xA1 \x83\x5C\x5C,x",
         "\xE5\xAE\x89\xE8\x97\xA4 \xE3\x82\xBD,x"},
        {"quoted name", "N;CHARSET=\"sjis\":\x83\x5C", "\xE3\x82\xBD"},
        {"unknown name: as if absent", "N;CHARSET=X-NONE:\xC3\xA9", "\xC3\xA9", false},
        // Names are this program's, the same on every platform: any letter case, otherwise
        // as written, whatever a platform's converter would pass over.
        {"an IANA alias in any case", "N;CHARSET=csIsoLatin2:\xA9kola", "\xC5\xA0kola"},
        {"GB2312 read as Windows reads it", "N;CHARSET=GB2312:\x81\x40", "\xE4\xB8\x82"},
        {"a space inside the name", "N;CHARSET=S hift_JIS:a", "a", false},
        {"a DEL inside the name", "N;CHARSET=C\x7FP1251:a", "a", false},
        {"a mark inside the name", "N;CHARSET=w\xEF\xBB\xBFindows-1252:a", "a", false},
        {"punctuation after the name", "N;CHARSET=ISO-8859-2!#!:a", "a", false},
        {"declared UTF-8, ill-formed", "N;CHARSET=UTF-8:a\xC3(\xC0\xAF\xED\xA0\x80",
         "a\xEF\xBF\xBD(" + repeated("\xEF\xBF\xBD", 5)},
        {"Shift_JIS, a byte it does not allow", "N;CHARSET=SHIFT_JIS:a\x85\x40", "a\xEF\xBF\xBD@"},
        {"composed: e and a combining acute", "N:Rene\xCC\x81", "Ren\xC3\xA9"},
        {"escapes after decoding", "N:a\\;b;c\\nd", "a;b c d"},
        {"cut at 100 characters, not bytes", "N:" + repeated("\xE5\x8D\x81", 150), repeated("\xE5\x8D\x81", 100)},
    };
    CharsetConverters converters;
    for (const DecodeCase& c : cases) {
        std::string value = c.line.substr(c.line.find(':') + 1);
        EXPECT_EQ(decode_value_text(value, declared_charset(c.line), converters, 100), c.known) << c.name;
        EXPECT_EQ(value, c.text) << c.name;
    }
}

// One name of each charset the platform converts (UTF-8, UTF-16 and UTF-32 are decoded
// here); the other spellings of a charset name the same one.
const std::vector<std::string> kPlatformCharsets = {
    "UTF-7", "SHIFT_JIS", "EUC-JP", "ISO-2022-JP", "GBK", "GB18030", "BIG5", "EUC-KR", "CP949", "KOI8-R",
    "KOI8-U", "ISO-8859-1", "ISO-8859-2", "ISO-8859-3", "ISO-8859-4", "ISO-8859-5", "ISO-8859-6", "ISO-8859-7",
    "ISO-8859-8", "ISO-8859-9", "ISO-8859-13", "ISO-8859-15", "US-ASCII", "WINDOWS-1250", "WINDOWS-1251",
    "WINDOWS-1252", "WINDOWS-1253", "WINDOWS-1254", "WINDOWS-1255", "WINDOWS-1256", "WINDOWS-1257",
    "WINDOWS-1258", "WINDOWS-874", "IBM437", "IBM850", "IBM852", "IBM866", "IBM037", "IBM500", "IBM1047",
    "MACINTOSH",
};

// However many charsets a file names, and however many spellings of them, a few converters
// stay open.
TEST(ValueText, KeepsAFewConvertersOpen) {
    for (const std::size_t lines : {100u, 5000u}) {
        CharsetConverters converters;
        for (std::size_t i = 0; i < lines; ++i) {
            std::string value = "a";
            const std::string& name = kPlatformCharsets[i % kPlatformCharsets.size()];
            decode_value_text(value, i % 3 == 0 ? name + std::string(i % 50, '!') : name, converters, 100);
        }
        EXPECT_EQ(converters.open.size(), kOpenConverters) << lines;
    }
}

// Every charset accepted is one this platform's converter opens.
TEST(ValueText, EveryAcceptedCharsetOpens) {
    for (const std::string& name : kPlatformCharsets) {
        const Charset* charset = find_charset(name);
        ASSERT_NE(charset, nullptr) << name;
        EXPECT_NE(open_platform_charset(*charset), nullptr) << name;
    }
}

TEST(ValueText, ComposesToNormalizationFormC) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"A\xCC\x8A", "\xC3\x85"},                                    // A + ring above
        {"\xE2\x84\xAB", "\xC3\x85"},                                 // the angstrom sign
        {"q\xCC\x87\xCC\xA3", "q\xCC\xA3\xCC\x87"},                   // marks in canonical order
        {"\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", "\xEA\xB0\x81"},     // Hangul jamo
        {"\xE0\xA4\x95\xE0\xA4\xBC", "\xE0\xA4\x95\xE0\xA4\xBC"},     // an excluded composition
        {"\xC5\x8D\xCC\x80", "\xE1\xB9\x91"},                         // o with macron, then grave
    };
    for (const auto& [text, composed] : cases) {
        std::string s = text;
        compose_nfc(s);
        EXPECT_EQ(s, composed) << text;
    }
}

std::string written(std::string_view text, bool utf8, bool fold) {
    TextWriting writing;
    writing.utf8 = utf8;
    writing.fold = fold;
    std::string out;
    append_escaped_text(out, text, writing);
    return out;
}

TEST(TextWriting, EveryWindows1250CharacterBecomesItsByte) {
    for (unsigned b = 0x20; b < 0x100; ++b) {
        const std::string byte(1, static_cast<char>(b));
        std::string text;
        append_cp1250_text(text, byte);
        if (text == "\xEF\xBF\xBD" || b == '<' || b == '>' || b == '&') continue;
        EXPECT_EQ(written(text, false, false), byte) << std::hex << b;
    }
}

struct WriteCase {
    std::string text;
    std::string windows1250, utf8, folded;
};

TEST(TextWriting, ReferencesForWhatTheDocumentLacks) {
    const std::vector<WriteCase> cases = {
        {"\xE2\x82\xAC \xE2\x80\x9E" "a\xE2\x80\x9C \xE2\x80\x93 \xCB\x87\xCB\x98\xCB\x9D",  // € „a“ – ˇ˘˝
         "\x80 \x84" "a\x93 \x96 \xA1\xA2\xBD", "\xE2\x82\xAC \xE2\x80\x9E" "a\xE2\x80\x9C \xE2\x80\x93 \xCB\x87\xCB\x98\xCB\x9D",
         "&#8364; &#8222;a&#8220; &#8211; &#711;&#728;&#733;"},
        {"\xD0\xB9 \xE5\x8D\x81 \xF0\x9F\x98\x80", "&#1081; &#21313; &#128512;", "\xD0\xB9 \xE5\x8D\x81 \xF0\x9F\x98\x80",
         "&#1081; &#21313; &#128512;"},
        {"\xC3\x91 \xC3\xA5 \xC7\xBC \xC3\x86 \xC5\x93 \xC3\x9F \xE1\xBA\x9E \xC5\x81 \xC4\xA6 \xC4\xB1",
         "&#209; &#229; &#508; &#198; &#339; \xDF &#7838; \xA3 &#294; &#305;",
         "\xC3\x91 \xC3\xA5 \xC7\xBC \xC3\x86 \xC5\x93 \xC3\x9F \xE1\xBA\x9E \xC5\x81 \xC4\xA6 \xC4\xB1",
         "N a AE AE oe s S L H i"},
        // Compatibility forms with an ASCII form fold to it; markup never comes of a fold.
        {"\xEF\xBC\xB4\xEF\xBC\xA1\xEF\xBC\xAE\xEF\xBC\xA1\xEF\xBC\xAB\xEF\xBC\xA1 \xC4\xB2 \xEF\xAC\x83 \xC7\x88 \xC7\x8B \xC5\xBF \xEF\xBC\x91\xEF\xBC\x86",
         "&#65332;&#65313;&#65326;&#65313;&#65323;&#65313; &#306; &#64259; &#456; &#459; &#383; &#65297;&#65286;",
         "\xEF\xBC\xB4\xEF\xBC\xA1\xEF\xBC\xAE\xEF\xBC\xA1\xEF\xBC\xAB\xEF\xBC\xA1 \xC4\xB2 \xEF\xAC\x83 \xC7\x88 \xC7\x8B \xC5\xBF \xEF\xBC\x91\xEF\xBC\x86",
         "TANAKA IJ ffi Lj Nj s 1&#65286;"},
        // Letters the windows-1250 table leaves as they are, and a mark on its own.
        {"\xC4\xBD \xC4\xBA \xC3\x94 \xC5\xAE \xC5\x9A \xC4\x84 \xCC\x81x", "\xBC \xE5 \xD4 \xD9 \x8C \xA5 &#769;x",
         "\xC4\xBD \xC4\xBA \xC3\x94 \xC5\xAE \xC5\x9A \xC4\x84 \xCC\x81x", "L l O U S A x"},
        {"a<b>&c\r\x01\xEF\xBF\xBD\xEF\xBF\xBF", "a&lt;b&gt;&amp;c&#13;_&#65533;_",
         "a&lt;b&gt;&amp;c&#13;_\xEF\xBF\xBD_", "a&lt;b&gt;&amp;c&#13;_&#65533;_"},
    };
    for (const WriteCase& c : cases) {
        EXPECT_EQ(written(c.text, false, false), c.windows1250) << c.text;
        EXPECT_EQ(written(c.text, true, false), c.utf8) << c.text;
        EXPECT_EQ(written(c.text, false, true), c.folded) << c.text;
        EXPECT_EQ(written(c.text, true, true), c.folded) << c.text;
    }
}

}  // namespace
}  // namespace quorlan
