// The rules some phone families set on the entries of their phonebooks, which a logic-less
// template can't keep: applied to each entry as the template wrote it.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>

namespace quorlan {

enum class FamilyRule { None, Polycom, Snom, Fritzbox };

struct FamilyRuleState {
    FamilyRule rule = FamilyRule::None;
    std::unordered_set<std::string> numbers;  // Polycom: every number written so far
    std::size_t duplicates = 0;
};

// Applies the rule to one entry as rendered (escaped text); false when the entry is left out.
bool apply_family_rule(FamilyRuleState& state, std::string& entry);

// Cuts the text of an element's content to at most `limit` bytes of the text it stands for,
// between characters and never inside a reference.
void cut_element_text(std::string& entry, std::string_view element, std::size_t limit);

}  // namespace quorlan
