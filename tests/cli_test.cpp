// End-to-end runs of the options: --help, -h, /? and --version print and touch no file;
// an unknown option is refused; every other argument leaves the conversion as it is.
#include <sstream>

#include "e2e_support.h"

namespace {

using namespace e2e;

const char* const kCard = "BEGIN:VCARD\r\nN:Novak;Jan;;;\r\nEND:VCARD\r\n";

// A folder where a conversion would write import.xml, to see that none happens.
struct ConvertibleFolder : Folder {
    ConvertibleFolder() {
        write("quorlan.ini", "N=N:\n");
        write("import.vcf", kCard);
    }
};

RunResult run_option(const std::string& arguments) {
    ConvertibleFolder f;
    RunResult r = f.run(arguments);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"import.vcf", "quorlan.ini"})) << arguments;
    r.out = console_text(r.out);
    return r;
}

TEST(Options, HelpPrintsTheUsageAndConvertsNothing) {
    const RunResult r = run_option("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_EQ(r.out.rfind("Usage: quorlan", 0), 0u) << r.out;
    // What a first-time user needs: the files, every kind of configuration line, the
    // exit statuses and where to read on.
    for (const char* topic : {"quorlan.ini", "import.vcf", "contacts.vcf", "phonebook.xml", "ASCII=",
                              "NAME*=N:", "required", "forbidden", "phone", "IDENT", "--version", "--explain",
                              "Exit status", "130, 143, 129", "man quorlan", "TEMPLATE=", "--template", "--for"}) {
        EXPECT_NE(r.out.find(topic), std::string::npos) << topic;
    }
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LT(line.size(), 80u) << line;
}

TEST(Options, ShortHelpIsTheSame) {
    EXPECT_EQ(run_option("-h").out, run_option("--help").out);
}

TEST(Options, VersionPrintsTheProjectVersionAndTheLicence) {
    const RunResult r = run_option("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::string first_line = "quorlan " QUORLAN_VERSION "\n";
    ASSERT_EQ(r.out.rfind(first_line, 0), 0u) << r.out;
    const std::string second_line = r.out.substr(first_line.size());
    EXPECT_EQ(std::count(second_line.begin(), second_line.end(), '\n'), 1) << r.out;
    EXPECT_EQ(second_line.back(), '\n');
    EXPECT_NE(second_line.find("Copyright"), std::string::npos) << second_line;
    EXPECT_NE(second_line.find("MIT"), std::string::npos) << second_line;
}

TEST(Options, TheFirstOptionDecidesAndOtherArgumentsAreIgnored) {
    const std::string version = run_option("--version").out;
    const std::string help = run_option("--help").out;
    EXPECT_EQ(run_option("contacts.vcf --version --help").out, version);
    EXPECT_EQ(run_option("'/?' --version").out, help);
    EXPECT_EQ(run_option("x -h --version").out, help);
}

TEST(Options, OptionsNeedNoReadableConfiguration) {
    Folder f;
    fs::create_directory(f.dir() / "quorlan.ini");
    EXPECT_EQ(f.run("--help").status, 0);
    EXPECT_EQ(f.run("--version").status, 0);
}

// A mistyped option is refused before anything is read or written, whatever else is there.
TEST(Options, UnknownOptionsAreRefused) {
    struct Case {
        std::string arguments, shown;
    };
    const std::vector<Case> cases = {
        {"--explian", "--explian"}, {"--HELP", "--HELP"}, {"-help", "-help"}, {"--help=1", "--help=1"},
        {"-H", "-H"}, {"-v", "-v"}, {"--versions", "--versions"}, {"-x -- y", "-x"}, {"-", "-"},
        {"--help -x", "-x"}, {"-x --version", "-x"}, {"contacts.vcf --verbose", "--verbose"},
        // The family after --for is looked at as an option too.
        {"--init --for --bogus", "--bogus"},
        // Bytes that would rewrite the terminal are shown, not sent to it.
        {"\"$(printf '%s\\033[2J\\\\' -)\"", "-\\x1B[2J\\\\"},
    };
    for (const Case& c : cases) {
        const RunResult r = run_option(c.arguments);
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_TRUE(r.out.empty()) << c.arguments;
        EXPECT_EQ(console_text(r.err), "quorlan: unknown option '" + c.shown + "' (see quorlan --help)\n");
    }
}

TEST(Options, OtherArgumentsAreIgnored) {
    for (const char* argument : {"help", "contacts.vcf", "'some thing'", "+x", "-- -x"}) {
        ConvertibleFolder f;
        const RunResult r = f.run(argument);
        EXPECT_EQ(r.status, 0) << argument;
        EXPECT_TRUE(r.out.empty()) << argument;
        EXPECT_EQ(f.read("import.xml"), document("import", "<vcf>\r\n<N>Novak Jan</N>\r\n</vcf>\r\n"))
            << argument;
    }
}

TEST(Options, HelpThatCannotBeWrittenFails) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    Folder f;
    const fs::path err = f.dir().parent_path() / "help-stderr";
    const int raw = std::system((program_command() + " --help >/dev/full 2>" + shell_quote(err.string())).c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
    EXPECT_EQ(console_text(read_file(err)), "quorlan: cannot write to standard output: No space left on device\n");
}

}  // namespace

namespace {

// --- what a successful run still says -------------------------------------------------

struct WarningCase {
    const char* name;
    std::string config, cards;
    std::vector<std::string> warnings;  // the lines after "quorlan: warning: "
};

std::string not_a_name(const std::string& what, const std::string& problem, const std::string& file,
                       const std::string& fix) {
    return what + " is not an XML name (" + problem + "), so XML readers will refuse '" + file +
           "': rename " + fix +
           " in quorlan.ini (letters, digits, \"_\" and \".\" only, beginning with a letter or \"_\")";
}

std::string typo(const std::string& element, const std::string& name, const std::string& does) {
    return "quorlan.ini: " + element + " is a field, not the switch \"" + name + "=\" (which " + does +
           "), and the switch stays off: write \"" + name + "=1\", spelled so, with nothing between \"" + name +
           "\" and \"=\"";
}

std::string template_typo(const std::string& element) {
    return "quorlan.ini: " + element + " is a field, not the switch \"TEMPLATE=\" (which writes the phonebook in a "
           "phone's form), and the phonebook is written as <vcf> records in windows-1250, not in the phone's form: "
           "write \"TEMPLATE=yealink\", spelled so, with nothing between \"TEMPLATE\" and \"=\"";
}

TEST(Warnings, OneLineForEachThingThatSpoilsThePhonebook) {
    const std::string no_card = "no card ended in 'import.vcf' (no line began with \"END:\"): is it a vCard file?";
    const std::vector<WarningCase> cases = {
        {"a document element from Android's 00001.vcf", "00001.vcf\nN=N:\n", kCard,
         {not_a_name("the document element <00001>", "it begins with \"0\"", "00001.xml", "the XML file, such as _00001,")}},
        {"a space in the document element", "contacts (1).xml\nN=N:\n", kCard,
         {not_a_name("the document element <contacts (1)>", "\" \" is not allowed in it", "contacts (1).xml",
                     "the XML file, such as contacts_1,")}},
        {"an empty document element", ".xml\nN=N:\n", kCard,
         {not_a_name("the document element <>", "it is empty", ".xml", "the XML file")}},
        {"field elements, markers left out", "FIRST NAME*=N:\nTEL\x01#=TEL\nOK=ORG\n", kCard,
         {not_a_name("the element <FIRST NAME>", "\" \" is not allowed in it", "import.xml", "it, such as FIRST_NAME,"),
          not_a_name("the element <TEL\\x01>", "\"\\x01\" is not allowed in it", "import.xml", "it, such as TEL,")}},
        {"white space after a name and a prefix are fine", "NAME \t\r=N:\nvc:N=N:\n", kCard, {}},
        {"lower-case end lines end no card", "N=N:\n", "begin:vcard\nn:Novak\nend:vcard\n", {no_card}},
        {"an empty card file", "N=N:\n", "", {}},
        {"a card file of a UTF-8 mark alone", "N=N:\n", "\xEF\xBB\xBF", {}},
        {"a card without BEGIN:VCARD", "N=N:\n", "N:Novak\nEND:VCARD\n", {}},
        {"an export cut off inside a card", "DECODE=1\nN=N\n", std::string(kCard) + "BEGIN:VCARD\r\nFN:Eva\r\nN:B\r\n",
         {"'import.vcf' ends inside a card: the card begun on line 4, \"Eva\", has no END: line, so it was left out "
          "(was the export cut off?)"}},
        {"switches mistyped", "ASCI=1\nDECODE = 1\nUFT8=1\nCHARSET=UTF-8\nN=N:\n", kCard,
         {typo("<ASCI>", "ASCII", "folds accented letters to ASCII"),
          typo("<DECODE>", "DECODE", "reads the card file as vCard readers do"),
          typo("<UFT8>", "UTF8", "writes the phonebook in UTF-8 when \"DECODE=1\" is on"),
          "quorlan.ini: <CHARSET> is a field, not a switch: \"DECODE=1\" reads encoded and folded card lines, and "
          "\"UTF8=1\" (with \"DECODE=1\") writes the phonebook in UTF-8"}},
        {"TEMPLATE mistyped, or with spaces before its \"=\"", "TEMPLAT=yealink\nTEMPLATES=x.mustache\nTEMPLATE = x\nN=N:\n",
         kCard,
         {template_typo("<TEMPLAT>"), template_typo("<TEMPLATES>"), template_typo("<TEMPLATE>")}},
        {"no card passes: the commonest reason", "N*=N:\nORG-=ORG\n",
         "N:A\nORG:x\nEND:VCARD\nBEGIN:VCARD\nN;LANGUAGE=en-us:B\nORG:y\nEND:VCARD\n",
         {"'import.xml' holds no record: 2 cards ended in 'import.vcf' and none passed the filter (Forbidden "
          "<ORG> was filled in 2 of them); run quorlan --explain to see why"}},
        {"some cards left out say nothing", "N*=N:\n", std::string(kCard) + "BEGIN:VCARD\nEND:VCARD\n", {}},
        {"UTF8=1 without DECODE=1", "UTF8=1\nN=N:\n", kCard,
         {"UTF8=1 needs DECODE=1, so the document is written in windows-1250: without decoding, values are the "
          "card file's bytes, which a UTF-8 document would show garbled"}},
        {"CODEPAGE= without DECODE=1; mistyped", "CODEPAGE=1253\nCODEPAG=1253\nN=N:\n", kCard,
         {"CODEPAGE= needs DECODE=1, so it is ignored: without decoding, values are the card file's bytes",
          "quorlan.ini: <CODEPAG> is a field, not the switch \"CODEPAGE=\" (which names the code page of undeclared "
          "text when \"DECODE=1\" is on), and the switch stays off: write \"CODEPAGE=1253\", spelled so, with nothing "
          "between \"CODEPAGE\" and \"=\""}},
        {"CODEPAGE= that names no code page", "DECODE=1\nCODEPAGE=9999\nN=N:\n", kCard,
         {"CODEPAGE=9999 names no code page known here, so text that declares no charset and is not UTF-8 stays "
          "windows-1250"}},
        {"values that reach no field, of written cards only", "DECODE=1\nN*=N\nM#=TEL;CELL\nE=EMAIL\n",
         "BEGIN:VCARD\nN:A\nTEL;CELL:1\nTEL;CELL:(1)\nTEL;CELL:2\nTEL;PAGER:3\nitem1.TEL:4\nitem1.X-ABLabel:x\n"
         "EMAIL:a\nEMAIL:b\nEND:VCARD\nBEGIN:VCARD\nTEL;PAGER:5\nEND:VCARD\n",
         {"4 values (3 TEL, 1 EMAIL) of 'import.vcf' reach no field: a second value where a field takes one, or a "
          "kind no field names. To keep them, write each field that takes one value as a list (M#[]=TEL;CELL; "
          "E[]=EMAIL, every value of a card); add a list field for the kinds of TEL no field names, after the "
          "others (OTHER#[]=TEL); quorlan --explain lists them with their lines"}},
        {"every value in lists: nothing lost", "DECODE=1\nN*=N\nM#[]=TEL;CELL\nT#[]=TEL\nE[]=EMAIL\n",
         "BEGIN:VCARD\nN:A\nTEL;CELL:1\nTEL;CELL:2\nTEL;PAGER:3\nEMAIL:a\nEMAIL:b\nEND:VCARD\n", {}},
        {"[] without DECODE=1", "N=N:\nT[]=TEL\n", kCard,
         {"[] (every value, as a list) needs DECODE=1, so each field marked so takes one value: without decoding, "
          "lines are bytes, not properties whose values could be told apart"}},
        {"UTF-8 names in a UTF-8 document", "UTF8=1\nDECODE=1\nN\xC3\x81ZEV=N:\n\xC3\x81=ORG\n", kCard, {}},
        {"CJK names in a UTF-8 document", "UTF8=1\nDECODE=1\n\xE5\x90\x8D\xE5\x89\x8D=N:\n", kCard, {}},
        {"UTF-8 names are converted for a windows-1250 document", "DECODE=1\nN\xC3\x81ZEV=N:\n", kCard, {}},
        {"a letter windows-1250 lacks", "DECODE=1\n\xE5\x90\x8D=N:\n", kCard,
         {"the element <\xE5\x90\x8D> holds characters that windows-1250 lacks, written as \"_\" in 'import.xml': write "
          "UTF8=1 for a UTF-8 document, or rename it"}},
    };
    for (const WarningCase& c : cases) {
        SCOPED_TRACE(c.name);
        Folder f;
        f.write("quorlan.ini", c.config);
        const std::string cards = c.config.find(".vcf") != std::string::npos ? "00001.vcf" : "import.vcf";
        f.write(cards, c.cards);
        const RunResult r = f.run();
        EXPECT_EQ(r.status, 0);
        std::string expected;
        for (const std::string& warning : c.warnings) expected += "quorlan: warning: " + warning + "\n";
        EXPECT_EQ(console_text(r.err), expected);
    }
}

// A name in a message can't send the terminal control sequences; letters stay letters.
TEST(Warnings, NamesInMessagesAreShownSafely) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\x1B]0;owned\x07.vcf", "a\\x1B]0;owned\\x07.vcf"},
        {"Nov\xC3\xA1\xC4\x8D" "ek.vcf", "Nov\xC3\xA1\xC4\x8D" "ek.vcf"},
        {"\xC4\x8C\xC3\xAD\xC5\xBE" "ek.vcf", "\xC4\x8C\xC3\xAD\xC5\xBE" "ek.vcf"},
        {"C:\\cards\xC3.vcf", "C:\\\\cards\\xC3.vcf"},
        {"\xE2\x80\xAEgnp.vcf", "\\xE2\\x80\\xAEgnp.vcf"},  // a right-to-left override
        // Letters of every length of UTF-8 sequence, at the edges of their lead bytes.
        {"\xE3\x81\x82\xEF\xBC\xA1.vcf", "\xE3\x81\x82\xEF\xBC\xA1.vcf"},
        {"\xE0\xB8\x81.vcf", "\xE0\xB8\x81.vcf"},
        {"\xDF\x8A.vcf", "\xDF\x8A.vcf"},
        {"\xF0\x9F\x98\x80.vcf", "\xF0\x9F\x98\x80.vcf"},
        // An 8-bit CSI, a zero-width no-break space, an encoded surrogate, an invisible
        // format character and a tag character are escaped.
        {"\x9B\x80\x80.vcf", "\\x9B\\x80\\x80.vcf"},
        {"a\xEF\xBB\xBF.vcf", "a\\xEF\\xBB\\xBF.vcf"},
        {"\xED\xA0\x80.vcf", "\\xED\\xA0\\x80.vcf"},
        {"\xE2\x81\xAF.vcf", "\\xE2\\x81\\xAF.vcf"},
        {"\xF3\xA0\x81\x81.vcf", "\\xF3\\xA0\\x81\\x81.vcf"},
    };
    for (const auto& [name, shown] : cases) {
        Folder f;
        f.write("quorlan.ini", name + "\n");
        const RunResult r = f.run();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(console_text(r.err).rfind("quorlan: cannot open '" + shown + "': ", 0), 0u) << r.err;
    }
}

struct InitCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // name, content
    std::string arguments;
    int status;
    std::string message;  // a part of standard error
    bool posix_names = false;  // names that Windows does not allow, or shows otherwise
    const char* shim = "";     // a file system the fault library gives it (Linux only)
    bool stdin_closed = false;
};

// quorlan --init writes quorlan.ini only for one clear card file and never over another.
TEST(Init, WritesAFirstConfigurationOnlyWhenItIsClear) {
    const std::string card = "BEGIN:VCARD\r\nN:Novak;Jan\r\nTEL;TYPE=cell:+420603123456\r\nEND:VCARD\r\n";
    const std::vector<InitCase> cases = {
        {"one file", {{"contacts.vcf", card}}, "", 0, ""},
        {"named", {{"a.vcf", card}, {"b.vcf", card}}, "b.vcf", 0, ""},
        {"none", {}, "", 2, "no .vcf file in this folder"},
        {"two", {{"a.vcf", card}, {"b.vcf", card}}, "", 2, "2 .vcf files in this folder: 'a.vcf' 'b.vcf'"},
        {"no card", {{"a.vcf", "N:x\r\n"}}, "", 1, "holds no card"},
        {"a card without its END: line", {{"a.vcf", "BEGIN:VCARD\r\nFN:Eva\r\n"}}, "", 1,
         "quorlan: 'a.vcf' holds no card (the card begun on line 1, \"Eva\", has no END: line: was the export cut "
         "off?): nothing written"},
        {"existing quorlan.ini", {{"a.vcf", card}, {"quorlan.ini", "x"}}, "", 1, "already exists"},
        {"beside names shorter than \".vcf\"", {{"abc", ""}, {"contacts.vcf", card}}, "", 0, ""},
        // Names quorlan.ini can't hold as they are, shown as every message shows names.
        {"a second .vcf", {{"contacts.vcf.vcf", card}}, "", 1,
         "'contacts.vcf.vcf' can't be named in quorlan.ini: it holds \".vcf\" before its end, so quorlan.ini would "
         "name 'contacts.vcf' instead; rename the card file"},
        {"a line break", {{"c\nN-=N\n.vcf", card}}, shell_quote("c\nN-=N\n.vcf"), 1,
         "'c\\x0AN-=N\\x0A.vcf' can't be named in quorlan.ini: it holds a line break or another control character",
         true},
        {"a terminal's escape", {{"\x1B]0;x\a.vcf", card}}, "", 1, "'\\x1B]0;x\\x07.vcf' can't be named", true},
        {"a space first", {{" a.vcf", card}}, "", 1, "begins or ends with a space"},
        {"\".xml\" reads back as it is", {{"a.xml.vcf", card}}, "", 0, ""},
        {"right-to-left override", {{"a\xE2\x80\xAE" "fcv.vcf", card}}, "", 0, "", true},
        {"-- ends the options", {{"-x.vcf", card}}, "-- -x.vcf", 0, ""},
        {"an empty name", {{"a.vcf", card}}, "''", 2, "quorlan: --init was given an empty name"},
        {"two names", {{"a.vcf", card}, {"b.vcf", card}}, "a.vcf b.vcf", 2,
         "quorlan: --init takes one card file, not 2: 'a.vcf' 'b.vcf'"},
        {"not a .vcf", {{"notes.txt", card}}, "notes.txt", 2,
         "quorlan: 'notes.txt': quorlan.ini can only name a card file whose name ends in .vcf"},
        {"standard input closed", {{"contacts.vcf", card}}, "", 0, "", true, "", true},
        {"a file system without hard links", {{"contacts.vcf", card}}, "", 0, "", true, "no-links"},
    };
    for (const InitCase& c : cases) {
        if (c.posix_names && windows_build()) continue;
        const std::string program = *c.shim != '\0' ? program_with_shim(c.shim) : program_command();
        if (program.empty()) continue;
        Folder f;
        for (const auto& [name, content] : c.files) f.write(name, content);
        const RunResult r = *c.shim == '\0' && !c.stdin_closed
                                ? f.run("--init " + c.arguments)
                                : f.run_command(program + " --init " + c.arguments + (c.stdin_closed ? " <&-" : ""));
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_NE(console_text(r.err).find(c.message), std::string::npos) << c.name << ": " << r.err;
        for (const std::string_view raw : {"\x1B", "\xE2\x80\xAE"}) {
            EXPECT_EQ((r.out + r.err).find(raw), std::string::npos) << c.name << ": a name reached the terminal raw";
        }
        if (c.status != 0) {
            EXPECT_EQ(f.exists("quorlan.ini"), c.name == std::string("existing quorlan.ini")) << c.name;
            if (f.exists("quorlan.ini")) {
                EXPECT_EQ(f.read("quorlan.ini"), "x");
            }
            continue;
        }
        // The next command makes the phonebook, and the fields no card fills stay comments.
        EXPECT_NE(r.out.find("quorlan.ini"), std::string::npos) << c.name;
        EXPECT_NE(f.read("quorlan.ini").find("# FAX#[]  TEL;FAX   (no card has one"), std::string::npos) << c.name;
        ASSERT_EQ(f.run().status, 0) << c.name;
        EXPECT_NE(f.read("phonebook.xml").find("<vcf>\r\n<NAME>Novak Jan</NAME>\r\n<MOBILE>+420 603 123 456</MOBILE>\r\n"
                                               "</vcf>\r\n"),
                  std::string::npos)
            << c.name;
    }
}

// A link planted as quorlan.ini while --init reads the card file (a FIFO here, so that
// the test knows the moment) is neither followed nor replaced.
TEST(Init, NeverWritesThroughALinkPlantedAfterItsCheck) {
    if (windows_build()) GTEST_SKIP() << "a FIFO as the card file";
    Folder f;
    const fs::path planted = f.dir().parent_path() / "planted.txt";
    FedRun run(f, "c.vcf", " --init c.vcf");
    fs::create_symlink(planted, f.dir() / "quorlan.ini");
    run.feed(kCard);
    const RunResult r = run.finish();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'quorlan.ini' already exists"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(planted));
    EXPECT_TRUE(fs::is_symlink(f.dir() / "quorlan.ini"));
    EXPECT_EQ(f.names(), (std::vector<std::string>{"c.vcf", "quorlan.ini"}));
}

// Every card with a name gets a record with it: its N, else its FN, else its ORG, and the
// FN that NAME leaves is FULL.
TEST(Init, NamesEveryCardThatHasOne) {
    Folder f;
    f.write("contacts.vcf", "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Only Fn\r\nEND:VCARD\r\n"
                            "BEGIN:VCARD\r\nORG:Only Org\r\nEND:VCARD\r\n"
                            "BEGIN:VCARD\r\nFN:Jan Novak\r\nN:Novak;Jan\r\nEND:VCARD\r\n");
    ASSERT_EQ(f.run("--init").status, 0);
    const std::string ini = f.read("quorlan.ini");
    EXPECT_NE(ini.find("# NAME: 3 of 3 cards\r\nNAME*=N|FN|ORG\r\n# FULL: 1 of 3 cards\r\nFULL=FN|N\r\n"),
              std::string::npos)
        << ini;
    ASSERT_EQ(f.run().status, 0);
    const std::string xml = f.read("phonebook.xml");
    for (const char* record : {"<NAME>Only Fn</NAME>\r\n<FULL></FULL>", "<NAME>Only Org</NAME>\r\n<FULL></FULL>",
                               "<NAME>Novak Jan</NAME>\r\n<FULL>Jan Novak</FULL>"}) {
        EXPECT_NE(xml.find(record), std::string::npos) << record << "\n" << xml;
    }
}

// Plain --init writes every number of a card into its record: typed ones as lists, and
// the ones no typed field takes (untyped, VOICE, PAGER, CAR, a custom label) in OTHER.
TEST(Init, GivesTheRecordEveryNumber) {
    Folder f;
    f.write("contacts.vcf",
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Novak;Jan\r\nTEL:1\r\nTEL;TYPE=VOICE:2\r\nTEL;PAGER:3\r\n"
            "TEL;TYPE=CAR:4\r\nTEL;TYPE=CELL:5\r\nTEL;CELL;PREF:6\r\nitem1.TEL:7\r\n"
            "item1.X-ABLabel:_$!<Mobile>!$_\r\nitem2.TEL:8\r\nitem2.X-ABLabel:Chata\r\nTEL;TYPE=WORK,FAX:(1)\r\n"
            "TEL;VALUE=uri;TYPE=cell:tel:9\r\nTEL;WORK:10\r\nEND:VCARD\r\n");
    ASSERT_EQ(f.run("--init").status, 0);
    const RunResult r = f.run();
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string xml = f.read("phonebook.xml");
    // The number given twice is written once, in the first field that takes it.
    EXPECT_NE(xml.find("<MOBILE>5</MOBILE>\r\n<MOBILE>6</MOBILE>\r\n<MOBILE>7</MOBILE>\r\n<MOBILE>9</MOBILE>\r\n"
                       "<FAX>(1)</FAX>\r\n<WORK>10</WORK>\r\n<OTHER>2</OTHER>\r\n<OTHER>3</OTHER>\r\n"
                       "<OTHER>4</OTHER>\r\n<OTHER>8</OTHER>\r\n"),
              std::string::npos)
        << xml;
}

}  // namespace
