// End-to-end runs of "quorlan --explain" on configurations: what it says about each rule
// and warning of quorlan.ini, and how it fails where a run would.
#include "explain_support.h"

namespace {

using namespace e2e;
using namespace explain_test;

const std::vector<ExplainCase>& configuration_cases() {
    static const std::vector<ExplainCase> table = {
        {"the example configuration", example("quorlan.ini"), example("contacts.vcf"),
         {"  configuration:    quorlan.ini, 7 lines read",
          "  input file:       \"contacts.vcf\" (line 1)",
          "  output file:      \"phonebook.xml\" (line 2)",
          "  document element: <phonebook>",
          "  ASCII folding:    on (line 3)",
          "  mappings:         4 (at most 50)",
          "  line 1: \"contacts.vcf\"",
          "    holds \".vcf\": names the input file \"contacts.vcf\" (everything before \".vcf\")",
          "    holds \".xml\": names the output file \"phonebook.xml\"",
          "    holds \"ASCII=\": folding switch, number 1, folding on",
          "    mapping 1: element <NAME>, prefix \"N:\" (2 bytes), Required (marker \"*\")",
          "    mapping 2: element <MOBILE>, prefix \"TEL;CELL\" (8 bytes), no condition, phone number (marker \"#\")",
          "    mapping 3: element <COMPANY>, prefix \"ORG\" (3 bytes), Forbidden (marker \"-\")",
          "    mapping 4: element <SOURCE_IDENT>, prefix \"addressbook\" (11 bytes), no condition, constant "
          "field (\"IDENT\" in the name): every record gets \"addressbook\"",
          "       4      4  \"N\"                             mapping 1 <NAME>",
          "       1      1  \"TEL;TYPE=CELL\"                 none"},
         {},
         "",
         {"Warnings\n  none\n",
          "Cards in \"contacts.vcf\"\n"
          "  cards seen (lines beginning with \"END:\"): 5\n"
          "  lines beginning with \"BEGIN:VCARD\": 5\n"
          "  records a run would write: 3\n"
          "  cards left out: 2\n"
          "  why (a card left out counts once for each reason it has):\n"
          "    Required mapping 1 <NAME> found empty: 1\n"
          "    Forbidden mapping 3 <COMPANY> found filled: 1\n"
          "  the cards left out, numbered as seen:\n"
          "    card 4: Forbidden <COMPANY> holds \"Zlutoucky kun s.r.o.\" (with <NAME> \"Kuzel Cenek\")\n"
          "    card 5: Required <NAME> is empty (with <MOBILE> \"+420 222 333 444\")\n"
          "  written records in which the value is not empty:\n"
          "    mapping 1 <NAME>: 3 of 3\n"
          "    mapping 2 <MOBILE>: 2 of 3\n"
          "    mapping 3 <COMPANY>: 0 of 3\n"
          "    mapping 4 <SOURCE_IDENT>: 3 of 3\n",
          "Values and lines a run would write wrong\n  none found\n"}},
        {"no configuration file", "", "BEGIN:VCARD\nEND:VCARD\n",
         {"  configuration:    no quorlan.ini here: the defaults hold",
          "  input file:       \"import.vcf\" (default)",
          "  output file:      \"import.xml\" (default: the input's name)",
          "  document element: <import>", "  ASCII folding:    off (default)",
          "  mappings:         0 (at most 50)", "  records a run would write: 1",
          "  no mappings: every record is written without elements"},
         {"Lines of quorlan.ini"}},
        {"the E-MAIL trap", "E-MAIL=EMAIL\nNAME=N:\n", kCards,
         {"    mapping 1: element <EMAIL>, prefix \"EMAIL\" (5 bytes), Forbidden (marker \"-\")",
          "  line 1: the \"-\" in \"E-MAIL\" is the Forbidden marker, not part of the name: the element is "
          "<EMAIL> and every card with a value for it is left out",
          "  records a run would write: 2", "    Forbidden mapping 1 <EMAIL> found filled: 1",
          "    card 1: Forbidden <EMAIL> holds \"jan@example.com\" (with <NAME> \"Novak Jan\")"},
         {}},
        {"a trailing minus is no trap", "COMPANY-=ORG\n", kCards,
         {"    Forbidden mapping 1 <COMPANY> found filled: 1"}, {"Forbidden marker, not part"}},
        {"ASCII with spaces is a mapping", "ASCII = 1\nascii=yes\n", kCards,
         {"    mapping 1: element <ASCII>, prefix \" 1\" (2 bytes), no condition",
          "  line 1: <ASCII> is a field, not the switch \"ASCII=\" (which folds accented letters to ASCII), and "
          "the switch stays off: write \"ASCII=1\", spelled so, with nothing between \"ASCII\" and \"=\"",
          "    holds \"ASCII=\": folding switch, number 0, folding off",
          "  line 2: no number after \"ASCII=\": it counts as 0, folding off",
          "  ASCII folding:    off (line 2)"},
         {}},
        {"switches mistyped, or named as vCard does", "DECOD=1\nACSII=1\nENCODING=UTF-8\nDECODED=1\nUTF16=1\nASCIZ=1\n",
         kCards,
         {"  line 1: <DECOD> is a field, not the switch \"DECODE=\" (which reads the card file as vCard readers do), "
          "and the switch stays off: write \"DECODE=1\", spelled so, with nothing between \"DECODE\" and \"=\"",
          "  line 2: <ACSII> is a field, not the switch \"ASCII=\" (which folds accented letters to ASCII), and "
          "the switch stays off: write \"ASCII=1\", spelled so, with nothing between \"ASCII\" and \"=\"",
          "  line 3: <ENCODING> is a field, not a switch: \"DECODE=1\" reads encoded and folded card lines, and "
          "\"UTF8=1\" (with \"DECODE=1\") writes the phonebook in UTF-8",
          "  line 4: <DECODED> is a field, not the switch \"DECODE=\" (which reads the card file as vCard readers "
          "do), and the switch stays off: write \"DECODE=1\", spelled so, with nothing between \"DECODE\" and "
          "\"=\"",
          "  line 6: <ASCIZ> is a field, not the switch \"ASCII=\" (which folds accented letters to ASCII), and "
          "the switch stays off: write \"ASCII=1\", spelled so, with nothing between \"ASCII\" and \"=\""},
         {"line 5: <UTF16>"}},
        {"TEMPLATE mistyped", "TEMPLAT=snom\n", kCards,
         {"  line 1: <TEMPLAT> is a field, not the switch \"TEMPLATE=\" (which writes the phonebook in a phone's form), "
          "and the phonebook is written as <vcf> records in windows-1250, not in the phone's form: write "
          "\"TEMPLATE=yealink\", spelled so, with nothing between \"TEMPLATE\" and \"=\""},
         {}},
        {"a temporary file left by a killed run", "", kCards,
         {"  the temporary file \".import.xml.quorlan-Ab12Cd\" (written 3 hours ago) was left by a run that was "
          "killed: no run deletes it, as another run may be writing it; delete it when no run is going on"},
         {}, "import.vcf", {}, ".import.xml.quorlan-Ab12Cd"},
        {"no card passes the filter", "N*=N;\n", kCards,
         {"  no card passes the filter: a run writes a phonebook without records, and warns (Required <N> was "
          "empty in 3 of them)"},
         {}},
        {"a .vcf anywhere names the input", "INPUT=cards.vcf\n", kCards,
         {"  input file:       \"INPUT=cards.vcf\" (line 1)",
          "  line 1: it holds \".vcf\", so it names the input file and is not a mapping, although it holds \"=\"",
          "  records a run would write: 3"},
         {}},
        {"later lines override earlier ones", "a.vcf\nASCII=1\nb.VCF\nx.xml\n*.XML\nASCII=0\n", kCards,
         {"  input file:       \"b.vcf\" (line 3)",
          "    holds \".vcf\": names the input file \"a.vcf\" (everything before \".vcf\"); line 3 sets it "
          "again, so this line has no effect",
          "    holds \"ASCII=\": folding switch, number 1, folding on; line 6 sets it again, so this line has "
          "no effect",
          "  output file:      \"b.xml\" (line 5: a name beginning with \"*\" takes the input's name)",
          "    holds \".xml\": names the output file after the input (the name begins with \"*\")",
          "  ASCII folding:    off (line 6)"},
         {}},
        {"prefixes keep leading spaces and are cut at 20 bytes",
         "NAME = N:\nLONG=abcdefghijklmnopqrstuvwxyz\nSHORT=abcdefghijklmnopqrs  tuv\n", kCards,
         {"    mapping 1: element <NAME>, prefix \" N:\" (3 bytes), no condition",
          "  line 1: the prefix \" N:\" begins with a space, which card lines rarely do: spaces after \"=\" belong "
          "to the prefix",
          "    mapping 2: element <LONG>, prefix \"abcdefghijklmnopqrst\" (20 bytes, cut at 20: \"uvwxyz\" is "
          "dropped), no condition",
          "    mapping 3: element <SHORT>, prefix \"abcdefghijklmnopqrs\" (19 bytes, cut at 20: \" tuv\" is "
          "dropped), no condition",
          "    mapping 1 <NAME>: 0 of 3"},
         {}},
        {"ignored lines", "[Fields]\n\n   \r\nN=N:\n", kCards,
         {"  line 1: \"[Fields]\"", "    ignored: no \"=\" in it", "  line 2: \"\"", "  line 3: \"\"",
          "    ignored: empty", "  line 4: \"N=N:\"", "    mapping 1: element <N>, prefix \"N:\" (2 bytes), no condition"},
         {}},
        {"markers", "NAME*-=N:\nTEL #=TEL\n", kCards,
         {"    mapping 1: element <NAME>, prefix \"N:\" (2 bytes), Forbidden (marker \"-\", which overrides \"*\")",
          "    mapping 2: element <TEL >, prefix \"TEL\" (3 bytes), no condition, phone number (marker \"#\")",
          "  line 2: the element <TEL > ends in white space, which XML takes as part of the tag, not of the "
          "name: readers see the element <TEL>",
          "    Forbidden mapping 1 <NAME> found filled: 2"},
         {}},
        {"nothing after the 51st mapping line is read", many_mappings(51) + "other.vcf\nlast line\n", kCards,
         {"  mappings:         50 (at most 50)",
          "  reading stopped:  at line 51, a mapping line beyond the 50th; 2 lines after it not read",
          "  input file:       \"import.vcf\" (default)", "  line 51: \"F50=P50;\"",
          "    a mapping line beyond the 50th: not stored, and the reading of quorlan.ini ends here",
          "  line 52: \"other.vcf\"", "  line 53: \"last line\"",
          "    not read: the reading ended at line 51 (at most 50 mappings)",
          "  line 51: a mapping line beyond the 50th ends the reading: it and every line after it are not read",
          "  records a run would write: 3"},
         {"mapping 51"},
         "import.vcf"},
        {"element names that are not XML names", " TEL=TEL\n1X=X\n=Y\nA\xA0" "B=Z\nOK:NS=W\nPozn\xE1mka=Q\n9X=V\n", kCards,
         {"  line 1: the element < TEL> is not a valid XML name (\" \" is not allowed in it): an XML reader will refuse "
          "the output; a name such as <TEL> is taken" + kRule,
          "  line 2: the element <1X> is not a valid XML name (it begins with \"1\"): an XML reader will "
          "refuse the output; a name such as <_1X> is taken" + kRule,
          "  line 3: the element <> is not a valid XML name (it is empty): an XML reader will refuse the output" +
              kRule,
          "  line 4: the element <A\\xA0B> is not a valid XML name (\"\\xA0\" is not allowed in it): an XML "
          "reader will refuse the output" + kRule,
          "  line 5: the element <OK:NS> holds \":\", which XML readers that know namespaces take for a prefix "
          "that the document does not declare",
          "  line 7: the element <9X> is not a valid XML name (it begins with \"9\"): an XML reader will refuse "
          "the output; a name such as <_9X> is taken" + kRule},
         {"line 6: the element"}},
        {"XML names by the character", "\xF7X=X\nA\xB7" "B=Y\nTEL:CELL PHONE=Z\n", kCards,
         {"  line 1: the element <\\xF7X> is not a valid XML name (\"\\xF7\" is not allowed in it): an XML reader "
          "will refuse the output" + kRule,
          "  line 3: the element <TEL:CELL PHONE> is not a valid XML name (\" \" is not allowed in it): an XML reader will refuse "
          "the output; a name such as <TEL_CELL_PHONE> is taken" + kRule},
         {"line 2: the element"}},
        {"names of XML's fifth edition in a UTF-8 document", "DECODE=1\nUTF8=1\n\xE2\x80\x8CX=X\n\xE2\x80\x8DY=Y\n\xE2\x81\xB0Z=Z\n",
         kCards, {}, {"not a valid XML name"}},
        {"switches with a number, without one, twice, with spaces", "ASCII= 1\nDECODE=1\nUTF8=+1\nascii=\nDECODE=\nUTF8=x\n",
         kCards,
         {"  line 4: no number after \"ASCII=\": it counts as 0, folding off",
          "  line 5: no number after \"DECODE=\": it counts as 0, vCard decoding off",
          "  line 6: no number after \"UTF8=\": it counts as 0, a windows-1250 document"},
         {"line 1: no number", "line 2: no number", "line 3: no number"}},
        {"the document element is checked too", "2024 book.xml\n", kCards,
         {"  document element: <2024 book>",
          "  the document element <2024 book> is not a valid XML name (it begins with \"2\"): an XML reader will "
          "refuse the output; a name such as <_2024_book> is taken" + kRule},
         {}},
        {"prefixes that shadow each other", "TEL=TEL\nMOBILE=TEL;CELL\nPHONE=TEL\nN=N:\n", kCards,
         {"  line 2: the prefix \"TEL;CELL\" begins with the prefix \"TEL\" of mapping 1 (line 1), which takes "
          "those lines first: this mapping is then tested only on the rest after \"TEL\", so it can only match "
          "what follows it",
          "  line 3: the prefix \"TEL\" is the same as that of mapping 1 (line 1), which takes those lines first: "
          "this mapping is then tested only on the rest of the line, and never receives a value unless the "
          "prefix stands there twice",
          "    mapping 1 <TEL>: 2 of 3", "    mapping 2 <MOBILE>: 0 of 3", "    mapping 3 <PHONE>: 0 of 3"},
         {"line 4: the prefix"}},
        {"accented prefixes and folding", "ASCII=1\nNOTE=Pozn\xE1mka:\nUTF=\xC5\x98" "ada:\nN=N:\n", kCards,
         {"  line 2: the prefix \"Pozn\\xE1mka:\" holds an accented letter, but with ASCII folding on card lines "
          "are folded before they are compared, so it can no longer match: write \"Poznamka:\"",
          "  line 3: the prefix \"\\xC5\\x98ada:\" holds UTF-8 letters, but card lines are converted to "
          "windows-1250 before they are compared, so it will not match: write it in windows-1250"},
         {"line 4: the prefix"}},
        {"an accented prefix without folding", "NOTE=Pozn\xE1mka:\n", kCards, {"  none"}, {}},
        {"a Required constant field", "N=N:\nSRC_IDENT*=abc\n", kCards,
         {"  line 2: the Required element <SRC_IDENT> is a constant field: the filter tests what was captured "
          "for it, which is empty unless a card line begins with \"abc\", so cards are left out",
          "  records a run would write: 0", "    Required mapping 2 <SRC_IDENT> found empty: 3"},
         {}},
        {"a grouped constant and a UTF-8 element name", "HOME_IDENT#=+420603123456\nPozn\xC3\xA1mka=NOTE\n", kCards,
         {"    mapping 1: element <HOME_IDENT>, prefix \"+420603123456\" (13 bytes), no condition, phone number "
          "(marker \"#\"), constant field (\"IDENT\" in the name): every record gets \"+420 603 123 456\"",
          "  line 2: the element <Pozn\\xC3\\xA1mka> holds UTF-8 letters, but the document is declared "
          "windows-1250: readers will see other letters in its name"},
         {}},
        {"bytes that can't be shown", "A\\B=\x01x\xFF\n", kCards,
         {"  line 1: \"A\\\\B=\\x01x\\xFF\"",
          "    mapping 1: element <A\\\\B>, prefix \"\\x01x\\xFF\" (3 bytes), no condition"},
         {}},
        {"a byte-order mark before the first line", "\xEF\xBB\xBF" "N*=N:\n", kCards,
         {"  configuration:    quorlan.ini, 1 line read (a UTF-8 byte-order mark before line 1 is skipped)",
          "  line 1: \"N*=N:\"", "  records a run would write: 2"},
         {}},
        // The filter of a second "END:" sees the values as the first one wrote them: here
        // the Forbidden constant is empty when captured and "abc" once written.
        // A soft line break joins the empty line after it, and nothing more; one before a
        // space is no soft break at all.
        {"a number after a space switches folding on", "ASCII= 1\n", kCards, {"  ASCII folding:    on (line 1)"}, {}, "",
         {"Warnings\n  none\n"}},
        {"a configuration line longer than one read", "L=" + std::string(2100, 'x') + "\nN=N:\n", kCards,
         {"  line 1 (part 1): \"L=" + std::string(1997, 'x') + "\"", "  line 1 (part 2): \"" + std::string(103, 'x') + "\"",
          "  line 2: \"N=N:\"", "    mapping 2: element <N>, prefix \"N:\" (2 bytes), no condition"},
         {}},
        {"a long configuration line cut short by a NUL keeps the count of lines",
         "L=ab" + std::string(1, '\0') + std::string(2100, 'x') + "\nN=N:\n", kCards,
         {"  line 1 (part 1): \"L=ab\"", "  line 1 (part 2): \"" + std::string(106, 'x') + "\"", "  line 2: \"N=N:\""},
         {}},
        {"constants and prefixes that can't be what was meant",
         "RESIDENTIAL_ADDRESS=ADR\nX_IDENT=a constant of 27 bytes\nU_IDENT=\xC5\x98\nT=TEL\t\n", kCards,
         {"  line 1: the element <RESIDENTIAL_ADDRESS> holds \"IDENT\" inside a word, which makes it a constant field: "
          "every record gets \"ADR\" and no card line feeds it",
          "  line 2: the constant is cut to 20 bytes: every record gets \"a constant of 27 byt\", not \"a constant of "
          "27 bytes\"",
          "  line 3: the constant \"\\xC5\\x98\" is UTF-8, written as its bytes into a document declared windows-1250: "
          "readers show other letters; write it in windows-1250",
          "  line 4: the prefix \"TEL\\x09\" ends in a tab, which is not removed as spaces at the end of a line are: "
          "card lines hardly ever hold a tab there, so it does not match"},
         {}},
        {"a long quorlan.ini is counted, not kept", std::string(1000, '\n') + "N=N:\n", kCards,
         {"  configuration:    quorlan.ini, 1001 lines read", "    mapping 1: element <N>, prefix \"N:\" (2 bytes), no condition",
          "  and 700 more lines, not shown: ignored, set again later or not read"},
         {"line 301:"}},
        {"UTF8=1 without DECODE=1", "UTF8=1\nN=N:\n", kCards,
         {"  document in:      windows-1250, as UTF8=1 needs DECODE=1 (line 1)",
          "  line 1: UTF8=1 needs DECODE=1: without it the document stays windows-1250 (values are bytes, not text, "
          "and UTF-8 would show them garbled)"},
         {}},
        {"CODEPAGE= and alternatives without DECODE=1", "CODEPAGE=1253\nN=N|FN\n", kCards,
         {"  undeclared text:  as bytes, as CODEPAGE= needs DECODE=1 (line 1)",
          "  line 1: CODEPAGE= needs DECODE=1: without it it is ignored (values are bytes, not text)",
          "  line 2: the prefix \"N|FN\" lists alternatives separated by \"|\", which need DECODE=1: without it the "
          "prefix is the bytes a card line begins with, \"|\" included, and matches hardly any line"},
         {}},
        {"a windows-1250 constant", "FIRMA_IDENT=Nov\xE1k\nN=N:\n", kCards, {}, {}, "", {"Warnings\n  none\n"}},
        {"a hyphen before a digit, IDENT inside words", "TEL-2=TEL;WORK\nIDENTIFIER=UID\nPRESIDENT=TITLE\nAIDENT=x\n",
         kCards,
         {"  line 1: the \"-\" in \"TEL-2\" is the Forbidden marker, not part of the name: the element is <TEL2> and every "
          "card with a value for it is left out",
          "  line 2: the element <IDENTIFIER> holds \"IDENT\" inside a word, which makes it a constant field: every record "
          "gets \"UID\" and no card line feeds it",
          "  line 3: the element <PRESIDENT> holds \"IDENT\" inside a word, which makes it a constant field: every record "
          "gets \"TITLE\" and no card line feeds it",
          "  line 4: the element <AIDENT> holds \"IDENT\" inside a word, which makes it a constant field: every record "
          "gets \"x\" and no card line feeds it"},
         {}},
        // Without decoding a UTF-8 file name is bytes, which a windows-1250 document shows as
        // other letters; with it, the name is text.
        {"a UTF-8 XML file name", "kontakt\xC5\xAF.xml\nN=N:\n", kCards,
         {"  the document element <kontakt\\xC5\\xAF> holds UTF-8 letters, but the document is declared windows-1250: "
          "readers will see other letters in its name"},
         {}},
        {"a UTF-8 XML file name with DECODE=1", "DECODE=1\nkontakt\xC5\xAF.xml\nN=N:\n", kCards, {}, {}, "",
         {"Warnings\n  none\n"}},
        {"a windows-1250 XML file name", "kontakt\xF9.xml\nN=N:\n", kCards, {}, {}, "", {"Warnings\n  none\n"}},
        {"an output folder that does not exist", "missing/out.xml\n", kCards,
         {"  document element: <out> (the output's name without its folder)",
          "  the folder \"missing\" of the output file does not exist: a run can't create the output"}, {}},
    };
    return table;
}

TEST(Explain, EachRuleAndWarning) {
    for (const ExplainCase& c : configuration_cases()) {
        SCOPED_TRACE(c.title);
        check_case(c);
    }
}

TEST(Explain, MissingCardFileFailsAfterTheSettings) {
    Folder f;
    f.write("quorlan.ini", "contacts.vcf\nN*=N:\n");
    f.write("contacts.xml", "my old phonebook\n");
    const RunResult r = explain(f);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorlan: cannot open 'contacts.vcf': No such file or directory\n");
    const std::vector<std::string> lines = lines_of(r.out);
    EXPECT_TRUE(has_line(lines, "  input file:       \"contacts.vcf\" (line 1)")) << r.out;
    EXPECT_TRUE(has_line(lines, "  output file:      \"contacts.xml\" (default: the input's name), exists: a run "
                                "replaces it"))
        << r.out;
    EXPECT_TRUE(has_line(lines, "    mapping 1: element <N>, prefix \"N:\" (2 bytes), Required (marker \"*\")"));
    EXPECT_EQ(r.out.find("Cards in"), std::string::npos);
}

TEST(Explain, UnreadableConfigurationFailsLikeARun) {
    Folder f;
    fs::create_directory(f.dir() / "quorlan.ini");
    f.write("import.vcf", kCards);
    const RunResult r = explain(f);
    expect_one_error_line(r, "quorlan.ini", "quorlan.ini");
}

TEST(Explain, OutputThatIsAFolder) {
    Folder f;
    fs::create_directory(f.dir() / "import.xml");
    f.write("import.vcf", kCards);
    const RunResult r = explain(f);
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> lines = lines_of(r.out);
    EXPECT_TRUE(has_line(lines, "  output file:      \"import.xml\" (default: the input's name)")) << r.out;
    EXPECT_TRUE(has_line(lines, "  the output file \"import.xml\" is a folder: a run can't create the output"))
        << r.out;
}

TEST(Explain, OutputThatCannotBeWrittenFails) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    Folder f;
    f.write("import.vcf", kCards);
    const fs::path err = f.dir().parent_path() / "full-stderr";
    const std::string command = "cd " + shell_quote(f.dir().string()) + " && " + program_command() +
                                " --explain >/dev/full 2>" + shell_quote(err.string());
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_EQ(console_text(read_file(err)), "quorlan: cannot write to standard output: No space left on device\n");
}

}  // namespace
