// Logical vCard lines, quoted-printable decoding, escapes in values, and line heads.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "vcard/decode.h"
#include "vcard/head.h"
#include "test_support.h"
#include "vcard/logical_lines.h"

namespace quorlan {
namespace {

// Each logical line as "number:text".
std::vector<std::string> logical_lines(std::string_view bytes) {
    LineReader input = make_line_reader(memory_source(bytes));
    LogicalLineReader reader = make_logical_line_reader(input);
    std::vector<std::string> lines;
    std::string_view line;
    std::size_t number = 0;
    while (read_logical_line_view(reader, line, number)) {
        lines.push_back(std::to_string(number) + ":" + std::string(line));
    }
    return lines;
}

std::vector<std::size_t> starts_followed(std::string_view bytes) {
    LineReader input = make_line_reader(memory_source(bytes));
    return test_support::followed_starts(input);
}

std::vector<std::size_t> numbers_of(const std::vector<std::string>& lines) {
    std::vector<std::size_t> numbers;
    for (const std::string& line : lines) numbers.push_back(std::stoul(line));
    return numbers;
}

struct LinesCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> expected;
};

TEST(LogicalLines, JoinsFoldedLinesSoftBreaksAndPieces) {
    const std::string qp = "N;ENCODING=QUOTED-PRINTABLE:";
    const std::string long_text(3000, 'x');
    const std::string very_long(10000, 'y');
    // Byte 1999, the last of the first read, is a "=".
    const std::string to_the_boundary = qp + std::string(kMaxLineBytes - qp.size() - 1, 'x');
    const std::vector<LinesCase> cases = {
        {"folded by space and tab", "A:b\r\n c\r\n\td\r\nE:f\r\n", {"1:A:bcd", "4:E:f"}},
        {"only one blank is removed", "A:b\n  c\n", {"1:A:b c"}},
        {"CR CR LF is one line end", "A:b\r\r\n c\r\r\nD:e", {"1:A:bc", "3:D:e"}},
        {"soft break", qp + "a=\r\nb\r\nE:f", {"1:" + qp + "ab", "3:E:f"}},
        {"soft break drops one blank", qp + "a=\n b=\n\tc", {"1:" + qp + "abc"}},
        {"soft break and fold", qp + "a=\nb\n c\nE:f", {"1:" + qp + "abc", "4:E:f"}},
        {"soft break joins an empty line", qp + "a=\n\nE:f", {"1:" + qp + "a", "3:E:f"}},
        {"bare keyword in any case", "n;quoted-printable:a=\nb", {"1:n;quoted-printable:ab"}},
        {"keyword in a folded property part", "N;ENCODING=\n QUOTED-PRINTABLE:a=\nb\nC",
         {"1:N;ENCODING=QUOTED-PRINTABLE:ab", "4:C"}},
        {"keyword in the value is no QP line", qp + "a\nNOTE:QUOTED-PRINTABLE=\nb",
         {"1:" + qp + "a", "2:NOTE:QUOTED-PRINTABLE=", "3:b"}},
        {"a CR at the end of a read inside the keyword", "X;" + std::string(kMaxLineBytes - 13, 'x') + "QUOTED-PRI\rNTABLE:a=\nb",
         {"1:X;" + std::string(kMaxLineBytes - 13, 'x') + "QUOTED-PRI\rNTABLE:a=", "2:b"}},
        {"soft break at the end of the input", qp + "a=", {"1:" + qp + "a="}},
        {"a first line beginning with a space", " A;QUOTED-PRINTABLE:b=\nc\n d\n", {"1: A;QUOTED-PRINTABLE:bcd"}},
        {"a folded line of \"=\" counts on", qp + "a==\n =\n\n\nC", {"1:" + qp + "a", "5:C"}},
        {"pieces of a long line", "A:" + long_text + "\r\n z\nB", {"1:A:" + long_text + "z", "3:B"}},
        {"=41 across the end of a read", to_the_boundary + "=41\nTEL:123\n",
         {"1:" + to_the_boundary + "=41", "2:TEL:123"}},
        {"== across the end of a read, then an empty line", to_the_boundary + "==\n\nX\nB",
         {"1:" + to_the_boundary + "X", "4:B"}},
        {"a NUL ends its whole physical line", "A:b" + std::string(1, '\0') + long_text + "\n c",
         {"1:A:bc"}},
        {"a soft break before a NUL", qp + "a=" + std::string(1, '\0') + long_text + "\nb\nC", {"1:" + qp + "ab", "3:C"}},
        {"no soft break with a CR before a NUL", qp + "a=\r" + std::string(1, '\0') + long_text + "\nb",
         {"1:" + qp + "a=\r", "2:b"}},
        {"no soft break with a CR before a NUL in a short line", qp + "a=\r" + std::string(1, '\0') + "z\nb",
         {"1:" + qp + "a=\r", "2:b"}},
        {"a CR before a NUL stays inside a folded keyword", "N;QUOTED-PRI\r" + std::string(1, '\0') + "z\n NTABLE:a=\nb",
         {"1:N;QUOTED-PRI\rNTABLE:a=", "3:b"}},
        {"a CR before a NUL in a long line stays inside a folded keyword",
         "N;QUOTED-PRI\r" + std::string(1, '\0') + long_text + "\n NTABLE:a=\nb", {"1:N;QUOTED-PRI\rNTABLE:a=", "3:b"}},
        {"kept to 8 KiB", "A:" + very_long + "\n " + very_long + "\nB:c",
         {"1:" + ("A:" + very_long).substr(0, kMaxLogicalLineBytes), "3:B:c"}},
        // A folded line loses its blank when joined, and still fills the whole 8 KiB.
        {"an empty line, folded with a line longer than the cap", "A:b\n\n " + very_long + "\n c",
         {"1:A:b", "2:" + very_long.substr(0, kMaxLogicalLineBytes)}},
        {"a long QP line ending in = beyond the cap", qp + very_long + "=\nb\nC",
         {"1:" + (qp + very_long).substr(0, kMaxLogicalLineBytes), "3:C"}},
        // Each soft break takes one "=": the second one, and the one on line 3, join too.
        {"== beyond the cap, then an empty line", qp + very_long + "==\n\n=\nX\nB",
         {"1:" + (qp + very_long).substr(0, kMaxLogicalLineBytes), "5:B"}},
    };
    for (const LinesCase& c : cases) {
        EXPECT_EQ(logical_lines(c.bytes), c.expected) << c.name;
        // What --explain shows of a file read without joining follows the same rule.
        EXPECT_EQ(starts_followed(c.bytes), numbers_of(c.expected)) << c.name;
    }
}

struct TextCase {
    std::string input, expected;
};

TEST(QuotedPrintable, DecodesTheValuePartOnly) {
    const std::vector<TextCase> cases = {
        {"N=41:=41=42", "N=41:AB"},
        {"N:a=", "N:a="},
        {"N:=4", "N:=4"},
        {"N:=4G=", "N:=4G="},
        {"N:=c3=a1", "N:\xC3\xA1"},
        {"N:a=0D=0Ab", "N:a  b"},
        {"N:a=00b", std::string("N:a\0b", 5)},
        {"N:=3D41", "N:=41"},
        {"N", "N"},
    };
    for (const TextCase& c : cases) {
        std::string line = c.input;
        decode_quoted_printable(line);
        EXPECT_EQ(line, c.expected) << c.input;
    }
}

TEST(DecodedValue, ResolvesEscapesAndTrims) {
    const std::vector<TextCase> cases = {
        {"Richter\\,James", "Richter,James"},
        {"a\\\\;b", "a\\ b"},
        {"a\\;b;c", "a;b c"},
        {"two\\nlines\\Nhere", "two lines here"},
        {"\\x\\", "\\x\\"},
        {";Broken;;;", "Broken"},
        {"  a   b \r", "a b"},
        {"", ""},
        // Across and within the eight-byte words that are cleaned at once.
        {"Jan Nov  Praha 4;;CZ", "Jan Nov Praha 4 CZ"},
        {"Ulice 12\\,Brno\\;Morava", "Ulice 12,Brno;Morava"},
        {"abcdefg\\nhijklmnop \r", "abcdefg hijklmnop"},
        {"          ;abcdefghij", "abcdefghij"},
    };
    for (const TextCase& c : cases) {
        std::string value = c.input;
        clean_decoded_value(value);
        EXPECT_EQ(value, c.expected) << c.input;
    }
}

// A head as "group|name|key=value ...|pref|value part".
std::string head_shown(std::string_view line) {
    const Head head = parse_head(line);
    std::string shown = head.group + "|" + head.name + "|";
    for (const auto& [key, value] : head.params) shown += key + "=" + value + " ";
    shown += head.preferred ? "|pref|" : "||";
    if (head.value_at != std::string_view::npos) shown += line.substr(head.value_at);
    return shown;
}

TEST(LineHead, ReadsGroupNameParametersAndValuePart) {
    const std::vector<TextCase> cases = {
        {"N:Novak;Jan", "|N|||Novak;Jan"},
        {"item1.EMAIL;type=INTERNET:a@b.c", "ITEM1|EMAIL|TYPE=INTERNET ||a@b.c"},
        {"a.b.tel;cell;Voice:1", "A.B|TEL|TYPE=CELL TYPE=VOICE ||1"},
        {"TEL;TYPE=\"cell,voice\":1", "|TEL|TYPE=CELL TYPE=VOICE ||1"},
        {"TEL;type=CELL;type=pref:1", "|TEL|TYPE=CELL TYPE=PREF |pref|1"},
        {"EMAIL;PREF=1:x", "|EMAIL|PREF=1 |pref|x"},
        {"EMAIL;PREF=2:x", "|EMAIL|PREF=2 ||x"},
        {"N;CHARSET=UTF-8;QUOTED-PRINTABLE:x", "|N|CHARSET=UTF-8 ENCODING=QUOTED-PRINTABLE ||x"},
        {"X-A;LABEL=\"a;b:c\":v:w", "|X-A|LABEL=A;B:C ||v:w"},
        {" tel ; type = work ;; :1", "|TEL|TYPE=WORK ||1"},
        {"TEL;TYPE=:1", "|TEL|TYPE= ||1"},
        {"NOTE", "|NOTE|||"},
        {"X;A=\"open:x", "|X|A=OPEN:X ||"},
    };
    for (const TextCase& c : cases) EXPECT_EQ(head_shown(c.input), c.expected) << c.input;
}

struct MatchCase {
    std::string prefix, line;
    bool matches;
};

TEST(PrefixHead, MatchesLinesByMeaning) {
    const std::vector<MatchCase> cases = {
        {"N", "n;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:x", true},
        {"N:", "N:x", true},
        {"N;", "N:x", true},
        {"N", "NOTE:x", false},
        {"TEL;CELL", "TEL;TYPE=cell,voice:1", true},
        {"tel;type=CELL", "TEL;type=VOICE;type=CELL:1", true},
        {"TEL;WORK;VOICE", "TEL;WORK:1", false},
        {"TEL;WORK", "TEL;WORK;FAX:1", true},
        {"EMAIL", "item1.EMAIL:a@b", true},
        {"item1.EMAIL", "ITEM1.email:a@b", true},
        {"item1.EMAIL", "item2.EMAIL:a@b", false},
        {"TEL;TYPE=", "TEL;TYPE=HOME:1", true},
        {"TEL;TYPE=", "TEL:1", false},
        {"EMAIL;PREF", "EMAIL;PREF=1:a", true},
        {"EMAIL;PREF=1", "EMAIL;TYPE=INTERNET:a", false},
        {"N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE", "N:x", true},
        {"TITLE:intern", "TITLE: Intern in sales", true},
        {"TITLE:Intern", "TITLE:Manager", false},
        {"TEL CELL", "TEL CELL:1", false},
        {"", ":x", false},
    };
    for (const MatchCase& c : cases) {
        const Head line = parse_head(c.line);
        const std::string_view value = std::string_view(c.line).substr(std::min(line.value_at, c.line.size()));
        EXPECT_EQ(prefix_matches(parse_prefix_head(c.prefix), line, value), c.matches) << c.prefix << " / " << c.line;
    }
}

// An earlier prefix covers a later one when it names every line the later one names: the
// later one then gets no line, which --explain warns about, as it does about non-heads.
TEST(PrefixHead, CoversAndFaults) {
    const std::vector<MatchCase> covers = {
        {"TEL", "TEL;CELL", true},          {"TEL;CELL", "TEL", false},
        {"tel;type=cell", "TEL;CELL;VOICE", true}, {"EMAIL", "item1.EMAIL", true},
        {"item1.EMAIL", "EMAIL", false},    {"TITLE:In", "TITLE:intern", true},
        {"TITLE:Intern", "TITLE", false},   {"EMAIL;PREF", "EMAIL", false},
    };
    for (const MatchCase& c : covers) {
        EXPECT_EQ(prefix_covers(parse_prefix_head(c.prefix), parse_prefix_head(c.line)), c.matches)
            << c.prefix << " / " << c.line;
    }
    for (const char* fine : {"N", "N:", " tel ; cell ", "X-A;LABEL=\"a:b\""}) EXPECT_EQ(prefix_head_fault(fine), "") << fine;
    for (const char* faulty : {"", ";CELL", "TEL CELL", "X;A=\"b"}) EXPECT_NE(prefix_head_fault(faulty), "") << faulty;
}

}  // namespace
}  // namespace quorlan
