// The template form of the document: what stands before {{#records}}, the record part
// rendered for each card that passes the filter, and what stands after, in UTF-8.
#pragma once

#include <memory>
#include <string>

#include "config/settings.h"
#include "convert/writer.h"
#include "templates/template.h"

namespace quorlan {

struct TemplateRenderer;  // the compiled parts and the values of the record being written

struct TemplateForm {
    std::shared_ptr<TemplateRenderer> renderer;
};

// Compiles the parts of a template that split_template has checked, for `settings` (which
// must outlive the form). False with `error` set when the Mustache library refuses a part.
bool make_template_form(const Settings& settings, const TemplateText& text, TemplateForm& form, std::string& error);

DocumentForm template_form(TemplateForm& form);

// The first record the form wrote, as written; empty before that.
const std::string& first_rendered_record(const TemplateForm& form);

}  // namespace quorlan
