// The values of list fields, told apart within a card, and the values that reach no field.
#include <algorithm>

#include "convert/capture.h"

namespace quorlan {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// Numbers by their digits, whatever spaces, dashes or parentheses their lines write; a
// value without digits by its text.
bool same_value(std::string_view a, std::string_view b, bool numbers) {
    if (a == b) return true;
    if (!numbers) return false;
    bool digits = false;
    for (std::size_t i = 0, k = 0;; ++i, ++k) {
        while (i < a.size() && !is_digit(a[i])) ++i;
        while (k < b.size() && !is_digit(b[k])) ++k;
        if (i == a.size() || k == b.size()) return digits && i == a.size() && k == b.size();
        if (a[i] != b[k]) return false;
        digits = true;
    }
}

bool add_list_value(CardState& card, std::size_t j, std::string_view text, ValueKind kind, bool preferred,
                    bool number) {
    // The card's numbers are one set across its list fields: a number given as CELL and
    // again as WORK is one number to dial.
    for (std::size_t k = 0; k < card.lists.size(); ++k) {
        if (k != j && !number) continue;
        ValueList& other = card.lists[k];
        for (std::size_t i = 0; i < other.count; ++i) {
            ListValue& kept = other.items[i];
            if (kept.number != number || !same_value(kept.text, text, number)) continue;
            kept.preferred = kept.preferred || preferred;
            return false;
        }
    }
    ValueList& list = card.lists[j];
    if (list.count == list.items.size()) list.items.emplace_back();
    ListValue& added = list.items[list.count++];
    added.text.assign(text);
    added.kind = kind;
    added.preferred = preferred;
    added.number = number;
    if (list.count == 1) card.values[j].assign(text);
    return true;
}

namespace {

void count_lost(LostValues& lost, std::string_view name, std::size_t count) {
    lost.count += count;
    auto found = std::find_if(lost.by_name.begin(), lost.by_name.end(),
                              [&](const auto& entry) { return entry.first == name; });
    if (found != lost.by_name.end()) {
        found->second += count;
    } else if (lost.by_name.size() < kLostNamesKept) {
        lost.by_name.emplace_back(name, count);
    }
}

void add_unnamed(LostValues& lost, std::string_view name) {
    if (lost.unnamed.size() < kLostNamesKept &&
        std::find(lost.unnamed.begin(), lost.unnamed.end(), name) == lost.unnamed.end()) {
        lost.unnamed.emplace_back(name);
    }
}

}  // namespace

void keep_lost_values(const CardState& card, LostValues& kept) {
    const LostValues& from = card.card_lost;
    std::size_t named = 0;
    for (const auto& [name, count] : from.by_name) {
        count_lost(kept, name, count);
        named += count;
    }
    kept.count += from.count - named;  // of names beyond those kept
    kept.one_value_fields |= from.one_value_fields;
    for (const std::string& name : from.unnamed) add_unnamed(kept, name);
}

void note_lost_value(CardState& card, std::size_t number, std::string_view name, std::size_t mapping,
                     std::string_view value, const ConversionObserver* observer) {
    LostValues& lost = card.card_lost;
    // The name as the line writes it, in upper case as heads are read.
    std::string upper(name);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    name = upper;
    count_lost(lost, name, 1);
    if (mapping != kNoField) {
        lost.one_value_fields |= std::uint64_t{1} << mapping;
    } else {
        add_unnamed(lost, name);
    }
    if (observer == nullptr) return;
    ValueFact fact;
    fact.mapping = mapping;
    fact.line = number;
    fact.value = value;
    fact.outcome = mapping == kNoField ? ValueOutcome::LostUnnamed : ValueOutcome::LostToKept;
    fact.name = name;
    observer->value(fact);
}

}  // namespace quorlan
