// The template form of the document: what stands before {{#records}}, the record part
// rendered for each finished record, and what stands after, in UTF-8.
#pragma once

#include <memory>
#include <string>

#include "config/settings.h"
#include "convert/writer.h"
#include "templates/family_rules.h"
#include "templates/template.h"

namespace quorlan {

struct TemplateRenderer;  // the compiled parts and the values of the record being written

// How a phone family wants the entries of its document, where it has rules of its own.
struct EntryRules {
    // Each entry begins with this text, which no escaped value can hold; empty: the records
    // are written as rendered.
    std::string_view entry_start;
    // The phone reads at most this many entries a document (0: no limit): the entries go to
    // pages, each framed as the whole document is, with {{previous_page}} and {{next_page}}
    // the addresses of its neighbours, found beside `address`, the first page's.
    std::size_t page_entries = 0;
    std::string address;
    std::string output_file;  // the first page's file, whose name the others take
    FamilyRule family = FamilyRule::None;
};

struct LoadedTemplate;

// A template compiled for a run: what the run renders its document with.
struct CompiledTemplate {
    std::shared_ptr<TemplateRenderer> renderer;
};

// Compiles the parts of a template that load_template has checked and bound, for `settings`
// (both must outlive the form). False with `error` set when the Mustache library refuses a
// part.
bool compile_template(const Settings& settings, const LoadedTemplate& loaded, CompiledTemplate& compiled,
                      std::string& error, const EntryRules& rules = {});

// The compiled template as the writer calls it.
DocumentForm document_form(CompiledTemplate& compiled);

// The first record the template wrote, as written; empty before that.
const std::string& first_rendered_record(const CompiledTemplate& compiled);

// What the family's rules did in a run, for its warnings.
struct RuleCounts {
    std::size_t pages = 1;
    std::size_t entries = 0;           // written
    std::size_t duplicate_numbers = 0;  // entries left out for a number written before
};
RuleCounts rule_counts(const CompiledTemplate& compiled);

}  // namespace quorlan
