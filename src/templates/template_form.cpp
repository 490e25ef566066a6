#include "templates/template_form.h"

#include <cstdint>
#include <exception>
#include <string_view>
#include <unordered_map>
#include <vector>

// The folder of the library's header is a system include folder of its own (see
// CMakeLists.txt), so that its code is not held to quorlan's warnings.
#include <mustache.hpp>

#include "convert/record.h"

namespace quorlan {

namespace mustache = kainjow::mustache;

namespace {

// What a variable shows: the value of a mapping (component 0) or one of its components,
// or the record's number (no mapping).
struct Slot {
    std::size_t mapping = 0;
    std::size_t component = 0;
    bool record_number = false;
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
    std::uint64_t components = 0;  // the mappings whose components a variable shows, a bit each
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
        if (name != "record") return;  // rendered empty, as no mapping gives it
        slot.record_number = true;
    }
    slot.mapping = mapping;
    slot.component = component;
    if (component != 0 && mapping != kNoMapping) renderer.components |= std::uint64_t{1} << mapping;
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

void open_template(void* form, std::string& out) {
    auto& renderer = *static_cast<TemplateRenderer*>(form);
    clear_values(renderer.context);
    render(renderer.before, renderer.context, out);
}

void close_template(void* form, std::string& out) {
    auto& renderer = *static_cast<TemplateRenderer*>(form);
    clear_values(renderer.context);
    render(renderer.after, renderer.context, out);
}

const std::string& slot_text(const Slot& slot, const CardState& card, const std::string& number) {
    static const std::string kNone;
    if (slot.record_number) return number;
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
    render(renderer.record, context, out);
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

bool make_template_form(const Settings& settings, const TemplateText& text, TemplateForm& form, std::string& error) {
    try {
        std::shared_ptr<TemplateRenderer> renderer(new TemplateRenderer{
            &settings, make_text_writing(settings), mustache::mustache(text.before), mustache::mustache(text.record),
            mustache::mustache(text.after), {}, 0, {}, 0});
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
    return DocumentForm{open_template, write_template_record, close_template, form.renderer.get(),
                        form.renderer->components};
}

const std::string& first_rendered_record(const TemplateForm& form) { return form.renderer->first_record; }

}  // namespace quorlan
