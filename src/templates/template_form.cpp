#include "templates/template_form.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <unordered_map>
#include <vector>

// The folder of the library's header is a system include folder of its own (see
// CMakeLists.txt), so that its code is not held to quorlan's warnings.
#include <mustache.hpp>

#include "convert/record.h"
#include "io/pages.h"

namespace quorlan {

namespace mustache = kainjow::mustache;

namespace {

// What a variable shows: the value of a mapping (component 0) or one of its components,
// or the record's number (no mapping).
enum class SlotSource { Mapping, RecordNumber, PreviousPage, NextPage };

struct Slot {
    std::size_t mapping = 0;
    std::size_t component = 0;
    SlotSource source = SlotSource::Mapping;
};

constexpr std::size_t kNoMapping = static_cast<std::size_t>(-1);

// The record's values as the library looks names up. The library asks a context object for
// each name; this one knows "N" and "N.1" apart, where its own would look for a member "1"
// of "N", and holds no value that is empty, so that {{#NAME}} is taken only when NAME is not.
class RecordContext : public mustache::basic_context<std::string> {
public:
    std::unordered_map<std::string, std::size_t> slot_of;
    std::vector<Slot> slots;
    std::vector<mustache::data> values;
    std::vector<bool> filled;

    void push(const mustache::data* data) override { stack_.push_back(data); }
    void pop() override { stack_.pop_back(); }
    const mustache::data* get(const std::string& name) const override {
        if (name == ".") return stack_.empty() ? nullptr : stack_.back();
        const auto found = slot_of.find(name);
        if (found == slot_of.end() || !filled[found->second]) return nullptr;
        return &values[found->second];
    }
    const mustache::data* get_partial(const std::string&) const override { return nullptr; }

private:
    std::vector<const mustache::data*> stack_;
};

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
    const Settings* settings = nullptr;
    TextWriting writing;
    mustache::mustache before;
    mustache::mustache record;
    mustache::mustache after;
    RecordContext context;
    std::size_t records = 0;
    std::string first_record;
    bool components = false;
    EntryRules rules;
    FamilyRuleState family;
    std::string rendered;  // a record before its entries are taken apart
    std::size_t on_page = 0;  // entries on the page being written
    RuleCounts counts;
    std::vector<std::size_t> page_ends;  // in the writer's buffer, not yet told
    std::size_t told = 0;
    std::string previous_page;  // the neighbours' addresses, while a page's frame is rendered
    std::string next_page;
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

void add_slot(TemplateRenderer& renderer, const std::string& name) {
    RecordContext& context = renderer.context;
    if (context.slot_of.contains(name)) return;
    Slot slot;
    std::size_t component = 0;
    const std::string_view base = base_name(name, component);
    std::size_t mapping = kNoMapping;
    for (std::size_t j = 0; j < renderer.settings->mappings.size(); ++j) {
        if (renderer.settings->mappings[j].element == base) mapping = j;
    }
    if (mapping == kNoMapping) {
        if (name == "record") {
            slot.source = SlotSource::RecordNumber;
        } else if (name == "previous_page") {
            slot.source = SlotSource::PreviousPage;
        } else if (name == "next_page") {
            slot.source = SlotSource::NextPage;
        } else {
            return;  // rendered empty, as no mapping gives it
        }
    }
    slot.mapping = mapping;
    slot.component = component;
    if (component != 0) renderer.components = true;
    context.slot_of.emplace(name, context.slots.size());
    context.slots.push_back(slot);
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

void open_template(void* form, std::string& out) {
    auto& renderer = *static_cast<TemplateRenderer*>(form);
    render_frame(renderer, renderer.before, false, out);
}

void close_template(void* form, std::string& out) {
    auto& renderer = *static_cast<TemplateRenderer*>(form);
    render_frame(renderer, renderer.after, true, out);
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
// and puts each on a page. False when no entry is left.
bool write_entries(TemplateRenderer& renderer, std::string& out) {
    const std::string& text = renderer.rendered;
    const std::string_view start = renderer.rules.entry_start;
    std::size_t at = text.find(start);
    out.append(text, 0, std::min(at, text.size()));  // what stands before the first entry
    bool any = false;
    std::string entry;
    while (at != std::string::npos) {
        const std::size_t next = text.find(start, at + start.size());
        entry.assign(text, at, (next == std::string::npos ? text.size() : next) - at);
        at = next;
        if (entry.find(renderer.rules.needs) == std::string::npos || !apply_family_rule(renderer.family, entry)) {
            continue;
        }
        if (renderer.rules.page_entries != 0 && renderer.on_page == renderer.rules.page_entries) {
            begin_next_page(renderer, out);
        }
        out += entry;
        ++renderer.on_page;
        ++renderer.counts.entries;
        any = true;
    }
    return any;
}

bool take_page_end(void* form, std::size_t& at) {
    auto& renderer = *static_cast<TemplateRenderer*>(form);
    if (renderer.told == renderer.page_ends.size()) {
        renderer.page_ends.clear();
        renderer.told = 0;
        return false;
    }
    at = renderer.page_ends[renderer.told++];
    return true;
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

bool write_template_record(void* form, CardState& card, std::string& out) {
    auto& renderer = *static_cast<TemplateRenderer*>(form);
    if (!finish_text_values(*renderer.settings, renderer.writing, card)) return false;
    ++renderer.records;
    const std::string number = std::to_string(renderer.records);
    RecordContext& context = renderer.context;
    for (std::size_t i = 0; i < context.slots.size(); ++i) {
        const std::string& text = slot_text(context.slots[i], card, number);
        context.filled[i] = !text.empty();
        if (!text.empty()) context.values[i] = mustache::data(text);
    }
    const std::size_t start = out.size();
    if (renderer.rules.entry_start.empty()) {
        render(renderer.record, context, out);
    } else {
        renderer.rendered.clear();
        render(renderer.record, context, renderer.rendered);
        // A record whose entries the rules all leave out is none: its number goes to the next.
        if (!write_entries(renderer, out)) {
            --renderer.records;
            out.resize(start);
            return false;
        }
    }
    if (renderer.records == 1) renderer.first_record.assign(out, start);
    return true;
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

bool make_template_form(const Settings& settings, const TemplateText& text, TemplateForm& form, std::string& error,
                        const EntryRules& rules) {
    try {
        std::shared_ptr<TemplateRenderer> renderer(new TemplateRenderer{
            &settings, make_text_writing(settings), mustache::mustache(text.before), mustache::mustache(text.record),
            mustache::mustache(text.after), {}, 0, {}, false, rules, {rules.family, {}, 0, 0}, {}, 0, {}, {}, 0, {}, {}});
        for (const TemplateName& name : text.names) add_slot(*renderer, name.name);
        renderer->context.values.resize(renderer->context.slots.size());
        clear_values(renderer->context);
        if (!compile(renderer->before, *renderer, error) || !compile(renderer->record, *renderer, error) ||
            !compile(renderer->after, *renderer, error)) {
            return false;
        }
        form.renderer = std::move(renderer);
        return true;
    } catch (const std::exception& failure) {
        error = failure.what();
        return false;
    }
}

DocumentForm template_form(TemplateForm& form) {
    DocumentForm document{open_template, write_template_record, close_template, form.renderer.get(),
                          form.renderer->components};
    if (form.renderer->rules.page_entries != 0) document.take_page_end = take_page_end;
    return document;
}

const std::string& first_rendered_record(const TemplateForm& form) { return form.renderer->first_record; }

RuleCounts rule_counts(const TemplateForm& form) {
    RuleCounts counts = form.renderer->counts;
    counts.duplicate_numbers = form.renderer->family.duplicates;
    return counts;
}

}  // namespace quorlan
