// A run with TEMPLATE=: the template loaded and checked before any file is touched.
#pragma once

#include "config/settings.h"
#include "templates/template_form.h"
#include "templates/template_source.h"

namespace quorlan {

// Loads the template of `settings` and compiles its form. False after one line on standard
// error when it can't be used; true after a warning for each variable that no mapping gives
// and each mapping that no variable uses.
bool prepare_template(const Settings& settings, LoadedTemplate& loaded, TemplateForm& form);

}  // namespace quorlan
