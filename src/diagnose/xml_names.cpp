#include "diagnose/xml_names.h"

#include <cstddef>
#include <cstdint>

#include "charset/unicode_text.h"
#include "charset/xml_name.h"
#include "diagnose/show.h"

namespace quorlan {

XmlNameFault find_xml_name_fault(std::string_view name, bool utf8) {
    XmlNameFault fault;
    fault.at = utf8 ? xml_text_name_fault_at(name) : xml_name_fault_at(name);
    if (fault.at == std::string_view::npos || fault.at >= name.size()) return fault;
    fault.end = fault.at;
    fault.c = utf8 ? next_character(name, fault.end)
                   : cp1250_character(static_cast<std::uint8_t>(name[fault.end++]));
    return fault;
}

std::string xml_name_problem(std::string_view core, bool utf8, std::string (*quoted)(std::string_view)) {
    const XmlNameFault fault = find_xml_name_fault(core, utf8);
    const std::size_t i = fault.at;
    if (i == std::string_view::npos) return {};
    if (core.empty()) return "it is empty";
    const std::string character = quoted(core.substr(i, fault.end - i));
    if (i == 0 && is_xml_name_char(fault.c)) return "it begins with " + character;
    return character + " is not allowed in it";
}

std::string xml_name_warning(std::string_view what, std::string_view bytes, bool as_text, bool utf8) {
    const std::string subject = std::string(what) + " " + tag(bytes);
    const std::string written = name_for_document(bytes, as_text, utf8);
    const std::string_view name = written;
    // White space after the name stands inside the tag, where XML allows it: the document
    // is well-formed, but its element has a shorter name.
    const std::string_view core = name_in_tag(name);
    if (const std::string problem = xml_name_problem(core, utf8, in_quotes); !problem.empty()) {
        std::string warning = subject + " is not a valid XML name (" + problem + "): an XML reader will refuse the output";
        if (const std::string better = xml_name_suggestion(core); !better.empty()) {
            warning += "; a name such as " + tag(better) + " is taken";
        }
        return warning + " (" + kXmlNameRule + ")";
    }
    if (as_text && !utf8 && lacks_cp1250_character(text_from_bytes(bytes))) {
        return subject + " holds characters that windows-1250 lacks, which are written as \"_\": UTF8=1 writes a "
                         "UTF-8 document that holds them";
    }
    if (core.size() != name.size()) {
        return subject + " ends in white space, which XML takes as part of the tag, not of the name: readers "
                         "see the element " + tag(core);
    }
    if (core.find(':') != std::string_view::npos) {
        return subject + " holds \":\", which XML readers that know namespaces take for a prefix that the "
                         "document does not declare";
    }
    return {};
}

}  // namespace quorlan
