#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "convert/document.h"
#include "test_support.h"

namespace quorlan {
namespace {

using test_support::memory_sink;

const std::string kProlog = "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\r\n";

Settings settings_from(std::string_view config) {
    LineReader reader = make_line_reader(memory_source(config));
    return read_settings(reader);
}

std::string convert(std::string_view config, std::string_view cards, std::string_view element = "book") {
    const Settings settings = settings_from(config);
    LineReader input = make_line_reader(memory_source(cards));
    std::string out;
    convert_document(settings, element, input, memory_sink(out));
    return out;
}

std::string document(std::string_view body, std::string_view element = "book") {
    return kProlog + "<" + std::string(element) + ">\r\n" + std::string(body) + "</" +
           std::string(element) + ">\r\n";
}

const char* const kExample =
    "contacts.vcf\nphonebook.xml\nASCII=1\nNAME*=N:\nMOBILE#=TEL;CELL\nCOMPANY-=ORG\n"
    "SOURCE_IDENT=addressbook\n";

// One card file under one configuration, and the records of the document it gives.
struct ConversionCase {
    const char* rule;
    std::string config;
    std::string cards;
    std::string records;
};

TEST(ConvertDocument, TheRulesOfTheExactReading) {
    // "\xC5\x87" is UTF-8 for N with caron, which folds to N; "\xC3\x89" is E acute.
    const std::string late_name = "BEGIN:VCARD\n\xC5\x87:Name\n\xC3\x89ND:x\nN:Late\nEND:VCARD\n";
    const std::string czech = "BEGIN:VCARD\nN:\xC5\x98" "eho\xC5\x99;\xC5\xA0\xC3\xA1rka;;;\nEND:VCARD\n";
    const std::string accented = "BEGIN:VCARD\n\xC4\x8C\xC3\x89:x\nEND:VCARD\n";
    const std::vector<ConversionCase> cases = {
        {"an empty card file gives the frame", "", "", ""},
        {"the example card", kExample,
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Novak;Jan;;;\r\nTEL;CELL:+420 603 123 456\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nN:Firm;Someone\r\nORG:Firm\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nFN:No name\r\nEND:VCARD\r\n",
         "<vcf>\r\n<NAME>Novak Jan</NAME>\r\n<MOBILE>+420 603 123 456</MOBILE>\r\n"
         "<COMPANY></COMPANY>\r\n<SOURCE_IDENT>addressbook</SOURCE_IDENT>\r\n</vcf>\r\n"},
        {"card lines are decoded to windows-1250", "N=N:\n", czech,
         "<vcf>\r\n<N>\xD8" "eho\xF8 \x8A\xE1rka</N>\r\n</vcf>\r\n"},
        {"and folded", "ASCII=1\nN=N:\n", czech, "<vcf>\r\n<N>Rehor Sarka</N>\r\n</vcf>\r\n"},
        // Lines are passed by when their first byte can't matter; that byte must be judged as
        // decoded and folded, not as read.
        {"the first byte counts as folded", "ASCII=1\nN=N:\n", late_name,
         "<vcf>\r\n<N>Name</N>\r\n</vcf>\r\n<vcf>\r\n<N>Late</N>\r\n</vcf>\r\n"},
        {"unfolded, neither line matches", "N=N:\n", late_name, "<vcf>\r\n<N>Late</N>\r\n</vcf>\r\n"},
        {"a prefix of a decoded letter matches the decoded line", "N=\xD2:\n", "\xC5\x87:Name\nEND:\n",
         "<vcf>\r\n<N>Name</N>\r\n</vcf>\r\n"},
        {"a lone lead byte and lines of spaces change nothing", "N=N:\n", "N:a\n\xC5\n   \r\n\nEND:\n",
         "<vcf>\r\n<N>a</N>\r\n</vcf>\r\n"},
        {"continuation lines are neither decoded nor folded", "ASCII=1\nNOTE=NOTE\n",
         "BEGIN:VCARD\nNOTE;CHARSET=UTF-8:;=\n\xC5\xA0" "e\xC3\xA1\nEND:VCARD\n",
         "<vcf>\r\n<NOTE>\xC5\xA0" "e\xC3\xA1</NOTE>\r\n</vcf>\r\n"},
        {"an accented prefix matches unfolded", "JMENO=\xC8\xC9:\n", accented,
         "<vcf>\r\n<JMENO>x</JMENO>\r\n</vcf>\r\n"},
        {"and no longer when folding", "ASCII=1\nJMENO=\xC8\xC9:\n", accented,
         "<vcf>\r\n<JMENO></JMENO>\r\n</vcf>\r\n"},
        // With a byte-order mark the first line is no card start, but values start empty anyway.
        {"the card start is tested before decoding", "N=N:\n",
         "\xEF\xBB\xBF" "BEGIN:VCARD\nN:A\nEND:VCARD\nBEGIN:VCARD\nEND:VCARD\n",
         "<vcf>\r\n<N>A</N>\r\n</vcf>\r\n<vcf>\r\n<N></N>\r\n</vcf>\r\n"},
        // No BEGIN:VCARD between them: the values of the card before stay.
        {"every end line offers the current values", "N*=N:\n",
         "N:A\nEND:VCARD\nEND:VCALENDAR\nBEGIN:VCARD\nEND:VCARD\n",
         "<vcf>\r\n<N>A</N>\r\n</vcf>\r\n<vcf>\r\n<N>A</N>\r\n</vcf>\r\n"},
        {"a continuation line ends the card", "N=N:\nNOTE=NOTE\n",
         "BEGIN:VCARD\nN:A\nNOTE:x;=\nEND:VCARD\nBEGIN:VCARD\nN:B\n",
         "<vcf>\r\n<N>A</N>\r\n<NOTE>END:VCARD</NOTE>\r\n</vcf>\r\n"},
        {"end and begin lines are captured", "E=END\nB=BEGIN\n", "BEGIN:VCARD\nEND:VCARD\n",
         "<vcf>\r\n<E>VCARD</E>\r\n<B>VCARD</B>\r\n</vcf>\r\n"},
    };
    for (const ConversionCase& c : cases) EXPECT_EQ(convert(c.config, c.cards), document(c.records)) << c.rule;
}

TEST(ConvertDocument, ElementNameIsWrittenAsGiven) {
    EXPECT_EQ(convert("", "", ""), kProlog + "<>\r\n</>\r\n");
}

TEST(ConvertDocument, LongOutputIsDeliveredWhole) {
    std::string cards;
    for (int i = 0; i < 5000; ++i) cards += "BEGIN:VCARD\nN:Name " + std::to_string(i) + "\nEND:VCARD\n";
    const std::string out = convert("N=N:\n", cards);
    EXPECT_EQ(out.substr(out.size() - 9), "</book>\r\n");
    EXPECT_NE(out.find("<N>Name 4999</N>"), std::string::npos);
}

bool refuse_second_write(int& writes, const char*, std::size_t, int& error) {
    if (writes++ == 0) return true;
    error = 28;
    return false;
}

TEST(ConvertDocument, StopsAtTheFirstFailedWrite) {
    std::string cards;
    for (int i = 0; i < 20000; ++i) cards += "BEGIN:VCARD\nN:Name\nEND:VCARD\n";
    const Settings settings = settings_from("N=N:\n");
    std::string_view remaining = cards;
    LineReader input = make_line_reader(memory_source(remaining));
    int writes = 0;
    const ConversionResult result =
        convert_document(settings, "book", input, ByteSink{ByteSink::Write::bind<refuse_second_write>(writes)});
    EXPECT_TRUE(result.write_failed);
    EXPECT_EQ(result.write_error, 28);
    EXPECT_EQ(writes, 2);
}

std::size_t read_then_fail(std::string_view& remaining, char* buffer, std::size_t capacity, int& error) {
    if (remaining.empty()) {
        error = 5;
        return 0;
    }
    const std::size_t n = std::min(capacity, remaining.size());
    std::copy_n(remaining.data(), n, buffer);
    remaining.remove_prefix(n);
    return n;
}

TEST(ConvertDocument, AReadErrorLeavesTheDocumentWithoutItsEndTag) {
    const Settings settings = settings_from("N=N:\n");
    std::string_view remaining = "BEGIN:VCARD\nN:A\nEND:VCARD\n";
    LineReader input = make_line_reader(ByteSource{ByteSource::Read::bind<read_then_fail>(remaining)});
    std::string out;
    convert_document(settings, "book", input, memory_sink(out));
    EXPECT_EQ(input.error, 5);
    EXPECT_EQ(out, kProlog + "<book>\r\n<vcf>\r\n<N>A</N>\r\n</vcf>\r\n");
}

struct DecodeCase {
    const char* name;
    std::string config, cards, body;
};

std::string repeated(std::string_view text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += text;
    return out;
}

// DECODE=1 reads the card file as vCard readers do; without it every byte stays as it was.
// Every kind of number a card may give, one of them twice (by its digits).
const std::string kEveryNumber =
    "BEGIN:VCARD\nVERSION:3.0\nN:Novak;Jan\nTEL:1\nTEL;TYPE=VOICE:2\nTEL;PAGER:3\nTEL;TYPE=CAR:4\n"
    "TEL;TYPE=CELL:5\nTEL;CELL;PREF:6\nitem1.TEL:7\nitem1.X-ABLabel:_$!<Mobile>!$_\nitem2.TEL:8\n"
    "item2.X-ABLabel:Chata\nTEL;TYPE=WORK,FAX:(1)\nTEL;VALUE=uri;TYPE=cell:tel:+420603123456\nEND:VCARD\n";

TEST(ConvertDocument, DecodeSwitch) {
    const std::string qp_name = "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Zden=C4=9Bk;=C5=BD=C3=A1k=\r\n=20Jr.\r\n";
    const std::vector<DecodeCase> cases = {
        {"QP, soft break and UTF-8", "DECODE=1\nN=N\n", "BEGIN:VCARD\r\n" + qp_name + "END:VCARD\r\n",
         "<vcf>\r\n<N>Zden\xECk \x8E\xE1k Jr.</N>\r\n</vcf>\r\n"},
        {"QP folded to ASCII", "DECODE=1\nASCII=1\nN=N\n", "BEGIN:VCARD\r\n" + qp_name + "END:VCARD\r\n",
         "<vcf>\r\n<N>Zdenek Zak Jr.</N>\r\n</vcf>\r\n"},
        // Off, the ";=" rule takes the line after a quoted-printable ";=C5".
        {"switch off: as read", "N=N\n", "BEGIN:VCARD\r\n" + qp_name + "END:VCARD\r\n",
         "<vcf>\r\n<N>=20Jr.</N>\r\n</vcf>\r\n"},
        {"DECODE=0 is off", "DECODE=1\nDECODE=0\nN=N:\n", "BEGIN:VCARD\nN:;a\\,b\nEND:VCARD\n",
         "<vcf>\r\n<N> a\\,b</N>\r\n</vcf>\r\n"},
        {"escapes and a leading empty component", "DECODE=1\nN=N:\nO=ORG\n",
         "BEGIN:VCARD\nN:;Broken;;;\nORG:Dept.\\, Manager\\;x;y\nEND:VCARD\n",
         "<vcf>\r\n<N>Broken</N>\r\n<O>Dept., Manager;x y</O>\r\n</vcf>\r\n"},
        {"folded value", "DECODE=1\nNOTE=NOTE\n", "BEGIN:VCARD\nNOTE:a long\n  note\nEND:VCARD\n",
         "<vcf>\r\n<NOTE>a long note</NOTE>\r\n</vcf>\r\n"},
        {"card lines in any case", "DECODE=1\nN=N:\n",
         "begin:vcard\nN:A\nend:vcard\nBegin:VCard\nEnd:VCard\n",
         "<vcf>\r\n<N>A</N>\r\n</vcf>\r\n<vcf>\r\n<N></N>\r\n</vcf>\r\n"},
        {"the ;= rule is off", "DECODE=1\nN=N:\nNOTE=NOTE\n", "BEGIN:VCARD\nNOTE:x;=\nEND:VCARD\nN:late\n",
         "<vcf>\r\n<N></N>\r\n<NOTE>x =</NOTE>\r\n</vcf>\r\n"},
        {"the value is cut after decoding, at 100 characters", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN;QUOTED-PRINTABLE:" + std::string(40, 'a') + "=3D=3D" + std::string(70, 'b') + "\nEND:VCARD\n",
         "<vcf>\r\n<N>" + std::string(40, 'a') + "==" + std::string(58, 'b') + "</N>\r\n</vcf>\r\n"},
        {"one line, one field", "DECODE=1\nF#=TEL;FAX\nW#=TEL;WORK\nM#=TEL;CELL\nP#=TEL\n",
         "BEGIN:VCARD\nTEL;WORK;FAX:1\nTEL;TYPE=work:2\nitem1.TEL;type=CELL:3\nTEL:4\nEND:VCARD\n",
         "<vcf>\r\n<F>1</F>\r\n<W>2</W>\r\n<M>3</M>\r\n<P>4</P>\r\n</vcf>\r\n"},
        {"first value stays, a preferred one replaces it", "DECODE=1\nM=TEL;CELL\nE=EMAIL\n",
         "BEGIN:VCARD\nTEL;CELL:1\nTEL;CELL:2\nEMAIL:a\nEMAIL;PREF=1:b\nEMAIL;type=pref:c\nEND:VCARD\n",
         "<vcf>\r\n<M>1</M>\r\n<E>b</E>\r\n</vcf>\r\n"},
        {"empty values and tel: feed nothing", "DECODE=1\nT=TEL\nU=URL\n",
         "BEGIN:VCARD\nTEL:tel:\nTEL: \nTEL;VALUE=uri:TEL:+420603\nURL:http://x\nEND:VCARD\n",
         "<vcf>\r\n<T>+420603</T>\r\n<U>http://x</U>\r\n</vcf>\r\n"},
        {"stray END lines end no card; values live for one card", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN:A\nEND:VCARD\nEND:VCARD\nEND:VCALENDAR\nN:B\nEND:VCARD\nBEGIN:VCARD\nEND:VCARD\n",
         "<vcf>\r\n<N>A</N>\r\n</vcf>\r\n<vcf>\r\n<N>B</N>\r\n</vcf>\r\n<vcf>\r\n<N></N>\r\n</vcf>\r\n"},
        {"a declared charset; references for what windows-1250 lacks", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN;CHARSET=SHIFT_JIS:\x88\xC0\x93\xA1\nEND:VCARD\n",
         "<vcf>\r\n<N>&#23433;&#34276;</N>\r\n</vcf>\r\n"},
        {"folding works on the text", "DECODE=1\nASCII=1\nN=N:\n", "BEGIN:VCARD\nN:\xC3\x85se;\xC3\x86rl\xC3\xB8\nEND:VCARD\n",
         "<vcf>\r\n<N>Ase AErlo</N>\r\n</vcf>\r\n"},
        {"a NUL decoded from a charset is no byte of the document", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN;CHARSET=UTF-7:a+AAA-b\nEND:VCARD\n", "<vcf>\r\n<N>a_b</N>\r\n</vcf>\r\n"},
        {"a card embedded in an AGENT line is part of the outer card", "DECODE=1\nN=N\nT=TEL\n",
         "BEGIN:VCARD\nN:Outer;Olga\nagent:\nBEGIN:VCARD\nN:Agent;Adam\nTEL:1\nAGENT: \nBEGIN:VCARD\nEND:VCARD\n"
         "END:VCARD\nTEL:2\nEND:VCARD\n",
         "<vcf>\r\n<N>Outer Olga</N>\r\n<T>2</T>\r\n</vcf>\r\n"},
        {"any other BEGIN:VCARD starts a new card", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN:A\nAGENT:x\nBEGIN:VCARD\nN:B\nEND:VCARD\nAGENT:\nBEGIN:VCARD\nN:C\nEND:VCARD\n",
         "<vcf>\r\n<N>B</N>\r\n</vcf>\r\n<vcf>\r\n<N>C</N>\r\n</vcf>\r\n"},
        {"element names are text too", "DECODE=1\nN\xC3\x81ZEV=N\n\xE5\x90\x8D=N\n", "BEGIN:VCARD\nN:x\nEND:VCARD\n",
         "<vcf>\r\n<N\xC1ZEV>x</N\xC1ZEV>\r\n<_></_>\r\n</vcf>\r\n"},
        {"and so is a NUL of quoted-printable", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN;QUOTED-PRINTABLE:a=00b\nEND:VCARD\n", "<vcf>\r\n<N>a_b</N>\r\n</vcf>\r\n"},
        {"a decoded LF ends no line of the document", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN;CHARSET=UTF-7:a+AAo-b\nEND:VCARD\n", "<vcf>\r\n<N>a&#10;b</N>\r\n</vcf>\r\n"},
        // Alternatives: the first the card has, in any order of its lines; the others stay free.
        {"alternatives, the first the card has", "DECODE=1\nN*=N|FN|ORG\nF=FN|N\nO=ORG\n",
         "BEGIN:VCARD\nFN:Jan N\nORG:Firm\nN:Novak;Jan\nEND:VCARD\nBEGIN:VCARD\nORG:Firm\nFN:Eva\nEND:VCARD\n"
         "BEGIN:VCARD\nORG:Firm\nN:;;;;\nEND:VCARD\nBEGIN:VCARD\nTEL:1\nEND:VCARD\n",
         "<vcf>\r\n<N>Novak Jan</N>\r\n<F>Jan N</F>\r\n<O>Firm</O>\r\n</vcf>\r\n"
         "<vcf>\r\n<N>Eva</N>\r\n<F></F>\r\n<O>Firm</O>\r\n</vcf>\r\n"
         "<vcf>\r\n<N>Firm</N>\r\n<F></F>\r\n<O></O>\r\n</vcf>\r\n"},
        {"alternatives keep the first or preferred value", "DECODE=1\nM=TEL;CELL|TEL\nP=TEL\n",
         "BEGIN:VCARD\nTEL:1\nTEL;CELL:2\nTEL:3\nTEL;CELL;PREF:4\nEND:VCARD\nBEGIN:VCARD\nTEL:5\nTEL;PREF:6\nEND:VCARD\n",
         "<vcf>\r\n<M>4</M>\r\n<P>1</P>\r\n</vcf>\r\n<vcf>\r\n<M>6</M>\r\n<P></P>\r\n</vcf>\r\n"},
        {"a card keeps so many lines waiting, no more", "DECODE=1\nN=N|FN\n",
         "BEGIN:VCARD\n" + repeated("FN:\n", kMaxWaitingLines) + "FN:late\nEND:VCARD\n",
         "<vcf>\r\n<N></N>\r\n</vcf>\r\n"},
        {"alternatives need the switch", "N=N|FN\n", "BEGIN:VCARD\nFN:A\nN|FN:B\nEND:VCARD\n",
         "<vcf>\r\n<N>B</N>\r\n</vcf>\r\n"},
        // Apple's labels give their group's lines a type, before them or after them.
        {"Apple labels", "DECODE=1\nM#=TEL;CELL\nW=TEL;WORK\nT=TEL\n",
         "BEGIN:VCARD\nitem1.TEL;type=VOICE:+44 20 1234 5678\nitem2.X-ABLabel:_$!<WorkFAX>!$_\n"
         "item2.TEL:2\nitem1.X-ABLabel:_$!<Mobile>!$_\nitem3.TEL:3\nitem3.X-ABLabel:Custom\nEND:VCARD\n",
         "<vcf>\r\n<M>+44 201 234 5678</M>\r\n<W>2</W>\r\n<T>3</T>\r\n</vcf>\r\n"},
        // Undeclared 8-bit text: the card's one charset, else CODEPAGE=, else windows-1250.
        {"the card's own charset", "DECODE=1\nF=FN\nN=N\n",
         "BEGIN:VCARD\nFN:\xC3\xE9\xFE\xF1\xE3\xEF\xF2\nN;CHARSET=WINDOWS-1253:\xC3\xE9\xFE\xF1\xE3\xEF\xF2\nEND:VCARD\n"
         "BEGIN:VCARD\nFN:\xC3\xE9\nN;CHARSET=UTF-8:a\nADR;CHARSET=WINDOWS-1253:b\nEND:VCARD\n"
         "BEGIN:VCARD\nFN:\xC3\xE9\nN;CHARSET=UTF-8:a\nEND:VCARD\n",
         "<vcf>\r\n<F>&#915;&#953;&#974;&#961;&#947;&#959;&#962;</F>\r\n<N>&#915;&#953;&#974;&#961;&#947;&#959;&#962;</N>\r\n</vcf>\r\n"
         "<vcf>\r\n<F>\xC3\xE9</F>\r\n<N>a</N>\r\n</vcf>\r\n<vcf>\r\n<F>\xC3\xE9</F>\r\n<N>a</N>\r\n</vcf>\r\n"},
        {"the card's charset on a line no mapping takes, after a quoted \":\" too", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=WINDOWS-1251:\xCF\xE5\xF2\xF0\xEE\xE2\nN:\xCF\xE5\xF2\xF0\xEE\xE2;\xC8\xE2\xE0\xED\n"
         "END:VCARD\nBEGIN:VCARD\nN:\xF0\xC5\xD4\xD2\xCF\xD7\nX-FOO;X=\"a:b\";CHARSET=KOI8-R:x\nEND:VCARD\n",
         "<vcf>\r\n<N>&#1055;&#1077;&#1090;&#1088;&#1086;&#1074; &#1048;&#1074;&#1072;&#1085;</N>\r\n</vcf>\r\n<vcf>\r\n<N>&#1055;&#1077;&#1090;&#1088;&#1086;&#1074;</N>\r\n</vcf>\r\n"},
        {"CODEPAGE= for Greek", "DECODE=1\nCODEPAGE=1253\nF=FN\n",
         "BEGIN:VCARD\nFN:\xC3\xE9\xFE\xF1\xE3\xEF\xF2 M\xFC\nEND:VCARD\nBEGIN:VCARD\nFN:\xC5\xBD\nEND:VCARD\n",
         "<vcf>\r\n<F>&#915;&#953;&#974;&#961;&#947;&#959;&#962; M&#972;</F>\r\n</vcf>\r\n<vcf>\r\n<F>\x8E</F>\r\n</vcf>\r\n"},
        {"CODEPAGE= for Hebrew", "DECODE=1\nCODEPAGE=1255\nF=FN\n", "BEGIN:VCARD\nFN:\xF9\xE5\xEC\xED\nEND:VCARD\n",
         "<vcf>\r\n<F>&#1513;&#1493;&#1500;&#1501;</F>\r\n</vcf>\r\n"},
        {"CODEPAGE= needs the switch", "CODEPAGE=1253\nF=FN\n", "BEGIN:VCARD\nFN:\xC3\xE9\nEND:VCARD\n",
         "<vcf>\r\n<F>\xC3\xE9</F>\r\n</vcf>\r\n"},
        {"a label feeds a mapping that names it too", "DECODE=1\nM=TEL;CELL\nL=X-ABLabel\n",
         "BEGIN:VCARD\nitem1.TEL:1\nitem1.X-ABLabel:_$!<Mobile>!$_\nEND:VCARD\n",
         "<vcf>\r\n<M>1</M>\r\n<L>_$!&lt;Mobile&gt;!$_</L>\r\n</vcf>\r\n"},
        {"a charset not known here is as good as none, CODEPAGE= included", "DECODE=1\nCODEPAGE=1253\nN=N\nF=FN\n",
         "BEGIN:VCARD\nN;CHARSET=Windows-1252-:\xC3\xE9\nFN:\xC3\xE9\nEND:VCARD\n",
         "<vcf>\r\n<N>&#915;&#953;</N>\r\n<F>&#915;&#953;</F>\r\n</vcf>\r\n"},
        {"UTF-16 and UTF-32, CR LF bytes inside characters kept", "DECODE=1\nN=N\nF=FN\nO=ORG\n",
         "BEGIN:VCARD\nN;CHARSET=UTF-16LE;ENCODING=QUOTED-PRINTABLE:N=00o=00v=00=E1=00k=00;=00=0D=01\n"
         "FN;CHARSET=utf-32;QUOTED-PRINTABLE:=00=00=01=0D=00=00=00a\nORG;CHARSET=UTF-16;QUOTED-PRINTABLE:=FF=FEa=00\n"
         "END:VCARD\n",
         "<vcf>\r\n<N>Nov\xE1k \xE8</N>\r\n<F>\xE8" "a</F>\r\n<O>a</O>\r\n</vcf>\r\n"},
        {"a charset only named like UTF-16 keeps no line break bytes", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN;CHARSET=UTF-16ENCODING=QUOTED-PRINTABLE:Jr.=0D=0Ax\nEND:VCARD\n",
         "<vcf>\r\n<N>Jr. x</N>\r\n</vcf>\r\n"},
        {"lines that wait make no card of their own", "DECODE=1\nW=TEL;WORK\nS_IDENT=c\n",
         "BEGIN:V\xEF\xBB\xBF" "CARD\nitem2.TEL;type=CELL:555\nEND:VCARD\n", ""},
        {"a UTF-8 byte-order mark hides no BEGIN:VCARD", "DECODE=1\nW=TEL;WORK\n",
         "\xEF\xBB\xBF" "BEGIN:VCARD\nFN:x\nEND:VCARD\n", "<vcf>\r\n<W></W>\r\n</vcf>\r\n"},
        {"lines that end in CR alone", "DECODE=1\nN=N\n", "BEGIN:VCARD\rN:A\rEND:VCARD\rBEGIN:VCARD\rN:B\rEND:VCARD",
         "<vcf>\r\n<N>A</N>\r\n</vcf>\r\n<vcf>\r\n<N>B</N>\r\n</vcf>\r\n"},
        {"decoded numbers grouped by their digits", "DECODE=1\nT#=TEL\n", "BEGIN:VCARD\nTEL:+1-213-555-1234;ext=12\nEND:VCARD\n",
         "<vcf>\r\n<T>+1 213 555 1234 ext=12</T>\r\n</vcf>\r\n"},
        {"constants are text", "DECODE=1\nSOURCE_IDENT=Firma \xC5\xBD\xC4\x8F\xC3\xA1r\n", "BEGIN:VCARD\nEND:VCARD\n",
         "<vcf>\r\n<SOURCE_IDENT>Firma \x8E\xEF\xE1r</SOURCE_IDENT>\r\n</vcf>\r\n"},
        // Beyond U+FFFF, two marks composed, the cut after the 100th character, which is one of four bytes.
        {"characters as readers count them", "DECODE=1\nN=N\n",
         "BEGIN:VCARD\nN:Jan \xF0\x9F\x98\x80;Nov\xC3\xA1k\nEND:VCARD\nBEGIN:VCARD\nN:e\xCC\xA3\xCC\x82\nEND:VCARD\n"
         "BEGIN:VCARD\nN:" + std::string(99, 'a') + "\xF0\x9F\x98\x80" "b\nEND:VCARD\n",
         "<vcf>\r\n<N>Jan &#128512; Nov\xE1k</N>\r\n</vcf>\r\n<vcf>\r\n<N>&#7879;</N>\r\n</vcf>\r\n<vcf>\r\n<N>" +
             std::string(99, 'a') + "&#128512;</N>\r\n</vcf>\r\n"},
        {"a list takes every number, once", "DECODE=1\nN*=N\nT#[]=TEL\nNONE[]=EMAIL\n", kEveryNumber,
         "<vcf>\r\n<N>Novak Jan</N>\r\n<T>1</T>\r\n<T>2</T>\r\n<T>3</T>\r\n<T>4</T>\r\n<T>5</T>\r\n<T>6</T>\r\n"
         "<T>7</T>\r\n<T>8</T>\r\n<T>+420 603 123 456</T>\r\n</vcf>\r\n"},
        {"Required and Forbidden lists", "DECODE=1\nN=N\nT*[]=TEL\nE-[]=EMAIL\n",
         "BEGIN:VCARD\nN:no number\nEND:VCARD\nBEGIN:VCARD\nN:mail\nTEL:1\nEMAIL:a\nEND:VCARD\n"
         "BEGIN:VCARD\nN:ok\nTEL:1\nEND:VCARD\n",
         "<vcf>\r\n<N>ok</N>\r\n<T>1</T>\r\n</vcf>\r\n"},
        {"a value prefix is compared in any case", "DECODE=1\nN=N\nTRAINEE-=TITLE:trainee\n",
         "BEGIN:VCARD\nN:A\nTITLE:Trainee\nEND:VCARD\nBEGIN:VCARD\nN:B\nTITLE:Boss\nEND:VCARD\n",
         "<vcf>\r\n<N>B</N>\r\n<TRAINEE></TRAINEE>\r\n</vcf>\r\n"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(convert(c.config, c.cards), document(c.body)) << c.name;
    }
}

std::string times(std::string_view text, std::size_t n) {
    std::string all;
    for (std::size_t i = 0; i < n; ++i) all += text;
    return all;
}

// A long value is cut at 100 characters once decoded and composed: never inside a letter,
// and never to fewer, whatever bytes its letters take.
TEST(ConvertDocument, LongValuesAreCutAfterDecoding) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a" + times("\xC5\x99", 600), "a" + times("\xC5\x99", 99)},      // Czech
        {"a" + times("\xD0\xB6", 600), "a" + times("\xD0\xB6", 99)},      // Russian
        {"ab" + times("\xE5\x8D\x81", 300), "ab" + times("\xE5\x8D\x81", 98)},  // Chinese
        {times("e\xCC\xA3\xCC\x82", 150), times("\xE1\xBB\x87", 100)},  // Vietnamese, decomposed
        // Marks that don't compose count as characters of their own.
        {"Z" + times("a\xCC\x81\xCC\x81\xCC\x81", 200), "Z" + times("\xC3\xA1\xCC\x81\xCC\x81", 33)},
    };
    // With alternatives, the line waits for the card's end, and is decoded whole then too.
    for (const char* mapping : {"N=NOTE\n", "N=NOTE|FN\n"}) {
        for (const auto& [value, kept] : cases) {
            EXPECT_EQ(convert("DECODE=1\nUTF8=1\n" + std::string(mapping), "BEGIN:VCARD\nNOTE:" + value + "\nEND:VCARD\n"),
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<book>\r\n<vcf>\r\n<N>" + kept +
                          "</N>\r\n</vcf>\r\n</book>\r\n")
                << mapping << kept;
        }
    }
}

// A physical line whose later pieces (one read of 1999 bytes each) begin with the given
// texts: each text is padded to a whole read but the last, which ends the line.
std::string long_line(std::string first, const std::vector<std::string>& later) {
    std::string line;
    for (const std::string& start : later) {
        first.resize(kMaxLineBytes, 'x');
        line += first;
        first = start;
    }
    return line + first + "\n";
}

// Text deep inside a long value is no card line: whatever a piece of it begins with, it
// starts no card, feeds no field and ends no card, with the switch off as with it on.
TEST(ConvertDocument, LongLinesCantForgeRecords) {
    const std::string forged = long_line("NOTE:", {"END:VCARD", "BEGIN:VCARD", "N:Bank Support", "TEL;CELL:+420111", "END:VCARD"});
    const std::string real = "<vcf>\r\n<N>Real</N>\r\n<T></T>\r\n</vcf>\r\n";
    const std::vector<DecodeCase> cases = {
        {"a forged card in a note", "N*=N:\nT=TEL;CELL\n", "BEGIN:VCARD\nN:Real\n" + forged + "END:VCARD\n", real},
        {"the same, decoded", "DECODE=1\nN*=N:\nT=TEL;CELL\n", "BEGIN:VCARD\nN:Real\n" + forged + "END:VCARD\n", real},
        {"END: in the third piece", "N*=N:\nT=TEL;CELL\n",
         "BEGIN:VCARD\nN:Real\n" + long_line("NOTE:", {"", "END:VCARD", ""}) + "END:VCARD\n", real},
        // The ";=" rule still takes the next read whole, but that read is no card end.
        {"END: in a continuation", "N*=N:\nT=TEL;CELL\nNOTE=NOTE\n",
         "BEGIN:VCARD\nN:Real\n" + long_line("NOTE:a;=", {"END:VCARD"}) + "END:VCARD\n",
         "<vcf>\r\n<N>Real</N>\r\n<T></T>\r\n<NOTE>END:VCARD</NOTE>\r\n</vcf>\r\n"},
        // The first piece is a card line as before.
        {"a photo whose pieces begin with prefixes", "N*=N:\nT=TEL;CELL\nP=PHOTO\n",
         "BEGIN:VCARD\nN:Real\n" + long_line("PHOTO:abc", {"TEL;CELL:1", "N:Forged", "PHOTO:x"}) + "END:VCARD\n",
         "<vcf>\r\n<N>Real</N>\r\n<T></T>\r\n<P>abc" + std::string(96, 'x') + "</P>\r\n</vcf>\r\n"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(convert(c.config, c.cards), document(c.body)) << c.name;
    }
}

struct NameCase {
    std::string config, input_file, output_file, element;
};

// UTF8=1 writes a UTF-8 document of the decoded text; without DECODE=1 it changes nothing.
TEST(ConvertDocument, Utf8Switch) {
    const std::string card = "BEGIN:VCARD\nN:\xC3\x91\xD0\xB9 <x>\nEND:VCARD\n";
    const std::string utf8_prolog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    const std::vector<DecodeCase> cases = {
        {"with decoding", "DECODE=1\nUTF8=1\nN\xC1ZEV=N:\n", card,
         utf8_prolog + "<kn\xC3\xADha>\r\n<vcf>\r\n<N\xC3\x81ZEV>\xC3\x91\xD0\xB9 &lt;x&gt;</N\xC3\x81ZEV>\r\n</vcf>\r\n</kn\xC3\xADha>\r\n"},
        {"folded, references included", "DECODE=1\nUTF8=1\nASCII=1\nN=N:\n", card,
         utf8_prolog + "<kn\xC3\xADha>\r\n<vcf>\r\n<N>N&#1081; &lt;x&gt;</N>\r\n</vcf>\r\n</kn\xC3\xADha>\r\n"},
        {"without decoding: ignored", "UTF8=1\nN=N:\n", card,
         kProlog + "<kn\xEDha>\r\n<vcf>\r\n<N>_\xD0\xB9 &lt;x&gt;</N>\r\n</vcf>\r\n</kn\xEDha>\r\n"},
        {"a number grouped by characters", "DECODE=1\nUTF8=1\nT#=TEL\n",
         "BEGIN:VCARD\nTEL:+49\xC2\xB0\xC2\xB0 \xC2\xB0" "1234567\nEND:VCARD\n",
         utf8_prolog + "<kn\xC3\xADha>\r\n<vcf>\r\n<T>+49 \xC2\xB0\xC2\xB0\xC2\xB0 123 4567</T>\r\n</vcf>\r\n</kn\xC3\xADha>\r\n"},
        {"beyond U+FFFF", "DECODE=1\nUTF8=1\nN=N\n", "BEGIN:VCARD\nN:Jan \xF0\x9F\x98\x80;Nov\xC3\xA1k\nEND:VCARD\n",
         utf8_prolog + "<kn\xC3\xADha>\r\n<vcf>\r\n<N>Jan \xF0\x9F\x98\x80 Nov\xC3\xA1k</N>\r\n</vcf>\r\n</kn\xC3\xADha>\r\n"},
    };
    for (const DecodeCase& c : cases) EXPECT_EQ(convert(c.config, c.cards, "kn\xEDha"), c.body) << c.name;
}

TEST(DocumentNames, FromTheSettings) {
    const std::vector<NameCase> cases = {
        {"", "import.vcf", "import.xml", "import"},
        {kExample, "contacts.vcf", "phonebook.xml", "phonebook"},
        {"Contacts.VCF\nOut.XML\n", "Contacts.vcf", "Out.xml", "Out"},
        {"a.vcf\n*x.xml\n", "a.vcf", "a.xml", "a"},
        {".xml\n", "import.vcf", ".xml", ""},
        {"out/book.xml\n", "import.vcf", "out/book.xml", "book"},
        {"c:\\data\\book.xml\n", "import.vcf", "c:\\data\\book.xml", "book"},
        {"in/cards.vcf\n", "in/cards.vcf", "in/cards.xml", "cards"},
    };
    for (const NameCase& c : cases) {
        const DocumentNames names = document_names(settings_from(c.config));
        EXPECT_EQ(names.input_file, c.input_file) << c.config;
        EXPECT_EQ(names.output_file, c.output_file) << c.config;
        EXPECT_EQ(names.element, c.element) << c.config;
    }
}

}  // namespace
}  // namespace quorlan
