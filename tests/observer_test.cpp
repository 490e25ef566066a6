// The observers that let --explain watch the configuration reading and the conversion:
// they see every line and every card, and watching changes nothing that is read or written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/document.h"
#include "test_support.h"

namespace quorlan {
namespace {

using test_support::memory_sink;

struct SeenConfig {
    std::vector<std::string> lines;
    std::vector<LineKind> kinds;
    std::vector<bool> beyond;
    std::string rest;

    void operator()(std::string_view read, const ConfigLine& config, bool beyond_limit, bool) {
        lines.emplace_back(read);
        kinds.push_back(config.kind);
        beyond.push_back(beyond_limit);
    }
    void operator()(LineReader& rest_of_lines) {
        std::string line;
        while (read_line(rest_of_lines, line)) rest += line;
    }
};

bool same_settings(const Settings& a, const Settings& b) {
    if (a.input_base != b.input_base || a.output_base != b.output_base || a.fold_ascii != b.fold_ascii ||
        a.mappings.size() != b.mappings.size()) {
        return false;
    }
    for (std::size_t j = 0; j < a.mappings.size(); ++j) {
        const FieldMapping& x = a.mappings[j];
        const FieldMapping& y = b.mappings[j];
        if (x.element != y.element || x.prefix != y.prefix || x.condition != y.condition ||
            x.phone != y.phone || x.constant != y.constant) {
            return false;
        }
    }
    return true;
}

TEST(ConfigObserver, SeesEveryLineAsReadAndChangesNothing) {
    const std::string config = "a.vcf\r\nASCII=1\n[x]\nN*=N: \nb.xml";
    std::string_view plain_bytes = config;
    LineReader plain = make_line_reader(memory_source(plain_bytes));
    const Settings expected = read_settings(plain);

    SeenConfig seen;
    std::string_view bytes = config;
    LineReader reader = make_line_reader(memory_source(bytes));
    const Settings settings = read_settings(reader, ConfigObserver{seen, seen});
    EXPECT_TRUE(same_settings(settings, expected));
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"a.vcf\n", "ASCII=1\n", "[x]\n", "N*=N: \n", "b.xml"}));
    EXPECT_EQ(seen.kinds, (std::vector<LineKind>{LineKind::InputName, LineKind::FoldSwitch, LineKind::Ignored,
                                                 LineKind::Mapping, LineKind::OutputName}));
    EXPECT_EQ(seen.beyond, std::vector<bool>(5, false));
    EXPECT_TRUE(seen.rest.empty());
}

TEST(ConfigObserver, TheFiftyFirstMappingStopsTheReadingAndLeavesTheRest) {
    std::string config;
    for (int i = 0; i < 51; ++i) config.append("F").append(std::to_string(i)).append("=P\n");
    config += "late.vcf\nG=Q\n";
    SeenConfig seen;
    std::string_view bytes = config;
    LineReader reader = make_line_reader(memory_source(bytes));
    const Settings settings = read_settings(reader, ConfigObserver{seen, seen});
    EXPECT_EQ(settings.mappings.size(), kMaxMappings);
    EXPECT_EQ(settings.input_base, "import");
    ASSERT_EQ(seen.lines.size(), 51u);
    EXPECT_EQ(seen.lines.back(), "F50=P\n");
    EXPECT_TRUE(seen.beyond.back());
    EXPECT_FALSE(seen.beyond[49]);
    EXPECT_EQ(seen.rest, "late.vcf\nG=Q\n");
}

struct SeenCards {
    int begun = 0;
    std::vector<std::vector<std::string>> values;
    std::vector<bool> written;
};

struct SeeCards {
    SeenCards& seen;
    void operator()(const CardBegun&) const { ++seen.begun; }
    void operator()(const CardEnded& card) const {
        seen.values.emplace_back(card.values.begin(), card.values.end());
        seen.written.push_back(card.written);
    }
};

Settings settings_from(std::string_view config) {
    LineReader reader = make_line_reader(memory_source(config));
    return read_settings(reader);
}

TEST(ConversionObserver, SeesCapturedValuesOfCardsLeftOutAndWrittenValuesOfRecords) {
    const Settings settings = settings_from("N*=N:\nTEL#=TEL\nX_IDENT-=abc\n");
    const std::string cards =
        "BEGIN:VCARD\nN:A;B\nTEL:+420603123456\nEND:VCARD\nEND:VCARD\n"
        "BEGIN:VCARD\nTEL:1\nEND:VCARD\n";

    std::string_view plain_bytes = cards;
    LineReader plain = make_line_reader(memory_source(plain_bytes));
    std::string expected;
    const ConversionResult plain_result = convert_document(settings, "book", plain, memory_sink(expected));

    SeenCards seen;
    SeeCards see{seen};
    ConversionObserver observer;
    observer.card_begun = see;
    observer.card_ended = see;
    std::string_view bytes = cards;
    LineReader input = make_line_reader(memory_source(bytes));
    std::string out;
    const ConversionResult result = convert_document(settings, "book", input, memory_sink(out), observer);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(result.records_written, plain_result.records_written);
    EXPECT_EQ(result.cards_ended, 3u);

    EXPECT_EQ(seen.begun, 2);
    EXPECT_EQ(seen.written, (std::vector<bool>{true, false, false}));
    using Values = std::vector<std::string>;
    // The first end writes the card: the constant and the grouped number are stored, so
    // the second end sees the Forbidden constant filled and leaves the card out.
    EXPECT_EQ(seen.values[0], (Values{"A B", "+420 603 123 456", "abc"}));
    EXPECT_EQ(seen.values[1], (Values{"A B", "+420 603 123 456", "abc"}));
    EXPECT_EQ(seen.values[2], (Values{"", "1", ""}));
}

struct SeenLines {
    std::vector<std::string> lines;  // number, "+" for a piece, "=" after a soft break, ":" and the raw line
    std::vector<std::string> values;  // mapping, "+" for a continuation, ":" and the value
};

struct SeeLines {
    SeenLines& seen;
    void operator()(const CardLineFact& line) const {
        const char* joined = line.join == LineJoin::Piece ? "+" : line.join == LineJoin::SoftBreak ? "=" : "";
        seen.lines.push_back(std::to_string(line.number) + joined + ":" + std::string(line.raw));
    }
    // The values taken; those dropped or lost are told too, each with its outcome.
    void operator()(const ValueFact& value) const {
        if (value.outcome != ValueOutcome::Taken && value.outcome != ValueOutcome::Continuation) return;
        seen.values.push_back(std::to_string(value.mapping) +
                              (value.outcome == ValueOutcome::Continuation ? "+" : "") + ":" + std::string(value.value));
    }
};

SeenLines watch_lines(const Settings& settings, std::string_view cards) {
    SeenLines seen;
    SeeLines see{seen};
    ConversionObserver observer;
    observer.card_line = see;
    observer.value = see;
    LineReader input = make_line_reader(memory_source(cards));
    std::string out;
    convert_document(settings, "book", input, memory_sink(out), observer);
    return seen;
}

TEST(ConversionObserver, SeesEveryCardLineWithItsNumberAndEveryValueTaken) {
    const Settings settings = settings_from("N=N:\nA=ADR\nT#=TEL\n");
    // A long line arrives in two reads; a ";=" continuation line counts but is no card
    // line, and the line after it starts afresh; a line after a soft line break is told.
    const std::string long_line = "X-PHOTO:" + std::string(2100, 'p');
    const std::string long_note = "NOTE;QUOTED-PRINTABLE:" + std::string(2100, 'a') + "=";
    const std::string cards = "BEGIN:VCARD\r\nN:A;B \r\n" + long_line + "\nADR;QUOTED-PRINTABLE:x;=\nStreet;1\n\n" +
                              long_note + "\nb\nTEL:+420 1\nEND:VCARD";
    const SeenLines seen = watch_lines(settings, cards);
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"1:BEGIN:VCARD", "2:N:A;B", "3:" + long_line.substr(0, kMaxLineBytes),
                                                    "3+:" + long_line.substr(kMaxLineBytes),
                                                    "4:ADR;QUOTED-PRINTABLE:x;=", "6:", "7:" + long_note.substr(0, kMaxLineBytes),
                                                    "7+:" + long_note.substr(kMaxLineBytes), "8=:b", "9:TEL:+420 1", "10:END:VCARD"}));
    EXPECT_EQ(seen.values, (std::vector<std::string>{"0:A B", "1:x =", "1+:Street 1", "2:+420 1"}));
}

TEST(ConversionObserver, SeesLogicalLinesWhenDecoding) {
    const Settings settings = settings_from("DECODE=1\nN=N;\nNOTE=NOTE\n");
    const std::string cards =
        "begin:vcard\r\nN;QUOTED-PRINTABLE:J=C3=\r\n=A1n\r\nNOTE:a\\,\r\n  b\r\nEND:VCARD\r\n";
    const SeenLines seen = watch_lines(settings, cards);
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"1:begin:vcard", "2:N;QUOTED-PRINTABLE:J=C3=A1n",
                                                    "4:NOTE:a\\, b", "6:END:VCARD"}));
    // Decoded values are text: UTF-8.
    EXPECT_EQ(seen.values, (std::vector<std::string>{"0:J\xC3\xA1n", "1:a, b"}));
}

// Each value is told with what became of it: its mapping, outcome, line, and for a line
// that waited for the card's end, the alternative of the prefix that took it.
TEST(ConversionObserver, TellsWhatBecameOfEachValueWhenDecoding) {
    const Settings settings = settings_from("DECODE=1\nN=N|FN\nM#=TEL;CELL\nL[]=EMAIL\n");
    const std::string cards = "BEGIN:VCARD\nFN:Eva\nN:;;;;\nTEL;CELL:1\nTEL;CELL;PREF:2\nTEL;CELL:3\n"
                              "EMAIL:a@b\nEMAIL:a@b\nTEL;FAX:9\nEND:VCARD\n";
    static constexpr const char* kOutcomes[] = {"Taken",          "Continuation",     "DroppedEmpty", "DroppedFirstStays",
                                                "DroppedListHolds", "LostToKept", "LostUnnamed"};
    std::vector<std::string> seen;
    auto see = [&seen](const ValueFact& fact) {
        std::string text = fact.mapping == kNoField ? "-" : std::to_string(fact.mapping);
        text.append("/").append(kOutcomes[static_cast<int>(fact.outcome)]).append("@");
        text.append(std::to_string(fact.line));
        if (fact.waited) text.append("#").append(std::to_string(fact.alternative)).append("w");
        seen.push_back(text.append(":").append(fact.value));
    };
    ConversionObserver observer;
    observer.value = see;
    std::string_view bytes = cards;
    LineReader input = make_line_reader(memory_source(bytes));
    std::string out;
    convert_document(settings, "book", input, memory_sink(out), observer);
    EXPECT_EQ(seen, (std::vector<std::string>{"-/LostUnnamed@9:9", "0/Taken@2#1w:Eva", "1/Taken@4#0w:1",
                                              "1/LostToKept@4:1", "1/Taken@5#0w:2", "1/LostToKept@6:3",
                                              "1/DroppedFirstStays@6#0w:3", "2/Taken@7#0w:a@b",
                                              "2/DroppedListHolds@8#0w:a@b"}));
}

}  // namespace
}  // namespace quorlan
