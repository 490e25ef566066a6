#include "diagnose/xml_names.h"

#include <cstddef>
#include <cstdint>

#include "charset/unicode_text.h"
#include "charset/xml_name.h"
#include "diagnose/show.h"

namespace quorlan {

namespace {

// Where the name as the document holds it stops being an XML name: the character from
// `at` to `end`, or `at` npos when the whole name is one.
struct XmlNameFault {
    std::size_t at = std::string_view::npos;
    std::size_t end = 0;
    char32_t c = 0;
};

XmlNameFault find_xml_name_fault(std::string_view name, bool utf8) {
    XmlNameFault fault;
    fault.at = utf8 ? xml_text_name_fault_at(name) : xml_name_fault_at(name);
    if (fault.at == std::string_view::npos || fault.at >= name.size()) return fault;
    fault.end = fault.at;
    fault.c = utf8 ? next_character(name, fault.end)
                   : cp1250_character(static_cast<std::uint8_t>(name[fault.end++]));
    return fault;
}

// White space after the name stands inside the tag, where XML allows it: the document is
// well-formed, but its element has a shorter name.
std::string_view core_of(const ElementName& name) { return name_in_tag(name.written); }

// Why an XML reader refuses the name; `quoted` shows the character at fault as the run or
// the report shows bytes, in quotes.
template <typename Quoted>
std::string xml_name_problem(const ElementName& name, Quoted quoted) {
    const std::string_view core = core_of(name);
    const XmlNameFault fault = find_xml_name_fault(core, name.utf8);
    const std::size_t i = fault.at;
    if (core.empty()) return "it is empty";
    const std::string character = quoted(core.substr(i, fault.end - i));
    if (i == 0 && is_xml_name_char(fault.c)) return "it begins with " + character;
    return character + " is not allowed in it";
}

std::string terminal_quotes(std::string_view bytes) {
    std::string quoted = "\"";
    quoted += terminal_name(bytes);
    quoted += '"';
    return quoted;
}

}  // namespace

ElementName check_element_name(std::string_view bytes, bool as_text, bool utf8) {
    ElementName name{bytes, name_for_document(bytes, as_text, utf8), utf8};
    const std::string_view core = core_of(name);
    if (find_xml_name_fault(core, utf8).at != std::string_view::npos) {
        name.fault = NameFault::NotXml;
    } else if (as_text && !utf8 && lacks_cp1250_character(text_from_bytes(bytes))) {
        name.fault = NameFault::LacksCp1250;
    } else if (core.size() != name.written.size()) {
        name.fault = NameFault::EndsInSpace;
    } else if (core.find(':') != std::string_view::npos) {
        name.fault = NameFault::HoldsColon;
    }
    return name;
}

std::string xml_name_warning(std::string_view what, const ElementName& name) {
    const std::string subject = std::string(what) + " " + tag(name.bytes);
    switch (name.fault) {
        case NameFault::None: return {};
        case NameFault::NotXml: {
            std::string warning = subject + " is not a valid XML name (" + xml_name_problem(name, in_quotes) +
                                  "): an XML reader will refuse the output";
            if (const std::string better = xml_name_suggestion(core_of(name)); !better.empty()) {
                warning += "; a name such as " + tag(better) + " is taken";
            }
            return warning + " (" + kXmlNameRule + ")";
        }
        case NameFault::LacksCp1250:
            return subject + " holds characters that windows-1250 lacks, which are written as \"_\": UTF8=1 writes "
                             "a UTF-8 document that holds them";
        case NameFault::EndsInSpace:
            return subject + " ends in white space, which XML takes as part of the tag, not of the name: readers "
                             "see the element " + tag(core_of(name));
        case NameFault::HoldsColon:
            return subject + " holds \":\", which XML readers that know namespaces take for a prefix that the "
                             "document does not declare";
    }
    return {};
}

std::string xml_name_run_warning(std::string_view what, const ElementName& name, std::string_view quoted_output,
                                 std::string_view fix) {
    const std::string subject = std::string(what) + " <" + terminal_name(name.bytes) + ">";
    if (name.fault == NameFault::LacksCp1250) {
        return subject + " holds characters that windows-1250 lacks, written as \"_\" in " +
               std::string(quoted_output) + ": write UTF8=1 for a UTF-8 document, or rename it";
    }
    if (name.fault != NameFault::NotXml) return {};
    std::string warning = subject + " is not an XML name (" + xml_name_problem(name, terminal_quotes) +
                          "), so XML readers will refuse " + std::string(quoted_output) + ": " + std::string(fix);
    // The advice is made from the name as quorlan.ini gives it.
    if (const std::string better = xml_name_suggestion(name_in_tag(name.bytes)); !better.empty()) {
        warning += ", such as " + terminal_name(better) + ",";
    }
    return warning + " in quorlan.ini (" + kXmlNameRule + ")";
}

}  // namespace quorlan
