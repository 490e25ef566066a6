#include "templates/template_form.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string_view>
#include <unordered_map>
#include <vector>

// The folder of the library's header is a system include folder of its own (see
// CMakeLists.txt), so that its code is not held to quorlan's warnings.
#include <mustache.hpp>

#include "convert/record.h"
#include "io/pages.h"
#include "templates/list_tags.h"

namespace quorlan {

namespace mustache = kainjow::mustache;

namespace {

// What a variable shows: the value of a mapping (component 0) or one of its components,
// or the record's number or a page's neighbour (no mapping); for a list field, its values
// as a section (`list`), or outside its section the value a one-value field would hold
// (`main`).
enum class SlotSource { Mapping, RecordNumber, PreviousPage, NextPage };

struct Slot {
    std::size_t mapping = 0;
    std::size_t component = 0;
    SlotSource source = SlotSource::Mapping;
    bool list = false;
    bool main = false;
};

constexpr std::size_t kNoMapping = static_cast<std::size_t>(-1);

// Inside a list field's section, the names of kListItemNames, in their order.
enum class ItemName { Value, Kind, Mobile, Work, Home, Fax, Pager, Other, Preferred, Main, First, Last, Position, Index };
static_assert(std::size(kListItemNames) == static_cast<std::size_t>(ItemName::Index) + 1);
static_assert(static_cast<int>(ItemName::Other) - static_cast<int>(ItemName::Mobile) ==
              static_cast<int>(ValueKind::Other) - static_cast<int>(ValueKind::Mobile));

// Lists of this many items or fewer are made once and kept; a longer one is made for its card.
constexpr std::size_t kListsKept = 64;

// A list field's values as the library iterates them: a list of as many placeholder items
// as the card has values. The library pushes each item in turn, and its place in the list
// tells which value is being written.
struct ListData {
    std::vector<mustache::data> by_length;  // [n]: a list of n items, made when first needed
    mustache::data longer{mustache::data::type::list};
    const mustache::data* bound = nullptr;  // this record's
    std::size_t count = 0;
    std::size_t main = 0;        // the preferred value, else the first
    std::size_t index_base = 0;  // the values of this field written before this record
};

struct Frame {
    const mustache::data* data = nullptr;
    std::size_t mapping = kNoMapping;  // the list field whose value it is, or none
    std::size_t position = 0;
};

// The record's values as the library looks names up. The library asks a context object for
// each name; this one knows "N" and "N.1" apart, where its own would look for a member "1"
// of "N", and holds no value that is empty, so that {{#NAME}} is taken only when NAME is not.
class RecordContext : public mustache::basic_context<std::string> {
public:
    std::unordered_map<std::string, std::size_t> slot_of;
    std::vector<Slot> slots;
    std::vector<mustache::data> values;
    std::vector<bool> filled;
    const Settings* settings = nullptr;
    const CardState* card = nullptr;
    std::vector<ListData> lists;  // per mapping, for list fields
    bool has_lists = false;       // the template uses a list field: a template without pays nothing

    void push(const mustache::data* data) override { stack_.push_back(frame_of(data)); }
    void pop() override { stack_.pop_back(); }
    const mustache::data* get(const std::string& name) const override {
        if (const mustache::data* item = has_lists ? item_data(name) : nullptr; item != nullptr) return item;
        if (name == ".") return stack_.empty() ? nullptr : stack_.back().data;
        const auto found = slot_of.find(name);
        if (found == slot_of.end() || !filled[found->second]) return nullptr;
        const Slot& slot = slots[found->second];
        if (slot.list) return lists[slot.mapping].bound;
        return &values[found->second];
    }
    const mustache::data* get_partial(const std::string&) const override { return nullptr; }

private:
    std::vector<Frame> stack_;
    mutable mustache::data text_;
    mutable mustache::data kind_;
    mutable mustache::data number_;
    const mustache::data true_{true};
    const mustache::data false_{false};

    Frame frame_of(const mustache::data* data) const {
        if (!has_lists) return Frame{data};
        for (std::size_t j = 0; j < lists.size(); ++j) {
            const ListData& list = lists[j];
            if (list.bound == nullptr || list.count == 0) continue;
            const mustache::data* items = list.bound->list_value().data();
            if (data >= items && data < items + list.count) return Frame{data, j, static_cast<std::size_t>(data - items)};
        }
        return Frame{data};
    }

    const mustache::data* flag(bool on) const { return on ? &true_ : &false_; }

    // A name of the value being written, in the innermost list section around the tag.
    const mustache::data* item_data(const std::string& name) const {
        const auto frame = std::find_if(stack_.rbegin(), stack_.rend(),
                                        [](const Frame& f) { return f.mapping != kNoMapping; });
        if (frame == stack_.rend()) return nullptr;
        const ListValue& value = card->lists[frame->mapping].items[frame->position];
        const ListData& list = lists[frame->mapping];
        if (name == "." || name == settings->mappings[frame->mapping].element) return text(value.text);
        const auto known = std::find(std::begin(kListItemNames), std::end(kListItemNames), name);
        if (known == std::end(kListItemNames)) return nullptr;
        const auto item = static_cast<ItemName>(known - std::begin(kListItemNames));
        switch (item) {
            case ItemName::Value: return text(value.text);
            case ItemName::Kind: kind_ = mustache::data(std::string(kind_name(value.kind))); return &kind_;
            case ItemName::Preferred: return flag(value.preferred);
            case ItemName::Main: return flag(frame->position == list.main);
            case ItemName::First: return flag(frame->position == 0);
            case ItemName::Last: return flag(frame->position + 1 == list.count);
            case ItemName::Position: number_ = mustache::data(std::to_string(frame->position)); return &number_;
            case ItemName::Index:
                number_ = mustache::data(std::to_string(list.index_base + frame->position));
                return &number_;
            default: {
                const auto kind = static_cast<std::size_t>(item) - static_cast<std::size_t>(ItemName::Mobile);
                return flag(static_cast<std::size_t>(value.kind) == kind);
            }
        }
    }

    const mustache::data* text(const std::string& value) const {
        if (value.empty()) return nullptr;
        text_ = mustache::data(value);
        return &text_;
    }
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
    if (component != 0 && mapping != kNoMapping) renderer.components |= std::uint64_t{1} << mapping;
    if (mapping != kNoMapping && component == 0 && is_list_field(*renderer.settings, renderer.settings->mappings[mapping])) {
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

// The preferred value of a list, else its first: the one a one-value field keeps.
std::size_t main_position(const ValueList& values) {
    for (std::size_t i = 0; i < values.count; ++i) {
        if (values.items[i].preferred) return i;
    }
    return 0;
}

const std::string& main_value(const ValueList& values) {
    static const std::string kNone;
    return values.count == 0 ? kNone : values.items[main_position(values)].text;
}

// Gives the list the card's values for this record; false when it has none.
bool bind_list(ListData& list, const ValueList& values) {
    list.count = values.count;
    list.main = main_position(values);
    if (values.count == 0) return false;
    if (values.count < kListsKept) {
        if (list.by_length.size() <= values.count) list.by_length.resize(values.count + 1);
        mustache::data& made = list.by_length[values.count];
        if (!made.is_list()) made = mustache::data(mustache::list(values.count, mustache::data(true)));
        list.bound = &made;
    } else {
        if (list.longer.list_value().size() != values.count) {
            list.longer = mustache::data(mustache::list(values.count, mustache::data(true)));
        }
        list.bound = &list.longer;
    }
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
    context.card = &card;
    for (std::size_t i = 0; i < context.slots.size(); ++i) {
        const Slot& slot = context.slots[i];
        if (slot.list) {
            context.filled[i] = bind_list(context.lists[slot.mapping], card.lists[slot.mapping]);
            continue;
        }
        const std::string& text =
            slot.main ? main_value(card.lists[slot.mapping]) : slot_text(slot, card, number);
        context.filled[i] = !text.empty();
        if (!text.empty()) context.values[i] = mustache::data(text);
    }
    const std::size_t start = out.size();
    if (renderer.rules.entry_start.empty()) {
        render(renderer.record, context, out);
    } else {
        renderer.rendered.clear();
        render(renderer.record, context, renderer.rendered);
        write_entries(renderer, out);
    }
    if (renderer.records == 1) renderer.first_record.assign(out, start);
    // {{index}} runs on over the values of the whole document.
    for (ListData& list : context.lists) {
        list.index_base += list.count;
        list.count = 0;
        list.bound = nullptr;
    }
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
            mustache::mustache(text.after), {}, 0, {}, 0, rules, {rules.family, {}, 0}, {}, 0, {}, {}, 0, {}, {}});
        RecordContext& context = renderer->context;
        context.settings = &settings;
        context.lists.resize(settings.mappings.size());
        for (const TemplateName& name : text.names) add_slot(*renderer, name.name);
        context.values.resize(context.slots.size());
        clear_values(context);
        const std::vector<std::string> lists = list_names(context, settings);
        context.has_lists = !lists.empty();
        if (!lists.empty()) renderer->record = mustache::mustache(name_main_values(text.record, lists));
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
