// End-to-end runs of the program: names, frame, configuration and failures.
#include <iconv.h>

#include "e2e_support.h"

namespace {

using namespace e2e;

const char* const kCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Novak;Jan;;;\r\nTEL;CELL:+420 603 123 456\r\nEND:VCARD\r\n";
const char* const kExampleConfig =
    "contacts.vcf\r\nphonebook.xml\r\nASCII=1\r\nNAME*=N:\r\nMOBILE#=TEL;CELL\r\nCOMPANY-=ORG\r\n"
    "SOURCE_IDENT=addressbook\r\n";

TEST(Run, NoConfigurationReadsImportVcf) {
    Folder f;
    f.write("import.vcf", kCard);
    const RunResult r = f.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(r.err.empty());
    EXPECT_EQ(f.read("import.xml"), document("import", "<vcf>\r\n</vcf>\r\n"));
}

TEST(Run, EmptyInputGivesThreeLines) {
    Folder f;
    f.write("import.vcf", "");
    EXPECT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read("import.xml"), document("import", ""));
}

TEST(Run, TheExampleConfiguration) {
    Folder f;
    f.write("quorlan.ini", kExampleConfig);
    f.write("contacts.vcf", std::string(kCard) + "BEGIN:VCARD\r\nN:Firm;A\r\nORG:Firm & Co\r\nEND:VCARD\r\n");
    const RunResult r = f.run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(f.read("phonebook.xml"),
              document("phonebook",
                       "<vcf>\r\n<NAME>Novak Jan</NAME>\r\n<MOBILE>+420 603 123 456</MOBILE>\r\n"
                       "<COMPANY></COMPANY>\r\n<SOURCE_IDENT>addressbook</SOURCE_IDENT>\r\n</vcf>\r\n"));
    EXPECT_EQ(f.names(), (std::vector<std::string>{"contacts.vcf", "phonebook.xml", "quorlan.ini"}));
    EXPECT_TRUE(is_well_formed_xml(f.dir() / "phonebook.xml"));
}

TEST(Run, ValuesWithMarkupAndStrayBytesStayWellFormed) {
    Folder f;
    f.write("quorlan.ini", "NAME=N:\nCOMPANY=ORG:\nNOTE=NOTE:\n");
    f.write("import.vcf", "BEGIN:VCARD\nN:</NAME><x>\nORG:Smith & Sons\nNOTE:a\x01\x1F\xE2\x82\xAC\x98z\nEND:VCARD\n");
    ASSERT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read("import.xml"),
              document("import", "<vcf>\r\n<NAME>&lt;/NAME&gt;&lt;x&gt;</NAME>\r\n<COMPANY>Smith &amp; Sons</COMPANY>\r\n"
                                 "<NOTE>a__\xE2\x82\xAC_z</NOTE>\r\n</vcf>\r\n"));
    EXPECT_TRUE(is_well_formed_xml(f.dir() / "import.xml"));
}

TEST(Run, ArgumentsAreIgnored) {
    Folder f;
    f.write("import.vcf", kCard);
    EXPECT_EQ(f.run("some thing.vcf other").status, 0);
    EXPECT_EQ(f.read("import.xml"), document("import", "<vcf>\r\n</vcf>\r\n"));
}

TEST(Run, ConfigurationWithByteOrderMark) {
    Folder f;
    f.write("quorlan.ini", "\xEF\xBB\xBF" "cards.vcf\nN=N:\n");
    f.write("cards.vcf", kCard);
    EXPECT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read("cards.xml"), document("cards", "<vcf>\r\n<N>Novak Jan</N>\r\n</vcf>\r\n"));
}

TEST(Run, OnlyAnXmlExtensionGivesAnEmptyName) {
    Folder f;
    f.write("quorlan.ini", ".xml\n");
    f.write("import.vcf", "");
    EXPECT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read(".xml"), kProlog + "<>\r\n</>\r\n");
}

TEST(Run, OutputInAnotherFolderKeepsTheElementNameClean) {
    Folder f;
    fs::create_directory(f.dir() / "out");
    f.write("quorlan.ini", "out/Book.XML\n");
    f.write("import.vcf", "");
    EXPECT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read("out/Book.xml"), document("Book", ""));
    EXPECT_TRUE(is_well_formed_xml(f.dir() / "out" / "Book.xml"));
}

TEST(Run, ReadOnlyFilesAreRead) {
    Folder f;
    f.write("quorlan.ini", "ro.vcf\nN=N:\n");
    f.write("ro.vcf", kCard);
    fs::permissions(f.dir() / "quorlan.ini", fs::perms::owner_read);
    fs::permissions(f.dir() / "ro.vcf", fs::perms::owner_read);
    EXPECT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read("ro.xml"), document("ro", "<vcf>\r\n<N>Novak Jan</N>\r\n</vcf>\r\n"));
}

TEST(Faults, MissingInputLeavesAnExistingOutputAlone) {
    Folder f;
    f.write("quorlan.ini", "contacts.vcf\n");
    f.write("contacts.xml", "my old phonebook\n");
    const RunResult r = f.run();
    expect_one_error_line(r, "cannot open", "contacts.vcf");
    EXPECT_EQ(r.err.find("no quorlan.ini"), std::string::npos) << r.err;
    EXPECT_EQ(f.read("contacts.xml"), "my old phonebook\n");
}

TEST(Faults, MissingInputCreatesNoOutput) {
    Folder f;
    const RunResult r = f.run("contacts.vcf");
    expect_one_error_line(r, "cannot open", "import.vcf");
    // Without a quorlan.ini the name is the default one: the message says so, and what to do.
    EXPECT_NE(r.err.find("as there is no quorlan.ini here (arguments name no files: name yours in quorlan.ini, or "
                         "run quorlan --init to start one): "),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(f.names().empty());
}

TEST(Faults, InputThatIsAFolder) {
    Folder f;
    fs::create_directory(f.dir() / "import.vcf");
    f.write("import.xml", "old");
    const RunResult r = f.run();
    expect_one_error_line(r, "import.vcf", "import.vcf");
    EXPECT_EQ(f.read("import.xml"), "old");
}

TEST(Faults, ConfigurationThatIsAFolder) {
    Folder f;
    fs::create_directory(f.dir() / "quorlan.ini");
    f.write("import.vcf", kCard);
    expect_one_error_line(f.run(), "quorlan.ini", "quorlan.ini");
    EXPECT_FALSE(f.exists("import.xml"));
}

TEST(Faults, FullDisk) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    Folder f;
    f.write("quorlan.ini", "out.xml\n");
    f.write("import.vcf", kCard);
    fs::create_symlink("/dev/full", f.dir() / "out.xml");
    expect_one_error_line(f.run(), "cannot write", "out.xml");
}

TEST(Faults, OutputFolderThatDoesNotExist) {
    Folder f;
    f.write("quorlan.ini", "missing/out.xml\n");
    f.write("import.vcf", kCard);
    expect_one_error_line(f.run(), "cannot create", "missing/out.xml");
}

std::string cp1250_to_utf8(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-8", "CP1250");
    std::string in = bytes;
    std::string out(bytes.size() * 4, '\0');
    char* in_p = in.data();
    char* out_p = out.data();
    std::size_t in_left = in.size(), out_left = out.size();
    iconv(cd, &in_p, &in_left, &out_p, &out_left);
    iconv_close(cd);
    out.resize(out.size() - out_left);
    return out;
}

TEST(Run, TheExampleFolder) {
    Folder f;
    for (const auto& entry : fs::directory_iterator(QUORLAN_EXAMPLES)) {
        fs::copy_file(entry.path(), f.dir() / entry.path().filename());
    }
    EXPECT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read("phonebook.xml"), data("example_phonebook.xml"));
    EXPECT_TRUE(is_well_formed_xml(f.dir() / "phonebook.xml"));
}

struct CharsetCase {
    const char* config;
    const char* input;
    const char* output;
};

TEST(Charset, NamesOfFiveLanguagesWithAndWithoutFolding) {
    const std::vector<CharsetCase> cases = {
        {"names.ini", "names_utf8.vcf", "names"},
        {"names_ascii.ini", "names_utf8.vcf", "names_ascii"},
        {"names_cp1250.ini", "names_cp1250.vcf", "names_cp1250"},
    };
    for (const CharsetCase& c : cases) {
        Folder f;
        f.write("quorlan.ini", data(c.config));
        f.write(c.input, data(c.input));
        EXPECT_EQ(f.run().status, 0) << c.config;
        EXPECT_EQ(f.read(std::string(c.output) + ".xml"), data(std::string(c.output) + "_expected.xml"))
            << c.config;
        EXPECT_TRUE(is_well_formed_xml(f.dir() / (std::string(c.output) + ".xml"))) << c.config;
    }
}

// Text read from UTF-16 is Unicode already: a charset its lines declare is not applied again.
TEST(Charset, AUtf16FileIsNotDecodedTwice) {
    Folder f;
    f.write("quorlan.ini", "DECODE=1\nUTF8=1\nN=N\n");
    std::string cards = "\xFF\xFE";
    for (const char16_t c : std::u16string_view(u"BEGIN:VCARD\nN;CHARSET=WINDOWS-1250:\u017D\u00E1k\nEND:VCARD\n")) {
        cards += static_cast<char>(c & 0xFF);
        cards += static_cast<char>(c >> 8);
    }
    f.write("import.vcf", cards);
    ASSERT_EQ(f.run().status, 0);
    EXPECT_EQ(f.read("import.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<import>\r\n<vcf>\r\n"
                                     "<N>\xC5\xBD\xC3\xA1k</N>\r\n</vcf>\r\n</import>\r\n");
}

TEST(Charset, TheNamesComeBackFromWindows1250) {
    Folder f;
    f.write("quorlan.ini", data("names.ini"));
    f.write("names_utf8.vcf", data("names_utf8.vcf"));
    ASSERT_EQ(f.run().status, 0);
    const std::string back = cp1250_to_utf8(f.read("names.xml"));
    for (const char* name : {"Dvořák Antonín", "Ľudovít Štúr Ďurko", "Müller-Lüdenscheidt Jürgen",
                             "Łukasiewicz Małgorzata", "Erdős Pál Győző", "Źdźbło żółć ęą śń"}) {
        EXPECT_NE(back.find(name), std::string::npos) << name;
    }
}

}  // namespace
