#include "templates/record_context.h"

#include <algorithm>
#include <iterator>

#include "templates/template.h"

namespace quorlan {

namespace {

// Inside a list field's section, the names of kListItemNames, in their order.
enum class ItemName { Value, Kind, Mobile, Work, Home, Fax, Pager, Other, Preferred, Main, First, Last, Position, Index };
static_assert(std::size(kListItemNames) == static_cast<std::size_t>(ItemName::Index) + 1);
static_assert(static_cast<int>(ItemName::Other) - static_cast<int>(ItemName::Mobile) ==
              static_cast<int>(ValueKind::Other) - static_cast<int>(ValueKind::Mobile));

// Lists of this many items or fewer are made once and kept; a longer one is made for its card.
constexpr std::size_t kListsKept = 64;

// The preferred value of a list, else its first: the one a one-value field keeps.
std::size_t main_position(const ValueList& values) {
    for (std::size_t i = 0; i < values.count; ++i) {
        if (values.items[i].preferred) return i;
    }
    return 0;
}

}  // namespace

Frame RecordContext::frame_of(const mustache::data* data) const {
    if (!has_lists) return Frame{data};
    for (std::size_t j = 0; j < lists.size(); ++j) {
        const ListData& list = lists[j];
        if (list.bound == nullptr || list.count == 0) continue;
        const mustache::data* items = list.bound->list_value().data();
        if (data >= items && data < items + list.count) return Frame{data, j, static_cast<std::size_t>(data - items)};
    }
    return Frame{data};
}

const mustache::data* RecordContext::item_data(const std::string& name) const {
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

const mustache::data* RecordContext::text(const std::string& value) const {
    if (value.empty()) return nullptr;
    text_ = mustache::data(value);
    return &text_;
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

}  // namespace quorlan
