#include "templates/template_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "io/files.h"
#include "io/messages.h"
#include "templates/builtins.h"
#include "text/line_reader.h"

namespace quorlan {

namespace {

// Templates are a page or two; a larger file is surely not one.
constexpr std::size_t kMaxTemplateBytes = std::size_t{1} << 20;

// A name without ".", "/" or "\" is meant as a built-in: "yelink" is a typo, not a file.
bool names_a_builtin(std::string_view name) { return name.find_first_of("./\\") == std::string_view::npos; }

bool read_template_file(const std::string& name, std::string& text, std::string& error) {
    TextFile file;
    int open_error = 0;
    if (!open_text_file(file, name, open_error)) {
        error = "cannot open the template " + quoted_name(name) + ": " + std::strerror(open_error);
        return false;
    }
    LineReader reader = make_line_reader(text_bytes(file));
    std::string read;
    while (read_line(reader, read) && text.size() <= kMaxTemplateBytes) text += read;
    const int close_error = close_text_file(file);
    if (reader.error != 0) {
        error = "cannot read the template " + quoted_name(name) + ": " + std::strerror(reader.error);
        return false;
    }
    if (close_error != 0) {
        error = "cannot close the template " + quoted_name(name) + ": " + std::strerror(close_error);
        return false;
    }
    if (text.size() > kMaxTemplateBytes) {
        error = "the template " + quoted_name(name) + " is larger than 1 MiB: is it a template?";
        return false;
    }
    return true;
}

std::string config_line(const FieldMapping& mapping) {
    return "quorlan.ini, line " + std::to_string(mapping.line) + ": ";
}

// A variable has one value: a name given twice, or one Mustache can't write, is refused.
bool check_mapping_names(const Settings& settings, std::string& error) {
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const FieldMapping& mapping = settings.mappings[j];
        if (const std::string why = unspellable(mapping.element); !why.empty()) {
            error = config_line(mapping) + "the name " + quoted_name(mapping.element) +
                    " can't be a template variable (" + why + "): rename it";
            return false;
        }
        for (std::size_t k = 0; k < j; ++k) {
            if (settings.mappings[k].element != mapping.element) continue;
            error = config_line(mapping) + "a second mapping named " + quoted_name(mapping.element) +
                    " (the first is on line " + std::to_string(settings.mappings[k].line) +
                    "): a template variable has one value, rename one of them";
            return false;
        }
    }
    return true;
}

// ":LINE:COLUMN", as compilers show a place in a file.
std::string place(std::size_t line, std::size_t column) {
    std::string text = ":";
    text += std::to_string(line);
    text += ':';
    text += std::to_string(column);
    return text;
}

// The template as messages name it.
std::string where_it_is(const LoadedTemplate& loaded) {
    if (!loaded.builtin) return terminal_name(loaded.name);
    std::string where = "the built-in template ";
    where += loaded.name;
    return where;
}

// The variables no mapping gives that a run gives all the same.
constexpr std::pair<std::string_view, VariableSource> kRunVariables[] = {
    {"record", VariableSource::RecordNumber},
    {"previous_page", VariableSource::PreviousPage},
    {"next_page", VariableSource::NextPage},
};

// The mapping whose element is the variable's name (the part before ".1"), or npos. Two
// mappings can't share a name (check_mapping_names), so the first is the only one.
std::size_t feeding_mapping(const Settings& settings, std::string_view variable, std::size_t& component) {
    const std::string_view base = base_name(variable, component);
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        if (settings.mappings[j].element == base) return j;
    }
    return std::string::npos;
}

// The list field whose value a name inside its section tells of, or npos: the innermost
// section of a list field decides, as the form looks it up while it renders.
std::size_t list_item_mapping(const Settings& settings, const TemplateName& name) {
    for (auto section = name.sections.rbegin(); section != name.sections.rend(); ++section) {
        std::size_t component = 0;
        const std::size_t j = feeding_mapping(settings, *section, component);
        if (j == std::string::npos || *section != settings.mappings[j].element ||
            !is_list_field(settings, settings.mappings[j])) {
            continue;
        }
        const bool item = name.name == "." || name.name == *section ||
                          std::find(std::begin(kListItemNames), std::end(kListItemNames), name.name) !=
                              std::end(kListItemNames);
        return item ? j : std::string::npos;
    }
    return std::string::npos;
}

VariableBinding bind_variable(const Settings& settings, const TemplateName& name) {
    VariableBinding binding;
    binding.list_item = list_item_mapping(settings, name);
    binding.mapping = feeding_mapping(settings, name.name, binding.component);
    if (binding.mapping != std::string::npos) {
        binding.source = VariableSource::Mapping;
        return binding;
    }
    binding.component = 0;
    for (const auto& [variable, source] : kRunVariables) {
        if (name.name == variable) binding.source = source;
    }
    return binding;
}

}  // namespace

bool load_template(const Settings& settings, LoadedTemplate& loaded, std::string& error) {
    loaded.name = settings.template_name;
    if (!settings.decode) {
        error = "TEMPLATE= needs DECODE=1 in quorlan.ini: a template writes values as text, which only decoding "
                "gives";
        return false;
    }
    std::string text;
    if (names_a_builtin(loaded.name)) {
        const BuiltinTemplate* builtin = find_builtin(loaded.name);
        if (builtin == nullptr) {
            error = "no built-in template is named " + quoted_name(loaded.name) + " (the built-in ones are " +
                    std::string(builtin_names()) + "; a template file's name holds a \".\")";
            return false;
        }
        loaded.builtin = true;
        loaded.family = builtin;
        loaded.name = builtin->name;
        text = builtin->text;
    } else if (!read_template_file(loaded.name, text, error)) {
        return false;
    }
    if (TemplateFault fault; !split_template(text, loaded.text, fault)) {
        error = where_it_is(loaded);
        if (fault.line != 0) error += place(fault.line, fault.column);
        error += ": ";
        error += fault.message;
        return false;
    }
    if (!check_mapping_names(settings, error)) return false;
    for (const TemplateName& name : loaded.text.names) loaded.bindings.push_back(bind_variable(settings, name));
    return true;
}

EntryRules entry_rules(const Settings& settings, const LoadedTemplate& loaded, const std::string& output_file) {
    EntryRules rules;
    if (loaded.family == nullptr) return rules;
    rules.entry_start = loaded.family->entry_start;
    rules.page_entries = loaded.family->page_entries;
    rules.family = loaded.family->rule;
    rules.address = settings.phonebook_url;
    rules.output_file = output_file;
    return rules;
}

std::vector<std::string> template_warnings(const Settings& settings, const LoadedTemplate& loaded) {
    std::vector<std::string> warnings;
    std::vector<bool> used(settings.mappings.size(), false);
    std::vector<std::string> unfed;  // warned about once, where first used
    const std::string where = where_it_is(loaded);
    for (std::size_t i = 0; i < loaded.text.names.size(); ++i) {
        const TemplateName& name = loaded.text.names[i];
        const VariableBinding& binding = loaded.bindings[i];
        const bool mapped = binding.source == VariableSource::Mapping;
        if (name.part != TemplatePart::Record && (mapped || binding.source == VariableSource::RecordNumber)) {
            warnings.push_back(where + place(name.line, name.column) + ": {{" + terminal_name(name.name) +
                               "}} stands outside {{#records}}, where no record gives it: it is written empty");
        }
        if (mapped) used[binding.mapping] = true;
        if (mapped || binding.list_item != std::string::npos || binding.source != VariableSource::None ||
            std::find(unfed.begin(), unfed.end(), name.name) != unfed.end()) {
            continue;
        }
        unfed.push_back(name.name);
        warnings.push_back(where + place(name.line, name.column) + ": no mapping gives {{" +
                           terminal_name(name.name) + "}}: it is written empty");
    }
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        if (used[j]) continue;
        warnings.push_back(config_line(settings.mappings[j]) + "the mapping " +
                           quoted_name(settings.mappings[j].element) + " is used by no variable of " + where);
    }
    return warnings;
}

}  // namespace quorlan
