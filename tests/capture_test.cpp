#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/capture.h"
#include "text/text_ops.h"

namespace quorlan {
namespace {

using Values = std::vector<std::string>;

Settings settings_from(std::string_view config) {
    LineReader reader = make_line_reader(memory_source(config));
    return read_settings(reader);
}

struct Captured {
    Values values;
    std::vector<std::string> lines_after;  // the line buffer after each capture
};

// Feeds card lines through capture the way the run does, without decoding or folding.
Captured capture(std::string_view config, std::string_view card_text) {
    const Settings settings = settings_from(config);
    const PrefixIndex index = make_prefix_index(settings);
    CardState card = make_card_state(settings);
    LineReader input = make_line_reader(memory_source(card_text));
    Captured result;
    std::string line;
    while (read_line(input, line)) {
        trim_line_end(line);
        auto next_line = [&input](std::string& continuation) { read_line(input, continuation); };
        capture_values(std::string_view(line), line, next_line, settings, index, card);
        result.lines_after.push_back(line);
    }
    result.values = card.values;
    return result;
}

struct CaptureCase {
    const char* name;
    std::string config, card;
    Values expected;
};

TEST(CaptureValues, TakesAndCleansValues) {
    const std::string example = "NAME*=N:\nMOBILE#=TEL;CELL\nCOMPANY-=ORG\nSOURCE_IDENT=addressbook\n";
    const std::string hundred(100, 'v');
    const std::string a14(14, 'a'), a16(16, 'a'), a30(30, 'a'), a98(98, 'a'), a100(100, 'a');
    const std::vector<CaptureCase> cases = {
        {"name without colon in the rest", example, "N:Novak;Jan;;;\n", {"Novak Jan", "", "", ""}},
        {"first colon", example, "TEL;CELL:+420 603 123 456\n", {"", "+420 603 123 456", "", ""}},
        {"parameters before the colon", example, "TEL;CELL;VOICE:603 123 456\n", {"", "603 123 456", "", ""}},
        {"org", example, "ORG:Firm;Dept\n", {"", "", "Firm Dept", ""}},
        {"no prefix matches", example, "TITLE:Manager\nNOTE:x\n", {"", "", "", ""}},
        {"prefix of an earlier mapping wins", "A=TEL\nB=TEL;CELL\n", "TEL;CELL:123\n", {"123", ""}},
        {"the other order", "B=TEL;CELL\nA=TEL\n", "TEL;CELL:123\n", {"123", ""}},
        {"chained prefixes", "A=A\nB=B\n", "AB:x\n", {"x", "x"}},
        {"a chained prefix is not taken by an earlier mapping", "A=B\nB=A\n", "AB:x\n", {"", "x"}},
        {"same prefix twice", "A=N\nB=N\n", "N:x\n", {"x", ""}},
        {"same prefix standing twice", "A=N\nB=N\n", "NN:x\n", {"x", "x"}},
        {"plain beginning", "A=N\n", "NOTE:hello\n", {"hello"}},
        {"three colons", "A=X\n", "X:a:b:c\n", {"b:c"}},
        {"two colons first", "A=X\n", "X::b\n", {"b"}},
        {"ends in its colon", "A=ORG\n", "ORG:\n", {""}},
        {"no value at all", "A=ORG\n", "ORG\n", {""}},
        {"semicolons and runs of spaces", "A=ADR\n", "ADR:;;Street 1;;City\n", {" Street 1 City"}},
        {"trailing separators trimmed", "A=N\n", "N:Doe;;;  \n", {"Doe"}},
        {"last line of a card wins", "A=EMAIL\n", "EMAIL:a@x\nEMAIL:b@x\n", {"b@x"}},
        {"empty prefix never matches", "A=\n", "anything\n:x\n", {""}},
        {"value cut to 100 bytes", "A=N\n", "N:" + hundred + "tail\n", {hundred.substr(1)}},
        {"rest cut before the colons are looked for", "A=N",
         "N" + a98 + ":b:c\n", {"b"}},
        {"colon beyond the cut", "A=N", "N" + a100 + ":b\n", {a100}},
        {"end as a prefix", "A=END\n", "END:VCARD\n", {"VCARD"}},
        {"runs of spaces and semicolons mixed", "A=N\n", "N: ;; a ; ;b  \n", {" a b"}},
        {"a semicolon ending eight bytes, another after it", "A=N\n", "N:abcdefg;;hij\n", {"abcdefg hij"}},
        {"words on after runs of spaces", "A=N\n", "N:ab  cdefghijklmnop;qr  stuvwxyz;;;ABCDEFGH  I\n",
         {"ab cdefghijklmnop qr stuvwxyz ABCDEFGH I"}},
        {"a ;= mark deep in the rest", "A=X\n", "X" + a14 + ";=b\nnext\n", {"next"}},
        {"a ;= mark at the end of a long rest", "A=X\n", "X:" + a30 + ";=\nnext\n", {"next"}},
        {"=; is no mark", "A=X\n", "X:" + a16 + "=;a;b=;\nnext\n", {a16 + "= a b="}},
    };
    for (const CaptureCase& c : cases) {
        EXPECT_EQ(capture(c.config, c.card).values, c.expected) << c.name;
    }
}

TEST(CaptureValues, ContinuationTakesTheNextLineWhole) {
    const std::string long_line = "=C5=BDlu=C5=A5ou=C4=8Dk=C3=BD " + std::string(150, 'k') + ";;x";
    const Captured c = capture("NOTE=NOTE\nNAME=N:\n",
                               "NOTE;ENCODING=QUOTED-PRINTABLE:a;=\n" + long_line + "  \r\nN:Doe\n");
    EXPECT_EQ(c.values[0], "=C5=BDlu=C5=A5ou=C4=8Dk=C3=BD " + std::string(150, 'k') + " x");
    EXPECT_EQ(c.values[1], "Doe");
    // The continuation line is consumed: it is what the buffer holds after the capture.
    ASSERT_EQ(c.lines_after.size(), 2u);
    EXPECT_EQ(c.lines_after[0], c.values[0]);
}

TEST(CaptureValues, ContinuationNeedsTheMarkerFromTheSecondByteOfTheRest) {
    // ";=" at the very start of the rest doesn't count.
    const Captured c = capture("A=X\n", "X;=a\nnext\n");
    EXPECT_EQ(c.values[0], " =a");
    EXPECT_EQ(c.lines_after, (std::vector<std::string>{"X;=a", "next"}));
}

TEST(CaptureValues, AContinuationLineIsNotMatchedAgainstPrefixes) {
    const Captured c = capture("A=X\nB=N:\n", "X:v;=\nN:inside\n");
    EXPECT_EQ(c.values, (Values{"N:inside", ""}));
}

TEST(CaptureValues, AtTheEndOfTheInputTheCurrentLineIsTheValue) {
    const Captured c = capture("A=NOTE\n", "NOTE:x;=;y  z\n");
    EXPECT_EQ(c.values[0], "NOTE:x = y z");
    EXPECT_EQ(c.lines_after.back(), "NOTE:x = y z");
}

TEST(CaptureValues, SeveralContinuationsOnOneLineReadOneLineEach) {
    const Captured c = capture("A=X\nB=Y\n", "XY:a;=\nfirst\nsecond\nlast\n");
    EXPECT_EQ(c.values, (Values{"first", "second"}));
    EXPECT_EQ(c.lines_after, (std::vector<std::string>{"second", "last"}));
}

TEST(CaptureValues, ContinuationLineCanEndTheCard) {
    const Captured c = capture("A=NOTE\n", "NOTE:a;=\nEND:VCARD\n");
    EXPECT_EQ(c.values[0], "END:VCARD");
    EXPECT_EQ(c.lines_after, (std::vector<std::string>{"END:VCARD"}));
}

TEST(CaptureValues, ResetEmptiesEveryValue) {
    const Settings settings = settings_from("A=N\nB=X\n");
    CardState card = make_card_state(settings);
    card.values = {"a", "b"};
    reset_card(card);
    EXPECT_EQ(card.values, (Values{"", ""}));
}

}  // namespace
}  // namespace quorlan
