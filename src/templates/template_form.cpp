#include "templates/template_form.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string_view>
#include <vector>

#include "convert/record.h"
#include "io/pages.h"
#include "templates/list_tags.h"
#include "templates/record_context.h"
#include "templates/template_source.h"

namespace quorlan {

namespace {

// The library writes to any stream; this one appends to the writer's buffer.
struct Appender {
    std::string* out;
    Appender& operator<<(const std::string& text) {
        out->append(text);
        return *this;
    }
};

}  // namespace

struct TemplateRenderer {
    TemplateRenderer(const Settings& run, const TemplateText& text, const EntryRules& entry_rules)
        : settings(&run),
          writing(make_text_writing(run)),
          before(text.before),
          record(text.record),
          after(text.after),
          rules(entry_rules),
          family{entry_rules.family, {}, 0} {}

    const Settings* settings = nullptr;
    TextWriting writing;
    mustache::mustache before;
    mustache::mustache record;
    mustache::mustache after;
    RecordContext context;
    std::size_t records = 0;
    std::string first_record;
    std::uint64_t components = 0;  // the mappings whose components a variable shows, a bit each
    EntryRules rules;
    FamilyRuleState family;
    std::string rendered;  // a record before its entries are taken apart
    std::size_t on_page = 0;  // entries on the page being written
    RuleCounts counts;
    std::vector<std::size_t> page_ends;  // in the writer's buffer, not yet told
    std::size_t told = 0;
    std::string previous_page;  // the neighbours' addresses, while a page's frame is rendered
    std::string next_page;

    // The document form's parts: the frame, a finished record, the page ends not yet told.
    void operator()(FramePart part, std::string& out);
    void operator()(const CardState& card, std::string& out);
    bool operator()(std::size_t& page_end);
};

namespace {

// Values written with {{ }}: markup characters and quotes as references, so that a value
// can't end an attribute or add markup, control characters as the record form writes them.
std::string escape(const std::string& text, const TextWriting& writing) {
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '"' && text[i] != '\'') continue;
        append_escaped_text(out, std::string_view(text).substr(from, i - from), writing);
        out += text[i] == '"' ? "&quot;" : "&#39;";
        from = i + 1;
    }
    append_escaped_text(out, std::string_view(text).substr(from), writing);
    return out;
}

SlotSource slot_source(VariableSource source) {
    switch (source) {
        case VariableSource::RecordNumber: return SlotSource::RecordNumber;
        case VariableSource::PreviousPage: return SlotSource::PreviousPage;
        case VariableSource::NextPage: return SlotSource::NextPage;
        default: return SlotSource::Mapping;
    }
}

// A slot for a variable that something gives; one that nothing gives is rendered empty.
void add_slot(TemplateRenderer& renderer, const std::string& name, const VariableBinding& binding) {
    RecordContext& context = renderer.context;
    if (binding.source == VariableSource::None || context.slot_of.contains(name)) return;
    const bool mapped = binding.source == VariableSource::Mapping;
    Slot slot{mapped ? binding.mapping : kNoMapping, binding.component, slot_source(binding.source)};
    if (mapped && slot.component != 0) renderer.components |= std::uint64_t{1} << slot.mapping;
    if (mapped && slot.component == 0 && is_list_field(*renderer.settings, renderer.settings->mappings[slot.mapping])) {
        slot.list = true;
        // Its one-value form, which its variables outside its sections are renamed to.
        Slot main = slot;
        main.list = false;
        main.main = true;
        context.slot_of.emplace(name + std::string(kListMarker), context.slots.size());
        context.slots.push_back(main);
    }
    context.slot_of.emplace(name, context.slots.size());
    context.slots.push_back(slot);
}

// The names of the list fields that the template uses.
std::vector<std::string> list_names(const RecordContext& context, const Settings& settings) {
    std::vector<std::string> names;
    for (const Slot& slot : context.slots) {
        if (slot.list) names.push_back(settings.mappings[slot.mapping].element);
    }
    return names;
}

// Renders one part with the values the context holds. A compiled template throws only
// when memory runs out, which ends the run as it does anywhere else, rather than leaving a
// record half written in a document that would then replace the old one.
void render(mustache::mustache& part, RecordContext& context, std::string& out) {
    Appender appender{&out};
    part.render(context, appender);
}

void clear_values(RecordContext& context) { context.filled.assign(context.slots.size(), false); }

// The address of page `number`: beside the first page's, under the name its file has.
std::string page_address(const EntryRules& rules, std::size_t number) {
    if (rules.address.empty() || number == 0) return {};
    // An address that ends in "/" names the folder: every page's file name follows it.
    if (number == 1 && rules.address.back() != '/') return rules.address;
    const std::string file = page_file_name(rules.output_file, number);
    const std::size_t file_slash = file.find_last_of("/\\");
    const std::size_t slash = rules.address.rfind('/');
    return rules.address.substr(0, slash == std::string::npos ? 0 : slash + 1) +
           (file_slash == std::string::npos ? file : file.substr(file_slash + 1));
}

// Renders a part of the frame, with the page's neighbours where the document has pages.
void render_frame(TemplateRenderer& renderer, mustache::mustache& part, bool last, std::string& out) {
    RecordContext& context = renderer.context;
    clear_values(context);
    const std::size_t page = renderer.counts.pages;
    renderer.previous_page = page > 1 ? page_address(renderer.rules, page - 1) : std::string();
    renderer.next_page = last ? std::string() : page_address(renderer.rules, page + 1);
    for (std::size_t i = 0; i < context.slots.size(); ++i) {
        const SlotSource source = context.slots[i].source;
        const std::string* text = source == SlotSource::PreviousPage ? &renderer.previous_page
                                  : source == SlotSource::NextPage   ? &renderer.next_page
                                                                     : nullptr;
        if (text == nullptr || text->empty()) continue;
        context.filled[i] = true;
        context.values[i] = mustache::data(*text);
    }
    render(part, context, out);
}

// A page is full: it ends, linked to the next, and the next begins.
void begin_next_page(TemplateRenderer& renderer, std::string& out) {
    render_frame(renderer, renderer.after, false, out);
    renderer.page_ends.push_back(out.size());
    ++renderer.counts.pages;
    renderer.on_page = 0;
    render_frame(renderer, renderer.before, false, out);
}

// Takes the rendered record apart into its entries, keeps those the family's rules keep,
// and puts each on a page.
void write_entries(TemplateRenderer& renderer, std::string& out) {
    const std::string& text = renderer.rendered;
    const std::string_view start = renderer.rules.entry_start;
    std::size_t at = text.find(start);
    out.append(text, 0, std::min(at, text.size()));  // what stands before the first entry
    std::string entry;
    while (at != std::string::npos) {
        const std::size_t next = text.find(start, at + start.size());
        entry.assign(text, at, (next == std::string::npos ? text.size() : next) - at);
        at = next;
        if (!apply_family_rule(renderer.family, entry)) continue;
        if (renderer.rules.page_entries != 0 && renderer.on_page == renderer.rules.page_entries) {
            begin_next_page(renderer, out);
        }
        out += entry;
        ++renderer.on_page;
        ++renderer.counts.entries;
    }
}

const std::string& slot_text(const Slot& slot, const CardState& card, const std::string& number) {
    static const std::string kNone;
    if (slot.source == SlotSource::RecordNumber) return number;
    if (slot.source != SlotSource::Mapping) return kNone;
    if (slot.component == 0) return card.values[slot.mapping];
    if (slot.mapping >= card.components.size()) return kNone;
    const std::vector<std::string>& parts = card.components[slot.mapping];
    return slot.component <= parts.size() ? parts[slot.component - 1] : kNone;
}

// Gives each slot the record's value; an empty one is left unfilled.
void fill_slots(RecordContext& context, const CardState& card, const std::string& number) {
    context.card = &card;
    for (std::size_t i = 0; i < context.slots.size(); ++i) {
        const Slot& slot = context.slots[i];
        if (slot.list) {
            context.filled[i] = bind_list(context.lists[slot.mapping], card.lists[slot.mapping]);
            continue;
        }
        const std::string& text = slot.main ? main_value(card.lists[slot.mapping]) : slot_text(slot, card, number);
        context.filled[i] = !text.empty();
        if (!text.empty()) context.values[i] = mustache::data(text);
    }
}

bool compile(mustache::mustache& part, const TemplateRenderer& renderer, std::string& error) {
    if (!part.is_valid()) {
        error = part.error_message();
        return false;
    }
    const TextWriting* writing = &renderer.writing;
    part.set_custom_escape([writing](const std::string& text) { return escape(text, *writing); });
    return true;
}

}  // namespace

void TemplateRenderer::operator()(FramePart part, std::string& out) {
    if (part == FramePart::Start) {
        render_frame(*this, before, false, out);
    } else {
        render_frame(*this, after, true, out);
    }
}

void TemplateRenderer::operator()(const CardState& card, std::string& out) {
    ++records;
    fill_slots(context, card, std::to_string(records));
    const std::size_t start = out.size();
    if (rules.entry_start.empty()) {
        render(record, context, out);
    } else {
        rendered.clear();
        render(record, context, rendered);
        write_entries(*this, out);
    }
    if (records == 1) first_record.assign(out, start);
    // {{index}} runs on over the values of the whole document.
    for (ListData& list : context.lists) {
        list.index_base += list.count;
        list.count = 0;
        list.bound = nullptr;
    }
}

bool TemplateRenderer::operator()(std::size_t& page_end) {
    if (told == page_ends.size()) {
        page_ends.clear();
        told = 0;
        return false;
    }
    page_end = page_ends[told++];
    return true;
}

namespace {

// The slots of the variables that the loaded template binds, and its list fields' sections.
void make_slots(TemplateRenderer& renderer, const LoadedTemplate& loaded) {
    RecordContext& context = renderer.context;
    context.settings = renderer.settings;
    context.lists.resize(renderer.settings->mappings.size());
    for (std::size_t i = 0; i < loaded.text.names.size(); ++i) {
        add_slot(renderer, loaded.text.names[i].name, loaded.bindings[i]);
    }
    context.values.resize(context.slots.size());
    clear_values(context);
    const std::vector<std::string> lists = list_names(context, *renderer.settings);
    context.has_lists = !lists.empty();
    // Outside their sections, list fields' variables show the value a one-value field holds.
    if (!lists.empty()) renderer.record = mustache::mustache(name_main_values(loaded.text.record, lists));
}

}  // namespace

bool compile_template(const Settings& settings, const LoadedTemplate& loaded, CompiledTemplate& compiled,
                      std::string& error, const EntryRules& rules) {
    try {
        auto renderer = std::make_shared<TemplateRenderer>(settings, loaded.text, rules);
        make_slots(*renderer, loaded);
        if (!compile(renderer->before, *renderer, error) || !compile(renderer->record, *renderer, error) ||
            !compile(renderer->after, *renderer, error)) {
            return false;
        }
        compiled.renderer = std::move(renderer);
        return true;
    } catch (const std::exception& failure) {
        error = failure.what();
        return false;
    }
}

DocumentForm document_form(CompiledTemplate& compiled) {
    TemplateRenderer& renderer = *compiled.renderer;
    DocumentForm document{renderer, renderer, renderer.components};
    // Templates group a decoded number as the exact reading groups its bytes, counting
    // characters, where the record form groups it by its digits.
    document.text_phones = PhoneGrouping::ByCharacters;
    if (renderer.rules.page_entries != 0) document.take_page_end = renderer;
    return document;
}

const std::string& first_rendered_record(const CompiledTemplate& compiled) { return compiled.renderer->first_record; }

RuleCounts rule_counts(const CompiledTemplate& compiled) {
    RuleCounts counts = compiled.renderer->counts;
    counts.duplicate_numbers = compiled.renderer->family.duplicates;
    return counts;
}

}  // namespace quorlan
