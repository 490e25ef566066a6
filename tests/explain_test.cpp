// End-to-end runs of "quorlan --explain": what it says about each configuration rule and
// each warning, that its counts agree with what a real run writes, and that it leaves the
// folder exactly as it found it.
#include <cctype>
#include <iostream>
#include <map>
#include <sstream>

#include "e2e_support.h"

namespace {

using namespace e2e;

struct FileState {
    std::string bytes;
    fs::file_time_type written;
};

// Every file in the folder with its bytes and modification time.
std::map<std::string, FileState> snapshot(const Folder& f) {
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(f.dir())) {
        const std::string name = fs::relative(entry.path(), f.dir()).string();
        files[name] = FileState{entry.is_regular_file() ? read_file(entry.path()) : "",
                                fs::last_write_time(entry.path())};
    }
    return files;
}

bool same(const std::map<std::string, FileState>& a, const std::map<std::string, FileState>& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [name, state] : a) {
        const auto other = b.find(name);
        if (other == b.end() || other->second.bytes != state.bytes || other->second.written != state.written) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool has_line(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// Runs --explain and checks that it changed nothing in the folder.
RunResult explain(const Folder& f) {
    const auto before = snapshot(f);
    RunResult r = f.run("--explain");
    EXPECT_TRUE(same(before, snapshot(f))) << "--explain created or changed a file";
    r.out = console_text(r.out);
    r.err = console_text(r.err);
    return r;
}

const char* const kCards =
    "BEGIN:VCARD\r\nN:Novak;Jan;;;\r\nTEL;CELL:+420 603 123 456\r\nEMAIL:jan@example.com\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nN:Svoboda;Petr\r\nORG:Firm\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nTEL;CELL:+49 30 123 45 67\r\nEND:VCARD\r\n";

std::string many_mappings(int count) {
    std::string config;
    for (int i = 0; i < count; ++i) {
        const std::string number = std::to_string(i);
        config.append("F").append(number).append("=P").append(number).append(";\n");
    }
    return config;
}

// Cards with a long note each.
std::string many_cards(int count) {
    std::string cards;
    for (int i = 0; i < count; ++i) cards.append("BEGIN:VCARD\nNOTE:").append(50, 'n').append("\nEND:VCARD\n");
    return cards;
}

// A card with `count` lines of distinct heads.
std::string many_heads(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines.append("X-H").append(std::to_string(i)).append(":x\n");
    return lines;
}

struct ExplainCase {
    const char* title;
    std::string config;  // empty: no quorlan.ini at all
    std::string cards;   // written as the input named by the configuration
    std::vector<std::string> present;  // lines that must appear, whole
    std::vector<std::string> absent;   // texts that must appear nowhere
    std::string input = {};            // the input's name when not the one the configuration names
};

std::string example(const std::string& name) { return read_file(fs::path(QUORLAN_EXAMPLES) / name); }

const std::vector<ExplainCase>& cases() {
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
          "  none",
          "Cards in \"contacts.vcf\"",
          "  cards seen (lines beginning with \"END:\"): 5",
          "  records a run would write: 3",
          "  cards left out: 2",
          "    Required mapping 1 <NAME> found empty: 1",
          "    Forbidden mapping 3 <COMPANY> found filled: 1",
          "  the cards left out, numbered as seen:",
          "    card 4: Forbidden <COMPANY> holds \"Zlutoucky kun s.r.o.\" (with <NAME> \"Kuzel Cenek\")",
          "    card 5: Required <NAME> is empty (with <MOBILE> \"+420 222 333 444\")",
          "    mapping 1 <NAME>: 3 of 3",
          "    mapping 2 <MOBILE>: 2 of 3",
          "    mapping 3 <COMPANY>: 0 of 3",
          "    mapping 4 <SOURCE_IDENT>: 3 of 3"},
         {}},
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
          "  line 1: this is a mapping with the element <ASCII>, not the folding switch: write \"ASCII=1\" "
          "with nothing between \"ASCII\" and \"=\"",
          "    holds \"ASCII=\": folding switch, number 0, folding off",
          "  line 2: no number after \"ASCII=\": it counts as 0, folding off",
          "  ASCII folding:    off (line 2)"},
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
        {"element names that are not XML names", " TEL=TEL\n1X=X\n=Y\nA\xA0" "B=Z\nOK:NS=W\nPozn\xE1mka=Q\n", kCards,
         {"  line 1: the element < TEL> is not a valid XML name (it holds a space): an XML reader will refuse "
          "the output",
          "  line 2: the element <1X> is not a valid XML name (it begins with a digit): an XML reader will "
          "refuse the output",
          "  line 3: the element <> is not a valid XML name (it is empty): an XML reader will refuse the output",
          "  line 4: the element <A\\xA0B> is not a valid XML name (\"\\xA0\" is not allowed in a name): an XML "
          "reader will refuse the output",
          "  line 5: the element <OK:NS> holds \":\", which XML readers that know namespaces take for a prefix "
          "that the document does not declare"},
         {"line 6: the element"}},
        {"the document element is checked too", "2024 book.xml\n", kCards,
         {"  document element: <2024 book>",
          "  the document element <2024 book> is not a valid XML name (it holds a space): an XML reader will "
          "refuse the output"},
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
        {"a card ended twice", "N=N:\nSRC_IDENT-=abc\n", "BEGIN:VCARD\nN:A\nEND:VCARD\nEND:VCALENDAR\n",
         {"  cards seen (lines beginning with \"END:\"): 2", "  lines beginning with \"BEGIN:VCARD\": 1",
          "  cards without a \"BEGIN:VCARD\" line of their own: 1 (they keep the values that were current)",
          "  records a run would write: 1", "    Forbidden mapping 2 <SRC_IDENT> found filled: 1"},
         {}},
        {"a continuation line that ends the card", "NOTE=NOTE\nN*=N:\n",
         "BEGIN:VCARD\nN:A\nNOTE;ENCODING=QUOTED-PRINTABLE;=\nEND:VCARD\nEND:VCARD\n",
         {"  cards seen (lines beginning with \"END:\"): 2", "  records a run would write: 2",
          "    mapping 1 <NOTE>: 2 of 2"},
         {}},
        {"a piece of a long line that begins with END: is text, not a card end", "N=N:\n",
         "BEGIN:VCARD\nNOTE:" + std::string(1994, 'x') + "END:VCARD\nN:A\nEND:VCARD\n",
         {"  cards seen (lines beginning with \"END:\"): 1", "  not heads: 1 continuation line (folded, base64 data, quoted-printable soft line breaks, pieces of long "
          "lines, values of the \";=\" rule) and 0 empty lines"},
         {"longer than 1999 bytes"}},
        {"a configuration line longer than one read", "L=" + std::string(2100, 'x') + "\nN=N:\n", kCards,
         {"  line 1 (part 1): \"L=" + std::string(1997, 'x') + "\"", "  line 1 (part 2): \"" + std::string(103, 'x') + "\"",
          "  line 2: \"N=N:\"", "    mapping 2: element <N>, prefix \"N:\" (2 bytes), no condition"},
         {}},
        {"a long configuration line cut short by a NUL keeps the count of lines",
         "L=ab" + std::string(1, '\0') + std::string(2100, 'x') + "\nN=N:\n", kCards,
         {"  line 1 (part 1): \"L=ab\"", "  line 1 (part 2): \"" + std::string(106, 'x') + "\"", "  line 2: \"N=N:\""},
         {}},
        {"only the first cards left out are listed", "NOTE-=NOTE\n", many_cards(25),
         {"  cards left out: 25", "  the first 20 cards left out, numbered as seen:",
          "    card 20: Forbidden <NOTE> holds \"" + std::string(40, 'n') + "\"... (no other value)"},
         {"card 21:"}},
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
        {"many distinct heads are counted, not kept", "N=N:\n", "BEGIN:VCARD\n" + many_heads(4100) + "END:VCARD\n",
         {"  and 3960+ more heads in 4060 lines"}, {}},
        {"a UTF-16 card file", "N=N:\n", std::string("\xFF\xFE" "B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\n\0N\0:\0A\0\n\0E\0N\0D\0:\0\n\0", 44),
         {"  the file is UTF-16 LE, converted to UTF-8 as it is read", "  records a run would write: 1"}, {}},
        {"an output folder that does not exist", "missing/out.xml\n", kCards,
         {"  document element: <out> (the output's name without its folder)",
          "  the folder \"missing\" of the output file does not exist: a run can't create the output"}, {}},
    };
    return table;
}

// The input file that a configuration names, as a run would open it.
std::string input_name(const std::string& config) {
    std::string name = "import.vcf";
    std::istringstream in(config);
    for (std::string line; std::getline(in, line);) {
        std::string upper = line;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (const auto p = upper.find(".VCF"); p != std::string::npos) name = line.substr(0, p) + ".vcf";
    }
    return name;
}

TEST(Explain, EachRuleAndWarning) {
    for (const ExplainCase& c : cases()) {
        SCOPED_TRACE(c.title);
        Folder f;
        if (!c.config.empty()) f.write("quorlan.ini", c.config);
        f.write(c.input.empty() ? input_name(c.config) : c.input, c.cards);
        const RunResult r = explain(f);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        const std::vector<std::string> lines = lines_of(r.out);
        for (const std::string& wanted : c.present) EXPECT_TRUE(has_line(lines, wanted)) << wanted << "\n" << r.out;
        for (const std::string& unwanted : c.absent) {
            EXPECT_EQ(r.out.find(unwanted), std::string::npos) << unwanted << "\n" << r.out;
        }
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
    if (!fs::is_directory(QUORLAN_VCARDS)) std::cerr << "no card corpus at " << QUORLAN_VCARDS << "\n";
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
            ASSERT_EQ(f.run().status, 0);
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

std::string card(const std::string& lines) { return "BEGIN:VCARD\r\n" + lines + "END:VCARD\r\n"; }

TEST(Explain, CountsEachKindOfValueThatComesOutWrong) {
    struct Case {
        const char* config;
        std::string cards;
        const char* words;  // of the warning
        std::size_t count;
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
        {"N=N;\nDECODE=1\n", card("N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=98=D0=B2\r\n"),
         "not converted to windows-1250", 1},
        {"N=N:\n", card("N:\xC3\x80nna\r\n"), "written as \"_\"", 1},
        {"N=N:\n", card("N:\xC8\xE2\xE0\xED\xEE\xE2\r\n") + card("N:\xD8" "eho\xF8 Ji\xF8\xED\r\n"), "neither UTF-8", 1},
        {"W=TEL;WORK\n", card("TEL;WORK;VOICE:1\r\n") + card("TEL;WORK;VOICE:2\r\n") + card("TEL;WORK;FAX:3\r\n"),
         "of another kind", 1},
        {"N=N:\n", "begin:vcard\r\nN:A\r\nEnd:VCARD\r\n", "lower or mixed case", 2},
        {"N=N:\n", "BEGIN:VCARD\rN:A\rEND:VCARD\r", "a CR inside", 1},
        {"N=N:\n", "\xEF\xBB\xBF" + card("N:A\r\n"), "byte-order mark", 1},
        {"N=N:\n", "hello\r\nworld\r\n", "but no card", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.config) + c.cards);
        Folder f;
        f.write("quorlan.ini", c.config);
        f.write("import.vcf", c.cards);
        const RunResult r = explain(f);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(warning_count(r.out, c.words), c.count) << r.out;
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
    for (const fs::path& file : card_files()) {
        SCOPED_TRACE(file.string());
        Folder f;
        std::string config = "ASCII=1\n";
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
            std::string changed = "ASCII=1\n";
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
    if (fs::is_directory(QUORLAN_VCARDS)) {
        EXPECT_GT(tried, 10u);
    }
}

}  // namespace
