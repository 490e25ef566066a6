#include "vcard/head.h"

#include <algorithm>
#include <cstdint>

#include "text/text_ops.h"

namespace quorlan {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Sets `to` to the text in upper case without spaces around it and without double quotes
// (which only keep ";" and ":" inside a value), reusing its storage.
void assign_upper(std::string& to, std::string_view text) {
    to.clear();
    for (const char c : trimmed(text)) {
        if (c != '"') to += upper_ascii(c);
    }
    while (!to.empty() && to.back() == ' ') to.pop_back();
    if (!to.empty() && to.front() == ' ') to.erase(0, to.find_first_not_of(' '));
}

bool is_bare_encoding(std::string_view value) {
    return value == "QUOTED-PRINTABLE" || value == "BASE64" || value == "8BIT" || value == "7BIT";
}

void add_value(Head& head, std::string_view key, std::string_view value) {
    auto& param = head.params.emplace_back();
    assign_upper(param.first, key);
    assign_upper(param.second, value);
}

// Adds the values of one parameter. Quotes are dropped, and a quoted list splits at its
// commas like any other: TYPE="cell,voice" gives CELL and VOICE.
void add_parameter(Head& head, std::string_view param) {
    const std::size_t equals = param.find('=');
    if (equals == std::string_view::npos) {
        add_value(head, "TYPE", param);
        auto& added = head.params.back();
        if (added.second.empty()) {
            head.params.pop_back();
        } else if (is_bare_encoding(added.second)) {
            added.first = "ENCODING";
        }
        return;
    }
    const std::string_view key = param.substr(0, equals);
    std::string_view rest = param.substr(equals + 1);
    while (true) {
        const std::size_t comma = rest.find(',');
        add_value(head, key, rest.substr(0, comma));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
}

// Names and values are short: most differ in length or in their first byte, which spares
// the call to the library comparison.
bool same(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.empty() || (a[0] == b[0] && a == b));
}

bool has_param(const Head& head, std::string_view key, std::string_view value) {
    return std::any_of(head.params.begin(), head.params.end(),
                       [&](const auto& param) { return same(param.first, key) && same(param.second, value); });
}

bool has_key(const Head& head, std::string_view key) {
    return std::any_of(head.params.begin(), head.params.end(),
                       [&](const auto& param) { return same(param.first, key); });
}

bool is_pref(const std::pair<std::string, std::string>& param) {
    return (same(param.first, "TYPE") && same(param.second, "PREF")) ||
           (same(param.first, "PREF") && same(param.second, "1"));
}

// Does `value` begin with `prefix`, spaces at its start and letter case aside?
bool value_begins_with(std::string_view value, std::string_view prefix) {
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return value.size() >= prefix.size() && equal_any_case(value.substr(0, prefix.size()), prefix);
}

}  // namespace

std::size_t head_end(std::string_view line) {
    // Up to the first ":" or double quote a word at a time: most heads hold no quote.
    const std::size_t first = first_marked(line, [](std::uint64_t word) {
        return bytes_equal(word, ':') | bytes_equal(word, '"');
    });
    if (first == line.size() || line[first] == ':') return first;
    bool quoted = false;
    for (std::size_t i = first; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            return i;
        }
    }
    return line.size();
}

void read_head(std::string_view line, Head& head) {
    head.group.clear();
    head.params.clear();
    head.value_at = std::string_view::npos;
    // The head ends at the first ":" outside quotes.
    std::size_t end = line.size();
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ':' && !quoted) {
            end = i;
            head.value_at = i + 1;
            break;
        }
    }
    head.open_quote = quoted;
    // Then ";" outside quotes parts it.
    std::size_t start = 0;
    bool first = true;
    quoted = false;
    for (std::size_t i = 0; i <= end; ++i) {
        if (i < end && line[i] == '"') quoted = !quoted;
        if (i < end && (line[i] != ';' || quoted)) continue;
        const std::string_view part = line.substr(start, i - start);
        start = i + 1;
        if (!first) {
            add_parameter(head, part);
            continue;
        }
        first = false;
        std::string_view name = part;
        if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
            assign_upper(head.group, name.substr(0, dot));
            name.remove_prefix(dot + 1);
        }
        assign_upper(head.name, name);
    }
    head.preferred = std::any_of(head.params.begin(), head.params.end(), is_pref);
}

Head parse_head(std::string_view line) {
    Head head;
    read_head(line, head);
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

std::vector<std::string_view> prefix_alternatives(std::string_view prefix) {
    std::vector<std::string_view> alternatives;
    while (true) {
        const std::size_t bar = prefix.find('|');
        alternatives.push_back(trimmed(prefix.substr(0, bar)));
        if (bar == std::string_view::npos) break;
        prefix.remove_prefix(bar + 1);
    }
    return alternatives;
}

namespace {

// The types a standard Apple label stands for, or an empty view for any other label.
std::string_view apple_label_types(std::string_view label) {
    static constexpr std::pair<std::string_view, std::string_view> kLabels[] = {
        {"_$!<Mobile>!$_", "CELL"},  {"iPhone", "CELL"},        {"_$!<Home>!$_", "HOME"},
        {"_$!<Work>!$_", "WORK"},    {"_$!<Main>!$_", "MAIN"},   {"_$!<HomeFAX>!$_", "HOME,FAX"},
        {"_$!<WorkFAX>!$_", "WORK,FAX"}, {"_$!<Pager>!$_", "PAGER"}, {"_$!<Other>!$_", "OTHER"},
    };
    label = trimmed(label);
    for (const auto& [known, types] : kLabels) {
        if (equal_any_case(label, known)) return types;
    }
    return {};
}

}  // namespace

bool add_apple_label(Head& head, std::string_view label) {
    const std::string_view types = apple_label_types(label);
    if (types.empty()) return false;
    add_parameter(head, "TYPE=" + std::string(types));
    return true;
}

std::string_view prefix_head_fault(std::string_view prefix) {
    if (prefix.find('|') != std::string_view::npos) {
        for (const std::string_view alternative : prefix_alternatives(prefix)) {
            if (const std::string_view fault = prefix_head_fault(alternative); !fault.empty()) return fault;
        }
        return {};
    }
    const Head head = parse_head(prefix);
    if (head.open_quote) return "a double quote is left open";
    if (head.name.empty()) return "it gives no property name";
    if (head.name.find(' ') != std::string::npos) return "the property name holds a space";
    return {};
}

bool prefix_names_head(const PrefixHead& prefix, const Head& line) {
    const Head& wanted = prefix.head;
    if (!prefix.valid || !same(wanted.name, line.name)) return false;
    if (!wanted.group.empty() && !same(wanted.group, line.group)) return false;
    if (wanted.preferred && !line.preferred) return false;
    for (const auto& [key, param_value] : wanted.params) {
        if (param_value.empty() ? !has_key(line, key) : !has_param(line, key, param_value)) return false;
    }
    return true;
}

bool prefix_takes_value(const PrefixHead& prefix, std::string_view value) {
    return prefix.value_prefix.empty() || value_begins_with(value, prefix.value_prefix);
}

bool prefix_matches(const PrefixHead& prefix, const Head& line, std::string_view value) {
    return prefix_names_head(prefix, line) && prefix_takes_value(prefix, value);
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

std::string_view property_name_of(std::string_view line) { return look_at_name(line).name; }

std::vector<std::string_view> head_types(const Head& head, bool kinds_only) {
    static constexpr std::string_view kNoKind[] = {"PREF", "VOICE", "INTERNET"};
    const auto left_out = [&](std::string_view type) {
        return kinds_only ? std::find(std::begin(kNoKind), std::end(kNoKind), type) != std::end(kNoKind)
                          : type == "PREF";
    };
    std::vector<std::string_view> types;
    for (const auto& [key, value] : head.params) {
        if (key == "TYPE" && !value.empty() && !left_out(value)) types.push_back(value);
    }
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    return types;
}

std::string head_meaning(const Head& head) {
    std::string meaning = head.name;
    for (const std::string_view type : head_types(head, false)) {
        meaning += ';';
        meaning += type;
    }
    return meaning;
}

ValueKind value_kind(const Head& head) {
    // In the order of precedence; "MOBILE" is no vCard type, but some exporters write it.
    static constexpr std::pair<std::string_view, ValueKind> kTypes[] = {
        {"FAX", ValueKind::Fax},   {"PAGER", ValueKind::Pager}, {"CELL", ValueKind::Mobile},
        {"MOBILE", ValueKind::Mobile}, {"WORK", ValueKind::Work},  {"HOME", ValueKind::Home},
    };
    for (const auto& [type, kind] : kTypes) {
        if (has_param(head, "TYPE", type)) return kind;
    }
    return ValueKind::Other;
}

std::string_view kind_name(ValueKind kind) {
    static constexpr std::string_view kNames[kValueKinds] = {"mobile", "work", "home", "fax", "pager", "other"};
    return kNames[static_cast<std::size_t>(kind)];
}

}  // namespace quorlan
