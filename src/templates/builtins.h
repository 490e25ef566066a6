// The templates compiled into quorlan, one for each family of desk phones, with the fields
// that `quorlan --init --for FAMILY` offers for it.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "templates/family_rules.h"

namespace quorlan {

struct BuiltinField {
    std::string_view element;
    std::string_view prefix;
};

struct BuiltinTemplate {
    std::string_view name;    // as TEMPLATE= and --for take it
    std::string_view family;  // the phones that read it
    std::string_view output;  // the file name --init --for writes
    std::span<const BuiltinField> fields;
    std::string_view text;
    // The rules of the family's phones on the entries, where a template can't keep them.
    std::string_view entry_start = {};  // each entry begins so
    std::size_t page_entries = 0;       // at most this many a document; 0: no limit
    FamilyRule rule = FamilyRule::None;
};

std::span<const BuiltinTemplate> builtin_templates();

// The built-in of that name, in any letter case; null when there is none.
const BuiltinTemplate* find_builtin(std::string_view name);

// The names, for messages: "yealink, cisco, ...".
std::string_view builtin_names();

}  // namespace quorlan
