#include "vcard/line_head.h"

namespace quorlan {

LineHead read_line_head(std::string_view raw) {
    LineHead head;
    if (raw.empty() || raw[0] == ' ' || raw[0] == '\t') return head;
    const std::size_t value_at = parse_head(raw).value_at;
    if (value_at == std::string_view::npos || value_at == 1) return head;
    head.text = raw.substr(0, value_at - 1);
    head.parsed = parse_head(head.text);
    return head;
}

}  // namespace quorlan
