// What an XML reader would say of an element name the configuration gives.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorlan {

// The names to advise. "-" is a valid name character, but in quorlan.ini it is the
// Forbidden marker, so it is never suggested.
inline constexpr const char* kXmlNameRule =
    "letters, digits, \"_\" and \".\" only, beginning with a letter or \"_\"";

// Where an element name as the document holds it (`utf8`: as UTF-8 text, else as
// windows-1250 bytes) stops being an XML name: the character from `at` to `end`, or
// `at` npos when the whole name is one. Both the run's warnings and the report word it.
struct XmlNameFault {
    std::size_t at = std::string_view::npos;
    std::size_t end = 0;
    char32_t c = 0;
};
XmlNameFault find_xml_name_fault(std::string_view name, bool utf8);

// Why an XML reader refuses `core` (an element name as the document holds it, without the
// white space a tag may hold after it) as an element name; empty when it takes it. The
// run's warnings and the report say it in the same words; `quoted` shows the character at
// fault as each shows bytes, in quotes.
std::string xml_name_problem(std::string_view core, bool utf8, std::string (*quoted)(std::string_view));

// What is wrong with `name` as an element name, said of `what` (such as "the element");
// empty when nothing is. The document holds the name as name_for_document gives it:
// with decoding (`as_text`) as text, read from its bytes as UTF-8 when valid, else
// windows-1250, in UTF-8 (`utf8`) or windows-1250; without, as its bytes.
std::string xml_name_warning(std::string_view what, std::string_view name, bool as_text = false, bool utf8 = false);

}  // namespace quorlan
