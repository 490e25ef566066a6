// A run with TEMPLATE=: the template loaded and checked before any file is touched.
#pragma once

#include "config/settings.h"
#include "templates/template_form.h"
#include "templates/template_source.h"

namespace quorlan {

// Loads the template of `settings` and compiles its form. False after one line on standard
// error when it can't be used; true after a warning for each variable that no mapping gives
// and each mapping that no variable uses.
// `output_file` is the document's, whose name the pages of a paged form take.
bool prepare_template(const Settings& settings, LoadedTemplate& loaded, CompiledTemplate& compiled,
                      const std::string& output_file);

// True when the form writes its document as pages, each a file of its own.
bool writes_pages(const LoadedTemplate& loaded);

// The warnings about what the family's rules did in a run that succeeded: pages the phone
// can't reach, numbers left out, more items than the phones hold.
void warn_about_the_rules(const Settings& settings, const LoadedTemplate& loaded, const CompiledTemplate& compiled,
                          const std::string& output_file);

}  // namespace quorlan
