#include "app/template_run.h"

#include <cstdio>
#include <string>

#include "diagnose/show.h"
#include "io/messages.h"
#include "io/pages.h"

namespace quorlan {

bool prepare_template(const Settings& settings, LoadedTemplate& loaded, CompiledTemplate& compiled,
                      const std::string& output_file) {
    std::string error;
    if (!load_template(settings, loaded, error)) {
        std::fprintf(stderr, "quorlan: %s\n", error.c_str());
        return false;
    }
    // The checks of the split leave the library little to refuse; what it does refuse
    // still names the template.
    if (!compile_template(settings, loaded, compiled, error, entry_rules(settings, loaded, output_file))) {
        std::fprintf(stderr, "quorlan: %s: %s\n", loaded.name.c_str(), error.c_str());
        return false;
    }
    for (const std::string& warning : template_warnings(settings, loaded)) {
        std::fprintf(stderr, "quorlan: warning: %s\n", warning.c_str());
    }
    return true;
}

bool writes_pages(const LoadedTemplate& loaded) { return loaded.family != nullptr && loaded.family->page_entries != 0; }

void warn_about_the_rules(const Settings& settings, const LoadedTemplate& loaded, const CompiledTemplate& compiled,
                          const std::string& output_file) {
    if (loaded.family == nullptr) return;
    const RuleCounts counts = rule_counts(compiled);
    if (counts.pages > 1 && settings.phonebook_url.empty()) {
        std::fprintf(stderr,
                     "quorlan: warning: %zu entries make %zu pages of %zu (%s to %s), but without "
                     "PHONEBOOK_URL= in quorlan.ini (the address the phone fetches %s from) they are not linked: "
                     "the phone will show the first page only\n",
                     counts.entries, counts.pages, loaded.family->page_entries, quoted_name(output_file).c_str(),
                     quoted_name(page_file_name(output_file, counts.pages)).c_str(),
                     quoted_name(output_file).c_str());
    }
    if (counts.duplicate_numbers != 0) {
        std::fprintf(stderr,
                     "quorlan: warning: %s left out in %s: the phone takes each number once in its directory, "
                     "and an earlier entry has it\n",
                     count_of(counts.duplicate_numbers, "entry with a number written before",
                              "entries with a number written before")
                         .c_str(),
                     quoted_name(output_file).c_str());
    }
    constexpr std::size_t kLargestSnomRange = 250;
    if (loaded.family->rule == FamilyRule::Snom && counts.entries > kLargestSnomRange) {
        std::fprintf(stderr,
                     "quorlan: warning: %s holds %zu items: Snom phones hold 100 (the 3xx models) to %zu (the 370); "
                     "the items beyond are not shown\n",
                     quoted_name(output_file).c_str(), counts.entries, kLargestSnomRange);
    }
}

}  // namespace quorlan
