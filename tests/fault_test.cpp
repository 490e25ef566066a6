// End-to-end runs on damaged, unusual and unreadable input: the exit status, the one line on
// standard error, and what is on disk afterwards.
#include <cstdint>

#include "e2e_support.h"

namespace {

using namespace e2e;

std::string record(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string text = "<vcf>\r\n";
    for (const auto& [element, value] : fields) text += "<" + element + ">" + value + "</" + element + ">\r\n";
    return text + "</vcf>\r\n";
}

// The one line a run prints when no line of the card file began with "END:".
std::string no_card_warning(const std::string& input) {
    return "quorlan: warning: no card ended in '" + input + "' (no line began with \"END:\"): is it a vCard file?\n";
}

// --- lines longer than the line buffer --------------------------------------------------

// The long line begins with "END:ab;=", so the mapping E (prefix "END:a") takes its value from
// the next piece the reader delivers, whole: the value shows exactly where the reader cut.
const char* const kLongLineConfig = "E=END:a\n";

std::string long_line(std::size_t length) { return "END:ab;=" + std::string(length - 8, 'y'); }

struct LongLineCase {
    std::size_t length;  // bytes of text, without the line end
    const char* line_end;
    std::string body;
};

TEST(LongLines, ArePiecesOfAtMost1999BytesWithCrLfCountedAsOne) {
    const std::string y1999(1999, 'y');
    const std::vector<LongLineCase> cases = {
        // 1998 bytes and the LF (or CR LF) fill one read: the next line is "END:VCARD".
        {1998, "\n", record({{"E", "END:VCARD"}})},
        {1998, "\r\n", record({{"E", "END:VCARD"}})},  // the CR LF pair lies across byte 1999
        // 1999 bytes fill the read without the LF, which comes alone in the next one.
        {1999, "\n", record({{"E", ""}})},
        {1999, "\r\n", record({{"E", ""}})},
        {2000, "\n", record({{"E", "y"}})},
        {2000, "\r\n", record({{"E", "y"}})},
        {2001, "\n", record({{"E", "yy"}})},
        {2001, "\r\n", record({{"E", "yy"}})},
        {100000, "\n", record({{"E", y1999}})},
        {100000, "\r\n", record({{"E", y1999}})},
        // Last in the file without a line end: a line that fits has no next line, so it is its
        // own value (";" cleaned to a space) and ends the card; a longer one gives the value
        // from its second piece, which doesn't begin with "END:".
        {1998, "", record({{"E", "END:ab =" + std::string(1990, 'y')}})},
        {1999, "", record({{"E", "END:ab =" + std::string(1991, 'y')}})},
        {2000, "", ""},
        {2001, "", ""},
        {100000, "", ""},
    };
    for (const LongLineCase& c : cases) {
        const std::string end = c.line_end;
        SCOPED_TRACE(std::to_string(c.length) + (end == "\n" ? " LF" : end.empty() ? " none" : " CR LF"));
        Folder f;
        f.write("quorlan.ini", kLongLineConfig);
        std::string cards = "BEGIN:VCARD\r\n" + long_line(c.length) + end;
        if (!end.empty()) cards += "END:VCARD\r\n";
        f.write("import.vcf", cards);
        const RunResult r = f.run();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(console_text(r.err), c.body.empty() ? no_card_warning("import.vcf") : "");
        EXPECT_EQ(f.read("import.xml"), document("import", c.body));
    }
}

TEST(LongLines, ALoneCrAtTheLimitIsText) {
    // Byte 1999 is a CR that no LF follows: it is the last byte of the first piece.
    Folder f;
    f.write("quorlan.ini", kLongLineConfig);
    f.write("import.vcf", "BEGIN:VCARD\r\n" + long_line(1998) + "\rzz\r\nEND:VCARD\r\n");
    EXPECT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read("import.xml"), document("import", record({{"E", "zz"}})));
}

// --- small damaged files ------------------------------------------------------------------

struct SmallCase {
    const char* name;
    std::string config, cards, body;
};

TEST(DamagedInput, ConvertsWhatTheLineModelImplies) {
    const std::string nul(1, '\0');
    // Forty elements with names of 1900 bytes: one record of 152 KB, beyond a block of output.
    std::string long_names, big_record = "<vcf>\r\n";
    for (int i = 0; i < 40; ++i) {
        std::string element = std::to_string(i);
        element.insert(0, 1, 'E');
        element.append(1900, 'x');
        long_names += element + "=N:\n";
        big_record += "<" + element + ">" + (i == 0 ? "A" : "") + "</" + element + ">\r\n";
    }
    big_record += "</vcf>\r\n";
    const std::vector<SmallCase> cases = {
        {"NUL bytes end the text of their line",
         "N=N:\nT=TEL\n", "BEGIN:VCARD\r\nN:No" + nul + "vak;Jan\r\nTEL:12" + nul + " 34\r\nEND:VCARD\r\n",
         record({{"N", "No"}, {"T", "12"}})},
        {"NUL bytes in the configuration",
         "N=N:" + nul + "X=Y\nT=TEL" + nul + "junk\n", "BEGIN:VCARD\r\nN:A\r\nTEL:1\r\nEND:VCARD\r\n",
         record({{"N", "A"}, {"T", "1"}})},
        {"a UTF-8 byte-order mark before the first card",
         "N=N:\n", "\xEF\xBB\xBF" "BEGIN:VCARD\r\nN:Nov\xC3\xA1k\r\nEND:VCARD\r\n", record({{"N", "Nov\xE1k"}})},
        {"no line end after the last line",
         "N=N:\n", "BEGIN:VCARD\r\nN:A\r\nEND:VCARD", record({{"N", "A"}})},
        {"a card without BEGIN:VCARD keeps the values before it",
         "N=N:\nT=TEL\n", "BEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\nTEL:1\r\nEND:VCARD\r\n",
         record({{"N", "A"}, {"T", ""}}) + record({{"N", "A"}, {"T", "1"}})},
        {"END: lines without cards and no mappings", "", "END:VCARD\r\nEND:\r\nEND:VCALENDAR\r\n",
         record({}) + record({}) + record({})},
        {"END: lines without cards and a required field", "N*=N:\n", "END:VCARD\r\nEND:\r\n", ""},
        {"only line ends", "N=N:\n", "\r\n\n\r\r\n\r", ""},
        {"a quorlan.ini of a byte-order mark alone", "\xEF\xBB\xBF", "END:VCARD\r\n", record({})},
        {"a quorlan.ini beginning with half a mark", "\xEF\xBB\nN=N:\n", "N:A\r\nEND:VCARD\r\n", record({{"N", "A"}})},
        {"a record larger than a block of output", long_names, "N:A\r\nEND:VCARD\r\n", big_record},
        {"a lone CR inside a value", "N=N:\n", "BEGIN:VCARD\r\nN:A\rB\r\nEND:VCARD\r\n", record({{"N", "A&#13;B"}})},
    };
    for (const SmallCase& c : cases) {
        SCOPED_TRACE(c.name);
        Folder f;
        f.write("quorlan.ini", c.config);
        f.write("import.vcf", c.cards);
        const RunResult r = f.run();
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string err = console_text(r.err);
        if (c.cards.find("END:") == std::string::npos) {
            EXPECT_EQ(err, no_card_warning("import.vcf"));
        } else {
            EXPECT_EQ(err.rfind("quorlan: warning: 'import.xml' holds no record: ", 0) == 0, c.body.empty()) << err;
        }
        EXPECT_EQ(f.read("import.xml"), document("import", c.body));
        EXPECT_TRUE(is_well_formed_xml(f.dir() / "import.xml"));
    }
}

// Read as vCard readers read it, an export in which no card ends is a failed run: the old
// phonebook stays, byte for byte, and the one line says what the file seems to hold.
TEST(DamagedInput, DecodedWithoutACardTheOldPhonebookStays) {
    std::string binary = "\x89PNG\r\n\x1A\n";
    for (int b = 0; b < 256; ++b) binary += static_cast<char>(b);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "it is empty"},
        {"\xEF\xBB\xBF", "it is empty"},
        {"\r\n\r\n", "it holds only blank lines"},
        {binary, "it holds binary data, not text: is it a vCard file?"},
        {"Name,Mobile\r\nJan Nov\xC3\xA1k,+420603123456\r\n" + std::string(200'000, 'x'),
         "it holds text, but no line begins with BEGIN:VCARD: is it a vCard file?"},
        {"BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Nov=C3=A1k;Jan\r\nTEL:1\r\n",
         "the card begun on line 1, \"Nov\xC3\xA1k Jan\", has no END: line: was the export cut off?"},
    };
    std::string old;
    for (int b = 0; b < 256; ++b) old += static_cast<char>(b);
    for (const auto& [cards, why] : cases) {
        SCOPED_TRACE(why);
        Folder f;
        f.write("quorlan.ini", "in.vcf\nout.xml\nDECODE=1\nN*=N\nT=TEL\n");
        f.write("in.vcf", cards);
        f.write("out.xml", old);
        const RunResult r = f.run();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(console_text(r.err), "quorlan: 'in.vcf' holds no card (" + why + "); 'out.xml' left as it was\n");
        EXPECT_EQ(f.read("out.xml"), old);
        EXPECT_EQ(f.names(), (std::vector<std::string>{"in.vcf", "out.xml", "quorlan.ini"}));
    }
}

// Every configuration --init writes reads so: a phone keeps its phonebook after a failed export.
TEST(DamagedInput, AFamilysPhonebookOutlivesAnEmptyExport) {
    Folder f;
    f.write("contacts.vcf", "BEGIN:VCARD\r\nFN:Jan Novak\r\nTEL;CELL:+420603123456\r\nEND:VCARD\r\n");
    ASSERT_EQ(f.run("--init --for yealink").status, 0);
    ASSERT_EQ(f.run().status, 0);
    const std::string phonebook = f.read("yealink-phonebook.xml");
    EXPECT_NE(phonebook.find("Jan Novak"), std::string::npos) << phonebook;
    f.write("contacts.vcf", "");
    const RunResult r = f.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(console_text(r.err),
              "quorlan: 'contacts.vcf' holds no card (it is empty); 'yealink-phonebook.xml' left as it was\n");
    EXPECT_EQ(f.read("yealink-phonebook.xml"), phonebook);
}

// Random bytes, with an "END:" line now and then so that records are written, and fifty
// mappings of one-byte prefixes so that values take all kinds of bytes.
TEST(DamagedInput, RandomBytesGiveAWellFormedDocument) {
    std::string config;
    for (int i = 0; i < 50; ++i) {
        config += 'F';
        config += std::to_string(i);
        config += '=';
        config += static_cast<char>(0x21 + i * 4);
        config += '\n';
    }
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    std::string cards;
    while (cards.size() < 500'000) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        cards += static_cast<char>(state >> 56);
        if ((state >> 20) % 97 == 0) cards += "\nEND:VCARD\r\n";
    }
    Folder f;
    f.write("quorlan.ini", config);
    f.write("import.vcf", cards);
    const RunResult r = f.run();
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string xml = f.read("import.xml");
    EXPECT_TRUE(xml.starts_with(kProlog + "<import>\r\n<vcf>\r\n"));
    EXPECT_TRUE(xml.ends_with("</vcf>\r\n</import>\r\n"));
    EXPECT_TRUE(is_well_formed_xml(f.dir() / "import.xml"));
    Folder again;
    again.write("quorlan.ini", config);
    again.write("import.vcf", cards);
    EXPECT_EQ(again.run().status, 0);
    EXPECT_EQ(again.read("import.xml"), xml);
}

// --- files that can't be read -------------------------------------------------------------

// The system's words for the failure, as this system's C library gives them; another build
// run through QUORLAN_COMMAND (such as the Windows one) has its own.
void expect_reason(const RunResult& r, const std::string& reason) {
    if (std::getenv("QUORLAN_COMMAND") != nullptr) return;
    EXPECT_NE(r.err.find(": " + reason + "\n"), std::string::npos) << r.err;
}

// Runs the program as a user who can't read mode-000 files: the current user, or, for
// root, "nobody" through setpriv. Returns false when that isn't possible here.
bool run_unprivileged(const Folder& f, RunResult& result, fs::perms folder = fs::perms::all) {
    if (geteuid() != 0) {
        result = f.run();
        return true;
    }
    if (std::getenv("QUORLAN_COMMAND") != nullptr || std::system("command -v setpriv >/dev/null 2>&1") != 0) {
        return false;
    }
    // The user needs its own copy of the program and a way into the folder.
    const fs::path top = f.dir().parent_path();
    fs::copy_file(QUORLAN_EXE, top / "quorlan", fs::copy_options::overwrite_existing);
    fs::permissions(top, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(f.dir(), folder);
    const std::string command = "cd " + shell_quote(f.dir().string()) +
                                " && setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                shell_quote((top / "quorlan").string()) + " >" +
                                shell_quote((top / "stdout").string()) + " 2>" +
                                shell_quote((top / "stderr").string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = read_file(top / "stdout");
    result.err = read_file(top / "stderr");
    return true;
}

TEST(Unreadable, InputWithoutReadPermission) {
    Folder f;
    f.write("import.vcf", "BEGIN:VCARD\r\nEND:VCARD\r\n");
    f.write("import.xml", "my old phonebook");
    fs::permissions(f.dir() / "import.vcf", fs::perms::none);
    fs::permissions(f.dir() / "import.xml", fs::perms::all);
    RunResult r;
    if (!run_unprivileged(f, r)) GTEST_SKIP() << "running as root without setpriv: can't drop the right to read";
    expect_one_error_line(r, "cannot open", "import.vcf");
    expect_reason(r, "Permission denied");
    EXPECT_EQ(f.read("import.xml"), "my old phonebook");
}

TEST(Unreadable, ConfigurationWithoutReadPermission) {
    Folder f;
    f.write("quorlan.ini", "N=N:\n");
    f.write("import.vcf", "BEGIN:VCARD\r\nEND:VCARD\r\n");
    fs::permissions(f.dir() / "quorlan.ini", fs::perms::none);
    RunResult r;
    if (!run_unprivileged(f, r)) GTEST_SKIP() << "running as root without setpriv: can't drop the right to read";
    expect_one_error_line(r, "cannot open", "quorlan.ini");
    expect_reason(r, "Permission denied");
    EXPECT_FALSE(f.exists("import.xml"));
}

TEST(Unreadable, MissingInputLeavesEveryByteOfTheOutput) {
    Folder f;
    std::string old;
    for (int b = 0; b < 256; ++b) old += static_cast<char>(b);
    f.write("import.xml", old + "\r\n" + old);
    expect_one_error_line(f.run(), "cannot open", "import.vcf");
    EXPECT_EQ(f.read("import.xml"), old + "\r\n" + old);
    EXPECT_EQ(f.names(), std::vector<std::string>{"import.xml"});
}

struct UnopenableCase {
    const char* name;
    const char* message;  // the words of the error line after the file name
    void (*prepare)(const Folder&);
};

TEST(Unreadable, InputsThatCannotBeOpenedLeaveTheOutputAlone) {
    const std::vector<UnopenableCase> cases = {
        {"a dangling symbolic link", "No such file or directory",
         [](const Folder& f) { fs::create_symlink("gone.vcf", f.dir() / "in.vcf"); }},
        {"a symbolic link to itself", "Too many levels of symbolic links",
         [](const Folder& f) { fs::create_symlink("in.vcf", f.dir() / "in.vcf"); }},
        {"a folder", "Is a directory", [](const Folder& f) { fs::create_directory(f.dir() / "in.vcf"); }},
    };
    for (const UnopenableCase& c : cases) {
        SCOPED_TRACE(c.name);
        Folder f;
        f.write("quorlan.ini", "in.vcf\nout.xml\n");
        f.write("out.xml", "old phonebook");
        c.prepare(f);
        const RunResult r = f.run();
        expect_one_error_line(r, "in.vcf", "in.vcf");
        expect_reason(r, c.message);
        EXPECT_EQ(f.read("out.xml"), "old phonebook");
    }
}

TEST(Unreadable, ANameTooLongForTheSystem) {
    Folder f;
    const std::string base(300, 'n');
    f.write("quorlan.ini", base + ".vcf\n");
    const RunResult r = f.run();
    expect_one_error_line(r, "cannot open", base + ".vcf");
    expect_reason(r, "File name too long");
    EXPECT_EQ(f.names(), std::vector<std::string>{"quorlan.ini"});
}

// --- output that can't be written ---------------------------------------------------------

TEST(Unwritable, OutputThatIsAFolder) {
    Folder f;
    f.write("import.vcf", "BEGIN:VCARD\r\nEND:VCARD\r\n");
    fs::create_directory(f.dir() / "import.xml");
    f.write("import.xml/keep", "x");
    expect_one_error_line(f.run(), "cannot create", "import.xml");
    EXPECT_EQ(f.read("import.xml/keep"), "x");
    EXPECT_EQ(f.read("import.vcf"), "BEGIN:VCARD\r\nEND:VCARD\r\n");
}

TEST(Unwritable, ReadOnlyOutputFile) {
    Folder f;
    f.write("import.vcf", "BEGIN:VCARD\r\nEND:VCARD\r\n");
    f.write("import.xml", "old phonebook");
    fs::permissions(f.dir() / "import.vcf", fs::perms::owner_read | fs::perms::others_read);
    fs::permissions(f.dir() / "import.xml", fs::perms::owner_read | fs::perms::others_read);
    RunResult r;
    if (!run_unprivileged(f, r)) GTEST_SKIP() << "running as root without setpriv: can't drop the right to write";
    expect_one_error_line(r, "cannot replace or write", "import.xml");
    expect_reason(r, "Permission denied");
    EXPECT_EQ(f.read("import.xml"), "old phonebook");
}


// Where the folder refuses a new file, or (with the sticky bit, as /tmp) refuses to let
// another user's file be replaced, a file the user may write is written in place.
TEST(Unwritable, FoldersThatRefuseANewFileGetTheFileWrittenInPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the file to another user";
    const fs::perms read_write_all = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                     fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
    const fs::perms no_writing = fs::perms::all & ~fs::perms::owner_write & ~fs::perms::group_write &
                                 ~fs::perms::others_write;
    for (const fs::perms folder : {fs::perms::all | fs::perms::sticky_bit, no_writing}) {
        Folder f;
        f.write("import.vcf", "BEGIN:VCARD\r\nEND:VCARD\r\n");
        f.write("import.xml", "old phonebook");
        fs::permissions(f.dir() / "import.xml", read_write_all);
        RunResult r;
        if (!run_unprivileged(f, r, folder)) GTEST_SKIP() << "no setpriv here";
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(f.read("import.xml"), document("import", "<vcf>\r\n</vcf>\r\n"));
        EXPECT_EQ(f.names(), (std::vector<std::string>{"import.vcf", "import.xml"}));
    }
}

// A file of the user in a folder of another user is replaced by a rename like any other:
// a run stopped half way leaves the old phonebook.
TEST(Unwritable, TheUsersOwnFileInAnotherUsersFolderIsReplacedByRename) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the file to another user";
    for (const fs::perms folder : {fs::perms::all | fs::perms::sticky_bit, fs::perms::all}) {
        Folder f;
        f.write("import.vcf", "BEGIN:VCARD\r\nEND:VCARD\r\n");
        f.write("import.xml", "old phonebook");
        ASSERT_EQ(chown((f.dir() / "import.xml").c_str(), 65534, 65534), 0);
        struct stat before {};
        ASSERT_EQ(stat((f.dir() / "import.xml").c_str(), &before), 0);
        RunResult r;
        if (!run_unprivileged(f, r, folder)) GTEST_SKIP() << "no setpriv here";
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(f.read("import.xml"), document("import", "<vcf>\r\n</vcf>\r\n"));
        struct stat after {};
        ASSERT_EQ(stat((f.dir() / "import.xml").c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino) << "written in place";
    }
}

TEST(FullDisk, FailsInTheMiddleOfALargeInput) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    Folder f;
    f.write("quorlan.ini", "out.xml\nN=N:\n");
    std::string cards;
    while (cards.size() < 1'000'000) cards += "BEGIN:VCARD\r\nN:Novak;Jan\r\nEND:VCARD\r\n";
    f.write("import.vcf", cards);
    fs::create_symlink("/dev/full", f.dir() / "out.xml");
    const RunResult r = f.run();
    expect_one_error_line(r, "cannot write", "out.xml");
    expect_reason(r, "No space left on device");
    EXPECT_TRUE(fs::is_symlink(f.dir() / "out.xml"));
    EXPECT_EQ(f.read("import.vcf"), cards);
}

TEST(FullDisk, OutputFolderThatIsAFile) {
    Folder f;
    f.write("quorlan.ini", "book/out.xml\n");
    f.write("import.vcf", "");
    f.write("book", "not a folder");
    expect_one_error_line(f.run(), "cannot create", "book/out.xml");
    EXPECT_EQ(f.read("book"), "not a folder");
}

}  // namespace

// --- failures after the output is opened ------------------------------------------------

namespace {

const char* const kOldPhonebook = "<?xml version=\"1.0\"?>\r\n<out>my old phonebook</out>\r\n";

// True when the folder holds exactly the card file, quorlan.ini and the XML file: no
// temporary file is left.
bool only_the_files(const Folder& f) {
    return f.names() == std::vector<std::string>{"import.vcf", "out.xml", "quorlan.ini"};
}

bool posix_build_here() { return !windows_build(); }

struct InjectedFault {
    const char* command;  // a libfiu control command
    const char* words;    // the start of the error line
};

// Each failure point of a run over a card file of many blocks, once or at random points:
// the run either writes the whole document or fails with one line, and the old file is
// then byte for byte what it was. Either way no temporary file is left.
TEST(Atomic, AnyFailureLeavesTheOldFileAsItWas) {
    if (!posix_build_here() || std::system("command -v fiu-run >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs libfiu's fiu-run and the POSIX build";
    }
    const std::vector<InjectedFault> faults = {
        {"enable_random name=posix/io/rw/write,probability=0.5,failinfo=28", "cannot write 'out.xml': No space left"},
        {"enable_random name=posix/io/rw/read,probability=0.1,failinfo=5", "cannot read '"},
        {"enable name=posix/io/sync/fsync,failinfo=5", "cannot write 'out.xml': Input/output error"},
        {"enable name=posix/io/dir/rename,failinfo=18", "cannot write 'out.xml': Invalid cross-device link"},
        {"enable_random name=posix/io/oc/open,probability=0.5,failinfo=24", "cannot "},
        {"enable_random name=posix/io/oc/close,probability=0.5,failinfo=5", "cannot "},
    };
    Folder f;
    f.write("quorlan.ini", "out.xml\nN=N:\nP=PHOTO\n");
    f.write("import.vcf", many_cards(6'000'000));
    ASSERT_EQ(f.run().status, 0);
    const std::string complete = f.read("out.xml");
    int failed_runs = 0;
    for (const InjectedFault& fault : faults) {
        for (int run = 0; run < 4; ++run) {
            SCOPED_TRACE(fault.command);
            f.write("out.xml", kOldPhonebook);
            // fiu's preload library leaks a string at start; a sanitizer build must not report
            // it, as its report would go through the very calls that fail.
            const RunResult r = f.run_command("ASAN_OPTIONS=detect_leaks=0:symbolize=0 fiu-run -x -f '' -c " +
                                              shell_quote(fault.command) + " " + program_command());
            if (r.status == 0) {
                EXPECT_EQ(f.read("out.xml"), complete);
            } else {
                ++failed_runs;
                expect_one_error_line(r, fault.words, "");
                EXPECT_EQ(f.read("out.xml"), kOldPhonebook);
            }
            EXPECT_TRUE(only_the_files(f));
        }
    }
    EXPECT_GE(failed_runs, 12);
}

// quorlan --init writes quorlan.ini whole or not at all, as a run writes its phonebook.
TEST(Atomic, InitThatCannotWriteLeavesNoConfiguration) {
    if (!posix_build_here() || std::system("command -v fiu-run >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs libfiu's fiu-run and the POSIX build";
    }
    for (const char* fault : {"enable name=posix/io/rw/write,failinfo=28", "enable name=posix/io/sync/fsync,failinfo=5"}) {
        Folder f;
        f.write("import.vcf", "BEGIN:VCARD\r\nN:Novak;Jan\r\nEND:VCARD\r\n");
        const RunResult r = f.run_command("ASAN_OPTIONS=detect_leaks=0:symbolize=0 fiu-run -x -f '' -c " +
                                          shell_quote(fault) + " " + program_command() + " --init");
        expect_one_error_line(r, "cannot write 'quorlan.ini'", "");
        EXPECT_EQ(f.names(), std::vector<std::string>{"import.vcf"}) << fault;
    }
}

struct SignalCase {
    const char* name;
    int signal_number;
    void (*prepare)(const Folder&) = nullptr;  // besides out.xml with the old phonebook
    bool in_place = false;                     // the run writes out.xml itself
    bool others_file = false;                  // out.xml belongs to "nobody" (root only)
};

// A card file read from a FIFO: the run is stopped while it waits for more cards.
TEST(Atomic, SignalsRemoveTheTemporaryFile) {
    if (!posix_build_here()) GTEST_SKIP() << "POSIX signals";
    const std::vector<SignalCase> cases = {
        {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP},
        // A file of several names is written in place, so that every name sees the new one.
        {"SIGTERM, written in place", SIGTERM,
         [](const Folder& f) { fs::create_hard_link(f.dir() / "out.xml", f.dir() / "other.xml"); }, true},
        // Root replaces another user's file in that user's sticky folder by a rename too.
        {"SIGTERM, another user's file in a sticky folder", SIGTERM,
         [](const Folder& f) {
             ASSERT_EQ(chown((f.dir() / "out.xml").c_str(), 65534, 65534), 0);
             ASSERT_EQ(chown(f.dir().c_str(), 65534, 65534), 0);
             fs::permissions(f.dir(), fs::perms::all | fs::perms::sticky_bit);
         },
         false, true},
    };
    for (const SignalCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.others_file && geteuid() != 0) continue;
        Folder f;
        f.write("quorlan.ini", "out.xml\nN=N:\n");
        f.write("out.xml", kOldPhonebook);
        if (c.prepare != nullptr) c.prepare(f);
        FedRun run(f);
        ASSERT_TRUE(run.feed(many_cards(1'000'000)));
        if (c.in_place) {
            // Opened in place, the file is emptied first.
            for (int tries = 0; tries < 10000 && f.read("out.xml") == kOldPhonebook; ++tries) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        } else {
            ASSERT_TRUE(wait_for_file(f, ".out.xml.quorlan-"));
        }
        kill(run.pid(), c.signal_number);
        const RunResult r = run.finish();
        EXPECT_EQ(r.status, 128 + c.signal_number);
        EXPECT_EQ(r.err, std::string("quorlan: interrupted; 'out.xml' ") +
                             (c.in_place ? "is incomplete\n" : "left as it was\n"));
        EXPECT_EQ(f.read("out.xml") == kOldPhonebook, !c.in_place);
        std::vector<std::string> files = {"import.vcf", "out.xml", "quorlan.ini"};
        if (c.in_place) files.insert(files.begin() + 1, "other.xml");
        EXPECT_EQ(f.names(), files);
        struct stat info {};
        ASSERT_EQ(stat((f.dir() / "out.xml").c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, c.others_file ? 65534u : geteuid());
    }
}

// Whoever reads the XML file while a run writes it sees the old document until the new
// one is there whole, also when the card file can't be read to its end.
TEST(Atomic, AReaderSeesOnlyWholeDocuments) {
    if (!posix_build_here()) GTEST_SKIP() << "a FIFO as the card file";
    Folder f;
    f.write("quorlan.ini", "out.xml\nN=N:\nP=PHOTO\n");
    f.write("out.xml", kOldPhonebook);
    {
        FedRun run(f);
        for (int block = 0; block < 30; ++block) {
            ASSERT_TRUE(run.feed(many_cards(200'000)));
            EXPECT_EQ(f.read("out.xml"), kOldPhonebook);
        }
        const RunResult r = run.finish();
        EXPECT_EQ(r.status, 0) << r.err;
    }
    const std::string xml = f.read("out.xml");
    EXPECT_TRUE(xml.ends_with("</vcf>\r\n</out>\r\n"));
    EXPECT_GT(xml.size(), 3u * 65536);  // blocks written while the reader looked
    EXPECT_TRUE(only_the_files(f));
}

// Runs the program in `f` with standard output a pipe whose reader is gone.
RunResult run_into_closed_pipe(const Folder& f, const std::string& arguments) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    close(fds[0]);
    const fs::path err = f.dir().parent_path() / "pipe-stderr";
    const pid_t pid = start_program(f.dir(), arguments, fds[1], err);
    close(fds[1]);
    RunResult r;
    r.status = wait_for_program(pid);
    r.err = read_file(err);
    return r;
}

// The phonebook written into a pipe whose reader has gone is incomplete: a failure. A
// report's reader that stops reading (`| head`) has seen what it wanted: a quiet end.
TEST(Atomic, ABrokenPipeFailsAConversionOnly) {
    if (!posix_build_here()) GTEST_SKIP() << "POSIX pipes";
    Folder f;
    f.write("quorlan.ini", "out.xml\nN=N:\n");
    f.write("import.vcf", many_cards(300'000));
    fs::create_symlink("/dev/stdout", f.dir() / "out.xml");
    for (const std::string arguments : {"", " --help", " --version", " --explain"}) {
        const RunResult r = run_into_closed_pipe(f, arguments);
        EXPECT_EQ(r.status, arguments.empty() ? 1 : 0) << arguments;
        EXPECT_EQ(r.err, arguments.empty() ? "quorlan: cannot write 'out.xml': Broken pipe\n" : "") << arguments;
    }
}

}  // namespace
