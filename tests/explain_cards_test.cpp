// End-to-end runs of "quorlan --explain" on card files: its census of heads, its suggestions
// and warnings about values, and that its counts agree with what a real run writes.
#include "explain_support.h"

namespace {

using namespace e2e;
using namespace explain_test;

// Cards of seven lines each, as a phone exports them.
std::string named_cards(int count) {
    std::string cards;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Name" + n + ";Jan\r\nFN:Jan Name" + n + "\r\nTEL;TYPE=CELL:+420603" + n +
                 "\r\nEMAIL:j" + n + "@example.com\r\nEND:VCARD\r\n";
    }
    return cards;
}

const std::vector<ExplainCase>& card_file_cases() {
    static const std::vector<ExplainCase> table = {
        {"a card ended twice", "N=N:\nSRC_IDENT-=abc\n", "BEGIN:VCARD\nN:A\nEND:VCARD\nEND:VCALENDAR\n",
         {"  cards seen (lines beginning with \"END:\"): 2", "  lines beginning with \"BEGIN:VCARD\": 1",
          "  cards without a \"BEGIN:VCARD\" line of their own: 1 (they keep the values that were current)",
          "  records a run would write: 1", "    Forbidden mapping 2 <SRC_IDENT> found filled: 1"},
         {}},
        {"a file that ends inside a card, decoded", "DECODE=1\nN=N\n", card("N:A\r\n") + "BEGIN:VCARD\r\nFN:Eva\r\n",
         {"  the card begun on line 4, \"Eva\", has no END: line before the file ends: a run leaves it out, and warns "
          "(was the export cut off?)"},
         {}},
        {"no card, decoded", "DECODE=1\nN=N\n", "\r\n",
         {"  no card ended: a run fails and leaves the phonebook as it was (it holds only blank lines)"}, {}},
        {"a continuation line that ends the card", "NOTE=NOTE\nN*=N:\n",
         "BEGIN:VCARD\nN:A\nNOTE;ENCODING=QUOTED-PRINTABLE;=\nEND:VCARD\nEND:VCARD\n",
         {"  cards seen (lines beginning with \"END:\"): 2", "  records a run would write: 2",
          "    mapping 1 <NOTE>: 2 of 2"},
         {}},
        {"a soft line break ended by an empty line", "O=ORG\n",
         card("NOTE;ENCODING=QUOTED-PRINTABLE:abc=\r\n\r\nORG:Firm\r\n"),
         {"       1      1  \"ORG\"                           mapping 1 <O>",
          "  not heads: 1 continuation line (folded, base64 data, quoted-printable soft line breaks, pieces of long "
          "lines, values of the \";=\" rule) and 0 empty lines"},
         {}},
        {"a \"=\" before a space when decoding", "DECODE=1\nM=TEL;CELL\n",
         card("NOTE;ENCODING=QUOTED-PRINTABLE:abc= \r\nTEL;CELL:1\r\n"),
         {"       1      1  \"TEL;CELL\"                      mapping 1 <M>"},
         {}},
        {"a clean export says nothing false", "MOBILE=TEL;CELL\n",
         card("N:A\r\nTEL;CELL;PREF:1\r\nTEL;CELL:2\r\n") + "\r\n" + card("N:B\r\n"),
         {"  not heads: 0 continuation lines (folded, base64 data, quoted-printable soft line breaks, pieces of long "
          "lines, values of the \";=\" rule) and 1 empty line",
          "    filled more than once in 1 card, where the last value wins: card 1: \"1\" (line 3), then \"2\" (line 4)"},
         {"whole next line"},
         "",
         {"Cards in \"import.vcf\"\n  cards seen (lines beginning with \"END:\"): 2\n  lines beginning with "
          "\"BEGIN:VCARD\": 2\n  records a run would write: 2\n  cards left out: 0\n  written records in which the "
          "value is not empty:\n    mapping 1 <MOBILE>: 1 of 2\n",
          "Values and lines a run would write wrong\n  none found\n"}},
        {"suggestions take heads of the mapping's property and kind only", "MOBILE=TEL;CELL\n",
         card("N:A\r\nTEL;HOME:1\r\nTEL;TYPE=CELL:2\r\nEMAIL:a@b\r\n") +
             card("N:B\r\nEMAIL:c@d\r\nTEL;WORK:3\r\nTEL;TYPE=CELL:4\r\n"),
         {},
         {},
         "",
         {"What each mapping takes\n  mapping 1 <MOBILE> \"TEL;CELL\": takes no line\n"
          "    with DECODE=1, as it stands, it would take 2 lines\n"
          "    suggestion: MOBILE=TEL;TYPE=CELL would take 2 lines\n"}},
        {"an example of a long value starts with its first byte", "NOTE-=NOTE\n",
         card("NOTE:abc" + std::string(50, 'n') + "\r\n"),
         {"    card 1: Forbidden <NOTE> holds \"abc" + std::string(37, 'n') + "\"... (no other value)"},
         {}},
        {"the heads a prefix of mixed kinds takes", "W=TEL;WORK\n",
         card("TEL;WORK;VOICE:1\r\n") + card("TEL;WORK;VOICE:2\r\n") + card("TEL;WORK;FAX:3\r\n"), {}, {}, "",
         {"Values and lines a run would write wrong\n  1 line of another kind than most lines their mapping takes: one "
          "prefix takes lines of different kinds, and a record holds whichever came last; give each kind a mapping of "
          "its own\n    mapping 1 <W> takes \"TEL;WORK;VOICE\" (2), \"TEL;WORK;FAX\" (1)\n"}},
        {"a soft line break in lower case", "N=N:\n", card("note;encoding=quoted-printable:Call=\r\nme at 10:30\r\n"),
         {"       1      1  \"note;encoding=quoted-printable\" none",
          "  not heads: 1 continuation line (folded, base64 data, quoted-printable soft line breaks, pieces of long "
          "lines, values of the \";=\" rule) and 0 empty lines"},
         {"\"me at 10\""}},
        {"a soft line break before the end of a card", "W=TEL;WORK\n",
         card("ADR;ENCODING=QUOTED-PRINTABLE:;;=\r\n") + card("TEL;WORK;FAX:1\r\n"),
         {"       1      1  \"TEL;WORK;FAX\"                  mapping 1 <W>"},
         {}},
        {"a piece of a long line that begins with END: is text, not a card end", "N=N:\n",
         "BEGIN:VCARD\nNOTE:" + std::string(1994, 'x') + "END:VCARD\nN:A\nEND:VCARD\n",
         {"  cards seen (lines beginning with \"END:\"): 1", "  not heads: 1 continuation line (folded, base64 data, quoted-printable soft line breaks, pieces of long "
          "lines, values of the \";=\" rule) and 0 empty lines"},
         {"longer than 1999 bytes"}},
        {"only the first cards left out are listed", "NOTE-=NOTE\n", many_cards(25),
         {"  cards left out: 25", "  the first 20 cards left out, numbered as seen:",
          "    card 20: Forbidden <NOTE> holds \"" + std::string(40, 'n') + "\"... (no other value)"},
         {"card 21:"}},
        {"many distinct heads are counted, not kept", "N=N:\n", "BEGIN:VCARD\n" + many_heads(4100) + "END:VCARD\n",
         {"  and 3960+ more heads in 4060 lines"}, {}},
        {"one head beyond the table", "N=N:\n", "BEGIN:VCARD\n" + many_heads(41) + "END:VCARD\n",
         {"  and 1 more head in 1 line"}, {}},
        {"the README's suggestion", "MOBILE=TEL;CELL\n",
         card("TEL;CELL:1\r\n") + card("TEL;TYPE=CELL:2\r\n") + card("TEL;TYPE=CELL:3\r\n"),
         {"    suggestion: MOBILE=TEL;TYPE=CELL would take 2 lines"}, {}},
        {"a shorter prefix that takes several heads at once", "MOBILE=TEL;CELL\n",
         card("TEL;TYPE=CELL,VOICE:1\r\n") + card("TEL;TYPE=CELL;PREF:2\r\n"), {}, {}, "",
         {"What each mapping takes\n  mapping 1 <MOBILE> \"TEL;CELL\": takes no line\n"
          "    with DECODE=1, as it stands, it would take 2 lines\n"
          "    suggestion: MOBILE=TEL;TYPE=CELL,VOICE would take 1 line\n"
          "    suggestion: MOBILE=TEL;TYPE=CELL; would take 1 line\n"
          "    suggestion, all at once: MOBILE=TEL;TYPE=CELL would take 2 lines of 2 heads; in a card with several, "
          "the last wins, and a later mapping gets none of these lines: put longer prefixes first\n"}},
        {"with decoding, a suggestion leaves out the type no line has", "DECODE=1\nWORK=TEL;WORK;VOICE\n",
         card("TEL;WORK:1\r\n") + card("TEL;WORK:2\r\n"), {"    suggestion: WORK=TEL;WORK would take 2 lines"}, {}},
        {"a prefix that takes every head of its property needs no suggestion", "PHONE=TEL\n",
         card("TEL:1\r\n") + card("TEL;CELL:2\r\n") + card("N:a\r\n") + card("N:b\r\n") + card("N:c\r\n"),
         {"    heads \"TEL\" (1), \"TEL;CELL\" (1)"}, {"suggestion", "more head"}},
        {"N takes NOTE too", "NAME=N\n", card("N:A\r\n") + card("NOTE:x\r\n"),
         {"  1 line of another kind than most lines their mapping takes: one prefix takes lines of different kinds, "
          "and a record holds whichever came last; give each kind a mapping of its own"},
         {}},
        {"a vCard 2.1 address broken after \";;=\"", "A=ADR\n",
         card("ADR;ENCODING=QUOTED-PRINTABLE:;;=\r\nStreet 1\r\n"), {"    and 1 whole next line by the \";=\" rule"}, {}},
        {"a quoted property name is read as a run reads it", "DECODE=1\nMOBILE=TEL;CELL\n", card("\"TEL\";CELL:1\r\n"),
         {"  mapping 1 <MOBILE> \"TEL;CELL\": takes 1 line, filled in 1 of 1 card"}, {"suggestion"}},
        {"a UTF-16 card file", "N=N:\n", std::string("\xFF\xFE" "B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\n\0N\0:\0A\0\n\0E\0N\0D\0:\0\n\0", 44),
         {"  the file is UTF-16 LE, converted to UTF-8 as it is read", "  records a run would write: 1"}, {}},
        {"with decoding, lines are counted by meaning, first values stay, heads are checked",
         "DECODE=1\nM#=TEL;CELL\nX=TEL CELL\nE=EMAIL\nC#=TEL;TYPE=cell,voice\n",
         "BEGIN:VCARD\nTEL;TYPE=CELL:1\nTEL;type=VOICE;type=cell:2\nEND:VCARD\nBEGIN:VCARD\nEMAIL:a\nEMAIL;PREF=1:b\n"
         "END:VCARD\n",
         {"  line 3: the prefix \"TEL CELL\" is not a property head (the property name holds a space): with DECODE=1 it "
          "matches no card line",
          "  line 5: the prefix \"TEL;TYPE=cell,voice\" names only lines that the prefix \"TEL;CELL\" of mapping 1 "
          "(line 2) names too, and a line feeds only the first mapping that takes it: put this line before it",
          "       1      1  \"TEL;CELL;VOICE\"                mapping 1 <M> (TEL;type=VOICE;type=cell 1)",
          "       2      1  \"EMAIL\"                         mapping 3 <E> (EMAIL 1, EMAIL;PREF=1 1)",
          "       1      1  \"TEL;CELL\"                      mapping 1 <M> (TEL;TYPE=CELL 1)",
          "    a later line dropped in 1 card, as the first value stays: card 1: \"1\" (line 2) kept, \"2\" (line 3) "
          "dropped",
          "    a preferred line replaced the first value in 1 card: card 2: \"a\" (line 6), then \"b\" (line 7)"},
         {}},
        {"suggestions keep the mapping's types and never take the same lines; DECODE=1 is counted",
         "M#=TEL;CELL\nC#=TEL;CELL\nW#=TEL;WORK\n",
         "BEGIN:VCARD\nTEL;TYPE=CELL:1\nTEL;TYPE=WORK:2\nEND:VCARD\n",
         {"    with DECODE=1, as it stands, it would take 1 line", "    suggestion: M#=TEL;TYPE=CELL would take 1 line",
          "    suggestion: W#=TEL;TYPE=WORK would take 1 line"},
         {"M#=TEL would", "C#=TEL;TYPE=CELL"}},
        {"a UTF-16 file's declared charsets are not applied", "DECODE=1\nN=N\n",
         std::string("\xFF\xFE" "N\0;\0C\0H\0A\0R\0S\0E\0T\0=\0X\0:\0A\0\n\0E\0N\0D\0:\0\n\0", 38),
         {"  1 line declares a charset, which is not applied: the card file is UTF-16, so its text is Unicode already"},
         {"not known here"}},
        {"a card embedded in an AGENT line", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN:Olga\nAGENT:\nBEGIN:VCARD\nN:Adam\nEND:VCARD\nEND:VCARD\n",
         {"  cards embedded in an AGENT line of another card: 1 (part of that card's value: they feed no field and "
          "end no card)",
          "  records a run would write: 1"},
         {}},
        {"at most 20 charsets are listed", "DECODE=1\nN=N\n", many_charsets(25),
         {"  \"X-20\": 1 line, not known here, read as if not declared",
          "  and 5 more lines with other charsets, not listed"},
         {"X-21"}},
        {"alternatives and Apple labels with DECODE=1", "DECODE=1\nN=N|FN|ORG\nM=TEL;CELL\n",
         card("FN:A\r\nitem1.TEL:1\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\n") + card("ORG:B\r\n") + card("N:C\r\nFN:C\r\n"),
         {"    cards filled by each alternative: \"N\" 1, \"FN\" 1, \"ORG\" 1",
          "       1      1  \"TEL;CELL\"                      mapping 2 <M> (item1.TEL 1)"},
         {"of another kind", "\"TEL\" "}},
        {"undeclared 8-bit text: the code page it fits", "DECODE=1\nN=N\n",
         card("N:\xD0\xE1\xF0\xE1\xE4\xDC\xEA\xE7\xF2;\xC3\xE9\xFE\xF1\xE3\xEF\xF2\r\n"),
         {"  its letters fit windows-1253 best: add the line \"CODEPAGE=1253\" to quorlan.ini"}, {}},
        {"the same without DECODE=1", "N=N\n",
         card("N:\xD0\xE1\xF0\xE1\xE4\xDC\xEA\xE7\xF2;\xC3\xE9\xFE\xF1\xE3\xEF\xF2\r\n"),
         {"  1 line holds 8-bit text that is neither UTF-8 nor windows-1250: its letters fit windows-1253 best; with "
          "DECODE=1, the line \"CODEPAGE=1253\" reads it"},
         {}},
        {"Russian in windows-1251 is not Hebrew", "DECODE=1\nN=N\nO=ORG\n",
         card("N:\xCF\xE5\xF2\xF0\xEE\xE2;\xC8\xE2\xE0\xED\r\nORG:\xC3\xE0\xE7\xEF\xF0\xEE\xEC\r\n"),
         {"  its letters fit windows-1251 best: add the line \"CODEPAGE=1251\" to quorlan.ini"}, {}},
        {"Serbian in windows-1251, whose letter Dje is the byte 0x80", "DECODE=1\nN=N\n",
         card("N:\x80\xF3\xEA\xE8\x9E;\x80\xF3\xF0\xEE\r\n"),
         {"  its letters fit windows-1251 best: add the line \"CODEPAGE=1251\" to quorlan.ini"}, {}},
        {"French and Spanish in windows-1252", "DECODE=1\nN=N\n",
         card("N:M\xFCller;Fran\xE7ois\r\n") + card("N:\xD1\xFA\xF1" "ez;Jos\xE9\r\n"),
         {"  its letters fit windows-1252 best: add the line \"CODEPAGE=1252\" to quorlan.ini"}, {}},
        // The program's oldest input: accented names in windows-1250 are read right as they are.
        {"a windows-1250 export without DECODE=1", "NAME=N:\nCOMPANY=ORG\n",
         card("N:Nov\xE1k;Jan\r\n") + card("N:Dvo\xF8\xE1kov\xE1;Jana\r\nORG:\x8A. \xC8" "ern\xFD\r\n"), {}, {}, "",
         {"Values and lines a run would write wrong\n  none found\n"}},
        {"a UTF-8 document and a declared UTF-8", "DECODE=1\nUTF8=1\nN=N\n", card("N;CHARSET=UTF-8:Nov\xC3\xA1k\r\n"),
         {"    holds \"UTF8=\": UTF-8 switch, number 1, a UTF-8 document (with DECODE=1)"}, {}, "",
         {"Charsets card lines declare\n  \"UTF-8\": 1 line, decoded\n"}},
        // Beyond the lines remembered of one card: each card's lines are forgotten at its end.
        {"more than a thousand lines with alternatives, and Apple labels that differ",
         "DECODE=1\nNAME*=N|FN|ORG\nFULL=FN|N\nMOBILE#=TEL;CELL\nHOME#=TEL;HOME\n", named_cards(150) +
             card("N:A\r\nitem1.TEL:1\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\n") +
             card("N:B\r\nitem1.TEL:2\r\nitem1.X-ABLabel:_$!<Home>!$_\r\n") + card("N:\xCF\xE5\xF2\xF0\xEE\xE2\r\n"),
         {"     153    153  \"N\"                             mapping 1 <NAME>",
          "     151    151  \"TEL;CELL\"                      mapping 3 <MOBILE> (TEL;TYPE=CELL 150, item1.TEL 1)",
          "       1      1  \"TEL;HOME\"                      mapping 4 <HOME> (item1.TEL 1)",
          "  mapping 3 <MOBILE> \"TEL;CELL\": takes 151 lines, filled in 151 of 153 cards",
          "    card 153, line 1062: \"\\xC4\\x8E\\xC4\\xBA\\xC5\\x88\\xC4\\x91\\xC3\\xAE\\xC3\\xA2\""},
         {"of the lines"}},
        {"declared charsets with DECODE=1", "DECODE=1\nUTF8=1\nN=N\n",
         card("N;CHARSET=SHIFT_JIS:\x88\xC0\r\n") + card("N;CHARSET=Shift_JIS:\x88\xC0\r\n"),
         {"  document in:      UTF-8 (line 2)",
          "  \"SHIFT_JIS\": 2 lines, decoded as Windows code page 932 (Shift_JIS as phones write it)"},
         {}},
    };
    return table;
}

TEST(Explain, EachCardFileReport) {
    for (const ExplainCase& c : card_file_cases()) {
        SCOPED_TRACE(c.title);
        check_case(c);
    }
}

// The number of records and the values that --explain reports must be what a real run
// writes, for any input: it watches the run's own loop rather than repeating its rules.
std::size_t reported(const std::string& out, const std::string& label) {
    for (const std::string& line : lines_of(out)) {
        if (line.rfind(label, 0) == 0) return std::stoul(line.substr(label.size()));
    }
    ADD_FAILURE() << "no line " << label << " in\n" << out;
    return 0;
}

std::vector<std::string> record_lines(const std::string& xml) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = xml.find("\r\n", from)) != std::string::npos; from = end + 2) {
        lines.push_back(xml.substr(from, end - from));
    }
    return lines;
}

std::vector<fs::path> card_files() {
    std::vector<fs::path> files = {fs::path(QUORLAN_EXAMPLES) / "contacts.vcf",
                                   fs::path(QUORLAN_TEST_DATA) / "names_utf8.vcf",
                                   fs::path(QUORLAN_TEST_DATA) / "names_cp1250.vcf"};
    if (fs::is_directory(QUORLAN_VCARDS)) {
        for (const auto& entry : fs::recursive_directory_iterator(QUORLAN_VCARDS)) {
            if (entry.path().extension() == ".vcf") files.push_back(entry.path());
        }
    }
    std::sort(files.begin() + 3, files.end());
    return files;
}

TEST(Explain, CountsAgreeWithARealRun) {
    struct Config {
        const char* text;
        std::vector<std::string> elements;  // in mapping order, each name once
    };
    const std::vector<Config> configs = {
        {"ASCII=1\nNAME*=N:\nMOBILE#=TEL;CELL\nCOMPANY-=ORG\nSOURCE_IDENT=addressbook\n",
         {"NAME", "MOBILE", "COMPANY", "SOURCE_IDENT"}},
        {"FN*=FN\nTEL#=TEL\nMAIL-=EMAIL\nNOTE=NOTE\nADR=ADR\nX_IDENT-=x\n", {"FN", "TEL", "MAIL", "NOTE", "ADR", "X_IDENT"}},
        {"DECODE=1\nNAME*=N\nMOBILE#=TEL;TYPE=CELL\nEMAIL=EMAIL\nCOMPANY-=ORG\n", {"NAME", "MOBILE", "EMAIL", "COMPANY"}},
    };
    std::size_t records = 0;
    for (const fs::path& file : card_files()) {
        for (const Config& config : configs) {
            SCOPED_TRACE(file.string() + " with " + config.text);
            Folder f;
            f.write("quorlan.ini", config.text);
            fs::copy_file(file, f.dir() / "import.vcf");
            const RunResult explained = explain(f);
            ASSERT_EQ(explained.status, 0) << explained.err;
            // Decoded, a file in which no card ends fails the run, as the report says.
            const RunResult run = f.run();
            if (run.status == 1 && run.err.find("holds no card") != std::string::npos) {
                EXPECT_NE(explained.out.find("no card ended: a run fails and leaves the phonebook as it was"),
                          std::string::npos);
                continue;
            }
            ASSERT_EQ(run.status, 0) << run.err;
            const std::vector<std::string> xml = record_lines(f.read("import.xml"));

            const auto written = static_cast<std::size_t>(std::count(xml.begin(), xml.end(), "<vcf>"));
            EXPECT_EQ(reported(explained.out, "  records a run would write: "), written);
            records += written;
            for (std::size_t j = 0; j < config.elements.size(); ++j) {
                const std::string& e = config.elements[j];
                const std::string start = "<" + e + ">";
                const auto filled = static_cast<std::size_t>(std::count_if(xml.begin(), xml.end(), [&](const std::string& l) {
                    return l.rfind(start, 0) == 0 && l != start + "</" + e + ">";
                }));
                EXPECT_EQ(reported(explained.out, "    mapping " + std::to_string(j + 1) + " <" + e + ">: "), filled);
            }
        }
    }
    EXPECT_GT(records, 0u);
    // The example files alone have been tried: the summary must say that the corpus was not.
    if (!fs::is_directory(QUORLAN_VCARDS)) GTEST_SKIP() << "no card corpus at " << QUORLAN_VCARDS;
}

}  // namespace

namespace {

// The count at the start of the warning line that holds `words`, 0 when there is none.
std::size_t warning_count(const std::string& out, const std::string& words) {
    const std::size_t section = out.find("\nValues and lines a run would write wrong\n");
    if (section == std::string::npos) return 0;
    for (const std::string& line : lines_of(out.substr(section))) {
        if (line.rfind("  ", 0) == 0 && line[2] != ' ' && line.find(words) != std::string::npos) {
            return std::strtoul(line.c_str() + 2, nullptr, 10);
        }
    }
    return 0;
}

TEST(Explain, CountsEachKindOfValueThatComesOutWrong) {
    struct Case {
        const char* config;
        std::string cards;
        const char* words;  // of the warning
        std::size_t count;
        std::size_t other_warnings = 0;  // in the section besides it
    };
    const std::string qp_name = card("N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C5=98eho=C5=99;Jan\r\n");
    const std::vector<Case> cases = {
        {"N=N;\n", qp_name + qp_name, "quoted-printable text left encoded", 2},
        {"N=N;\nDECODE=1\n", qp_name, "quoted-printable", 0},
        {"A=ADR\n", card("ADR;ENCODING=QUOTED-PRINTABLE:;;=\r\nStreet 1\r\n"), "by the \";=\" rule", 1},
        {"O=ORG\nN=NOTE\n", card("ORG:Firm\\, Ltd.\r\nNOTE:a\\nb\r\n"), "vCard escapes", 2},
        {"O=ORG\nDECODE=1\n", card("ORG:Firm\\, Ltd.\r\n"), "vCard escapes", 0},
        {"N=NOTE\n", card("NOTE:first half\r\n second half\r\n"), "folded line", 1},
        {"N=N:\n", card("N:;Jan;;;\r\n") + card("N:Novak;Jan\r\n"), "beginning with a space", 1},
        {"N#=TEL\n", card("TEL: +420 603 123 456\r\n"), "beginning with a space", 1},  // and not grouped
        {"N=N:\n", card("N:\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\n"), "not converted to windows-1250", 1},
        {"N=N:\n", card("N:\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\n"), "DECODE=1 writes them right", 1},
        {"N=N;\nDECODE=1\n", card("N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=98=D0=B2\r\n"),
         "not converted to windows-1250", 0, 1},  // written as references instead
        {"N=N;\nDECODE=1\n", card("N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=98=D0=B2\r\n"),
         "written as character references", 1},
        {"N=N;\nDECODE=1\nUTF8=1\n", card("N;CHARSET=UTF-8:\xD0\x98\r\n"), "written as character references", 0},
        {"N=N\nDECODE=1\n", card("N;CHARSET=X-NONE:a\r\n") + card("N;charset=x-none:b\r\n"), "not known here", 2},
        {"N=N\nDECODE=1\n", card("N;CHARSET=windows-1251:\xC8\xE2\xE0\xED\r\n") + card("N:\xC8\xE2\xE0\xED\r\n"),
         "neither UTF-8", 1, 1},
        {"N=N:\n", card("N:\xC3\x80nna\r\n"), "written as \"_\"", 1},
        {"N=N:\n", card("N:\xC8\xE2\xE0\xED\xEE\xE2\r\n") + card("N:\xD8" "eho\xF8 Ji\xF8\xED\r\n"), "neither UTF-8", 1},
        // A vCard 2.1 card declares its charset on a line no mapping takes, once after a
        // parameter with a quoted ":".
        {"N=N\nDECODE=1\nUTF8=1\n",
         card("FN;CHARSET=WINDOWS-1251:\xCF\xE5\xF2\xF0\xEE\xE2\r\nN:\xCF\xE5\xF2\xF0\xEE\xE2;\xC8\xE2\xE0\xED\r\n") +
             card("N:\xF0\xC5\xD4\xD2\xCF\xD7\r\nX-FOO;X=\"a:b\";CHARSET=KOI8-R:x\r\n"),
         "neither UTF-8", 0},
        {"W=TEL;WORK\n", card("TEL;WORK;VOICE:1\r\n") + card("TEL;WORK;VOICE:2\r\n") + card("TEL;WORK;FAX:3\r\n"),
         "of another kind", 1},
        {"M#=TEL;CELL\nDECODE=1\n", card("TEL;CELL:1\r\nTEL;CELL:1 \r\nTEL;CELL:2\r\nTEL;PAGER:3\r\n"),
         "reach no field", 2},
        {"M#[]=TEL;CELL\nT[]=TEL\nDECODE=1\n", card("TEL;CELL:1\r\nTEL;CELL:2\r\nTEL;PAGER:3\r\n"),
         "reach no field", 0},
        {"N=N:\n", "begin:vcard\r\nN:A\r\nEnd:VCARD\r\n", "card lines in lower or mixed case", 2, 1},
        {"N=N:\n", "begin:vcard\r\nN:A\r\nEND:VCARD\r\n", "card line in lower or mixed case", 1},
        {"N=N:\n", "BEGIN:VCARD\rN:A\rEND:VCARD\r", "line with a CR inside", 1, 1},
        {"N=N:\n", "\xEF\xBB\xBF" + card("N:A\r\n"), "first line after a UTF-8 byte-order mark", 1},
        {"N=NOTE\n", card("NOTE;ENCODING=QUOTED-PRINTABLE:caf=c3=a9\r\n"), "quoted-printable text left encoded", 1},
        {"N=NOTE\n", card("NOTE;ENCODING=QUOTED-PRINTABLE:1+1=2 OK\r\n"), "quoted-printable", 0},
        {"N=N:\n", "hello\r\nworld\r\n", "but no card", 2},
        {"N=N:\n", card("N:Jan \xF0\x9F\x98\x80\r\n"), "not converted to windows-1250", 1},
        {"N=N:\n", card("N:\xE0\xB8\x81\xE0\xB8\x82\xE0\xB8\x84\r\n"), "not converted to windows-1250", 1},
        {"N=N:\n", card("N:Jan \xDF\x8A\r\n"), "not converted to windows-1250", 1},
        {"N=N:\n", card("N:\x82\xA0\x82\xA2\r\n"), "neither UTF-8", 1},
        {"N=NOTE\n", card("NOTE:\\nHello\r\n"), "vCard escapes", 1},
        {"N=NOTE\n", card("NOTE:a\\Nb\r\n"), "vCard escapes", 1},
        {"N=NOTE\n", card("NOTE:C\\\\x\r\n"), "vCard escapes", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.config) + c.cards);
        Folder f;
        f.write("quorlan.ini", c.config);
        f.write("import.vcf", c.cards);
        const RunResult r = explain(f);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(warning_count(r.out, c.words), c.count) << r.out;
        // ... and nothing else is wrong.
        std::size_t warnings = 0;
        for (const std::string& line : lines_of(section_of(r.out, "Values and lines a run would write wrong"))) {
            if (line.rfind("  ", 0) == 0 && line[2] != ' ' && line != "  none found") ++warnings;
        }
        EXPECT_EQ(warnings, (c.count == 0 ? 0u : 1u) + c.other_warnings) << r.out;
    }
}

// Undeclared windows-1251 text: the report calls it wrong exactly when CODEPAGE= leaves the
// run writing what it writes without that line, as a code page not known here does.
TEST(Explain, ForeignTextIsWrongWhenTheRunWritesItWrong) {
    const std::string cards = card("N:\xC8\xE2\xE0\xED\xEE\xE2;\xC8\xE2\xE0\xED\r\n");
    const auto phonebook = [&](const std::string& config) {
        Folder f;
        f.write("quorlan.ini", "DECODE=1\nN=N\n" + config);
        f.write("import.vcf", cards);
        EXPECT_EQ(f.run().status, 0);
        return std::make_pair(f.read("import.xml"), warning_count(explain(f).out, "neither UTF-8"));
    };
    const auto [garbled, garbled_count] = phonebook("");
    EXPECT_EQ(garbled_count, 1u);
    for (const char* codepage : {"CODEPAGE=9999\n", "CODEPAGE=1251\n"}) {
        SCOPED_TRACE(codepage);
        const auto [written, count] = phonebook(codepage);
        EXPECT_EQ(count, written == garbled ? 1u : 0u);
    }
}

}  // namespace

namespace {

struct HeadRow {
    std::size_t lines = 0, cards = 0;
    std::string taken_by;
};

// The row of the heads table for `head`, as shown in quotes.
HeadRow head_row(const std::string& out, const std::string& head) {
    for (const std::string& line : lines_of(out)) {
        std::istringstream in(line);
        HeadRow row;
        std::string rest;
        if (!(in >> row.lines >> row.cards) || !std::getline(in >> std::ws, rest)) continue;
        if (rest.rfind(head + " ", 0) != 0) continue;
        row.taken_by = rest.substr(rest.find_first_not_of(' ', head.size()));
        return row;
    }
    ADD_FAILURE() << "no row for " << head << " in\n" << out;
    return {};
}

TEST(Explain, CensusOfARealExport) {
    const fs::path file = fs::path(QUORLAN_VCARDS) / "mangstadt-ez-vcard" / "John_Doe_ANDROID.vcf";
    if (!fs::exists(file)) GTEST_SKIP() << "no card corpus at " << QUORLAN_VCARDS;
    Folder f;
    f.write("quorlan.ini", "NAME=N;\nMOBILE#=TEL;CELL\n");
    fs::copy_file(file, f.dir() / "import.vcf");
    const RunResult r = explain(f);
    ASSERT_EQ(r.status, 0) << r.err;
    struct Row {
        const char* head;
        std::size_t lines, cards;
        const char* taken_by;
    };
    for (const Row& want : {Row{"\"VERSION\"", 6, 6, "none"}, Row{"\"TEL;CELL;PREF\"", 4, 4, "mapping 2 <MOBILE>"},
                            Row{"\"TEL;CELL\"", 1, 1, "mapping 2 <MOBILE>"}, Row{"\"TEL;HOME\"", 2, 1, "none"},
                            Row{"\"N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE\"", 4, 4, "mapping 1 <NAME>"}}) {
        const HeadRow row = head_row(r.out, want.head);
        EXPECT_EQ(row.lines, want.lines) << want.head;
        EXPECT_EQ(row.cards, want.cards) << want.head;
        EXPECT_EQ(row.taken_by, want.taken_by) << want.head;
    }
    const std::vector<std::string> lines = lines_of(r.out);
    EXPECT_TRUE(has_line(lines, "  mapping 2 <MOBILE> \"TEL;CELL\": takes 5 lines, filled in 4 of 6 cards")) << r.out;
    EXPECT_TRUE(has_line(lines, "    heads \"TEL;CELL;PREF\" (4), \"TEL;CELL\" (1)")) << r.out;
}

// Every first suggestion for a mapping, written into quorlan.ini in its place, takes the
// lines it promised.
TEST(Explain, SuggestionsTakeTheLinesTheyPromise) {
    const std::vector<std::string> mappings = {"NAME*=N:", "MOBILE#=TEL;TYPE=CELL", "EMAIL=EMAIL", "COMPANY=ORG:"};
    const std::string suggestion = "    suggestion: ";
    std::size_t tried = 0;
    for (const std::string switches : {"ASCII=1\n", "ASCII=1\nDECODE=1\n"})
    for (const fs::path& file : card_files()) {
        SCOPED_TRACE(file.string() + " " + switches);
        Folder f;
        std::string config = switches;
        for (const std::string& mapping : mappings) config += mapping + "\n";
        f.write("quorlan.ini", config);
        fs::copy_file(file, f.dir() / "import.vcf");
        const RunResult r = explain(f);
        ASSERT_EQ(r.status, 0) << r.err;
        std::size_t mapping = 0;
        for (const std::string& line : lines_of(r.out)) {
            if (line.rfind("  mapping ", 0) == 0) mapping = std::stoul(line.substr(10));
            if (line.rfind(suggestion, 0) != 0 || line.find('\\') != std::string::npos) continue;
            const std::size_t would = line.find(" would take ");
            const std::string replacement = line.substr(suggestion.size(), would - suggestion.size());
            const std::size_t promised = std::stoul(line.substr(would + 12));
            std::string changed = switches;
            for (std::size_t j = 0; j < mappings.size(); ++j) changed += (j + 1 == mapping ? replacement : mappings[j]) + "\n";
            f.write("quorlan.ini", changed);
            const RunResult again = explain(f);
            const std::string taken = "  mapping " + std::to_string(mapping) + " <";
            for (const std::string& result : lines_of(again.out)) {
                if (result.rfind(taken, 0) != 0 || result.find(" takes ") == std::string::npos) continue;
                const std::size_t takes = result.find("takes no line") != std::string::npos
                                              ? 0
                                              : std::stoul(result.substr(result.find(" takes ") + 7));
                EXPECT_EQ(takes, promised) << line << "\n" << again.out;
            }
            ++tried;
            break;
        }
    }
    if (!fs::is_directory(QUORLAN_VCARDS)) GTEST_SKIP() << "no card corpus at " << QUORLAN_VCARDS;
    EXPECT_GT(tried, 10u);
}

}  // namespace
