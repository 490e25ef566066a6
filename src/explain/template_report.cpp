#include "explain/template_report.h"

#include <algorithm>
#include <vector>

#include "convert/document.h"
#include "io/messages.h"

namespace quorlan {

namespace {

std::size_t line_count(const std::string& part) {
    if (part.empty()) return 0;
    return static_cast<std::size_t>(std::count(part.begin(), part.end(), '\n')) + (part.back() == '\n' ? 0 : 1);
}

std::string lines_of(const std::string& part) {
    const std::size_t n = line_count(part);
    return std::to_string(n) + (n == 1 ? " line" : " lines");
}

// What gives a variable, as the form binds it; empty when nothing does.
std::string what_feeds(const Settings& settings, const TemplateName& name, const VariableBinding& binding) {
    if (const std::size_t list = binding.list_item; list != std::string::npos) {
        const std::string field = terminal_name(settings.mappings[list].element);
        return name.name == "." || name.name == settings.mappings[list].element || name.name == "value"
                   ? "each value of the list " + field
                   : name.name + " of each value of the list " + field;
    }
    switch (binding.source) {
        case VariableSource::None: return "";
        case VariableSource::RecordNumber: return "the record's number, 1 for the first";
        case VariableSource::PreviousPage: return "the address of the previous page, beside PHONEBOOK_URL=";
        case VariableSource::NextPage: return "the address of the next page, beside PHONEBOOK_URL=";
        case VariableSource::Mapping: break;
    }
    const std::size_t j = binding.mapping;
    const FieldMapping& mapping = settings.mappings[j];
    std::string text = binding.component == 0 ? std::string("the value of mapping ")
                                              : "component " + std::to_string(binding.component) + " of mapping ";
    text += std::to_string(j + 1) + " " + terminal_name(mapping.element) + " (" + terminal_name(mapping.prefix) + ")";
    return text;
}

// The variables, each once, with what gives it.
void describe_variables(std::string& out, const Settings& settings, const LoadedTemplate& loaded) {
    out += "  variables:\n";
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < loaded.text.names.size(); ++i) {
        const TemplateName& name = loaded.text.names[i];
        if (std::find(shown.begin(), shown.end(), name.name) != shown.end()) continue;
        shown.push_back(name.name);
        const std::string feeds = what_feeds(settings, name, loaded.bindings[i]);
        out += "    {{" + terminal_name(name.name) + "}} (line " + std::to_string(name.line) + "): " +
               (feeds.empty() ? "no mapping gives it: written empty" : feeds) + "\n";
    }
}

void describe_unused_mappings(std::string& out, const Settings& settings, const LoadedTemplate& loaded) {
    std::string unused;
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const bool used = std::any_of(loaded.bindings.begin(), loaded.bindings.end(), [&](const VariableBinding& b) {
            return b.source == VariableSource::Mapping && b.mapping == j;
        });
        if (used) continue;
        unused += ' ';
        unused += std::to_string(j + 1);
        unused += ' ';
        unused += terminal_name(settings.mappings[j].element);
    }
    if (!unused.empty()) out += "  mappings no variable uses:" + unused + "\n";
}

}  // namespace

TemplateReport load_template_report(const Settings& settings) {
    TemplateReport report;
    report.usable = load_template(settings, report.loaded, report.error) &&
                    compile_template(settings, report.loaded, report.compiled, report.error,
                                     entry_rules(settings, report.loaded, document_names(settings).output_file));
    return report;
}

void describe_template(std::string& out, const Settings& settings, const TemplateReport& report) {
    out += "Template\n";
    out += "  template:         ";
    out += report.loaded.builtin ? "the built-in " + report.loaded.name + " (quorlan --template " +
                                       report.loaded.name + " prints it)"
                                 : quoted_name(settings.template_name);
    out += '\n';
    if (!report.usable) {
        out += "  a run stops here: " + report.error + "\n\n";
        return;
    }
    const TemplateText& text = report.loaded.text;
    out += "  parts:            before the records " + lines_of(text.before) + ", each record " +
           lines_of(text.record) + ", after the records " + lines_of(text.after) + "\n";
    describe_variables(out, settings, report.loaded);
    describe_unused_mappings(out, settings, report.loaded);
    out += '\n';
}

void describe_template_sample(std::string& out, const TemplateReport& report) {
    if (!report.usable) return;
    const std::string& sample = first_rendered_record(report.compiled);
    out += "\nThe first record, as the template writes it\n";
    if (sample.empty()) {
        out += "  (no card passed the filter)\n\n";
        return;
    }
    std::string shown = sample;
    std::erase(shown, '\r');
    out += shown;
    if (shown.back() != '\n') out += '\n';
    out += '\n';
}

}  // namespace quorlan
