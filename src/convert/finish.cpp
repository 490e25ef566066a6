#include "convert/finish.h"

#include <string_view>

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "convert/phone.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

bool passes_filter(const Settings& settings, const CardState& card) {
    std::size_t j = 0;
    for (const FieldMapping& mapping : settings.mappings) {
        const Condition condition = mapping.condition;
        const bool empty = card.values[j++].empty();
        if (condition == Condition::Required && empty) return false;
        if (condition == Condition::Forbidden && !empty) return false;
    }
    return true;
}

// group_phone for text: the groups count characters, so that no space falls inside the
// bytes of one. The grouping is made on one byte for each character (those beyond ASCII
// stand in as a byte that is no digit, "+" or space) and the characters are put back.
void group_text_phone(std::string& number) {
    if (ascii_prefix_length(number) == number.size()) {
        group_phone(number);
        return;
    }
    std::string stand_ins;
    std::vector<std::string_view> characters;
    for (std::size_t i = 0; i < number.size();) {
        const std::size_t start = i;
        next_character(number, i);
        if (number[start] == ' ') continue;
        characters.push_back(std::string_view(number).substr(start, i - start));
        stand_ins += i - start == 1 ? number[start] : '\x80';
    }
    group_phone(stand_ins);
    std::string grouped;
    std::size_t next = 0;
    for (const char c : stand_ins) {
        if (c == ' ') {
            grouped += ' ';
        } else {
            grouped += characters[next++];
        }
    }
    number = std::move(grouped);
}

// Decoded numbers are grouped by their digits; other values as the exact reading groups them.
void group_text_phone_by_digits(std::string& number) {
    if (!group_decoded_phone(number)) group_text_phone(number);
}

template <typename Constant, typename GroupPhone>
inline void finish_value(const FieldMapping& mapping, std::string& value, Constant constant_of, std::size_t j,
                         GroupPhone group) {
    if (mapping.constant) value = constant_of(j);
    trim_line_end(value);
    if (mapping.phone && !value.empty() && value[0] == '+') group(value);
}

// A card with list fields: a list field's values are finished as its one value is. Kept
// apart, so that a card without lists is finished as it always was.
template <typename Constant, typename GroupPhone>
[[gnu::noinline]] void finish_list_values(const Settings& settings, CardState& card, Constant constant_of,
                                          GroupPhone group) {
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const FieldMapping& mapping = settings.mappings[j];
        finish_value(mapping, card.values[j], constant_of, j, group);
        if (!is_list_field(settings, mapping)) continue;
        ValueList& list = card.lists[j];
        for (std::size_t i = 0; i < list.count; ++i) finish_value(mapping, list.items[i].text, constant_of, j, group);
    }
}

template <typename Constant, typename GroupPhone>
inline void finish_values(const Settings& settings, CardState& card, Constant constant_of, GroupPhone group) {
    if (!card.lists.empty()) {
        finish_list_values(settings, card, constant_of, group);
        return;
    }
    // Held apart from the containers: a store into a value can't change them.
    const FieldMapping* const mappings = settings.mappings.data();
    std::string* const values = card.values.data();
    const std::size_t count = settings.mappings.size();
    for (std::size_t j = 0; j < count; ++j) finish_value(mappings[j], values[j], constant_of, j, group);
}

}  // namespace

RecordFinishing make_record_finishing(const Settings& settings, PhoneGrouping phones) {
    RecordFinishing finishing{&settings, phones, {}};
    if (phones == PhoneGrouping::Fixed) return finishing;
    for (const FieldMapping& mapping : settings.mappings) {
        finishing.text_constants.push_back(mapping.constant ? text_from_bytes(mapping.prefix) : std::string());
    }
    return finishing;
}

bool finish_record(const RecordFinishing& finishing, CardState& card) {
    const Settings& settings = *finishing.settings;
    if (!passes_filter(settings, card)) return false;
    const auto text_constant = [&](std::size_t j) -> const std::string& { return finishing.text_constants[j]; };
    switch (finishing.phones) {
        case PhoneGrouping::Fixed:
            finish_values(
                settings, card, [&](std::size_t j) -> const std::string& { return settings.mappings[j].prefix; },
                group_phone);
            break;
        case PhoneGrouping::ByDigits: finish_values(settings, card, text_constant, group_text_phone_by_digits); break;
        case PhoneGrouping::ByCharacters: finish_values(settings, card, text_constant, group_text_phone); break;
    }
    return true;
}

}  // namespace quorlan
