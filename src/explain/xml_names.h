// What an XML reader would say of an element name the configuration gives.
#pragma once

#include <string>
#include <string_view>

namespace quorlan {

// The names to advise. "-" is a valid name character, but in quorlan.ini it is the
// Forbidden marker, so it is never suggested.
inline constexpr const char* kXmlNameRule =
    "letters, digits, \"_\" and \".\" only, beginning with a letter or \"_\"";

// What is wrong with `name` as an element name, said of `what` (such as "the element");
// empty when nothing is. A UTF-8 document (`utf8`) holds the name as text, read from its
// bytes as UTF-8 when valid, else windows-1250; a windows-1250 one holds the bytes.
std::string xml_name_warning(std::string_view what, std::string_view name, bool utf8 = false);

}  // namespace quorlan
