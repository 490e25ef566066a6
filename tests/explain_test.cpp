// End-to-end runs of "quorlan --explain": what it says about each configuration rule and
// each warning, that its counts agree with what a real run writes, and that it leaves the
// folder exactly as it found it.
#include <chrono>
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

// The section of the report that begins with the line `heading`, up to the empty line
// that ends it; empty when there is none.
std::string section_of(const std::string& out, const std::string& heading) {
    const std::size_t begin = out.rfind(heading + "\n", 0) == 0 ? 0 : out.find("\n" + heading + "\n");
    if (begin == std::string::npos) return {};
    const std::size_t start = begin == 0 ? 0 : begin + 1;
    const std::size_t end = out.find("\n\n", start);
    return out.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
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

std::string card(const std::string& lines) { return "BEGIN:VCARD\r\n" + lines + "END:VCARD\r\n"; }

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

const std::string kRule = " (letters, digits, \"_\" and \".\" only, beginning with a letter or \"_\")";

struct ExplainCase {
    const char* title;
    std::string config;  // empty: no quorlan.ini at all
    std::string cards;   // written as the input named by the configuration
    std::vector<std::string> present;  // lines that must appear, whole
    std::vector<std::string> absent;   // texts that must appear nowhere
    std::string input = {};            // the input's name when not the one the configuration names
    std::vector<std::string> sections = {};  // sections that must appear whole, heading first
    std::string left_over = {};        // a file written three hours ago beside them
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
         {"  line 1: the element < TEL> is not a valid XML name (it holds a space): an XML reader will refuse "
          "the output; a name such as <TEL> is taken" + kRule,
          "  line 2: the element <1X> is not a valid XML name (it begins with a digit): an XML reader will "
          "refuse the output; a name such as <_1X> is taken" + kRule,
          "  line 3: the element <> is not a valid XML name (it is empty): an XML reader will refuse the output" +
              kRule,
          "  line 4: the element <A\\xA0B> is not a valid XML name (\"\\xA0\" is not allowed in a name): an XML "
          "reader will refuse the output" + kRule,
          "  line 5: the element <OK:NS> holds \":\", which XML readers that know namespaces take for a prefix "
          "that the document does not declare",
          "  line 7: the element <9X> is not a valid XML name (it begins with a digit): an XML reader will refuse "
          "the output; a name such as <_9X> is taken" + kRule},
         {"line 6: the element"}},
        {"the document element is checked too", "2024 book.xml\n", kCards,
         {"  document element: <2024 book>",
          "  the document element <2024 book> is not a valid XML name (it holds a space): an XML reader will "
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
        // A soft line break joins the empty line after it, and nothing more; one before a
        // space is no soft break at all.
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
        {"a number after a space switches folding on", "ASCII= 1\n", kCards, {"  ASCII folding:    on (line 1)"}, {}, "",
         {"Warnings\n  none\n"}},
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
        {"UTF8=1 without DECODE=1", "UTF8=1\nN=N:\n", kCards,
         {"  document in:      windows-1250, as UTF8=1 needs DECODE=1 (line 1)",
          "  line 1: UTF8=1 needs DECODE=1: without it the document stays windows-1250 (values are bytes, not text, "
          "and UTF-8 would show them garbled)"},
         {}},
        {"declared charsets with DECODE=1", "DECODE=1\nUTF8=1\nN=N\n",
         card("N;CHARSET=SHIFT_JIS:\x88\xC0\r\n") + card("N;CHARSET=Shift_JIS:\x88\xC0\r\n"),
         {"  document in:      UTF-8 (line 2)",
          "  \"SHIFT_JIS\": 2 lines, decoded as Windows code page 932 (Shift_JIS as phones write it)"},
         {}},
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
        if (!c.left_over.empty()) {
            f.write(c.left_over, "<?xml");
            fs::last_write_time(f.dir() / c.left_over, fs::file_time_type::clock::now() - std::chrono::hours(3));
        }
        const RunResult r = explain(f);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        const std::vector<std::string> lines = lines_of(r.out);
        for (const std::string& wanted : c.present) EXPECT_TRUE(has_line(lines, wanted)) << wanted << "\n" << r.out;
        for (const std::string& unwanted : c.absent) {
            EXPECT_EQ(r.out.find(unwanted), std::string::npos) << unwanted << "\n" << r.out;
        }
        for (const std::string& section : c.sections) {
            EXPECT_EQ(section_of(r.out, section.substr(0, section.find('\n'))), section) << r.out;
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
        {"W=TEL;WORK\n", card("TEL;WORK;VOICE:1\r\n") + card("TEL;WORK;VOICE:2\r\n") + card("TEL;WORK;FAX:3\r\n"),
         "of another kind", 1},
        {"N=N:\n", "begin:vcard\r\nN:A\r\nEnd:VCARD\r\n", "lower or mixed case", 2, 1},
        {"N=N:\n", "BEGIN:VCARD\rN:A\rEND:VCARD\r", "a CR inside", 1, 1},
        {"N=N:\n", "\xEF\xBB\xBF" + card("N:A\r\n"), "byte-order mark", 1},
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
