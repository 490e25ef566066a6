// What an XML reader would say of an element name the configuration gives.
#pragma once

#include <string>
#include <string_view>

namespace quorlan {

// What is wrong with `name` as an element name, said of `what` (such as "the element");
// empty when nothing is. A UTF-8 document (`utf8`) holds the name as text, read from its
// bytes as UTF-8 when valid, else windows-1250; a windows-1250 one holds the bytes.
std::string xml_name_warning(std::string_view what, std::string_view name, bool utf8 = false);

}  // namespace quorlan
