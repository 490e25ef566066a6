#include "diagnose/lost_values.h"

#include <algorithm>

#include "diagnose/show.h"

namespace quorlan {

namespace {

// The mapping line of `mapping` as a list field, markers included: "MOBILE#[]=TEL;CELL".
std::string as_list_line(const FieldMapping& mapping) {
    std::string line = mapping.element;
    if (mapping.condition == Condition::Required) line += '*';
    if (mapping.condition == Condition::Forbidden) line += '-';
    if (mapping.phone) line += '#';
    return terminal_name(line + std::string(kListMarker) + "=" + mapping.prefix);
}

}  // namespace

std::string lost_values_count(const LostValues& lost) {
    std::string text = count_of(lost.count, "value", "values");
    std::vector<std::pair<std::string, std::size_t>> names = lost.by_name;
    std::stable_sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    if (names.size() > 3) names.resize(3);
    std::string of;
    for (const auto& [name, count] : names) {
        of += of.empty() ? " (" : ", ";
        of += std::to_string(count) + " " + terminal_name(name);
    }
    if (!of.empty()) of += lost.by_name.size() > names.size() ? ", ...)" : ")";
    return text + of;
}

std::string lost_values_fix(const Settings& settings, const LostValues& lost) {
    std::string fix;
    std::size_t shown = 0;
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        if ((lost.one_value_fields >> j & 1U) == 0) continue;
        if (shown++ == 3) {
            fix += " and others";
            break;
        }
        fix += fix.empty() ? "write each field that takes one value as a list (" : "; ";
        fix += as_list_line(settings.mappings[j]);
    }
    if (!fix.empty()) fix += ", every value of a card)";
    for (const std::string& name : lost.unnamed) {
        if (!fix.empty()) fix += "; ";
        const bool tel = name == "TEL";
        const std::string line = terminal_name((tel ? "OTHER#[]=" : "OTHER[]=") + name);
        fix += settings.template_name.empty()
                   ? "add a list field for the kinds of " + terminal_name(name) + " no field names, after the others (" +
                         line + ")"
                   : "give the field the template writes " + terminal_name(name) + " lines with the prefix " +
                         terminal_name(name) + " alone, as a list, so that it takes every kind";
    }
    return fix;
}

}  // namespace quorlan
