#include "text/utf16_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlan {
namespace {

using test_support::read_trickle;
using test_support::Trickle;

// Everything the wrapped source hands out, read `out_step` bytes at a time; the error at
// its end goes into `error`.
std::string convert(std::string_view data, std::size_t in_step, std::size_t out_step, int* error = nullptr,
                    int inner_error = 0) {
    Trickle trickle{data, in_step, inner_error};
    Utf16Source state;
    const ByteSource source = utf16_source(state, ByteSource{ByteSource::Read::bind<read_trickle>(trickle)});
    std::string text;
    char buffer[64];
    for (;;) {
        int e = 0;
        const std::size_t n = source.read(buffer, out_step, e);
        if (n == 0) {
            if (error != nullptr) *error = e;
            return text;
        }
        text.append(buffer, n);
    }
}

std::string le(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::string be(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

struct Case {
    const char* name;
    std::string input, expected;
};

TEST(Utf16Source, ConvertsUtf16AndPassesEverythingElse) {
    // Beyond the first plane: the first and the last character, and one of every bit.
    const std::u16string card =
        u"N:Nov\u00E1k;\u0160\u00E1rka\r\nX:\U0001F600\U00010000\U0010FFFF\U00020BB7\r\n";
    const std::string utf8 = "N:Nov\xC3\xA1k;\xC5\xA0\xC3\xA1rka\r\nX:\xF0\x9F\x98\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"
                             "\xF0\xA0\xAE\xB7\r\n";
    const std::vector<Case> cases = {
        {"LE with a mark", "\xFF\xFE" + le(card), utf8},
        {"BE with a mark", "\xFE\xFF" + be(card), utf8},
        {"LE without a mark", le(card), utf8},
        {"BE without a mark", be(card), utf8},
        {"only the mark", "\xFF\xFE", ""},
        {"a second mark is text", "\xFE\xFF" + be(u"\uFEFFA"), "\xEF\xBB\xBF" "A"},
        {"a lone last byte is dropped", le(u"AB") + "C", "AB"},
        {"a lone high surrogate", le(u"A\xD83D" u"B"), "A\xEF\xBF\xBD" "B"},
        {"a high surrogate at the end", le(u"A\xD83D"), "A\xEF\xBF\xBD"},
        {"two high surrogates, then a pair", be(u"A\xD83D\xD83D\xDE00"), "A\xEF\xBF\xBD\xF0\x9F\x98\x80"},
        {"a lone low surrogate", le(u"A\xDE00"), "A\xEF\xBF\xBD"},
        {"NUL code units stay NUL bytes", le(u"A") + std::string(2, '\0'), std::string("A\0", 2)},
        {"UTF-8 passes", utf8, utf8},
        {"UTF-8 mark passes", "\xEF\xBB\xBF" "A", "\xEF\xBB\xBF" "A"},
        {"two NULs pass", std::string(4, '\0'), std::string(4, '\0')},
        {"NUL and a non-ASCII byte pass", std::string("\0\xC3", 2), std::string("\0\xC3", 2)},
        {"one byte passes", "A", "A"},
        {"nothing", "", ""},
    };
    for (const Case& c : cases) {
        for (const std::size_t in_step : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{4096}}) {
            for (const std::size_t out_step : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{64}}) {
                SCOPED_TRACE(std::string(c.name) + " in " + std::to_string(in_step) + " out " +
                             std::to_string(out_step));
                EXPECT_EQ(convert(c.input, in_step, out_step), c.expected);
            }
        }
    }
}

TEST(Utf16Source, HandsOnTheReadErrorAfterTheText) {
    for (const std::string& input : {le(u"AB"), std::string("AB")}) {
        int error = 0;
        EXPECT_EQ(convert(input, 1, 64, &error, 5), "AB");
        EXPECT_EQ(error, 5);
    }
}

TEST(Utf16Source, GuessesFromTheFirstTwoBytes) {
    const auto guess = [](std::string_view bytes) {
        return guess_encoding(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    };
    EXPECT_EQ(guess("\xFF\xFE").encoding, TextEncoding::Utf16Le);
    EXPECT_TRUE(guess("\xFE\xFF").mark);
    EXPECT_FALSE(guess(std::string_view("\0A", 2)).mark);
    EXPECT_EQ(guess(std::string_view("\0A", 2)).encoding, TextEncoding::Utf16Be);
    EXPECT_EQ(guess(std::string_view("\x7F\0", 2)).encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(guess("\xFF").encoding, TextEncoding::Bytes);
    EXPECT_STREQ(encoding_name(TextEncoding::Utf16Be), "UTF-16 BE");
    EXPECT_EQ(encoding_name(TextEncoding::Bytes), nullptr);
}

}  // namespace
}  // namespace quorlan
