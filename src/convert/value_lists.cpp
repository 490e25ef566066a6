// The values of list fields, told apart within a card, and the values that reach no field.
#include <algorithm>

#include "convert/capture.h"

namespace quorlan {

namespace {

// The digits of a number, which tell it apart from the card's others whatever spaces,
// dashes or parentheses its line writes.
std::size_t digits_of(std::string_view text, char (&digits)[kMaxValueBytes]) {
    std::size_t n = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9' && n < kMaxValueBytes) digits[n++] = c;
    }
    return n;
}

}  // namespace

bool same_value(std::string_view a, std::string_view b, bool numbers) {
    if (numbers) {
        char da[kMaxValueBytes];
        char db[kMaxValueBytes];
        const std::size_t na = digits_of(a, da);
        if (na != 0) return na == digits_of(b, db) && std::equal(da, da + na, db);
    }
    return a == b;
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

void keep_lost_values(CardState& card) {
    LostValues& from = card.card_lost;
    if (from.count == 0) return;
    std::size_t named = 0;
    for (const auto& [name, count] : from.by_name) {
        count_lost(card.lost, name, count);
        named += count;
    }
    card.lost.count += from.count - named;  // of names beyond those kept
    card.lost.one_value_fields |= from.one_value_fields;
    for (const std::string& name : from.unnamed) add_unnamed(card.lost, name);
}

void note_lost_value(CardState& card, std::size_t number, std::string_view name, std::size_t mapping,
                     std::string_view value, const CardObserver* observer) {
    LostValues& lost = card.card_lost;
    count_lost(lost, name, 1);
    if (mapping != kNoField) {
        lost.one_value_fields |= std::uint64_t{1} << mapping;
    } else {
        add_unnamed(lost, name);
    }
    if (observer != nullptr && observer->value_lost != nullptr) {
        observer->value_lost(observer->context, number, name, mapping, value);
    }
}

}  // namespace quorlan
