// The template a run uses: TEMPLATE= read as a built-in name or a file, checked against the
// mappings that feed its variables.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "templates/builtins.h"
#include "templates/template_form.h"
#include "templates/template.h"

namespace quorlan {

struct LoadedTemplate {
    std::string name;  // the built-in's name, or the file name
    bool builtin = false;
    const BuiltinTemplate* family = nullptr;  // the built-in, with its family's rules
    TemplateText text;
};

// Loads and checks the template of `settings`. False with one line in `error` (without
// "quorlan: ") when the run can't use it: DECODE=1 is off, no built-in has the name, the
// file can't be read, its tags are wrong, or two mappings share a name or a name can't be
// a variable.
bool load_template(const Settings& settings, LoadedTemplate& loaded, std::string& error);

// True for {{previous_page}} and {{next_page}}: the neighbours' addresses in a paged form.
inline bool is_page_variable(std::string_view name) { return name == "previous_page" || name == "next_page"; }

// The mapping whose element is the variable's name (the part before ".1"), or npos.
std::size_t feeding_mapping(const Settings& settings, std::string_view variable);

// The rules of the built-in's family for a run that writes `output_file`; none for a file.
EntryRules entry_rules(const Settings& settings, const LoadedTemplate& loaded, const std::string& output_file);

// The list field whose values a name inside its section tells of ({{value}}, {{kind}} and
// the others of kListItemNames, {{.}} and the field's own name in {{#TEL}}...{{/TEL}}), or npos.
std::size_t list_item_mapping(const Settings& settings, const TemplateName& name);

// The warnings a run gives about a usable template: each variable that no mapping gives
// (rendered empty) and each mapping that no variable uses.
std::vector<std::string> template_warnings(const Settings& settings, const LoadedTemplate& loaded);

}  // namespace quorlan
