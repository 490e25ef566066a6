#include "vcard/head.h"

#include <algorithm>

#include "text/text_ops.h"

namespace quorlan {

namespace {

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::string upper_trimmed(std::string_view text) {
    std::string result(trimmed(text));
    to_upper_ascii(result);
    return result;
}

bool is_bare_encoding(std::string_view value) {
    return value == "QUOTED-PRINTABLE" || value == "BASE64" || value == "8BIT" || value == "7BIT";
}

// Adds the values of one parameter. Quotes only keep ";" and ":" inside a value: they are
// dropped, and a quoted list splits at its commas like any other.
void add_parameter(Head& head, std::string_view param) {
    const std::size_t equals = param.find('=');
    if (equals == std::string_view::npos) {
        std::string value = upper_trimmed(param);
        remove_char(value, '"');
        if (value.empty()) return;
        head.params.emplace_back(is_bare_encoding(value) ? "ENCODING" : "TYPE", std::move(value));
        return;
    }
    std::string key = upper_trimmed(param.substr(0, equals));
    std::string values(param.substr(equals + 1));
    remove_char(values, '"');
    std::string_view rest = values;
    while (true) {
        const std::size_t comma = rest.find(',');
        head.params.emplace_back(key, upper_trimmed(rest.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
}

bool has_param(const Head& head, std::string_view key, std::string_view value) {
    return std::any_of(head.params.begin(), head.params.end(),
                       [&](const auto& param) { return param.first == key && param.second == value; });
}

bool has_key(const Head& head, std::string_view key) {
    return std::any_of(head.params.begin(), head.params.end(), [&](const auto& param) { return param.first == key; });
}

bool is_pref(const std::pair<std::string, std::string>& param) {
    return (param.first == "TYPE" && param.second == "PREF") || (param.first == "PREF" && param.second == "1");
}

// Does `value` begin with `prefix`, spaces at its start and letter case aside?
bool value_begins_with(std::string_view value, std::string_view prefix) {
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return value.size() >= prefix.size() && equal_any_case(value.substr(0, prefix.size()), prefix);
}

}  // namespace

bool equal_any_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper_ascii(a[i]) != upper_ascii(b[i])) return false;
    }
    return true;
}

Head parse_head(std::string_view line) {
    Head head;
    // The head ends at the first ":" outside quotes; ";" outside quotes parts it.
    std::size_t end = line.size();
    std::vector<std::size_t> semicolons;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ';') {
            semicolons.push_back(i);
        } else if (!quoted && c == ':') {
            end = i;
            head.value_at = i + 1;
            break;
        }
    }
    head.open_quote = quoted;
    semicolons.push_back(end);
    std::string_view name = line.substr(0, semicolons[0]);
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        head.group = upper_trimmed(name.substr(0, dot));
        name.remove_prefix(dot + 1);
    }
    head.name = upper_trimmed(name);
    for (std::size_t k = 0; k + 1 < semicolons.size(); ++k) {
        add_parameter(head, line.substr(semicolons[k] + 1, semicolons[k + 1] - semicolons[k] - 1));
    }
    head.preferred = std::any_of(head.params.begin(), head.params.end(), is_pref);
    return head;
}

PrefixHead parse_prefix_head(std::string_view prefix) {
    PrefixHead result;
    result.head = parse_head(prefix);
    Head& head = result.head;
    if (head.value_at != std::string_view::npos) {
        std::string_view value = prefix.substr(head.value_at);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        result.value_prefix = value;
    }
    std::erase_if(head.params, [](const auto& param) {
        return param.first == "ENCODING" || param.first == "CHARSET" || is_pref(param);
    });
    result.valid = prefix_head_fault(prefix).empty();
    return result;
}

std::string_view prefix_head_fault(std::string_view prefix) {
    const Head head = parse_head(prefix);
    if (head.open_quote) return "a double quote is left open";
    if (head.name.empty()) return "it gives no property name";
    if (head.name.find(' ') != std::string::npos) return "the property name holds a space";
    return {};
}

bool prefix_matches(const PrefixHead& prefix, const Head& line, std::string_view value) {
    const Head& wanted = prefix.head;
    if (!prefix.valid || wanted.name != line.name) return false;
    if (!wanted.group.empty() && wanted.group != line.group) return false;
    if (wanted.preferred && !line.preferred) return false;
    for (const auto& [key, param_value] : wanted.params) {
        if (param_value.empty() ? !has_key(line, key) : !has_param(line, key, param_value)) return false;
    }
    return prefix.value_prefix.empty() || value_begins_with(value, prefix.value_prefix);
}

bool prefix_covers(const PrefixHead& earlier, const PrefixHead& later) {
    const Head& wide = earlier.head;
    const Head& narrow = later.head;
    if (!earlier.valid || !later.valid || wide.name != narrow.name) return false;
    if (!wide.group.empty() && wide.group != narrow.group) return false;
    if (wide.preferred && !narrow.preferred) return false;
    for (const auto& [key, value] : wide.params) {
        if (value.empty() ? !has_key(narrow, key) : !has_param(narrow, key, value)) return false;
    }
    return earlier.value_prefix.empty() || value_begins_with(later.value_prefix, earlier.value_prefix);
}

std::string_view property_name_of(std::string_view line) {
    std::string_view name = line.substr(0, line.find_first_of(";:"));
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
    return name;
}

std::string head_meaning(const Head& head) {
    std::vector<std::string_view> types;
    for (const auto& [key, value] : head.params) {
        if (key == "TYPE" && !value.empty() && value != "PREF") types.push_back(value);
    }
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    std::string meaning = head.name;
    for (const std::string_view type : types) {
        meaning += ';';
        meaning += type;
    }
    return meaning;
}

}  // namespace quorlan
