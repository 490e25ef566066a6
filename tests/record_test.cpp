#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/finish.h"
#include "convert/phone.h"
#include "convert/record.h"
#include "text/text_ops.h"

namespace quorlan {
namespace {

Settings settings_from(std::string_view config) {
    LineReader reader = make_line_reader(memory_source(config));
    return read_settings(reader);
}

// What the loop does at a card's end in the exact reading: the card is filtered and
// finished, and the record form renders it. True when a record was written.
bool write_record(const Settings& settings, CardState& card, std::string& out) {
    if (!finish_record(make_record_finishing(settings, PhoneGrouping::Fixed), card)) return false;
    RecordForm form = make_record_form(settings, "book");
    document_form(form).record(card, out);
    return true;
}

struct PhoneCase {
    std::string value, expected;
};

TEST(FormatPhone, GroupsCountryCodeThenThreeThreeAndTheRest) {
    const std::vector<PhoneCase> cases = {
        {"+420 603 123 456", "+420 603 123 456"},
        {"+49 30 123 45 67", "+49 301 234 567"},
        {"+421 905 111 222", "+421 905 111 222"},
        {"+1 212 555 010", "+121 255 501 0"},
        {"+420 12", "+420 12  "},
        {"+", "+   "},
        {"+420-603-123-456", "+420 -60 3-1 23-456"},
        {"+44 20 7946 0958", "+442 079 460 958"},  // two-digit codes outside the list take four
        {"+39 06 1234 5678", "+390 612 345 678"},
        {"+30", "+30   "},
        {"+30 21 0123 4567", "+30 210 123 4567"},  // the first code of the two-digit list
        {"+4", "+4   "},
        // The last group takes all that is left: nothing of a long number is dropped.
        {"+49 1512 3456 7890 1", "+49 151 234 5678901"},
        {"+420 123 456 789 0123", "+420 123 456 7890123"},
    };
    for (const PhoneCase& c : cases) {
        std::string in_place = c.value;
        group_phone(in_place);
        EXPECT_EQ(in_place, c.expected) << c.value;
    }
}

// Decoded numbers are grouped by their digits, with the ITU's country codes.
TEST(FormatPhone, DecodedNumbersAreGroupedByTheirDigits) {
    const std::vector<PhoneCase> cases = {
        {"+1-213-555-1234", "+1 213 555 1234"},
        {"+1 212 555 0100", "+1 212 555 0100"},
        {"+420 603 123 456", "+420 603 123 456"},
        {"+49 30 1234567", "+49 301 234 567"},
        {"+353 12 345 678", "+353 123 456 78"},
        {"+7 (495) 123-45-67", "+7 495 123 4567"},
        {"+44 20 7946 0958", "+44 207 946 0958"},
        {"+27.21.123.4567", "+27 211 234 567"},
        {"+420 123 456 789 012 345", "+420 123 456 789012345"},  // nothing of a long number dropped
        {"+1 213 555 1234 ext=12", "+1 213 555 1234 ext=12"},
        {"+1 213 555 1234 x12", "+1 213 555 1234 x12"},
        {"+1 213 555 1234 Ext. 12", "+1 213 555 1234 Ext. 12"},
        {"+420 12", "+420 12"},
        // No number of digits: left to the grouping of text.
        {"+1-800-FLOWERS", ""},
        {"+", ""},
        {"+1 213 555 1234 ext", ""},
        {"603 123 456", ""},
    };
    for (const PhoneCase& c : cases) {
        std::string number = c.value;
        EXPECT_EQ(group_decoded_phone(number), !c.expected.empty()) << c.value;
        EXPECT_EQ(number, c.expected.empty() ? c.value : c.expected) << c.value;
    }
}

TEST(WriteRecord, EscapesMarkupAndForbiddenBytes) {
    struct Case {
        std::string value, expected;
    };
    const std::vector<Case> cases = {
        {"Smith & Sons", "Smith &amp; Sons"},
        {"</NAME><x>", "&lt;/NAME&gt;&lt;x&gt;"},
        {"a\x01\x08\x0B\x0C\x0E\x1F" "b", "a______b"},
        {"tab\tstays", "tab\tstays"},
        // A lone CR would read as a line end and come back from a parser as LF.
        {"1\r2\r", "1&#13;2&#13;"},
        {"\x81\x83\x88\x90\x98", "_____"},
        {"\x80\x8A\x9A\xE9\xFF", "\x80\x8A\x9A\xE9\xFF"},
        {"\"quotes' stay\"", "\"quotes' stay\""},
        {"", ""},
        // Past the first eight bytes, and where a plain word comes first.
        {"12345678&<>", "12345678&amp;&lt;&gt;"},
        {"abcdefgh ijklmnop\x1F", "abcdefgh ijklmnop_"},
        {"abcdefgh\x81", "abcdefgh_"},
        {"+420 603 123 456", "+420 603 123 456"},
    };
    const Settings settings = settings_from("V=x\n");
    for (const Case& c : cases) {
        // A byte after the value keeps its line end from being trimmed.
        CardState card{{c.value + "|"}};
        std::string record;
        ASSERT_TRUE(write_record(settings, card, record));
        EXPECT_EQ(record, "<vcf>\r\n<V>" + c.expected + "|</V>\r\n</vcf>\r\n") << c.value;
    }
}

struct FilterCase {
    const char* name;
    std::vector<std::string> values;
    bool passes;
};

TEST(WriteRecord, FilterOnRequiredAndForbiddenFields) {
    const Settings s = settings_from("NAME*=N:\nMOBILE#=TEL\nCOMPANY-=ORG\nNOTE=NOTE\n");
    const std::vector<FilterCase> cases = {
        {"required present, forbidden empty", {"Jan", "", "", ""}, true},
        {"required missing", {"", "+1", "", "x"}, false},
        {"forbidden filled", {"Jan", "", "Firm", ""}, false},
        {"plain fields don't count", {"Jan", "", "", "note"}, true},
    };
    for (const FilterCase& c : cases) {
        CardState card{c.values};
        std::string out;
        EXPECT_EQ(write_record(s, card, out), c.passes) << c.name;
        EXPECT_EQ(out.empty(), !c.passes) << c.name;
        if (!c.passes) {
            EXPECT_EQ(card.values, c.values) << "left unchanged: " << c.name;
        }
    }
}

TEST(WriteRecord, WritesEveryMappingInOrder) {
    const Settings s = settings_from("NAME*=N:\nMOBILE#=TEL;CELL\nCOMPANY-=ORG\nSOURCE_IDENT=addressbook\n");
    CardState card{{"Novak Jan", "+420 603 123 456", "", ""}};
    std::string out;
    ASSERT_TRUE(write_record(s, card, out));
    EXPECT_EQ(out,
              "<vcf>\r\n"
              "<NAME>Novak Jan</NAME>\r\n"
              "<MOBILE>+420 603 123 456</MOBILE>\r\n"
              "<COMPANY></COMPANY>\r\n"
              "<SOURCE_IDENT>addressbook</SOURCE_IDENT>\r\n"
              "</vcf>\r\n");
}

TEST(WriteRecord, ElementsAndValuesOfEveryShortLengthAreWrittenWhole) {
    // Distinct bytes, so that a part copied from or to the wrong place shows.
    const std::string names = "ABCDEFGHIJKLMNOPQRST";
    const std::string texts = "0123456789abcdefghij";
    for (std::size_t e = 1; e <= names.size(); ++e) {
        const std::string element = names.substr(0, e);
        const Settings s = settings_from(element + "=x\n");
        for (std::size_t v = 0; v <= texts.size(); ++v) {
            CardState card{{texts.substr(0, v)}};
            std::string out;
            ASSERT_TRUE(write_record(s, card, out));
            EXPECT_EQ(out, "<vcf>\r\n<" + element + ">" + texts.substr(0, v) + "</" + element + ">\r\n</vcf>\r\n")
                << e << " " << v;
        }
    }
}

TEST(WriteRecord, NoMappingsGiveEmptyRecords) {
    const Settings s;
    CardState card;
    std::string out;
    ASSERT_TRUE(write_record(s, card, out));
    EXPECT_EQ(out, "<vcf>\r\n</vcf>\r\n");
}

TEST(WriteRecord, ChangesStayOnTheStoredValuesUntilTheNextReset) {
    const Settings s = settings_from("SRC_IDENT-=IDENT:x\nTEL#=TEL\nNATIONAL#=X\n");
    // The constant field is Forbidden: empty as captured, filled once written.
    CardState card{{"", "+49 30 123 45 67  ", "603 123 456 "}};
    std::string first;
    ASSERT_TRUE(write_record(s, card, first));
    EXPECT_EQ(card.values, (std::vector<std::string>{"IDENT:x", "+49 301 234 567", "603 123 456"}));
    EXPECT_NE(first.find("<NATIONAL>603 123 456</NATIONAL>"), std::string::npos);
    std::string second;
    EXPECT_FALSE(write_record(s, card, second));
    EXPECT_TRUE(second.empty());
}

TEST(WriteRecord, GroupedNumberIsNotRegroupedBySecondEnd) {
    const Settings s = settings_from("TEL#=TEL\n");
    CardState card{{"+420 603 123 456 789"}};
    std::string out;
    ASSERT_TRUE(write_record(s, card, out));
    ASSERT_TRUE(write_record(s, card, out));
    EXPECT_EQ(card.values[0], "+420 603 123 456789");
}

TEST(WriteRecord, EscapesValuesButNotTheStoredText) {
    const Settings s = settings_from("COMPANY=ORG\nCONST_IDENT=a&b<c>\n");
    CardState card{{"Smith & Sons", ""}};
    std::string out;
    ASSERT_TRUE(write_record(s, card, out));
    EXPECT_NE(out.find("<COMPANY>Smith &amp; Sons</COMPANY>"), std::string::npos);
    EXPECT_NE(out.find("<CONST_IDENT>a&amp;b&lt;c&gt;</CONST_IDENT>"), std::string::npos);
    EXPECT_EQ(card.values[0], "Smith & Sons");
}

TEST(WriteRecord, RequiredConstantFieldIsTestedOnItsCapturedValue) {
    const Settings s = settings_from("SRC_IDENT*=book\n");
    CardState empty{{""}};
    std::string out;
    EXPECT_FALSE(write_record(s, empty, out));
    CardState captured{{"something"}};
    ASSERT_TRUE(write_record(s, captured, out));
    EXPECT_EQ(out, "<vcf>\r\n<SRC_IDENT>book</SRC_IDENT>\r\n</vcf>\r\n");
}

}  // namespace
}  // namespace quorlan
