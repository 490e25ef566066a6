#include "templates/family_rules.h"

#include <string_view>

namespace quorlan {

namespace {

// The content of the first <element> of `entry`: where it begins and how long it is.
bool find_content(const std::string& entry, std::string_view element, std::size_t& begin, std::size_t& size) {
    // Built by appending: g++ 12 warns falsely about `"x" + std::string`.
    std::string open = "<";
    open += element;
    open += '>';
    std::string close = "</";
    close += element;
    close += '>';
    const std::size_t at = entry.find(open);
    if (at == std::string::npos) return false;
    begin = at + open.size();
    const std::size_t end = entry.find(close, begin);
    if (end == std::string::npos) return false;
    size = end - begin;
    return true;
}

// The bytes the reference at the start of `text` stands for, and its own length in
// `written`: quorlan writes "&amp;" and the like for one ASCII byte, "&#N;" for others.
std::size_t reference_bytes(std::string_view text, std::size_t& written) {
    const std::size_t semicolon = text.find(';');
    written = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
    if (text.size() < 3 || text[1] != '#') return 1;
    unsigned long code = 0;
    const bool hex = text[2] == 'x' || text[2] == 'X';
    for (std::size_t i = hex ? 3 : 2; i + 1 < written; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                         : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                                       : 0;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
        if (code > 0x10FFFF) break;
    }
    return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

std::size_t character_bytes(unsigned char lead) {
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Replaces the value of the attribute `name` in the first tag at or after `from` that
// has it; returns where the value ends, or npos.
std::size_t set_attribute(std::string& entry, std::string_view name, const std::string& value, std::size_t from) {
    std::string key = " ";
    key += name;
    key += "=\"";
    const std::size_t at = entry.find(key, from);
    if (at == std::string::npos) return std::string::npos;
    const std::size_t begin = at + key.size();
    const std::size_t end = entry.find('"', begin);
    if (end == std::string::npos) return std::string::npos;
    entry.replace(begin, end - begin, value);
    return begin + value.size();
}

// Polycom: a contact number "cannot be null or duplicated", and names hold 40 bytes.
bool polycom(FamilyRuleState& state, std::string& entry) {
    std::size_t begin = 0;
    std::size_t size = 0;
    if (find_content(entry, "ct", begin, size)) {
        if (!state.numbers.insert(entry.substr(begin, size)).second) {
            ++state.duplicates;
            return false;
        }
    }
    cut_element_text(entry, "fn", 40);
    cut_element_text(entry, "ln", 40);
    return true;
}

// FRITZ!Box: the numbers of a contact counted in nid and numbered from 0, as the box
// writes them; the first is the one it dials when no number is marked preferred.
void fritzbox(std::string& entry) {
    const std::size_t telephony = entry.find("<telephony");
    if (telephony == std::string::npos) return;
    std::size_t count = 0;
    bool preferred = false;
    std::size_t first = std::string::npos;
    for (std::size_t at = entry.find("<number ", telephony); at != std::string::npos;
         at = entry.find("<number ", at + 1)) {
        if (first == std::string::npos) first = at;
        const std::size_t tag_end = entry.find('>', at);
        if (std::string_view(entry).substr(at, tag_end - at).find(" prio=\"1\"") != std::string_view::npos) {
            preferred = true;
        }
        set_attribute(entry, "id", std::to_string(count++), at);
    }
    if (!preferred && first != std::string::npos) set_attribute(entry, "prio", "1", first);
    set_attribute(entry, "nid", std::to_string(count), telephony);
}

}  // namespace

void cut_element_text(std::string& entry, std::string_view element, std::size_t limit) {
    std::size_t begin = 0;
    std::size_t size = 0;
    if (!find_content(entry, element, begin, size)) return;
    const std::string_view text = std::string_view(entry).substr(begin, size);
    std::size_t bytes = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t written = 1;
        const std::size_t stands_for =
            text[i] == '&' ? reference_bytes(text.substr(i), written)
                           : (written = character_bytes(static_cast<unsigned char>(text[i])));
        if (bytes + stands_for > limit) break;
        bytes += stands_for;
        i += written;
    }
    if (i < text.size()) entry.erase(begin + i, size - i);
}

bool apply_family_rule(FamilyRuleState& state, std::string& entry) {
    switch (state.rule) {
        case FamilyRule::None: return true;
        case FamilyRule::Polycom: return polycom(state, entry);
        case FamilyRule::Snom: return true;  // its index is the template's {{index}}; its limit is warned about
        case FamilyRule::Fritzbox: fritzbox(entry); return true;
    }
    return true;
}

}  // namespace quorlan
