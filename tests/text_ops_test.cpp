#include "text/text_ops.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorlan {
namespace {

struct FindCase {
    std::string text, pattern;
    std::size_t start;
    std::ptrdiff_t expected;
};

TEST(FindText, FindsFirstOccurrenceWithItsEdges) {
    const std::vector<FindCase> cases = {
        {"abc", "c", 3, -1},        // start at the end finds nothing
        {"abc", "c", 4, -1},        // start beyond the end
        {"", "x", 0, -1},
        {"abc", "", 0, -1},         // an empty pattern is never found
        {"", "", 0, -1},
        {"X.V.VCF", ".VCF", 0, 3},  // a failed partial match is retried one byte later
        {"A..VCF", ".VCF", 0, 2},
        {"aab", "ab", 0, 1},
        {"ab", "abc", 0, -1},       // a pattern running past the end is not found
        {":a:b", ":", 1, 2},
        {"abcabc", "abc", 1, 3},
        {"abc", "ABC", 0, -1},      // case-sensitive
        {"abc", "abc", 0, 0},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(find_text(c.text, c.pattern, c.start), c.expected)
            << "find '" << c.pattern << "' in '" << c.text << "' from " << c.start;
    }
}

TEST(FindText, NoTextBeginsWithTheEmptyPattern) {
    EXPECT_FALSE(begins_with("abc", ""));
    EXPECT_FALSE(begins_with("", ""));
    EXPECT_TRUE(begins_with("END:VCARD", "END:"));
    EXPECT_FALSE(begins_with("EN", "END:"));
}

// Word-wise search: every length around the eight-byte words, the byte at every place
// (also in the overlapping last word), a byte that differs only in its high bit before
// it, and a second match after it.
TEST(FindByte, FindsTheFirstAtEveryPlaceAndLength) {
    for (std::size_t size = 0; size <= 20; ++size) {
        for (std::size_t at = 0; at <= size; ++at) {
            std::string text(size, '\xBA');  // ':' with its high bit set
            if (at < size) text[at] = ':';
            if (at + 1 < size) text[size - 1] = ':';
            EXPECT_EQ(find_byte(text, ':'), at) << "size " << size << ", ':' at " << at;
            EXPECT_EQ(find_byte(text, '\0'), size);
        }
    }
}

TEST(Extraction, LeftStopsAtTheEnd) {
    EXPECT_EQ(left_text("abc", 0), "");
    EXPECT_EQ(left_text("abc", 2), "ab");
    EXPECT_EQ(left_text("abc", 9), "abc");
}

struct InPlaceCase {
    std::string input, expected;
};

void expect_in_place(void (*op)(std::string&), const std::vector<InPlaceCase>& cases) {
    for (const InPlaceCase& c : cases) {
        std::string text = c.input;
        op(text);
        EXPECT_EQ(text, c.expected) << "input '" << c.input << "'";
    }
}

TEST(TrimLineEnd, RemovesAnyMixOfCrLfAndSpacesFromTheEnd) {
    expect_in_place(trim_line_end, {
        {"", ""},
        {" \r\n \r", ""},
        {"ab \r\n ", "ab"},
        {"  ab", "  ab"},       // leading spaces stay
        {"ab\t", "ab\t"},       // tabs stay
        {"a\r\nb\n", "a\r\nb"},
    });
}

TEST(ToUpperAscii, OnlyAsciiLettersChange) {
    expect_in_place(to_upper_ascii, {
        {"", ""},
        {"ascii=1 \xE9\xF8", "ASCII=1 \xE9\xF8"},
        {"az{`@", "AZ{`@"},
    });
}

TEST(CharOps, Remove) {
    std::string text = "+420 603  123";
    remove_char(text, ' ');
    EXPECT_EQ(text, "+420603123");
    std::string empty;
    remove_char(empty, ' ');
    EXPECT_EQ(empty, "");
}

}  // namespace
}  // namespace quorlan
