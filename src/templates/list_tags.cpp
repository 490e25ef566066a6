#include "templates/list_tags.h"

#include <algorithm>
#include <string_view>

#include "config/settings.h"

namespace quorlan {

// A list field's variable outside a section of its own ({{TEL}} where a template was written
// for a one-value TEL) shows the value a one-value field would hold: it is renamed "TEL[]",
// a name no mapping can have, which the context gives that value.
std::string name_main_values(const std::string& part, const std::vector<std::string>& lists) {
    if (lists.empty()) return part;
    std::string out;
    std::vector<std::string_view> open;
    std::size_t copied = 0;
    for (std::size_t at = part.find("{{"); at != std::string::npos; at = part.find("{{", at)) {
        const bool triple = part.compare(at, 3, "{{{") == 0;
        const std::size_t inner = at + (triple ? 3 : 2);
        const std::size_t close = part.find(triple ? "}}}" : "}}", inner);
        if (close == std::string::npos) break;
        const std::string_view content = std::string_view(part).substr(inner, close - inner);
        at = close + (triple ? 3 : 2);
        const std::size_t first = content.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        const char sigil = !triple && std::string_view("#^/&!").find(content[first]) != std::string_view::npos
                               ? content[first]
                               : '\0';
        std::size_t name_at = inner + first;
        if (sigil != '\0') name_at = std::min(close, part.find_first_not_of(" \t", name_at + 1));
        std::size_t name_end = close;
        while (name_end > name_at && (part[name_end - 1] == ' ' || part[name_end - 1] == '\t')) --name_end;
        const std::string_view name = std::string_view(part).substr(name_at, name_end - name_at);
        if (sigil == '#' || sigil == '^') {
            open.push_back(name);
        } else if (sigil == '/') {
            if (!open.empty()) open.pop_back();
        } else if ((sigil == '\0' || sigil == '&') &&
                   std::find(lists.begin(), lists.end(), name) != lists.end() &&
                   std::find(open.begin(), open.end(), name) == open.end()) {
            out.append(part, copied, name_end - copied);
            out += kListMarker;
            copied = name_end;
        }
    }
    out.append(part, copied);
    return out;
}

}  // namespace quorlan
