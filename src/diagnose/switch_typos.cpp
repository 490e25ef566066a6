#include "diagnose/switch_typos.h"

#include <cstddef>
#include <utility>

#include "diagnose/show.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

struct Switch {
    std::string_view keyword;  // with its "="
    const char* does;
    const char* example = "1";
    // What a run does while the switch is missing.
    const char* meanwhile = "the switch stays off";
};

constexpr Switch kSwitches[] = {
    {kFoldKeyword, "folds accented letters to ASCII"},
    {kDecodeKeyword, "reads the card file as vCard readers do"},
    {kUtf8Keyword, "writes the phonebook in UTF-8 when \"DECODE=1\" is on"},
    {kCodepageKeyword, "names the code page of undeclared text when \"DECODE=1\" is on", "1253"},
    {kTemplateKeyword, "writes the phonebook in a phone's form", "yealink",
     "the phonebook is written as <vcf> records in windows-1250, not in the phone's form"},
};

// The element as a user reads it: upper case, no spaces or tabs around it.
std::string bare_upper(std::string_view element) {
    const std::size_t first = element.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    std::string upper(element.substr(first, element.find_last_not_of(" \t") - first + 1));
    to_upper_ascii(upper);
    return upper;
}

}  // namespace

bool within_one_edit(std::string_view a, std::string_view b) {
    if (a.size() < b.size()) std::swap(a, b);
    if (a.size() - b.size() > 1) return false;
    std::size_t i = 0;
    while (i < b.size() && a[i] == b[i]) ++i;
    if (i == b.size()) return true;  // equal, or one byte more at the end
    if (a.size() != b.size()) return a.substr(i + 1) == b.substr(i);
    if (a.substr(i + 1) == b.substr(i + 1)) return true;
    return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] && a.substr(i + 2) == b.substr(i + 2);
}

std::string switch_typo_warning(const FieldMapping& mapping) {
    const std::string element = bare_upper(mapping.element);
    const std::string field = tag(mapping.element) + " is a field, not ";
    for (const Switch& s : kSwitches) {
        const std::string name(s.keyword.substr(0, s.keyword.size() - 1));
        if (!within_one_edit(element, name)) continue;
        return field + "the switch \"" + name + "=\" (which " + s.does + "), and " + s.meanwhile + ": write \"" +
               name + "=" + s.example + "\", spelled so, with nothing between \"" + name + "\" and \"=\"";
    }
    // What vCard calls these is the natural guess for the switches that deal with them.
    if (element == "ENCODING" || element == "CHARSET") {
        return field + "a switch: \"DECODE=1\" reads encoded and folded card lines, and \"UTF8=1\" (with "
                       "\"DECODE=1\") writes the phonebook in UTF-8";
    }
    return {};
}

}  // namespace quorlan
