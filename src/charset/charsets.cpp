#include "charset/charsets.h"

#include <algorithm>
#include <array>

#include "charset/unicode_text.h"
#include "text/text_ops.h"
#include "text/utf16_source.h"

namespace quorlan {

namespace {

// The charsets both converters have. Names that differ between the platforms' converters
// (GB2312 and Big5, which Windows reads as its larger code pages) are read as Windows
// reads them, so that a file gives the same phonebook on both.
constexpr Charset kUtf8{"UTF-8", 65001};
constexpr Charset kUtf7{"UTF-7", 65000};
// Decoded by this program, not the platform: Windows converts UTF-16 and UTF-32 only as
// wide text, not as a code page of bytes.
constexpr Charset kUtf16{"UTF-16", 1201};
constexpr Charset kUtf16Be{"UTF-16BE", 1201};
constexpr Charset kUtf16Le{"UTF-16LE", 1200};
constexpr Charset kUtf32{"UTF-32", 12001};
constexpr Charset kUtf32Be{"UTF-32BE", 12001};
constexpr Charset kUtf32Le{"UTF-32LE", 12000};
constexpr Charset kCp932{"CP932", 932};
constexpr Charset kEucJp{"EUC-JP", 20932};
constexpr Charset kIso2022Jp{"ISO-2022-JP", 50220};
constexpr Charset kGbk{"GBK", 936};
constexpr Charset kGb18030{"GB18030", 54936};
constexpr Charset kBig5{"CP950", 950};
constexpr Charset kEucKr{"EUC-KR", 51949};
constexpr Charset kCp949{"CP949", 949};
constexpr Charset kKoi8R{"KOI8-R", 20866};
constexpr Charset kKoi8U{"KOI8-U", 21866};
constexpr Charset kLatin1{"ISO-8859-1", 28591};
constexpr Charset kLatin2{"ISO-8859-2", 28592};
constexpr Charset kLatin3{"ISO-8859-3", 28593};
constexpr Charset kLatin4{"ISO-8859-4", 28594};
constexpr Charset kCyrillic{"ISO-8859-5", 28595};
constexpr Charset kArabic{"ISO-8859-6", 28596};
constexpr Charset kGreek{"ISO-8859-7", 28597};
constexpr Charset kHebrew{"ISO-8859-8", 28598};
constexpr Charset kLatin5{"ISO-8859-9", 28599};
constexpr Charset kLatin7{"ISO-8859-13", 28603};
constexpr Charset kLatin9{"ISO-8859-15", 28605};
constexpr Charset kAscii{"US-ASCII", 20127};
constexpr Charset kCp1250{"CP1250", 1250};
constexpr Charset kCp1251{"CP1251", 1251};
constexpr Charset kCp1252{"CP1252", 1252};
constexpr Charset kCp1253{"CP1253", 1253};
constexpr Charset kCp1254{"CP1254", 1254};
constexpr Charset kCp1255{"CP1255", 1255};
constexpr Charset kCp1256{"CP1256", 1256};
constexpr Charset kCp1257{"CP1257", 1257};
constexpr Charset kCp1258{"CP1258", 1258};
constexpr Charset kCp874{"CP874", 874};
constexpr Charset kCp437{"IBM437", 437};
constexpr Charset kCp850{"IBM850", 850};
constexpr Charset kCp852{"IBM852", 852};
constexpr Charset kCp866{"IBM866", 866};
constexpr Charset kEbcdicUs{"IBM037", 37};
constexpr Charset kEbcdicIntl{"IBM500", 500};
constexpr Charset kEbcdic1047{"IBM1047", 1047};
constexpr Charset kMac{"MACINTOSH", 10000};

// A spelling this program accepts for a charset (in upper case: names are compared in any
// letter case, and otherwise as written).
struct CharsetName {
    std::string_view name;
    const Charset* charset;
};

// Every spelling accepted, in upper case: the IANA names and aliases of the charsets both
// platforms convert, then the spellings of phones and mail clients that IANA does not list
// (SJIS, CP1250, UTF8...).
constexpr std::array kNames = std::to_array<CharsetName>({
    {"UTF-8", &kUtf8}, {"CSUTF8", &kUtf8}, {"UTF8", &kUtf8},
    {"UTF-7", &kUtf7}, {"CSUTF7", &kUtf7},
    {"UTF-16", &kUtf16}, {"CSUTF16", &kUtf16}, {"UTF-16BE", &kUtf16Be}, {"CSUTF16BE", &kUtf16Be},
    {"UTF-16LE", &kUtf16Le}, {"CSUTF16LE", &kUtf16Le},
    {"UTF-32", &kUtf32}, {"CSUTF32", &kUtf32}, {"UTF-32BE", &kUtf32Be}, {"CSUTF32BE", &kUtf32Be},
    {"UTF-32LE", &kUtf32Le}, {"CSUTF32LE", &kUtf32Le},
    {"SHIFT_JIS", &kCp932}, {"MS_KANJI", &kCp932}, {"CSSHIFTJIS", &kCp932}, {"WINDOWS-31J", &kCp932},
    {"CSWINDOWS31J", &kCp932}, {"SHIFT-JIS", &kCp932}, {"SJIS", &kCp932}, {"CP932", &kCp932},
    {"EUC-JP", &kEucJp}, {"EXTENDED_UNIX_CODE_PACKED_FORMAT_FOR_JAPANESE", &kEucJp}, {"CSEUCPKDFMTJAPANESE", &kEucJp},
    {"ISO-2022-JP", &kIso2022Jp}, {"CSISO2022JP", &kIso2022Jp},
    {"GB2312", &kGbk}, {"CSGB2312", &kGbk}, {"GBK", &kGbk}, {"CP936", &kGbk}, {"MS936", &kGbk},
    {"WINDOWS-936", &kGbk}, {"CSGBK", &kGbk},
    {"GB18030", &kGb18030}, {"CSGB18030", &kGb18030},
    {"BIG5", &kBig5}, {"CSBIG5", &kBig5}, {"CP950", &kBig5},
    {"EUC-KR", &kEucKr}, {"CSEUCKR", &kEucKr},
    {"KS_C_5601-1987", &kCp949}, {"ISO-IR-149", &kCp949}, {"KS_C_5601-1989", &kCp949}, {"KSC_5601", &kCp949},
    {"KOREAN", &kCp949}, {"CSKSC56011987", &kCp949}, {"CP949", &kCp949},
    {"KOI8-R", &kKoi8R}, {"CSKOI8R", &kKoi8R},
    {"KOI8-U", &kKoi8U}, {"CSKOI8U", &kKoi8U},
    {"ISO_8859-1:1987", &kLatin1}, {"ISO-IR-100", &kLatin1}, {"ISO_8859-1", &kLatin1}, {"ISO-8859-1", &kLatin1},
    {"LATIN1", &kLatin1}, {"L1", &kLatin1}, {"IBM819", &kLatin1}, {"CP819", &kLatin1}, {"CSISOLATIN1", &kLatin1},
    {"ISO_8859-2:1987", &kLatin2}, {"ISO-IR-101", &kLatin2}, {"ISO_8859-2", &kLatin2}, {"ISO-8859-2", &kLatin2},
    {"LATIN2", &kLatin2}, {"L2", &kLatin2}, {"CSISOLATIN2", &kLatin2},
    {"ISO_8859-3:1988", &kLatin3}, {"ISO-IR-109", &kLatin3}, {"ISO_8859-3", &kLatin3}, {"ISO-8859-3", &kLatin3},
    {"LATIN3", &kLatin3}, {"L3", &kLatin3}, {"CSISOLATIN3", &kLatin3},
    {"ISO_8859-4:1988", &kLatin4}, {"ISO-IR-110", &kLatin4}, {"ISO_8859-4", &kLatin4}, {"ISO-8859-4", &kLatin4},
    {"LATIN4", &kLatin4}, {"L4", &kLatin4}, {"CSISOLATIN4", &kLatin4},
    {"ISO_8859-5:1988", &kCyrillic}, {"ISO-IR-144", &kCyrillic}, {"ISO_8859-5", &kCyrillic},
    {"ISO-8859-5", &kCyrillic}, {"CYRILLIC", &kCyrillic}, {"CSISOLATINCYRILLIC", &kCyrillic},
    {"ISO_8859-6:1987", &kArabic}, {"ISO-IR-127", &kArabic}, {"ISO_8859-6", &kArabic}, {"ISO-8859-6", &kArabic},
    {"ECMA-114", &kArabic}, {"ASMO-708", &kArabic}, {"ARABIC", &kArabic}, {"CSISOLATINARABIC", &kArabic},
    {"ISO_8859-7:1987", &kGreek}, {"ISO-IR-126", &kGreek}, {"ISO_8859-7", &kGreek}, {"ISO-8859-7", &kGreek},
    {"ELOT_928", &kGreek}, {"ECMA-118", &kGreek}, {"GREEK", &kGreek}, {"GREEK8", &kGreek},
    {"CSISOLATINGREEK", &kGreek},
    {"ISO_8859-8:1988", &kHebrew}, {"ISO-IR-138", &kHebrew}, {"ISO_8859-8", &kHebrew}, {"ISO-8859-8", &kHebrew},
    {"HEBREW", &kHebrew}, {"CSISOLATINHEBREW", &kHebrew},
    {"ISO_8859-9:1989", &kLatin5}, {"ISO-IR-148", &kLatin5}, {"ISO_8859-9", &kLatin5}, {"ISO-8859-9", &kLatin5},
    {"LATIN5", &kLatin5}, {"L5", &kLatin5}, {"CSISOLATIN5", &kLatin5},
    {"ISO-8859-13", &kLatin7}, {"CSISO885913", &kLatin7},
    {"ISO-8859-15", &kLatin9}, {"ISO_8859-15", &kLatin9}, {"LATIN-9", &kLatin9}, {"CSISO885915", &kLatin9},
    {"US-ASCII", &kAscii}, {"ANSI_X3.4-1968", &kAscii}, {"ISO-IR-6", &kAscii}, {"ANSI_X3.4-1986", &kAscii},
    {"ISO_646.IRV:1991", &kAscii}, {"ISO646-US", &kAscii}, {"US", &kAscii}, {"IBM367", &kAscii},
    {"CP367", &kAscii}, {"CSASCII", &kAscii}, {"ASCII", &kAscii},
    {"WINDOWS-1250", &kCp1250}, {"CSWINDOWS1250", &kCp1250}, {"CP1250", &kCp1250},
    {"WINDOWS-1251", &kCp1251}, {"CSWINDOWS1251", &kCp1251}, {"CP1251", &kCp1251},
    {"WINDOWS-1252", &kCp1252}, {"CSWINDOWS1252", &kCp1252}, {"CP1252", &kCp1252},
    {"WINDOWS-1253", &kCp1253}, {"CSWINDOWS1253", &kCp1253}, {"CP1253", &kCp1253},
    {"WINDOWS-1254", &kCp1254}, {"CSWINDOWS1254", &kCp1254}, {"CP1254", &kCp1254},
    {"WINDOWS-1255", &kCp1255}, {"CSWINDOWS1255", &kCp1255}, {"CP1255", &kCp1255},
    {"WINDOWS-1256", &kCp1256}, {"CSWINDOWS1256", &kCp1256}, {"CP1256", &kCp1256},
    {"WINDOWS-1257", &kCp1257}, {"CSWINDOWS1257", &kCp1257}, {"CP1257", &kCp1257},
    {"WINDOWS-1258", &kCp1258}, {"CSWINDOWS1258", &kCp1258}, {"CP1258", &kCp1258},
    {"WINDOWS-874", &kCp874}, {"CSWINDOWS874", &kCp874}, {"TIS-620", &kCp874}, {"CSTIS620", &kCp874},
    {"ISO-8859-11", &kCp874}, {"CP874", &kCp874},
    {"IBM437", &kCp437}, {"CP437", &kCp437}, {"437", &kCp437}, {"CSPC8CODEPAGE437", &kCp437},
    {"IBM850", &kCp850}, {"CP850", &kCp850}, {"850", &kCp850}, {"CSPC850MULTILINGUAL", &kCp850},
    {"IBM852", &kCp852}, {"CP852", &kCp852}, {"852", &kCp852}, {"CSPCP852", &kCp852},
    {"IBM866", &kCp866}, {"CP866", &kCp866}, {"866", &kCp866}, {"CSIBM866", &kCp866},
    {"IBM037", &kEbcdicUs}, {"CP037", &kEbcdicUs}, {"EBCDIC-CP-US", &kEbcdicUs}, {"EBCDIC-CP-CA", &kEbcdicUs},
    {"EBCDIC-CP-WT", &kEbcdicUs}, {"EBCDIC-CP-NL", &kEbcdicUs}, {"CSIBM037", &kEbcdicUs},
    {"IBM500", &kEbcdicIntl}, {"CP500", &kEbcdicIntl}, {"EBCDIC-CP-BE", &kEbcdicIntl},
    {"EBCDIC-CP-CH", &kEbcdicIntl}, {"CSIBM500", &kEbcdicIntl},
    {"IBM1047", &kEbcdic1047}, {"IBM-1047", &kEbcdic1047}, {"CSIBM1047", &kEbcdic1047},
    {"MACINTOSH", &kMac}, {"MAC", &kMac}, {"CSMACINTOSH", &kMac},
});

}  // namespace

const Charset* find_charset(std::string_view declared) {
    // Parameter values may be quoted.
    if (declared.size() >= 2 && declared.front() == '"' && declared.back() == '"') {
        declared = declared.substr(1, declared.size() - 2);
    }
    // Compared byte for byte but for the letter case: the platforms' converters each
    // pass over other characters in their own way (glibc drops punctuation and spaces),
    // and a file must give the same phonebook on both.
    for (const CharsetName& known : kNames) {
        if (known.name.size() != declared.size()) continue;
        bool equal = true;
        for (std::size_t i = 0; equal && i < declared.size(); ++i) {
            equal = upper_ascii(declared[i]) == known.name[i];
        }
        if (equal) return known.charset;
    }
    return nullptr;
}

bool is_utf8_charset(const Charset* charset) { return charset == &kUtf8; }
bool is_cp932(const Charset* charset) { return charset == &kCp932; }
bool is_wide_unicode_charset(const Charset* charset) {
    return charset == &kUtf16 || charset == &kUtf16Be || charset == &kUtf16Le || charset == &kUtf32 ||
           charset == &kUtf32Be || charset == &kUtf32Le;
}

namespace {

// UTF-16 and UTF-32 text, by this program's own decoding. A CR or LF among its characters
// becomes a space, as a decoded line end does in a quoted-printable value of bytes.
void append_wide_unicode(const Charset* charset, std::string_view bytes, std::string& text) {
    const bool utf16 = charset == &kUtf16 || charset == &kUtf16Be || charset == &kUtf16Le;
    TextEncoding order = TextEncoding::Bytes;
    if (charset == &kUtf16Be || charset == &kUtf32Be) order = TextEncoding::Utf16Be;
    if (charset == &kUtf16Le || charset == &kUtf32Le) order = TextEncoding::Utf16Le;
    const std::size_t start = text.size();
    append_unicode_as_utf8(text, bytes, utf16 ? UnicodeWidth::Utf16 : UnicodeWidth::Utf32, order);
    std::replace_if(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(),
                    [](char c) { return c == '\r' || c == '\n'; }, ' ');
}

}  // namespace

bool convert_from_charset(CharsetConverters& converters, std::string_view declared, std::string_view bytes,
                          std::string& text) {
    const Charset* charset = find_charset(declared);
    if (charset == nullptr) return false;
    if (is_utf8_charset(charset)) {
        append_utf8_replacing(text, bytes);
        return true;
    }
    if (is_wide_unicode_charset(charset)) {
        append_wide_unicode(charset, bytes, text);
        return true;
    }
    std::vector<OpenCharset>& open = converters.open;
    auto found = std::find_if(open.begin(), open.end(), [&](const OpenCharset& c) { return c.charset == charset; });
    if (found == open.end()) {
        // The least recently used converter makes room.
        if (open.size() == kOpenConverters) open.pop_back();
        open.insert(open.begin(), OpenCharset{charset, open_platform_charset(*charset)});
    } else if (found != open.begin()) {
        std::rotate(open.begin(), found, found + 1);
    }
    if (open.front().handle == nullptr) return false;
    convert_with_platform(open.front().handle.get(), bytes, text);
    return true;
}

}  // namespace quorlan
