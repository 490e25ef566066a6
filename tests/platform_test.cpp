// End-to-end runs where Linux and Windows differ by nature: path separators, the case of
// file names, and what a file that can't be written is. QUORLAN_PLATFORM=windows says
// that the Windows build runs (under Wine); each test checks that platform's own rule.
// Everything else, the XML bytes above all, is the same on both and tested elsewhere.
#include <cstring>

#include "e2e_support.h"

namespace {

using namespace e2e;

const char* const kCard = "BEGIN:VCARD\r\nN:Novak;Jan;;;\r\nEND:VCARD\r\n";
const std::string kRecord = "<vcf>\r\n<N>Novak Jan</N>\r\n</vcf>\r\n";

// A backslash separates folders on Windows only; on Linux it is a byte of the file name.
// The element name is the part after the last separator of either kind on both.
TEST(Platform, BackslashInTheOutputName) {
    Folder f;
    fs::create_directory(f.dir() / "out");
    f.write("quorlan.ini", "out\\Book.xml\nN=N:\n");
    f.write("import.vcf", kCard);
    ASSERT_EQ(f.run().status, 0);
    const std::string file = windows_build() ? "out/Book.xml" : "out\\Book.xml";
    EXPECT_EQ(f.read(file), document("Book", kRecord)) << file;
}

// File names are used as written, with the extension in lower case. Windows finds a file
// whatever the case of its name; Linux needs the name exactly.
TEST(Platform, CaseOfTheCardFileName) {
    Folder f;
    f.write("quorlan.ini", "My Contacts.2026.VCF\nN=N:\n");
    f.write("My Contacts.2026.VCF", kCard);
    const RunResult r = f.run();
    if (windows_build()) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(f.read("My Contacts.2026.xml"), document("My Contacts.2026", kRecord));
    } else {
        expect_one_error_line(r, "cannot open", "My Contacts.2026.vcf");
        EXPECT_FALSE(f.exists("My Contacts.2026.xml"));
    }
}

// An XML name taken by a folder can't be created anywhere; the reason differs.
TEST(Platform, OutputNameTakenByAFolder) {
    Folder f;
    fs::create_directory(f.dir() / "import.xml");
    f.write("import.vcf", kCard);
    const RunResult r = f.run();
    expect_one_error_line(r, "cannot create", "import.xml");
    const char* reason = windows_build() ? "Permission denied" : "Is a directory";
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
}

// A read-only XML file stays as it was, on both systems, for an ordinary user. The
// superuser may write any file on Linux, and Wine maps the attribute to the Linux mode.
TEST(Platform, ReadOnlyOutputIsLeftAlone) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root, who may write a read-only file";
    Folder f;
    f.write("import.vcf", kCard);
    f.write("import.xml", "my old phonebook\n");
    fs::permissions(f.dir() / "import.xml", fs::perms::owner_read);
    const RunResult r = f.run();
    expect_one_error_line(r, "cannot replace or write", "import.xml");
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    EXPECT_EQ(f.read("import.xml"), "my old phonebook\n");
}

}  // namespace

namespace {

// UTF-16 in either byte order, with or without a byte-order mark, as Windows tools write it.
std::string utf16(std::string_view ascii, bool big_endian, bool mark) {
    std::string bytes = mark ? (big_endian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (char c : ascii) {
        bytes += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return bytes;
}

TEST(Platform, Utf16CardFilesAndConfigurationsReadAsUtf8) {
    const std::string config = "cards.vcf\r\nbook.xml\r\nN=N:\r\n";
    // "Nov\u00E1k": the UTF-16 unit 00 E1 becomes the UTF-8 pair C3 A1.
    const std::string cards8 = "BEGIN:VCARD\r\nN:Nov\xC3\xA1k;Jan\r\nEND:VCARD\r\n";
    const std::string cards16 = "BEGIN:VCARD\r\nN:Nov\xE1k;Jan\r\nEND:VCARD\r\n";  // U+00E1 as one unit
    const std::string expected = document("book", "<vcf>\r\n<N>Nov\xE1k Jan</N>\r\n</vcf>\r\n");
    Folder utf8;
    utf8.write("quorlan.ini", config);
    utf8.write("cards.vcf", cards8);
    ASSERT_EQ(utf8.run().status, 0);
    EXPECT_EQ(utf8.read("book.xml"), expected);
    for (const bool big_endian : {false, true}) {
        for (const bool mark : {false, true}) {
            SCOPED_TRACE(std::string(big_endian ? "BE" : "LE") + (mark ? " with a mark" : ""));
            Folder f;
            f.write("quorlan.ini", utf16(config, big_endian, mark));
            f.write("cards.vcf", utf16(cards16, big_endian, mark));
            const RunResult r = f.run();
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_TRUE(r.err.empty()) << r.err;
            EXPECT_EQ(f.read("book.xml"), expected);
        }
    }
    // Two real exports in UTF-16, which gave empty phonebooks before.
    for (const char* name : {"FolkerKinzel-VCards/v3Utf16Bom.vcf", "roundcube-roundcubemail/utf-16_sample.vcf"}) {
        const fs::path file = fs::path(QUORLAN_VCARDS) / name;
        if (!fs::exists(file)) GTEST_SKIP() << "no card corpus at " << QUORLAN_VCARDS;
        Folder f;
        f.write("quorlan.ini", "N*=N:\n");
        f.write("import.vcf", read_file(file));
        EXPECT_EQ(f.run().status, 0) << name;
        EXPECT_NE(f.read("import.xml").find("<vcf>\r\n<N>"), std::string::npos) << name;
    }
}

}  // namespace

namespace {

// --- where the XML file goes ------------------------------------------------------------

const std::string kDocument = document("import", kRecord);

struct LinkCase {
    const char* name;
    void (*prepare)(const Folder&);
    int status;
    const char* message;                   // standard error
    std::vector<std::string> files;        // the folder afterwards
    void (*check)(const Folder&);          // what else must hold
};

TEST(Platform, SymbolicAndHardLinksAsTheXmlFile) {
    if (windows_build()) GTEST_SKIP() << "POSIX links";
    const std::vector<LinkCase> cases = {
        {"a symbolic link to a file in another folder: that file is replaced, the link kept",
         [](const Folder& f) {
             fs::create_directory(f.dir() / "srv");
             write_file(f.dir() / "srv/book.xml", "old");
             fs::create_symlink("srv/book.xml", f.dir() / "import.xml");
         },
         0, "", {"import.vcf", "import.xml", "quorlan.ini", "srv"},
         [](const Folder& f) {
             EXPECT_TRUE(fs::is_symlink(f.dir() / "import.xml"));
             EXPECT_EQ(f.read("srv/book.xml"), kDocument);
             EXPECT_EQ(fs::directory_iterator(f.dir() / "srv")->path().filename(), "book.xml");
         }},
        {"a symbolic link to a file not there yet: it is created",
         [](const Folder& f) { fs::create_symlink("new.xml", f.dir() / "import.xml"); },
         0, "", {"import.vcf", "import.xml", "new.xml", "quorlan.ini"},
         [](const Folder& f) { EXPECT_EQ(f.read("new.xml"), kDocument); }},
        {"from a subfolder, a symbolic link to a file not there yet: it is created beside the link",
         [](const Folder& f) {
             f.write("quorlan.ini", "sub/book.xml\nN=N:\n");
             fs::create_directory(f.dir() / "sub");
             fs::create_symlink("new.xml", f.dir() / "sub/book.xml");
         },
         0, "", {"import.vcf", "quorlan.ini", "sub"},
         [](const Folder& f) {
             EXPECT_TRUE(fs::is_symlink(f.dir() / "sub/book.xml"));
             EXPECT_EQ(f.read("sub/new.xml"), document("book", kRecord));
             EXPECT_EQ(std::distance(fs::directory_iterator(f.dir() / "sub"), fs::directory_iterator()), 2);
         }},
        {"a hard link: written in place, so that both names see it",
         [](const Folder& f) {
             f.write("other.xml", "old");
             fs::create_hard_link(f.dir() / "other.xml", f.dir() / "import.xml");
         },
         0, "", {"import.vcf", "import.xml", "other.xml", "quorlan.ini"},
         [](const Folder& f) { EXPECT_EQ(f.read("other.xml"), kDocument); }},
        {"a symbolic link to the card file",
         [](const Folder& f) { fs::create_symlink("import.vcf", f.dir() / "import.xml"); },
         1, "quorlan: 'import.xml' is the card file 'import.vcf'; nothing written\n",
         {"import.vcf", "import.xml", "quorlan.ini"},
         [](const Folder& f) { EXPECT_EQ(f.read("import.vcf"), kCard); }},
        {"a hard link to quorlan.ini",
         [](const Folder& f) { fs::create_hard_link(f.dir() / "quorlan.ini", f.dir() / "import.xml"); },
         1, "quorlan: 'import.xml' is the configuration file 'quorlan.ini'; nothing written\n",
         {"import.vcf", "import.xml", "quorlan.ini"},
         [](const Folder& f) { EXPECT_EQ(f.read("quorlan.ini"), "N=N:\n"); }},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        Folder f;
        f.write("quorlan.ini", "N=N:\n");
        f.write("import.vcf", kCard);
        c.prepare(f);
        const RunResult r = f.run();
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(f.names(), c.files);
        c.check(f);
    }
}

TEST(Platform, DevicesAndFifosAreWrittenInPlace) {
    if (windows_build()) GTEST_SKIP() << "POSIX devices and FIFOs";
    Folder f;
    f.write("quorlan.ini", "N=N:\n");
    f.write("import.vcf", kCard);
    fs::create_symlink("/dev/stdout", f.dir() / "import.xml");
    RunResult r = f.run_command(program_command() + " | cat");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kDocument);
    fs::remove(f.dir() / "import.xml");
    ASSERT_EQ(mkfifo((f.dir() / "import.xml").c_str(), 0644), 0);
    r = f.run_command("cat import.xml & " + program_command() + "; wait");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kDocument);
}

TEST(Platform, TheNewFileKeepsTheOldOnesPermissions) {
    if (windows_build()) GTEST_SKIP() << "POSIX permission bits";
    Folder f;
    f.write("import.vcf", kCard);
    f.write("import.xml", "old");
    fs::permissions(f.dir() / "import.xml", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(f.run().status, 0);
    EXPECT_EQ(fs::status(f.dir() / "import.xml").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // A new file gets what the umask leaves of rw-rw-rw-.
    fs::remove(f.dir() / "import.xml");
    ASSERT_EQ(f.run_command("umask 077; " + program_command()).status, 0);
    EXPECT_EQ(fs::status(f.dir() / "import.xml").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::remove(f.dir() / "import.xml");
    ASSERT_EQ(f.run_command("umask 002; " + program_command()).status, 0);
    EXPECT_EQ(fs::status(f.dir() / "import.xml").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write |
                  fs::perms::others_read);
}

TEST(Platform, TwoRunsAtOnce) {
    Folder f;
    f.write("quorlan.ini", "N=N:\n");
    std::string cards;
    while (cards.size() < 3'000'000) cards += kCard;
    f.write("import.vcf", cards);
    const RunResult r = f.run_command(program_command() + " & " + program_command() + " && wait $!");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::string xml = f.read("import.xml");
    EXPECT_TRUE(xml.ends_with(kRecord + "</import>\r\n"));
    EXPECT_EQ(xml.size(), document("import", "").size() + kRecord.size() * (cards.size() / std::strlen(kCard)));
    EXPECT_EQ(f.names(), (std::vector<std::string>{"import.vcf", "import.xml", "quorlan.ini"}));
}

}  // namespace
