// Every file of the corpus of real-world vCard files in tests/data/vcards (exports of phones,
// mail clients and address books, damaged ones included), converted with no configuration, with the
// example configuration and with a large one: exit status 0, a document that xmllint reads
// as windows-1250, and the same bytes from a second run.
#include <cctype>
#include <map>

#include "e2e_support.h"

namespace {

using namespace e2e;

// The corpus folder: QUORLAN_VCARDS in the environment, else the one found at build time.
fs::path corpus_folder() {
    if (const char* folder = std::getenv("QUORLAN_VCARDS"); folder != nullptr && *folder != '\0') return folder;
    return QUORLAN_VCARDS;
}

std::vector<fs::path> corpus_files() {
    std::vector<fs::path> files;
    std::error_code error;
    if (!fs::is_directory(corpus_folder(), error)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(corpus_folder())) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Fifty mappings: the usual properties and their typed forms, phone numbers, a required
// name, a forbidden field, constants (one of them a phone number) and ASCII folding.
const char* const kLargeConfig =
    "cards.vcf\r\nbook.xml\r\nASCII=1\r\n"
    "NAME*=N\r\nFULLNAME=FN\r\nNICK=NICKNAME\r\nORG=ORG\r\nTITLE=TITLE\r\nROLE=ROLE\r\n"
    "TEL#=TEL\r\nCELL#=TEL;CELL\r\nCELL2#=TEL;TYPE=CELL\r\nHOME#=TEL;HOME\r\nHOME2#=TEL;TYPE=HOME\r\n"
    "WORK#=TEL;WORK\r\nWORK2#=TEL;TYPE=WORK\r\nFAX#=TEL;FAX\r\nITEM1#=item1.TEL\r\nITEM2#=item2.TEL\r\n"
    "EMAIL=EMAIL\r\nEMAIL_INTERNET=EMAIL;INTERNET\r\nEMAIL_TYPE=EMAIL;TYPE=\r\nADR=ADR\r\n"
    "ADR_HOME=ADR;HOME\r\nADR_WORK=ADR;WORK\r\nLABEL=LABEL\r\nURL=URL\r\nBDAY=BDAY\r\nNOTE=NOTE\r\n"
    "NOTE_QP=NOTE;ENCODING=QUOTED-PRINTABLE\r\nPHOTO=PHOTO\r\nUID=UID\r\nREV=REV\r\n"
    "CATEGORIES=CATEGORIES\r\nGEO=GEO\r\nTZ=TZ\r\nKEY=KEY\r\nSOUND=SOUND\r\nPRODID=PRODID\r\n"
    "VERSION=VERSION\r\nX_AIM=X-AIM\r\nX_JABBER=X-JABBER\r\nX_SKYPE=X-SKYPE\r\nLABEL1=item1.X-ABLabel\r\n"
    "KIND=KIND\r\nLANG=LANG\r\nMAILER=MAILER\r\nBEGIN=BEGIN\r\nLAST=END\r\nSOURCE_IDENT=addressbook\r\n"
    "HOTLINE#_IDENT=+420 800 123 456\r\nSPAM-=X-SPAM\r\nEMPTY_IDENT=\r\n";

struct Configuration {
    const char* name;
    std::string config;  // empty: no configuration file
    const char* input;
    const char* output;
};

std::vector<Configuration> configurations() {
    return {
        {"none", "", "import.vcf", "import.xml"},
        {"example", read_file(fs::path(QUORLAN_EXAMPLES) / "quorlan.ini"), "contacts.vcf", "phonebook.xml"},
        {"large", kLargeConfig, "cards.vcf", "book.xml"},
        {"large, decoded", std::string(kLargeConfig) + "DECODE=1\r\n", "cards.vcf", "book.xml"},
        {"large, decoded, UTF-8", std::string(kLargeConfig) + "DECODE=1\r\nUTF8=1\r\n", "cards.vcf", "book.xml"},
    };
}

class CorpusFile : public testing::TestWithParam<fs::path> {};

TEST_P(CorpusFile, ConvertsToTheSameWellFormedDocumentTwice) {
    const std::string cards = read_file(GetParam());
    for (const Configuration& c : configurations()) {
        SCOPED_TRACE(c.name);
        std::string first;
        for (int run = 0; run < 2; ++run) {
            Folder f;
            if (!c.config.empty()) f.write("quorlan.ini", c.config);
            f.write(c.input, cards);
            const RunResult r = f.run();
            ASSERT_EQ(r.status, 0) << r.err;
            const std::string xml = f.read(c.output);
            // A file in which no card ends (a damaged one, or "end:vcard" in lower case) says so.
            const std::string no_card = "quorlan: warning: no card ended in '" + std::string(c.input) +
                                        "' (no line began with \"END:\"): is it a vCard file?\n";
            // So does one where the filter left every card out (Outlook's "N;LANGUAGE=en-us:").
            const std::string no_record = "quorlan: warning: '" + std::string(c.output) + "' holds no record: ";
            // The large configuration takes one value of most properties: the run says how
            // many values of the file reach no field.
            std::string err = console_text(r.err);
            if (err.find(" reach no field: ") != std::string::npos) err.erase(0, err.find('\n') + 1);
            const bool empty = xml.find("<vcf>") == std::string::npos;
            EXPECT_TRUE(err.empty() || (empty && (err == no_card || err.rfind(no_record, 0) == 0))) << err;
            if (run == 0) {
                EXPECT_TRUE(is_well_formed_xml(f.dir() / c.output));
                first = xml;
            } else {
                EXPECT_EQ(xml, first);
            }
            EXPECT_EQ(f.read(c.input), cards);
        }
    }
}

std::string test_name(const testing::TestParamInfo<fs::path>& info) {
    std::string name = fs::relative(info.param, corpus_folder()).string();
    for (char& c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFile, testing::ValuesIn(corpus_files()), test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusFile);

struct KnownValues {
    const char* file;  // in the corpus folder
    const char* mappings;
    std::vector<std::string> records;  // expected among the document's lines, in windows-1250
};

// Exports with quoted-printable, folded and escaped values: with DECODE=1 the values come
// out as the text they encode.
TEST(Corpus, DecodedValuesOfRealExports) {
    const std::vector<KnownValues> cases = {
        {"mangstadt-ez-vcard/John_Doe_ANDROID.vcf", "N=N;\nFN=FN",
         // N with tilde is no windows-1250 letter: a reference; eleven of them joined over a soft break.
         {"<FN>&#209; &#209; &#209; &#209; &#209;</FN>",
          "<N>&#209; &#209; &#209; &#209; &#209; &#209; &#209; &#209; &#209; &#209; &#209;</N>"}},
        {"mangstadt-ez-vcard/John_Doe_MS_OUTLOOK.vcf", "ORG=ORG\nLABEL=LABEL;HOME",
         {"<ORG>IBM Accounting</ORG>", "<LABEL>Silicon Alley 5, New York, New York 12345</LABEL>"}},
        {"mangstadt-ez-vcard/outlook-2007.vcf", "N=N;\nLABEL=LABEL",
         {"<N>Angstadt Michael Mr. Jr.</N>", "<LABEL>222 Broadway New York, NY 99999 USA</LABEL>"}},
        {"pohly-syncevolution/vcard21.vcf", "FN=FN\nADR=ADR",
         {"<FN>Umlaut \xC4 \xD6 \xDC \xDF</FN>", "<ADR>Address Line 2 Address Line 3 Address Line 1</ADR>"}},
        {"gammu-gammu/quoted-printable-normal.vcf", "N=N;", {"<N>Bc. Zden\xECk \x8E\xE1k</N>"}},
        {"gammu-gammu/quoted-printable-empty-new-line.vcf", "N=N;\nTEL=TEL", {"<N>H\xF6rmann Joseph</N>", "<TEL>028</TEL>"}},
        {"gammu-gammu/line-continuation.vcf", "TEL=TEL;WORK", {"<TEL>55554444</TEL>"}},
        {"gammu-gammu/char-escaping.vcf", "NOTE=NOTE:let's", {"<NOTE>let's try also some invalid escape sequence\\M \\</NOTE>"}},
    };
    if (corpus_files().empty()) GTEST_SKIP() << "no vCard corpus at " << corpus_folder();
    for (const KnownValues& c : cases) {
        SCOPED_TRACE(c.file);
        Folder f;
        f.write("quorlan.ini", std::string("in.vcf\nout.xml\nDECODE=1\n") + c.mappings + "\n");
        f.write("in.vcf", read_file(corpus_folder() / c.file));
        ASSERT_EQ(f.run().status, 0);
        const std::string xml = f.read("out.xml");
        for (const std::string& record : c.records) EXPECT_NE(xml.find(record + "\r\n"), std::string::npos) << record;
    }
}

// Every export through the two commands of a new user, quorlan --init and quorlan: the
// same configuration gives what an address book shows, whatever the exporter's spelling.
TEST(Corpus, InitThenRunGivesWhatAddressBooksShow) {
    const std::map<std::string, std::vector<std::string>> known = {
        {"mangstadt-ez-vcard/John_Doe_IPHONE.vcf",
         {"<NAME>Doe John Richter,James Mr. Sr.</NAME>", "<MOBILE>905-555-1234</MOBILE>", "<FAX>905-888-1234</FAX>",
          "<WORK>905-777-1234</WORK>", "<HOME>905-666-1234</HOME>", "<EMAIL>john.doe@ibm.com</EMAIL>",
          "<COMPANY>IBM Accounting</COMPANY>"}},
        {"mangstadt-ez-vcard/John_Doe_MS_OUTLOOK.vcf",
         {"<WORK>(905) 555-1234</WORK>", "<HOME>(905) 666-1234</HOME>", "<EMAIL>john.doe@ibm.cm</EMAIL>"}},
        {"mangstadt-ez-vcard/gmail-list.vcf", {"<NAME>Beatle Chris</NAME>", "<EMAIL>chrisy55d@yahoo.com</EMAIL>"}},
        {"mangstadt-ez-vcard/John_Doe_ANDROID.vcf", {"<MOBILE>55556666</MOBILE>", "<EMAIL>henry@company.com</EMAIL>"}},
        {"LineageOS-android_frameworks_opt_vcard/v21_complicated.vcf",
         {"<MOBILE>0311111111</MOBILE>", "<HOME>(404) 555-1212</HOME>", "<EMAIL>forrestgump@walladalla.com</EMAIL>"}},
        {"GNOME-evolution-data-server/12.vcf", {"<NAME>Br\xFCning Michael</NAME>", "<MOBILE>+49 162 243 3834</MOBILE>"}},
        {"FolkerKinzel-VCards/v3Utf16Bom.vcf", {"<NAME>Kinzel Folker</NAME>", "<HOME>03443-303776</HOME>"}},
        {"FolkerKinzel-VCards/Outlook v2.vcf",
         {"<MOBILE>+49 061 112 345614</MOBILE>", "<FAX>+49 061 112 345613</FAX>",
          "<EMAIL>max.mustermann@musterfirma.de</EMAIL>"}},
        {"KDE-kcontacts/vcard3.vcf", {"<NAME>geiser ian</NAME>", "<COMPANY>Source eXtreme</COMPANY>"}},
    };
    if (corpus_files().empty()) GTEST_SKIP() << "no vCard corpus at " << corpus_folder();
    std::size_t checked = 0;
    for (const fs::path& file : corpus_files()) {
        const std::string name = fs::relative(file, corpus_folder()).generic_string();
        SCOPED_TRACE(name);
        Folder f;
        f.write("contacts.vcf", read_file(file));
        const RunResult init = f.run("--init");
        if (init.status == 1 && console_text(init.err).find("holds no card") != std::string::npos) continue;
        ASSERT_EQ(init.status, 0) << init.err;
        ASSERT_EQ(f.run().status, 0);
        const std::string xml = f.read("phonebook.xml");
        const auto values = known.find(name);
        if (values == known.end()) continue;
        ++checked;
        for (const std::string& record : values->second) EXPECT_NE(xml.find(record + "\r\n"), std::string::npos) << record;
    }
    EXPECT_EQ(checked, known.size());
}

struct KnownText {
    const char* file;
    const char* mappings;
    std::string text;  // one line per element of the first record that has one: "TAG=text", as UTF-8
};

// The text of every element of the first record whose first element has text, as an XML
// reader reads it: references and the declared encoding resolved.
const char* const kReadRecord =
    "python3 -c 'import sys, xml.etree.ElementTree as E\n"
    "r = [v for v in E.parse(\"out.xml\").getroot() if v[0].text][0]\n"
    "for c in r: sys.stdout.buffer.write((c.tag + \"=\" + (c.text or \"\") + \"\\n\").encode())'";

// With DECODE=1 every character of these exports reaches the phonebook as the character
// the card holds, in a windows-1250 document (with references) and in a UTF-8 one.
TEST(Corpus, EveryCharacterOfRealExports) {
    const std::vector<KnownText> cases = {
        {"LineageOS-android_frameworks_opt_vcard/v21_japanese_2.vcf", "FN=FN\nADR=ADR",
         "FN=\xE5\xAE\x89\xE8\x97\xA4 \xE3\x83\xAD\xE3\x82\xA4\xE3\x83\x89 1\n"
         "ADR=\xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD\xE6\xB8\x8B\xE8\xB0\xB7\xE5\x8C\xBA\xE6\xA1\x9C\xE4\xB8\x98"
         "\xE7\x94\xBA" "26-1\xE3\x82\xBB\xE3\x83\xAB\xE3\x83\xAA\xE3\x82\xA2\xE3\x83\xB3\xE3\x82\xBF\xE3\x83\xAF"
         "\xE3\x83\xBC" "6\xE9\x9A\x8E 150-8512\n"},
        // 0x5C is the second byte of three of these letters: code page 932, not glibc's Shift_JIS.
        {"LineageOS-android_frameworks_opt_vcard/v30_japanese.vcf", "FN=FN",
         "FN=\xE4\xBC\x8A\xE8\x83\xBD \xE5\x9C\xAD\xE4\xB8\x80 \xE4\xBC\x8A\xE4\xBA\x88\n"},
        {"GNOME-evolution-data-server/5.vcf", "FN=FN",
         "FN=\xE5\x8D\x81\xE5\x9F\x8E\xE7\x9B\xAE\xE7\xAE\xA1\xE7\x90\x86\xE5\xA4\xA7\xE5\x9E\x8B\xE7\x9F\xA5"
         "\xE5\xBA\xA7\n"},
        {"roundcube-roundcubemail/utf-16_sample.vcf", "N=N:\nFN=FN",
         "N=\xC4\xBD" "daMont\xC3\xA9 \xC7\xBCgean\nFN=\xC7\xBCgean \xC4\xBD" "daMont\xC3\xA9\n"},
        {"mangstadt-ez-vcard/John_Doe_ANDROID.vcf", "FN=FN;",
         "FN=\xC3\x91 \xC3\x91 \xC3\x91 \xC3\x91 \xC3\x91\n"},
    };
    if (corpus_files().empty()) GTEST_SKIP() << "no vCard corpus at " << corpus_folder();
    for (const KnownText& c : cases) {
        for (const char* document : {"", "UTF8=1\n"}) {
            SCOPED_TRACE(std::string(c.file) + (*document != '\0' ? ", UTF-8" : ", windows-1250"));
            Folder f;
            f.write("quorlan.ini", std::string("in.vcf\nout.xml\nDECODE=1\n") + document + c.mappings + "\n");
            f.write("in.vcf", read_file(corpus_folder() / c.file));
            ASSERT_EQ(f.run().status, 0);
            const RunResult read = f.run_command(kReadRecord);
            ASSERT_EQ(read.status, 0) << read.err;
            EXPECT_EQ(read.out, c.text);
        }
    }
}

TEST(Corpus, IsThere) {
    if (corpus_files().empty()) GTEST_SKIP() << "no vCard corpus at " << corpus_folder();
    // The example configuration must name the files the test writes.
    EXPECT_NE(configurations()[1].config.find("contacts.vcf"), std::string::npos);
}

}  // namespace
