#include "config/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorlan {
namespace {

Settings settings_from(std::string_view text) {
    LineReader reader = make_line_reader(memory_source(text));
    return read_settings(reader);
}

TEST(Settings, DefaultsWithoutAnyLine) {
    const Settings s = settings_from("");
    EXPECT_EQ(s.input_base, "import");
    EXPECT_EQ(s.output_base, "*");
    EXPECT_FALSE(s.fold_ascii);
    EXPECT_TRUE(s.mappings.empty());
}

struct NameCase {
    std::string config;
    std::string input_base, output_base;
    std::int32_t fold;
    std::int32_t decode = 0;
    std::int32_t utf8 = 0;
    std::int32_t codepage = 0;
    std::string template_name = {};
};

TEST(Settings, FileNamesAndSwitches) {
    const std::vector<NameCase> cases = {
        {"contacts.vcf\r\nphonebook.xml\r\nASCII=1\r\n", "contacts", "phonebook", 1},
        {"INPUT=contacts.vcf\n", "INPUT=contacts", "*", 0},  // the name rule comes before mappings
        {"Kontakty.VCF\n", "Kontakty", "*", 0},              // any case, the line keeps its own
        {"a.vcf.xml\n", "a", "*", 0},                        // ".VCF" is tested first
        {"out.xml ascii=1\n", "import", "out", 0},
        {"*.xml\n", "import", "*", 0},
        {"*other.xml\n", "import", "*other", 0},
        {".xml\n", "import", "", 0},
        {"a.vcf\nb.vcf\nx.xml\ny.xml\n", "b", "y", 0},       // later lines win
        {"ascii=1\n", "import", "*", 1},
        {"ASCII=yes\n", "import", "*", 0},
        {"ASCII=-2\n", "import", "*", -2},
        {"ASCII=  +7x\n", "import", "*", 7},
        {"ASCII=\t2\n", "import", "*", 2},
        {"ASCII=\r3\n", "import", "*", 3},
        {"ASCII=1\nASCII=0\n", "import", "*", 0},
        {"ASCII=99999999999999999999\n", "import", "*", 2147483647},
        {"ASCII=-99999999999999999999\n", "import", "*", -2147483647 - 1},
        {"ASCII=00000000000000000000001\n", "import", "*", 1},
        {"  my contacts.vcf  \n", "  my contacts", "*", 0},  // leading spaces are kept
        {"decode=1\n", "import", "*", 0, 1},
        {"DECODE=1\nDecode=0\n", "import", "*", 0, 0},      // the last line counts
        {"ASCII=1 DECODE=1\n", "import", "*", 1, 0},         // "ASCII=" is tested first
        {"X=DECODE=1\n", "import", "*", 0, 1},               // and "DECODE=" before mappings
        {"DECODE = 1\n", "import", "*", 0, 0},               // a mapping: the keyword needs "="
        {"utf8=1\nUTF8=0\nUtf8=2\n", "import", "*", 0, 0, 2},  // any case, the last line counts
        {"DECODE=1 UTF8=1\n", "import", "*", 0, 1, 0},       // "DECODE=" is tested first
        {"X=UTF8=1\n", "import", "*", 0, 0, 1},              // and "UTF8=" before mappings
        {"codepage=1253\nX=CODEPAGE=1255\n", "import", "*", 0, 0, 0, 1255},  // before mappings too
        {"UTF8=1 CODEPAGE=1253\n", "import", "*", 0, 0, 1, 0},               // after "UTF8="
        {"TEMPLATE=phones/cisco.xml.mustache \n", "import", "*", 0, 0, 0, 0, "phones/cisco.xml.mustache"},
        {"template=a.vcf\nTemplate=snom\n", "import", "*", 0, 0, 0, 0, "snom"},  // before names; the last counts
        {"X TEMPLATE=a.vcf\n", "X TEMPLATE=a", "*", 0, 0, 0, 0, ""},            // only at the line's start
        {"carddav=https://h/a.vcf/b.xml\nCARDDAV_BOOK=x.xml\n", "import", "*", 0, 0, 0, 0, ""},  // before names
    };
    for (const NameCase& c : cases) {
        const Settings s = settings_from(c.config);
        EXPECT_EQ(s.input_base, c.input_base) << c.config;
        EXPECT_EQ(s.output_base, c.output_base) << c.config;
        EXPECT_EQ(s.fold_ascii, c.fold != 0) << c.config;
        EXPECT_EQ(s.decode, c.decode != 0) << c.config;
        EXPECT_EQ(s.utf8, c.utf8 != 0) << c.config;
        EXPECT_EQ(s.codepage, c.codepage) << c.config;
        EXPECT_EQ(s.template_name, c.template_name) << c.config;
    }
}

struct MappingCase {
    std::string line;
    std::string element, prefix;
    Condition condition;
    bool phone, constant;
    bool list = false;
};

TEST(Settings, MappingLines) {
    const std::vector<MappingCase> cases = {
        {"NAME*=N:", "NAME", "N:", Condition::Required, false, false},
        {"MOBILE#=TEL;CELL", "MOBILE", "TEL;CELL", Condition::None, true, false},
        {"COMPANY-=ORG", "COMPANY", "ORG", Condition::Forbidden, false, false},
        {"SOURCE_IDENT=addressbook", "SOURCE_IDENT", "addressbook", Condition::None, false, true},
        {"E-MAIL=EMAIL", "EMAIL", "EMAIL", Condition::Forbidden, false, false},
        {"TEL #=TEL", "TEL ", "TEL", Condition::None, true, false},  // markers go after the trim
        {"NAME*-=N:", "NAME", "N:", Condition::Forbidden, false, false},
        {"N*A*M#E-#=N", "NAME", "N", Condition::Forbidden, true, false},
        {"ASCII = 1", "ASCII", " 1", Condition::None, false, false},
        {"; comment = x", "; comment", " x", Condition::None, false, false},
        {" TEL=TEL", " TEL", "TEL", Condition::None, false, false},
        {"LONG=123456789012345678901234", "LONG", "12345678901234567890", Condition::None, false, false},
        {"CUT=1234567890123456789   X", "CUT", "1234567890123456789", Condition::None, false, false},
        {"A=b=c", "A", "b=c", Condition::None, false, false},
        {"=x", "", "x", Condition::None, false, false},
        {"EMPTY=", "EMPTY", "", Condition::None, false, false},
        {"ident=", "ident", "", Condition::None, false, true},
        {"Ident_1=x", "Ident_1", "x", Condition::None, false, true},
        {"XIDENTX=x", "XIDENTX", "x", Condition::None, false, true},
        {"IDEN=x", "IDEN", "x", Condition::None, false, false},
        {"TEL*#[]=TEL", "TEL", "TEL", Condition::Required, true, false, true},
        {"T[]EL[]=TEL", "TEL", "TEL", Condition::None, false, false, true},
        {"T[ ]=TEL", "T[ ]", "TEL", Condition::None, false, false, false},
        // Decoding keeps prefixes and constants whole, wherever the switch stands; the last one counts.
        {"N=N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE\r\nDECODE=1", "N", "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE",
         Condition::None, false, false},
        {"DECODE=1\r\nX_IDENT=a constant of 27 bytes", "X_IDENT", "a constant of 27 bytes", Condition::None, false, true},
        {"DECODE=1\r\nLONG=123456789012345678901234\r\nDECODE=0", "LONG", "12345678901234567890", Condition::None,
         false, false},
    };
    for (const MappingCase& c : cases) {
        const Settings s = settings_from(c.line + "\r\n");
        ASSERT_EQ(s.mappings.size(), 1u) << c.line;
        const FieldMapping& m = s.mappings[0];
        EXPECT_EQ(m.element, c.element) << c.line;
        EXPECT_EQ(m.prefix, c.prefix) << c.line;
        EXPECT_EQ(m.condition, c.condition) << c.line;
        EXPECT_EQ(m.phone, c.phone) << c.line;
        EXPECT_EQ(m.constant, c.constant) << c.line;
        EXPECT_EQ(m.list, c.list) << c.line;
    }
}

TEST(Settings, IgnoredLines) {
    const Settings s = settings_from("[Fields]\n\n   \nplain words\n");
    EXPECT_TRUE(s.mappings.empty());
    EXPECT_EQ(s.input_base, "import");
}

TEST(Settings, MappingsKeepTheirOrder) {
    const Settings s = settings_from("B=2\nA=1\nC=3\n");
    ASSERT_EQ(s.mappings.size(), 3u);
    EXPECT_EQ(s.mappings[0].element, "B");
    EXPECT_EQ(s.mappings[1].element, "A");
    EXPECT_EQ(s.mappings[2].element, "C");
}

TEST(Settings, AFiftyFirstMappingEndsTheReading) {
    std::string config;
    for (int i = 1; i <= 51; ++i) config.append("F").append(std::to_string(i)).append("=P\n");
    config += "late.vcf\nlate.xml\nASCII=1\n";
    const Settings s = settings_from(config);
    ASSERT_EQ(s.mappings.size(), 50u);
    EXPECT_EQ(s.mappings.back().element, "F50");
    EXPECT_EQ(s.input_base, "import");
    EXPECT_EQ(s.output_base, "*");
    EXPECT_FALSE(s.fold_ascii);
}

TEST(Settings, FiftyMappingsLetLaterLinesCount) {
    std::string config;
    for (int i = 1; i <= 50; ++i) config.append("F").append(std::to_string(i)).append("=P\n");
    config += "late.vcf\n[x]\n";
    const Settings s = settings_from(config);
    EXPECT_EQ(s.mappings.size(), 50u);
    EXPECT_EQ(s.input_base, "late");
}

TEST(Settings, NamesAreNeverCut) {
    const std::string base(300, 'n');
    const Settings s = settings_from(base + ".vcf\n" + std::string(150, 'e').append("=x\n"));
    EXPECT_EQ(s.input_base, base);
    ASSERT_EQ(s.mappings.size(), 1u);
    EXPECT_EQ(s.mappings[0].element.size(), 150u);
}

TEST(Settings, BytesAreTakenAsTheyStand) {
    const Settings s = settings_from("JM\xC9NO=N:\xC8\n");
    ASSERT_EQ(s.mappings.size(), 1u);
    EXPECT_EQ(s.mappings[0].element, "JM\xC9NO");
    EXPECT_EQ(s.mappings[0].prefix, "N:\xC8");
}

TEST(Settings, CarddavLines) {
    const Settings s = settings_from(
        "CARDDAV=https://dav.example.com/remote.php/dav/ \nCardDAV_User=anna\nCARDDAV_PASSWORD_FROM=env:PW\n"
        "CARDDAV_BOOK=Kontakty firmy\nCARDDAV_CA=/etc/ca.pem\nCARDDAV_PIN=sha256//abc=\nCARDDAV_FOLDER=cards\n"
        "CARDDAV_TIMEOUT=5\nCARDDAV_TIMEOUT=nothing\nCARDDAV_USERS=x\n");
    EXPECT_EQ(s.carddav.url, "https://dav.example.com/remote.php/dav/");
    EXPECT_EQ(s.carddav.user, "anna");
    EXPECT_EQ(s.carddav.password_from, "env:PW");
    EXPECT_EQ(s.carddav.book, "Kontakty firmy");
    EXPECT_EQ(s.carddav.ca_file, "/etc/ca.pem");
    EXPECT_EQ(s.carddav.pinned_key, "sha256//abc=");
    EXPECT_EQ(s.carddav.folder, "cards");
    EXPECT_EQ(s.carddav.timeout, 5);  // a line without a number keeps the last one
    ASSERT_EQ(s.mappings.size(), 1u);   // an unknown CARDDAV_ line is no CardDAV line
    EXPECT_EQ(s.mappings[0].element, "CARDDAV_USERS");
}

}  // namespace
}  // namespace quorlan
