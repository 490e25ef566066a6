#include "templates/template.h"

namespace quorlan {

namespace {

std::string with_crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A tag's place as a user's editor shows it.
void locate(std::string_view text, std::size_t at, std::size_t& line, std::size_t& column) {
    line = 1;
    column = 1;
    for (std::size_t i = 0; i < at; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0U) != 0x80) {
            ++column;
        }
    }
}

struct Open {
    std::string name;
    std::size_t at;
};

struct Scan {
    std::string_view text;
    std::vector<Open> sections;
    std::size_t records_open = std::string_view::npos;  // where {{#records}} begins
    std::size_t records_open_end = 0;
    std::size_t records_close = std::string_view::npos;
    std::size_t records_close_end = 0;
    TemplateText* parts = nullptr;
    TemplateFault* fault = nullptr;

    bool fail(std::size_t at, std::string message) {
        locate(text, at, fault->line, fault->column);
        fault->message = std::move(message);
        return false;
    }

    TemplatePart part_at(std::size_t at) const {
        if (records_open == std::string_view::npos || at < records_open) return TemplatePart::Before;
        if (records_close == std::string_view::npos || at < records_close) return TemplatePart::Record;
        return TemplatePart::After;
    }

    void add_name(std::string_view name, std::size_t at) {
        TemplateName& added = parts->names.emplace_back();
        added.name = name;
        locate(text, at, added.line, added.column);
        added.part = part_at(at);
        for (const Open& open : sections) {
            if (open.name != "records") added.sections.push_back(open.name);
        }
    }

    bool open_section(std::string_view name, char sigil, std::size_t at, std::size_t end) {
        if (name == "records") {
            if (sigil == '^') return fail(at, "{{^records}}: the records are a section, {{#records}}");
            if (records_open != std::string_view::npos) return fail(at, "a second {{#records}}: a template has one");
            if (!sections.empty()) {
                return fail(at, "{{#records}} inside {{#" + sections.back().name + "}}: it must stand at the top level");
            }
            records_open = at;
            records_open_end = end;
        } else {
            add_name(name, at);
        }
        sections.push_back(Open{std::string(name), at});
        return true;
    }

    bool close_section(std::string_view name, std::size_t at, std::size_t end) {
        if (sections.empty()) return fail(at, "{{/" + std::string(name) + "}} closes no section");
        if (sections.back().name != name) {
            return fail(at, "{{/" + std::string(name) + "}} where {{/" + sections.back().name + "}} was due");
        }
        sections.pop_back();
        if (name == "records") {
            records_close = at;
            records_close_end = end;
        }
        return true;
    }

    bool tag(std::size_t at, std::size_t& end) {
        const bool triple = text.compare(at, 3, "{{{") == 0;
        const std::string_view closing = triple ? "}}}" : "}}";
        const std::size_t close = text.find(closing, at + closing.size());
        // A "{{" before the closing braces means this tag was left open: the braces found
        // belong to a later tag, and the fault is here, not where that one stands.
        const std::size_t next_open = text.find("{{", at + closing.size());
        if (close == std::string_view::npos || (next_open != std::string_view::npos && next_open < close)) {
            return fail(at, "a tag that is not closed with " + std::string(closing));
        }
        end = close + closing.size();
        std::string_view content = trimmed(text.substr(at + closing.size(), close - at - closing.size()));
        if (triple) return variable(content, at);
        const char sigil = content.empty() ? '\0' : content[0];
        if (sigil == '!') return true;
        if (sigil == '=') return fail(at, "changed delimiters ({{=...=}}) are not supported");
        if (sigil == '>') return fail(at, "partials ({{>...}}) are not supported");
        if (sigil == '#' || sigil == '^' || sigil == '/' || sigil == '&') {
            const std::string_view name = trimmed(content.substr(1));
            if (name.empty()) return fail(at, "a tag without a name");
            if (sigil == '&') return variable(name, at);
            if (sigil == '/') return close_section(name, at, end);
            return open_section(name, sigil, at, end);
        }
        return variable(content, at);
    }

    bool variable(std::string_view name, std::size_t at) {
        if (name.empty()) return fail(at, "a tag without a name");
        add_name(name, at);
        return true;
    }
};

// Where a section tag's line is cut: a tag that stands alone on its line takes the line
// with it, as Mustache leaves out such lines. `line_start` and `line_end` are set only when
// it does: a tag that shares its line is cut at the tag itself.
bool stands_alone(std::string_view text, std::size_t at, std::size_t end, std::size_t& line_start,
                  std::size_t& line_end) {
    std::size_t start = text.rfind('\n', at == 0 ? 0 : at - 1);
    start = start == std::string_view::npos || at == 0 ? 0 : start + 1;
    if (!trimmed(text.substr(start, at - start)).empty()) return false;
    std::size_t after = end;
    while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) ++after;
    if (after != text.size()) {
        if (text.compare(after, 2, "\r\n") != 0) return false;
        after += 2;
    }
    line_start = start;
    line_end = after;
    return true;
}

// Mustache leaves out the line of a section or comment tag that stands alone on it, and
// the library does so only for sections it renders: a line of an empty section would leave
// a blank line behind. Such lines are cut down to their tag here, once, for every case.
std::string without_standalone_lines(std::string_view part) {
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = part.find("{{"); at != std::string_view::npos; at = part.find("{{", at)) {
        const bool triple = part.compare(at, 3, "{{{") == 0;
        const std::size_t close = part.find(triple ? "}}}" : "}}", at + 2);
        if (close == std::string_view::npos) break;
        const std::size_t end = close + (triple ? 3 : 2);
        const std::string_view content = trimmed(part.substr(at + 2, close - at - 2));
        std::size_t line_start = 0;
        std::size_t line_end = 0;
        if (!triple && !content.empty() && std::string_view("#^/!").find(content[0]) != std::string_view::npos &&
            stands_alone(part, at, end, line_start, line_end) && line_start >= copied) {
            out.append(part, copied, line_start - copied);
            out.append(part, at, end - at);
            copied = line_end;
        }
        at = end;
    }
    out.append(part, copied);
    return out;
}

}  // namespace

bool split_template(std::string_view text, TemplateText& parts, TemplateFault& fault) {
    const std::string whole = with_crlf(text);
    parts = {};
    Scan scan{whole, {}};
    scan.parts = &parts;
    scan.fault = &fault;
    for (std::size_t at = whole.find("{{"); at != std::string::npos; at = whole.find("{{", at)) {
        std::size_t end = at;
        if (!scan.tag(at, end)) return false;
        at = end;
    }
    if (!scan.sections.empty()) {
        return scan.fail(scan.sections.back().at, "{{#" + scan.sections.back().name + "}} is not closed");
    }
    if (scan.records_open == std::string::npos) {
        fault = {0, 0, "no {{#records}}...{{/records}} section: the part each record is written from"};
        return false;
    }
    std::size_t cut = scan.records_open;
    std::size_t from = scan.records_open_end;
    std::size_t line_end = 0;
    if (stands_alone(whole, scan.records_open, scan.records_open_end, cut, line_end)) from = line_end;
    parts.before = whole.substr(0, cut);
    std::size_t record_end = scan.records_close;
    std::size_t after = scan.records_close_end;
    if (stands_alone(whole, scan.records_close, scan.records_close_end, record_end, line_end)) after = line_end;
    parts.record = whole.substr(from, record_end - from);
    parts.after = whole.substr(after);
    parts.before = without_standalone_lines(parts.before);
    parts.record = without_standalone_lines(parts.record);
    parts.after = without_standalone_lines(parts.after);
    return true;
}

std::string_view base_name(std::string_view name, std::size_t& component) {
    component = 0;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return name;
    const std::string_view digits = name.substr(dot + 1);
    std::size_t number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9' || number > 9) return name;
        number = number * 10 + static_cast<std::size_t>(c - '0');
    }
    if (digits.empty() || number == 0) return name;
    component = number;
    return name.substr(0, dot);
}

std::string unspellable(std::string_view element) {
    if (element.empty()) return "it is empty";
    for (const char c : element) {
        if (c == ' ' || c == '\t') return "it holds a space";
        if (std::string_view("{}.#^/!&=>").find(c) != std::string_view::npos) {
            return std::string("it holds \"") + c + "\"";
        }
    }
    return {};
}

}  // namespace quorlan
