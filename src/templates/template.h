// A phonebook template: Mustache text split at its one top-level {{#records}} section into
// what comes before the records, the part each record is rendered from, and what comes
// after, with the names its tags use and where they stand.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan {

enum class TemplatePart { Before, Record, After };

// A variable or section name of the template.
struct TemplateName {
    std::string name;  // as written in the tag, spaces around it removed: "N.1"
    std::size_t line = 0;
    std::size_t column = 0;  // in characters, 1 for the first
    TemplatePart part = TemplatePart::Record;
    std::vector<std::string> sections;  // the sections around it, outermost first ({{#records}} aside)
};

// The names that, inside the section of a list field, tell of the value being written, in
// this order: its text, its kind, one flag for each kind (in the order of ValueKind), and
// whether it is preferred, the card's main one, the first, the last, its position in the
// card and its index in the document.
inline constexpr std::string_view kListItemNames[] = {
    "value", "kind", "mobile", "work", "home", "fax", "pager", "other",
    "preferred", "main", "first", "last", "position", "index",
};

struct TemplateText {
    // Line ends are CR LF whatever the template file uses, as in every quorlan document.
    std::string before;
    std::string record;
    std::string after;
    std::vector<TemplateName> names;
};

// Where and why a template can't be used; line 0 when the fault has no place.
struct TemplateFault {
    std::size_t line = 0;
    std::size_t column = 0;
    std::string message;
};

// Checks the tags of `text` and splits it. False with `fault` set for a tag that is not
// closed, a section that is not closed or closes another, no {{#records}} or a second one,
// {{#records}} inside another section, and partials or changed delimiters, which quorlan's
// templates don't use.
bool split_template(std::string_view text, TemplateText& parts, TemplateFault& fault);

// The mapping name of a variable name ("N" of "N.2") and its component (2; 0 for the whole
// value). A component that is no number from 1 to 99 counts as none of the mapping.
std::string_view base_name(std::string_view name, std::size_t& component);

// Why a mapping's element name can't be a variable name in a template: spaces, braces and
// the characters Mustache gives a meaning; empty when it can.
std::string unspellable(std::string_view element);

}  // namespace quorlan
