// Phonebooks from templates: every built-in on a few cards, parsed and compared in shape with
// its vendor's documented form; the refusals, each leaving the old phonebook; a template
// of one's own; --template; --init --for each family on the corpus.
#include <cctype>
#include <cstdlib>
#include <set>
#include <sstream>
#include <fstream>

#include "e2e_support.h"

namespace {

using namespace e2e;

// All numbers; one number and a name that must be escaped; no number; a name from FN only.
const std::string kCards =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Nov\xC3\xA1k;Jan;;Ing.;\r\nFN:Jan Nov\xC3\xA1k\r\n"
    "TEL;TYPE=CELL:+420603123456\r\nTEL;TYPE=WORK:+420212345678\r\nTEL;TYPE=HOME:+420311111111\r\n"
    "TEL;TYPE=FAX:+420222222222\r\nEMAIL:jan@example.cz\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xC4\x8C\x61pek;Tom;;;\r\nFN:Tom & \"Jerry\" <x> 'q' \xC4\x8C\x61pek\r\n"
    "TEL;TYPE=CELL:777\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Nobody\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Solo\r\nTEL;TYPE=WORK:123\r\nEND:VCARD\r\n";

const std::string kEscapedName = "Tom & \"Jerry\" <x> 'q' \xC4\x8C\x61pek";

std::string family_config(const std::string& family) {
    return "cards.vcf\r\nbook.xml\r\nDECODE=1\r\nTEMPLATE=" + family +
           "\r\nN=N\r\nNAME=FN|N|ORG\r\nTEL*[]=TEL\r\nEMAIL[]=EMAIL\r\n";
}

// What xmllint gives for an XPath expression on the file.
std::string xpath(const Folder& f, const std::string& file, const std::string& expression) {
    const RunResult r = f.run_command("xmllint --xpath " + shell_quote(expression) + " " + shell_quote(file));
    return r.out.empty() || r.out.back() != '\n' ? r.out : r.out.substr(0, r.out.size() - 1);
}

struct ShapeCase {
    const char* family;
    const char* expression;  // an XPath on the document
    std::string expected;
};

TEST(Templates, EveryBuiltinWritesItsFamilysForm) {
    const ShapeCase cases[] = {
        {"yealink", "count(/YealinkIPPhoneDirectory/DirectoryEntry[Name])", "3"},  // not the card without a number
        {"yealink", "count(/YealinkIPPhoneDirectory/DirectoryEntry/Telephone)", "6"},
        {"yealink", "string(/YealinkIPPhoneDirectory/DirectoryEntry[2]/Name)", kEscapedName},
        {"cisco", "count(/CiscoIPPhoneDirectory/DirectoryEntry[Name and count(Telephone)=1])", "6"},
        {"cisco", "count(/CiscoIPPhoneDirectory/Title) + count(/CiscoIPPhoneDirectory/Prompt)", "2"},
        {"cisco", "string(/CiscoIPPhoneDirectory/DirectoryEntry[6]/Name)", "Solo"},
        {"grandstream", "count(/AddressBook/Contact[FirstName or LastName])", "3"},
        {"grandstream", "count(/AddressBook/Contact/Phone[phonenumber and accountindex='0'])", "6"},
        {"grandstream", "string(/AddressBook/Contact[1]/Phone[@type='Fax']/phonenumber)", "+420222222222"},
        {"grandstream", "concat(/AddressBook/Contact[1]/FirstName, '|', /AddressBook/Contact[1]/LastName)",
         "Jan|Nov\xC3\xA1k"},
        {"snom", "count(/tbook/item[@context and @type and name and number])", "6"},
        {"snom", "count(/tbook/item[@index = preceding-sibling::item/@index])", "0"},
        {"snom", "count(/tbook/item[@index != count(preceding-sibling::item)])", "0"},  // 0, 1, 2 ... in order
        {"fritzbox", "count(/phonebooks/phonebook/contact[category]/person/realName)", "3"},
        {"fritzbox", "count(/phonebooks/phonebook/contact/telephony/number[@type='fax_work'])", "1"},
        {"fritzbox", "string(//contact[1]/services/email)", "jan@example.cz"},
        {"fritzbox", "concat(//contact[1]/telephony/@nid, count(//number[@prio='1']), //contact[1]/number[4]/@id)", "43"},
        {"polycom", "count(/directory/item_list/item[fn and ln and ct])", "6"},
        {"polycom", "string(/directory/item_list/item[6]/fn)", "Solo"},
    };
    for (const char* family : {"yealink", "cisco", "grandstream", "snom", "fritzbox", "polycom"}) {
        Folder f;
        f.write("cards.vcf", kCards);
        f.write("quorlan.ini", family_config(family));
        const RunResult r = f.run();
        ASSERT_EQ(r.status, 0) << family << ": " << r.err;
        ASSERT_TRUE(is_well_formed_xml(f.dir() / "book.xml")) << family << ":\n" << f.read("book.xml");
        const std::string book = f.read("book.xml");
        EXPECT_EQ(book.find('\n'), book.find("\r\n") + 1) << family;  // CR LF line ends
        for (const ShapeCase& c : cases) {
            if (std::string_view(c.family) != family) continue;
            EXPECT_EQ(xpath(f, "book.xml", c.expression), c.expected) << family << ": " << c.expression << "\n" << book;
        }
    }
}

struct RefusalCase {
    const char* config_tail;  // after the file names
    const char* template_text;
    const char* message;
    const char* shim = "";  // a fault the fault library gives the run (Linux only)
};

TEST(Templates, RefusalsKeepTheOldPhonebook) {
    const RefusalCase cases[] = {
        {"TEMPLATE=yealink\r\nNAME=FN\r\n", nullptr, "TEMPLATE= needs DECODE=1"},
        {"DECODE=1\r\nTEMPLATE=yelink\r\nNAME=FN\r\n", nullptr, "the built-in ones are yealink, cisco"},
        {"DECODE=1\r\nTEMPLATE=none.mustache\r\nNAME=FN\r\n", nullptr, "cannot open the template 'none.mustache'"},
        {"DECODE=1\r\nTEMPLATE=t.mustache\r\nNAME=FN\r\n", "<a>\n{{#records}}\n  {{#NAME}}\n{{/records}}</a>",
         "t.mustache:4:1: {{/records}} where {{/NAME}} was due"},
        {"DECODE=1\r\nTEMPLATE=t.mustache\r\nNAME=FN\r\n", "<a></a>", "t.mustache: no {{#records}}"},
        {"DECODE=1\r\nTEMPLATE=cisco\r\nNAME=FN\r\nNAME=N\r\n", nullptr,
         "quorlan.ini, line 6: a second mapping named 'NAME' (the first is on line 5)"},
        {"DECODE=1\r\nTEMPLATE=cisco\r\nNAME=FN\r\nFIRST NAME=N\r\n", nullptr,
         "quorlan.ini, line 6: the name 'FIRST NAME' can't be a template variable (it holds a space)"},
        {"DECODE=1\r\nTEMPLATE=t.mustache\r\nNAME=FN\r\n", "<a>\n{{#records}}{{NAME}}\n{{/records}}</a>\n",
         "cannot close the template 't.mustache': Input/output error", "close-fails:t.mustache"},
    };
    for (const RefusalCase& c : cases) {
        const std::string program = *c.shim != '\0' ? program_with_shim(c.shim) : program_command();
        if (program.empty()) continue;
        Folder f;
        f.write("cards.vcf", kCards);
        f.write("book.xml", "old");
        f.write("quorlan.ini", std::string("cards.vcf\r\nbook.xml\r\n") + c.config_tail);
        if (c.template_text != nullptr) f.write("t.mustache", c.template_text);
        const RunResult r = *c.shim != '\0' ? f.run_command(program) : f.run();
        EXPECT_EQ(r.status, 1) << c.config_tail;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(f.read("book.xml"), "old") << c.config_tail;
        EXPECT_EQ(f.names().size(), c.template_text != nullptr ? 4u : 3u) << c.config_tail;  // no temporary left
    }
}

TEST(Templates, ATemplateOfOnesOwn) {
    Folder f;
    f.write("cards.vcf", kCards + "BEGIN:VCARD\r\nFN:{{x}} \\; {{{y}}}\r\nN:A\\;B;C\r\nEND:VCARD\r\n");
    f.write("quorlan.ini",
            "cards.vcf\r\nbook.xml\r\nDECODE=1\r\nASCII=1\r\nTEMPLATE=my.mustache\r\nNAME=FN\r\nN=N|X-NONE\r\n"
            "MOBILE#=TEL;CELL\r\nEMAIL=EMAIL\r\n");
    // LF line ends in the file; the document gets CR LF. The alternative makes the card's
    // lines wait for its end, components too.
    f.write("my.mustache",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<book>\n{{#records}}\n"
            "<p n=\"{{record}}\" last=\"{{N.1}}\" first=\"{{N.2}}\">{{NAME}}{{^MOBILE}} (no mobile){{/MOBILE}}"
            "{{#MOBILE}} {{MOBILE}}{{/MOBILE}}{{! a comment }}{{UNKNOWN}}</p>\n{{/records}}\n</book>\n");
    const RunResult r = f.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(f.read("book.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<book>\r\n"
              "<p n=\"1\" last=\"Novak\" first=\"Jan\">Jan Novak +420 603 123 456</p>\r\n"
              "<p n=\"2\" last=\"Capek\" first=\"Tom\">Tom &amp; &quot;Jerry&quot; &lt;x&gt; &#39;q&#39; Capek 777</p>\r\n"
              "<p n=\"3\" last=\"\" first=\"\">Nobody (no mobile)</p>\r\n"
              "<p n=\"4\" last=\"\" first=\"\">Solo (no mobile)</p>\r\n"
              "<p n=\"5\" last=\"A;B\" first=\"C\">{{x}} ; {{{y}}} (no mobile)</p>\r\n"
              "</book>\r\n");
    // The variable no mapping gives, and the mapping no variable uses.
    EXPECT_NE(r.err.find("my.mustache:4:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no mapping gives {{UNKNOWN}}"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("quorlan.ini, line 9: the mapping 'EMAIL' is used by no variable"), std::string::npos)
        << r.err;
    // --explain names the file, not a built-in.
    const std::string report = console_text(f.run("--explain").out);
    EXPECT_NE(report.find("\nTemplate\n  template:         'my.mustache'\n"), std::string::npos) << report;
}

// A list field in a template: one section per value with its kind, flags and places, and
// outside its section the value a one-value field holds (the preferred one).
TEST(Templates, AListIsASectionPerValue) {
    Folder f;
    f.write("cards.vcf",
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Novak;Jan\r\nTEL:1\r\nTEL;TYPE=VOICE:2\r\nTEL;PAGER:3\r\n"
            "TEL;TYPE=CAR:4\r\nTEL;TYPE=CELL:5\r\nTEL;CELL;PREF:6\r\nitem1.TEL:7\r\n"
            "item1.X-ABLabel:_$!<Mobile>!$_\r\nitem2.TEL:8\r\nitem2.X-ABLabel:Chata\r\nTEL;TYPE=WORK,FAX:(1)\r\n"
            "TEL;VALUE=uri;TYPE=cell:tel:+9\r\nTEL;TYPE=HOME:10\r\nTEL;WORK:11\r\nTEL;FAX:12\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nN:B\r\nTEL:13\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:C\r\nEND:VCARD\r\n");
    f.write("quorlan.ini", "cards.vcf\r\nbook.xml\r\nDECODE=1\r\nTEMPLATE=my.mustache\r\nN=N\r\nTEL[]=TEL\r\n");
    f.write("my.mustache",
            "{{#records}}{{N}} {{TEL}}:{{#TEL}} {{kind}}/{{value}}/{{position}}/{{index}}"
            "{{#main}}*{{/main}}{{#first}}<{{/first}}{{#last}}>{{/last}}{{#mobile}}m{{/mobile}}{{#fax}}f{{/fax}}"
            "{{#preferred}}p{{/preferred}}{{/TEL}}{{^TEL}} none{{/TEL}}\n{{/records}}\n");
    const RunResult r = f.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(f.read("book.xml"),
              "Novak Jan 6: other/1/0/0< other/2/1/1 pager/3/2/2 other/4/3/3 mobile/5/4/4m mobile/6/5/5*mp "
              "mobile/7/6/6m other/8/7/7 mobile/+9/8/8m home/10/9/9 work/11/10/10 fax/12/11/11>f\r\n"
              "B 13: other/13/0/12*<>\r\nC : none\r\n");
}

TEST(Templates, TheOptionListsAndPrintsTheBuiltins) {
    Folder f;
    const RunResult list = f.run("--template");
    EXPECT_EQ(list.status, 0);
    for (const char* name : {"yealink", "cisco", "grandstream", "snom", "fritzbox", "polycom"}) {
        EXPECT_NE(list.out.find(std::string("  ") + name + " "), std::string::npos) << name;
        // What it prints is what TEMPLATE= of a file with that text writes.
        const RunResult printed = f.run(std::string("--template ") + name);
        EXPECT_EQ(printed.status, 0);
        EXPECT_EQ(printed.out.rfind("<?xml", 0), 0u) << printed.out;
    }
    EXPECT_EQ(f.run("--template yelink").status, 2);
    // --for is for --init alone, and only with a family that has a built-in.
    for (const char* arguments : {"--for yealink", "--explain --for yealink", "--init --for", "--init --for yelink"}) {
        const RunResult r = f.run(arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find("--for"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(f.names().empty());
}

TEST(Templates, ExplainShowsTheTemplateAndAFirstRecord) {
    Folder f;
    // A Cyrillic name, which a windows-1250 document would hold as references.
    f.write("cards.vcf", kCards + "BEGIN:VCARD\r\nFN:\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\nEND:VCARD\r\n");
    f.write("quorlan.ini", "cards.vcf\r\n1book.xml\r\nDECODE=1\r\nTEMPLATE=grandstream\r\nNAME=FN\r\nN=N\r\n"
                           "TEL*[]=TEL\r\n");
    const RunResult r = f.run("--explain");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string out = console_text(r.out);
    for (const char* shown : {"the built-in grandstream", "each record 10 lines",
                              "document in:      UTF-8 (every template's document is)",
                              "{{N.1}} (line 12): component 1 of mapping 2 N (N)",
                              "{{EMAIL}} (line 24): no mapping gives it: written empty",
                              "The first record, as the template writes it\n  <Contact>\n    <LastName>Nov\xC3\xA1k</LastName>"}) {
        EXPECT_NE(out.find(shown), std::string::npos) << shown << "\n" << out;
    }
    // No XML-name warning for a document element the template doesn't write, and no
    // character references in a document that is UTF-8.
    EXPECT_EQ(out.find("not a valid XML name"), std::string::npos) << out;
    EXPECT_EQ(out.find("document element"), std::string::npos) << out;
    EXPECT_EQ(out.find("character references"), std::string::npos) << out;
    EXPECT_FALSE(f.exists("1book.xml"));
}

// One card with every kind of number, one with only ORG, one without a number, one sharing a
// number and with a name of 60 bytes: each family's document byte for byte as stored under
// tests/data/forms. scripts/update-baselines rewrites the stored files after an intended change.
const std::string kFormCards =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Nov\xC3\xA1k;Jan;;;\r\nFN:Jan Nov\xC3\xA1k\r\nTEL:111\r\nTEL;TYPE=VOICE:222\r\n"
    "TEL;TYPE=PAGER:333\r\nTEL;TYPE=CAR:444\r\nTEL;TYPE=CELL:555\r\nTEL;TYPE=CELL,PREF:666\r\nitem1.TEL:777\r\n"
    "item1.X-ABLabel:_$!<Mobile>!$_\r\nTEL;TYPE=WORK:888\r\nTEL;TYPE=HOME:999\r\nTEL;TYPE=WORK,FAX:100\r\n"
    "TEL;TYPE=HOME:9 9 9\r\nEMAIL:jan@example.cz\r\nEMAIL;TYPE=work:jan@work.cz\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nORG:Only Org s.r.o.\r\nTEL;TYPE=WORK:123\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:No Number\r\nEMAIL:none@example.cz\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Dvo\xC5\x99\xC3\xA1kov\xC3\xA1-Star\xC3\xA1-Nov\xC3\xA1-\xC5\xBDlu\xC5\xA5"
    "ou\xC4\x8Dk\xC3\xA1-Malinovsk\xC3\xA1-Kr\xC3\xA1lov\xC3\xA1;Marie;;;\r\nTEL;VALUE=uri;TYPE=work:tel:888\r\n"
    "TEL;VALUE=uri;TYPE=cell:tel:4242\r\nEND:VCARD\r\n";

TEST(Templates, EachFamilyWritesItsStoredDocument) {
    const bool update = std::getenv("QUORLAN_UPDATE_BASELINES") != nullptr;
    const fs::path stored = fs::path(QUORLAN_TEST_DATA) / "forms";
    const std::pair<const char*, const char*> families[] = {
        {"yealink", "yealink-phonebook.xml"}, {"cisco", "cisco-directory.xml"}, {"grandstream", "phonebook.xml"},
        {"snom", "tbook.xml"}, {"fritzbox", "fritzbox-phonebook.xml"}, {"polycom", "000000000000-directory.xml"},
    };
    for (const auto& [family, output] : families) {
        SCOPED_TRACE(family);
        Folder f;
        f.write("cards.vcf", kFormCards);
        ASSERT_EQ(f.run(std::string("--init --for ") + family).status, 0);
        const RunResult r = f.run();
        ASSERT_EQ(r.status, 0) << r.err;
        const fs::path expected = stored / (std::string(family) + ".xml");
        if (update) {
            fs::create_directories(stored);
            std::ofstream(expected, std::ios::binary) << f.read(output);
        }
        EXPECT_EQ(f.read(output), read_file(expected));
        // Polycom: the shared number once, and a warning that counts what was left out.
        const bool polycom = std::string_view(family) == "polycom";
        EXPECT_EQ(r.err.find("1 entry with a number written before left out") != std::string::npos, polycom) << r.err;
    }
    Folder f;
    const RunResult printed = f.run("--template cisco");
    const std::string template_text = console_text(printed.out);
    if (update) std::ofstream(stored / "cisco.mustache", std::ios::binary) << template_text;
    EXPECT_EQ(template_text, read_file(stored / "cisco.mustache"));
}

std::string numbered_cards(int count) {
    std::string cards;
    for (int i = 0; i < count; ++i) {
        cards += "BEGIN:VCARD\r\nFN:Person " + std::to_string(i) + "\r\nTEL;TYPE=CELL:+4206" + std::to_string(1000 + i) +
                 "\r\nEND:VCARD\r\n";
    }
    return cards;
}

struct PagesCase {
    int cards;
    const char* address;                // PHONEBOOK_URL=, or none
    std::vector<std::size_t> entries;  // per page
    const char* page2_next;            // the second page's Next key, "" for none
    bool warned;                       // the phone will show the first page only
};

// Cisco: at most 32 entries a document; the pages link to one another, the pages of an
// earlier, longer run go, and a failed run leaves the old pages as they were.
TEST(Templates, CiscoWritesPagesOf32LinkedByTheirAddresses) {
    const PagesCase cases[] = {
        {70, "http://pbx/phones/", {32, 32, 6}, "http://pbx/phones/cisco-directory-3.xml", false},
        {33, "http://pbx/p/cisco-directory.xml", {32, 1}, "", false},
        {70, nullptr, {32, 32, 6}, "", true},
        {32, nullptr, {32}, "", false},
    };
    Folder f;
    for (const PagesCase& c : cases) {
        SCOPED_TRACE(c.cards);
        f.write("cards.vcf", numbered_cards(c.cards));
        f.write("quorlan.ini", std::string("cards.vcf\r\ncisco-directory.xml\r\nDECODE=1\r\nTEMPLATE=cisco\r\n") +
                                   "NAME=FN\r\nTEL*[]=TEL\r\n" +
                                   (c.address != nullptr ? std::string("PHONEBOOK_URL=") + c.address + "\r\n" : ""));
        const RunResult r = f.run();
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("the phone will show the first page only") != std::string::npos, c.warned) << r.err;
        for (std::size_t page = 1; page <= 4; ++page) {
            const std::string name = page == 1 ? "cisco-directory.xml" : "cisco-directory-" + std::to_string(page) + ".xml";
            ASSERT_EQ(f.exists(name), page <= c.entries.size()) << name;
            if (page > c.entries.size()) continue;
            ASSERT_TRUE(is_well_formed_xml(f.dir() / name)) << f.read(name);
            EXPECT_EQ(xpath(f, name, "count(//DirectoryEntry)"), std::to_string(c.entries[page - 1])) << name;
            const bool linked = c.address != nullptr && c.entries.size() > 1;
            EXPECT_EQ(xpath(f, name, "count(//SoftKeyItem[Name='Dial' and URL='SoftKey:Dial'])"), linked ? "1" : "0");
        }
        if (c.entries.size() > 1) {
            EXPECT_EQ(xpath(f, "cisco-directory-2.xml", "string(//SoftKeyItem[Name='Next']/URL)"), c.page2_next);
        }
        if (c.address != nullptr && c.entries.size() > 1) {
            const std::string first = std::string(c.address).back() == '/' ? std::string(c.address) + "cisco-directory.xml"
                                                                             : c.address;
            EXPECT_EQ(xpath(f, "cisco-directory-2.xml", "string(//SoftKeyItem[Name='Prev']/URL)"), first);
        }
    }
    if (windows_build() || std::system("command -v fiu-run >/dev/null 2>&1") != 0) return;
    // A failure while the pages of a longer run are written leaves the old ones, and no temporary.
    const std::vector<std::string> before = f.names();
    const std::string first = f.read("cisco-directory.xml");
    f.write("cards.vcf", numbered_cards(100));
    for (const char* fault : {"enable name=posix/io/sync/fsync,failinfo=5", "enable name=posix/io/dir/rename,failinfo=18"}) {
        SCOPED_TRACE(fault);
        const RunResult r = f.run_command("ASAN_OPTIONS=detect_leaks=0:symbolize=0 fiu-run -x -f '' -c " +
                                          shell_quote(fault) + " " + program_command());
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(f.names(), before);
        EXPECT_EQ(f.read("cisco-directory.xml"), first);
    }
}

// The digits of every TEL line of `cards` (folded lines joined), as digit strings; lines
// in quoted-printable are left out, as their bytes are not the number's.
std::vector<std::string> card_numbers(const std::string& cards) {
    std::vector<std::string> numbers;
    if (cards.find('\0') != std::string::npos) return numbers;  // UTF-16: not read here
    std::vector<std::string> lines;
    std::istringstream in(cards);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!lines.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            lines.back() += line.substr(1);
        } else {
            lines.push_back(line);
        }
    }
    for (std::string line : lines) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string head = line.substr(0, colon);
        for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::size_t dot = head.find('.');
        const std::string name = head.substr(dot == std::string::npos || dot > head.find(';') ? 0 : dot + 1);
        if (name.rfind("TEL", 0) != 0 || (name.size() > 3 && name[3] != ';')) continue;
        if (head.find("QUOTED-PRINTABLE") != std::string::npos) continue;
        std::string digits;
        for (const char c : line.substr(colon + 1)) {
            if (c >= '0' && c <= '9') digits += c;
        }
        if (!digits.empty()) numbers.push_back(digits);
    }
    return numbers;
}

// The digits of each element's text in `document`.
std::set<std::string> digit_runs(const std::string& document) {
    std::set<std::string> runs;
    std::string digits;
    bool text = false;
    for (const char c : document) {
        if (c == '<') {
            if (!digits.empty()) runs.insert(digits);
            digits.clear();
            text = false;
        } else if (c == '>') {
            text = true;
        } else if (text && c >= '0' && c <= '9') {
            digits += c;
        }
    }
    return runs;
}

std::string page_name(const std::string& output, int page) {
    return output.substr(0, output.size() - 4) + "-" + std::to_string(page) + ".xml";
}

// quorlan --init --for FAMILY, then a run, on every export of the corpus: a well-formed
// phonebook of that family's form, holding every number of every card.
TEST(Templates, InitForEachFamilyThenRunOnTheCorpus) {
    std::vector<fs::path> exports;
    for (const auto& entry : fs::recursive_directory_iterator(QUORLAN_VCARDS)) {
        if (entry.path().extension() == ".vcf") exports.push_back(entry.path());
    }
    ASSERT_FALSE(exports.empty());
    const std::pair<const char*, const char*> families[] = {
        {"yealink", "yealink-phonebook.xml"}, {"cisco", "cisco-directory.xml"}, {"grandstream", "phonebook.xml"},
        {"snom", "tbook.xml"}, {"fritzbox", "fritzbox-phonebook.xml"}, {"polycom", "000000000000-directory.xml"},
    };
    std::size_t next = 0;
    for (const auto& [family, output] : families) {
        std::size_t written = 0;
        std::size_t tried = 0;
        for (const fs::path& file : exports) {
            // Under Wine each run takes long: there, each export goes to one family in turn.
            if (windows_build() && next++ % std::size(families) != 0) continue;
            ++tried;
            Folder f;
            f.write("cards.vcf", read_file(file));
            const RunResult init = f.run(std::string("--init --for ") + family + " cards.vcf");
            if (init.status != 0) continue;  // an export without a card
            EXPECT_NE(f.read("quorlan.ini").find(std::string("TEMPLATE=") + family + "\r\n"), std::string::npos);
            const RunResult run = f.run();
            EXPECT_EQ(run.status, 0) << family << " " << file << ": " << run.err;
            EXPECT_EQ(run.err.find("no mapping gives"), std::string::npos) << run.err;
            EXPECT_TRUE(is_well_formed_xml(f.dir() / output)) << family << " " << file;
            std::string book = f.read(output);
            for (int page = 2; f.exists(page_name(output, page)); ++page) book += f.read(page_name(output, page));
            const std::set<std::string> written_numbers = digit_runs(book);
            for (const std::string& number : card_numbers(read_file(file))) {
                EXPECT_TRUE(written_numbers.contains(number)) << family << " " << file << ": " << number;
            }
            ++written;
        }
        EXPECT_GT(written, tried / 2) << family;
    }
}

}  // namespace
