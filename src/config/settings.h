// The configuration as read from "quorlan.ini": file names, the folding switch and the
// ordered field mappings that decide which card lines become which XML elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/carddav_settings.h"
#include "text/function_ref.h"
#include "text/line_reader.h"

namespace quorlan {

inline constexpr std::size_t kMaxMappings = 50;
inline constexpr std::size_t kMaxPrefixBytes = 20;

enum class Condition { None = 0, Required = 1, Forbidden = 2 };

struct FieldMapping {
    std::string element;  // element name, marker characters removed
    // A card line must begin with it, or, when decoding, it names the property a line must
    // have; the constant of a constant field. At most kMaxPrefixBytes unless decoding.
    std::string prefix;
    Condition condition = Condition::None;
    bool phone = false;     // values beginning with "+" are grouped as phone numbers
    bool constant = false;  // "IDENT" in the element name, in any case: the prefix is the value
    // "[]" in the element name: with decoding, the field takes every value its lines give,
    // in card order, instead of the first (see is_list_field).
    bool list = false;
    std::size_t line = 0;   // where quorlan.ini holds it, 1 for the first line
};

struct Settings {
    std::string input_base = "import";
    std::string output_base = "*";  // a first byte "*" means: the same as input_base
    // The switches are on for any number but 0 after their keyword (ASCII=7 is on).
    bool fold_ascii = false;  // accented letters of card lines folded to ASCII
    // The card file read as vCard readers do: folded lines joined, quoted-printable decoded,
    // escapes resolved. Off, every byte comes out as it always has.
    bool decode = false;
    // With decoding on, the document written in UTF-8 instead of windows-1250.
    bool utf8 = false;
    // TEMPLATE=: the phonebook's form comes from this template, a built-in name or a file
    // name; empty writes the record form.
    std::string template_name;
    // PHONEBOOK_URL=: where the phone fetches the phonebook, for a form written as pages
    // that link to one another; empty: the pages are not linked.
    std::string phonebook_url;
    // With decoding on, the Windows code page of text that declares no charset and is not
    // UTF-8 (1253 for Greek); 0 keeps windows-1250.
    std::int32_t codepage = 0;
    std::vector<FieldMapping> mappings;
    // CARDDAV= and its companions: the cards come from an address book server.
    CarddavSettings carddav;
};

// What one configuration line is, decided by its content in a fixed order.
enum class LineKind {
    InputName, OutputName, FoldSwitch, DecodeSwitch, Utf8Switch, CodepageSwitch, Mapping, Ignored, TemplateName,
    CarddavLine,  // CARDDAV= or a companion, read by apply_carddav_line
    PhonebookUrl
};

// The keywords of the switches, found anywhere in a line in any case; the number follows.
inline constexpr std::string_view kFoldKeyword = "ASCII=";
inline constexpr std::string_view kDecodeKeyword = "DECODE=";
inline constexpr std::string_view kUtf8Keyword = "UTF8=";
inline constexpr std::string_view kCodepageKeyword = "CODEPAGE=";
inline constexpr std::string_view kTemplateKeyword = "TEMPLATE=";
inline constexpr std::string_view kPhonebookUrlKeyword = "PHONEBOOK_URL=";

struct ConfigLine {
    LineKind kind = LineKind::Ignored;
    std::string name;         // InputName, OutputName: the base name it sets; TemplateName: the template;
                              // PhonebookUrl: the address
    std::int32_t number = 0;  // a switch: the number read
    bool number_given = false;  // a switch: digits stood after the keyword (none count as 0)
    FieldMapping mapping;     // Mapping
};

// Classifies one configuration line, given without its line end.
ConfigLine classify_config_line(std::string_view line);

// The number after a switch's keyword: leading white space, an optional sign and decimal
// digits; no digits give 0 and a number beyond 32 bits saturates, so any non-zero digit
// counts as on.
struct SwitchNumber {
    std::int32_t value = 0;
    bool given = false;  // digits were there
};
SwitchNumber parse_switch_number(std::string_view text);

// True when the document is written in UTF-8: with decoding on, UTF8=1 or a template
// (every template document is UTF-8). Without decoding values are bytes, not text, and the
// document stays windows-1250 whatever UTF8= says.
inline bool document_is_utf8(const Settings& settings) {
    return settings.decode && (settings.utf8 || !settings.template_name.empty());
}

// The marker of a list field, as "TEL*[]=TEL" writes it.
inline constexpr std::string_view kListMarker = "[]";

// True for a mapping that takes every value of a card: marked "[]", with decoding on (the
// byte reading knows no properties to take values of, and takes one value as it always
// has), and not a constant field, which has one value whatever the card holds.
inline bool is_list_field(const Settings& settings, const FieldMapping& mapping) {
    return mapping.list && settings.decode && !mapping.constant;
}

// An element name holding it, in any case, makes a constant field.
inline constexpr std::string_view kConstantMarker = "IDENT";

// True for an element name holding kConstantMarker in any case.
bool is_constant_element(std::string_view element);

// Lets a caller watch the reading line by line, for showing a user what each line did.
// Either may be unset.
struct ConfigObserver {
    // Each line as read (line end included) and what it is; `beyond_limit` marks the
    // mapping line past the fiftieth, which is not stored and ends the reading;
    // `line_goes_on` a read that is only a piece of a longer physical line.
    FunctionRef<void(std::string_view read, const ConfigLine& config, bool beyond_limit, bool line_goes_on)>
        line_read;
    // The reading stopped at the mapping limit; the lines it did not read are left in `rest`.
    FunctionRef<void(LineReader& rest)> stopped;
};

// Reads the settings from the configuration lines of `reader`, starting from the
// defaults, telling `observer` (if any) about every line. Reading stops at the end of the
// data or at a mapping line beyond the fiftieth, which is not stored. Read errors are
// left in `reader.error`.
Settings read_settings(LineReader& reader, const ConfigObserver& observer = {});

}  // namespace quorlan
