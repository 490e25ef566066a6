// The values of the record being written, as the Mustache library looks names up: a slot
// for each variable that something gives, and the values of list fields as sections.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// The folder of the library's header is a system include folder of its own (see
// CMakeLists.txt), so that its code is not held to quorlan's warnings.
#include <mustache.hpp>

#include "config/settings.h"
#include "convert/capture.h"

namespace quorlan {

namespace mustache = kainjow::mustache;

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

inline constexpr std::size_t kNoMapping = static_cast<std::size_t>(-1);

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

    Frame frame_of(const mustache::data* data) const;
    const mustache::data* flag(bool on) const { return on ? &true_ : &false_; }
    // A name of the value being written, in the innermost list section around the tag.
    const mustache::data* item_data(const std::string& name) const;
    const mustache::data* text(const std::string& value) const;
};

// The value of a list that a one-value field would keep: the preferred one, else the first.
const std::string& main_value(const ValueList& values);

// Gives the list the card's values for this record; false when it has none.
bool bind_list(ListData& list, const ValueList& values);

}  // namespace quorlan
