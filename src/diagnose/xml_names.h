// What an XML reader would make of an element name the configuration gives, decided once
// and worded for the run's warnings and for the report.
#pragma once

#include <string>
#include <string_view>

namespace quorlan {

// The names to advise. "-" is a valid name character, but in quorlan.ini it is the
// Forbidden marker, so it is never suggested.
inline constexpr const char* kXmlNameRule =
    "letters, digits, \"_\" and \".\" only, beginning with a letter or \"_\"";

// What is wrong with an element name as the document holds it, the worst first.
enum class NameFault {
    None,
    NotXml,          // XML readers refuse the document
    LacksCp1250,     // a windows-1250 document writes "_" for the characters it lacks
    EndsInSpace,     // readers see a shorter name: the space stands inside the tag
    HoldsColon,      // readers that know namespaces see an undeclared prefix
};

// An element name `bytes` as name_for_document writes it: with decoding (`as_text`) as
// text, read from its bytes as UTF-8 when valid, else windows-1250, in UTF-8 (`utf8`) or
// windows-1250; without, as its bytes.
struct ElementName {
    std::string_view bytes;  // as the configuration gives it
    std::string written;     // as the document holds it
    bool utf8 = false;
    NameFault fault = NameFault::None;
};
ElementName check_element_name(std::string_view bytes, bool as_text, bool utf8);

// The report's warning about the name, said of `what` (such as "the element"); empty when
// nothing is wrong with it.
std::string xml_name_warning(std::string_view what, const ElementName& name);

// The run's warning about a name XML readers refuse (NotXml), or whose characters
// windows-1250 lacks (LacksCp1250), said of `what`; `quoted_output` is the document as
// messages name it and `fix` says what to rename. Empty for any other fault.
std::string xml_name_run_warning(std::string_view what, const ElementName& name, std::string_view quoted_output,
                                 std::string_view fix);

}  // namespace quorlan
