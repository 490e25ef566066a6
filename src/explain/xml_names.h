// What an XML reader would say of an element name the configuration gives.
#pragma once

#include <string>
#include <string_view>

namespace quorlan {

// What is wrong with `name` as an element name, said of `what` (such as "the element");
// empty when nothing is.
std::string xml_name_warning(std::string_view what, std::string_view name);

}  // namespace quorlan
