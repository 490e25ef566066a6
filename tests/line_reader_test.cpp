#include "text/line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlan {
namespace {

using Lines = std::vector<std::string>;

Lines read_all(LineReader& reader) {
    Lines lines;
    std::string line;
    while (read_line(reader, line)) lines.push_back(line);
    return lines;
}

Lines read_from_memory(std::string_view data) {
    LineReader reader = make_line_reader(memory_source(data));
    return read_all(reader);
}

using test_support::read_trickle;
using test_support::Trickle;

std::string bytes(std::size_t n, char c = 'x') { return std::string(n, c); }

struct ReaderCase {
    const char* name;
    std::string input;
    Lines expected;
};

std::vector<ReaderCase> reader_cases() {
    return {
        {"empty input", "", {}},
        {"lf lines", "a\nb\n", {"a\n", "b\n"}},
        {"crlf folds to lf", "a\r\nb\r\n", {"a\n", "b\n"}},
        {"no final line end", "a\nb", {"a\n", "b"}},
        {"lone cr stays", "a\rb\r", {"a\rb\r"}},
        {"cr cr lf keeps one cr", "a\r\r\n", {"a\r\n"}},
        {"empty lines", "\n\r\n\n", {"\n", "\n", "\n"}},
        {"1998 bytes and lf in one read", bytes(1998) + "\n", {bytes(1998) + "\n"}},
        {"1998 bytes and lf, then more", bytes(1998) + "\nab", {bytes(1998) + "\n", "ab"}},
        {"1999 bytes: the lf comes alone", bytes(1999) + "\n", {bytes(1999), "\n"}},
        {"1998 bytes and crlf fit: the pair counts as one",
         bytes(1998) + "\r\n", {bytes(1998) + "\n"}},
        {"1999 bytes and crlf: the pair is read next as lf",
         bytes(1999) + "\r\n", {bytes(1999), "\n"}},
        {"2000 bytes", bytes(2000) + "\n", {bytes(1999), "x\n"}},
        {"2001 bytes without line end", bytes(2001), {bytes(1999), "xx"}},
        {"long line in pieces", bytes(4000) + "\nz", {bytes(1999), bytes(1999), "xx\n", "z"}},
        {"nul ends the text of its read", std::string("ab\0cd\nef\n", 9), {"ab", "ef\n"}},
        {"nul at the start", std::string("\0x\n", 3), {""}},
    };
}

TEST(LineReader, SplitsLikeA2000ByteLineBuffer) {
    for (const ReaderCase& c : reader_cases()) {
        EXPECT_EQ(read_from_memory(c.input), c.expected) << c.name;
    }
}

TEST(LineReader, GivesTheSameLinesWhateverTheRefillBoundaries) {
    for (const ReaderCase& c : reader_cases()) {
        for (std::size_t step : {1u, 2u, 3u, 1999u, 2000u, 2001u}) {
            Trickle trickle{c.input, step};
            LineReader reader = make_line_reader(ByteSource{ByteSource::Read::bind<read_trickle>(trickle)});
            EXPECT_EQ(read_all(reader), c.expected) << c.name << ", step " << step;
        }
    }
}

// Lines that end in CR alone: a CR ends a line as an LF does, and a CR LF pair once, also
// where a refill falls between the two.
TEST(LineReader, CrLineEndsWhateverTheRefillBoundaries) {
    const std::string input = "a\rb\r\nc\r\r" + bytes(3000) + "\rd";
    const Lines expected = {"a\n", "b\n", "c\n", "\n", bytes(1999), bytes(1001) + "\n", "d"};
    for (std::size_t step : {1u, 2u, 3u, 4u, 2000u, 70000u}) {
        Trickle trickle{input, step};
        LineReader reader = make_line_reader(ByteSource{ByteSource::Read::bind<read_trickle>(trickle)});
        prime_reader(reader);
        EXPECT_FALSE(holds_only_cr_line_ends(reader));  // it holds an LF
        CrLineEnds lines;
        end_lines_at_cr(reader, lines);
        EXPECT_EQ(read_all(reader), expected) << "step " << step;
    }
}

// Whether each read stopped inside a longer physical line, which the text of a read cut
// by a NUL can't show.
TEST(LineReader, TellsWhenAReadIsOnlyAPieceOfALine) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<bool> goes_on;
    };
    const std::vector<Case> cases = {
        {"short lines", "a\nb", {false, false}},
        {"1998 bytes and crlf", bytes(1998) + "\r\n", {false}},
        {"1999 bytes and lf", bytes(1999) + "\nz\n", {true, false, false}},
        {"1999 bytes at the end of the data", bytes(1999), {false}},
        {"2000 bytes at the end of the data", bytes(2000), {true, false}},
        {"long line", bytes(4000) + "\nz", {true, true, false, false}},
        {"nul in the first piece", std::string("a\0", 2) + bytes(2500) + "\nz\n", {true, false, false}},
        {"nul in the last piece", bytes(2500) + std::string(1, '\0') + "b\nz\n", {true, false, false}},
    };
    for (const Case& c : cases) {
        std::string_view data = c.input;
        LineReader reader = make_line_reader(memory_source(data));
        std::vector<bool> goes_on;
        std::string line;
        while (read_line(reader, line)) goes_on.push_back(reader.line_goes_on);
        EXPECT_EQ(goes_on, c.goes_on) << c.name;
    }
}

TEST(LineReader, CrLfAcrossManyBlocksOfALargeInput) {
    std::string input;
    Lines expected;
    for (int i = 0; i < 20000; ++i) {
        const std::string text = std::to_string(i) + bytes(static_cast<std::size_t>(i % 37));
        input += text + "\r\n";
        expected.push_back(text + "\n");
    }
    EXPECT_EQ(read_from_memory(input), expected);
}

// An empty view may point nowhere; copying zero bytes from it must not touch the pointer
// (the sanitizer build catches the call).
TEST(LineReader, AnEmptyViewWithoutData) {
    std::string_view nothing;
    LineReader reader = make_line_reader(memory_source(nothing));
    std::string line = "old";
    EXPECT_FALSE(read_line(reader, line));
    EXPECT_EQ(reader.error, 0);
}

TEST(LineReader, SkipsAByteOrderMarkOnlyWhereAsked) {
    std::string_view data = "\xEF\xBB\xBFname.vcf\n";
    LineReader reader = make_line_reader(memory_source(data));
    skip_utf8_bom(reader);
    EXPECT_EQ(read_all(reader), Lines{"name.vcf\n"});

    EXPECT_EQ(read_from_memory("\xEF\xBB\xBFx\n"), Lines{"\xEF\xBB\xBFx\n"});

    std::string_view short_data = "\xEF\xBB";
    LineReader short_reader = make_line_reader(memory_source(short_data));
    skip_utf8_bom(short_reader);
    EXPECT_EQ(read_all(short_reader), Lines{"\xEF\xBB"});
}

std::size_t read_failing(int& calls, char* buffer, std::size_t capacity, int& error) {
    if (calls++ == 0) {
        const std::size_t n = std::min<std::size_t>(capacity, 4);
        std::memcpy(buffer, "ab\ncd", n);
        return n;
    }
    error = 5;
    return 0;
}

TEST(LineReader, AReadErrorEndsTheInputAndIsKept) {
    int calls = 0;
    LineReader reader = make_line_reader(ByteSource{ByteSource::Read::bind<read_failing>(calls)});
    EXPECT_EQ(read_all(reader), (Lines{"ab\n", "c"}));
    EXPECT_EQ(reader.error, 5);
    std::string line;
    EXPECT_FALSE(read_line(reader, line));
}

}  // namespace
}  // namespace quorlan
