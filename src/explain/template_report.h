// The template section of --explain: the template a run would use, its parts, what feeds
// each variable, and the first record it would write.
#pragma once

#include <string>

#include "config/settings.h"
#include "templates/template_form.h"
#include "templates/template_source.h"

namespace quorlan {

struct TemplateReport {
    LoadedTemplate loaded;
    CompiledTemplate compiled;
    bool usable = false;
    std::string error;  // why a run would refuse it
};

// Loads the template of `settings` as a run would; usable or with the run's error.
TemplateReport load_template_report(const Settings& settings);

void describe_template(std::string& out, const Settings& settings, const TemplateReport& report);

// The first record the template form wrote while the card file was read.
void describe_template_sample(std::string& out, const TemplateReport& report);

}  // namespace quorlan
