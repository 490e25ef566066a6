#include "app/template_run.h"

#include <cstdio>
#include <string>

namespace quorlan {

bool prepare_template(const Settings& settings, LoadedTemplate& loaded, TemplateForm& form) {
    std::string error;
    if (!load_template(settings, loaded, error)) {
        std::fprintf(stderr, "quorlan: %s\n", error.c_str());
        return false;
    }
    // The checks of the split leave the library little to refuse; what it does refuse
    // still names the template.
    if (!make_template_form(settings, loaded.text, form, error)) {
        std::fprintf(stderr, "quorlan: %s: %s\n", loaded.name.c_str(), error.c_str());
        return false;
    }
    for (const std::string& warning : template_warnings(settings, loaded)) {
        std::fprintf(stderr, "quorlan: warning: %s\n", warning.c_str());
    }
    return true;
}

}  // namespace quorlan
