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

// What gives a variable of the template its value, found once when the template is loaded
// and used by the form, the run's warnings and --explain alike.
enum class VariableSource { None, Mapping, RecordNumber, PreviousPage, NextPage };

struct VariableBinding {
    VariableSource source = VariableSource::None;
    // Mapping: the mapping whose element is the name (the part before ".1"), and the
    // component the name asks for (0: the whole value).
    std::size_t mapping = std::string::npos;
    std::size_t component = 0;
    // Inside the section of a list field, the names that tell of the value being written
    // ({{value}}, {{kind}} and the others of kListItemNames, {{.}} and the field's own name
    // in {{#TEL}}...{{/TEL}}) take it from that field ahead of any mapping: its index, or npos.
    std::size_t list_item = std::string::npos;
};

struct LoadedTemplate {
    std::string name;  // the built-in's name, or the file name
    bool builtin = false;
    const BuiltinTemplate* family = nullptr;  // the built-in, with its family's rules
    TemplateText text;
    std::vector<VariableBinding> bindings;  // one for each of text.names
};

// Loads and checks the template of `settings`. False with one line in `error` (without
// "quorlan: ") when the run can't use it: DECODE=1 is off, no built-in has the name, the
// file can't be read, its tags are wrong, or two mappings share a name or a name can't be
// a variable.
bool load_template(const Settings& settings, LoadedTemplate& loaded, std::string& error);

// The rules of the built-in's family for a run that writes `output_file`; none for a file.
EntryRules entry_rules(const Settings& settings, const LoadedTemplate& loaded, const std::string& output_file);

// The warnings a run gives about a usable template: each variable that no mapping gives
// (rendered empty) and each mapping that no variable uses.
std::vector<std::string> template_warnings(const Settings& settings, const LoadedTemplate& loaded);

}  // namespace quorlan
