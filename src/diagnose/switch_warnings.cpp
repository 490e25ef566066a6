#include "diagnose/switch_warnings.h"

#include "vcard/value_text.h"

namespace quorlan {

bool names_unknown_codepage(std::int32_t code_page) { return code_page != 0 && !is_known_codepage(code_page); }

std::string utf8_needs_decoding(Wording wording) {
    if (wording == Wording::Report) {
        return "UTF8=1 needs DECODE=1: without it the document stays windows-1250 (values are bytes, not text, "
               "and UTF-8 would show them garbled)";
    }
    return "UTF8=1 needs DECODE=1, so the document is written in windows-1250: without decoding, values are the "
           "card file's bytes, which a UTF-8 document would show garbled";
}

std::string codepage_needs_decoding(Wording wording) {
    if (wording == Wording::Report) return "CODEPAGE= needs DECODE=1: without it it is ignored (values are bytes, not text)";
    return "CODEPAGE= needs DECODE=1, so it is ignored: without decoding, values are the card file's bytes";
}

std::string unknown_codepage(std::int32_t code_page, Wording wording) {
    return "CODEPAGE=" + std::to_string(code_page) + " names no code page known here" +
           (wording == Wording::Report
                ? ": undeclared text stays windows-1250"
                : ", so text that declares no charset and is not UTF-8 stays windows-1250");
}

}  // namespace quorlan
