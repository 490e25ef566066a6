#include "explain/xml_names.h"

#include <cstddef>
#include <cstdint>

#include "charset/xml_name.h"
#include "explain/show.h"

namespace quorlan {

namespace {

// Why an XML reader would refuse `name` as an element name; empty when it takes it.
std::string xml_name_problem(std::string_view name) {
    if (name.empty()) return "it is empty";
    if (name.find(' ') != std::string_view::npos) return "it holds a space";
    const std::size_t i = xml_name_fault_at(name);
    if (i == std::string_view::npos) return {};
    const std::uint32_t c = cp1250_character(static_cast<std::uint8_t>(name[i]));
    if (i == 0 && c >= '0' && c <= '9') return "it begins with a digit";
    if (i == 0 && is_xml_name_char(c)) return "it begins with " + in_quotes(name.substr(0, 1));
    return in_quotes(name.substr(i, 1)) + " is not allowed in a name";
}


}  // namespace

std::string xml_name_warning(std::string_view what, std::string_view name) {
    const std::string subject = std::string(what) + " " + tag(name);
    // White space after the name stands inside the tag, where XML allows it: the document
    // is well-formed, but its element has a shorter name.
    const std::string_view core = name_in_tag(name);
    if (const std::string problem = xml_name_problem(core); !problem.empty()) {
        std::string warning = subject + " is not a valid XML name (" + problem + "): an XML reader will refuse the output";
        if (const std::string better = xml_name_suggestion(core); !better.empty()) {
            warning += "; a name such as " + tag(better) + " is taken";
        }
        return warning + " (" + kXmlNameRule + ")";
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
