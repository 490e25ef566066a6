// The tags of a template part that name list fields outside their own sections.
#pragma once

#include <string>
#include <vector>

namespace quorlan {

// `part` with each variable of a list field in `lists` that stands outside a section of
// that field renamed to the field's name with "[]" after it ({{TEL}} becomes {{TEL[]}}).
std::string name_main_values(const std::string& part, const std::vector<std::string>& lists);

}  // namespace quorlan
