#include "app/warnings.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "charset/unicode_text.h"
#include "charset/xml_name.h"
#include "io/files.h"

namespace quorlan {

namespace {

// Why a reader refuses `name` as an element name; empty when it takes it. White space
// after the name stands inside the tag, where XML allows it, and a ":" is well-formed.
// A UTF-8 document holds the name as text, a windows-1250 one as its bytes.
std::string xml_name_problem(std::string_view name, bool utf8) {
    const std::string text = utf8 ? text_from_bytes(name) : std::string();
    const std::string_view core = name_in_tag(utf8 ? std::string_view(text) : name);
    const std::size_t i = utf8 ? xml_text_name_fault_at(core) : xml_name_fault_at(core);
    if (i == std::string_view::npos) return {};
    if (core.empty()) return "it is empty";
    std::size_t end = i;
    const std::uint32_t c =
        utf8 ? next_character(core, end) : cp1250_character(static_cast<std::uint8_t>(core[end++]));
    std::string character = "\"";
    character += terminal_name(core.substr(i, end - i));
    character += '"';
    if (i == 0 && is_xml_name_char(c)) return "it begins with " + character;
    return character + " is not allowed in it";
}

void warn(const std::string& text) { std::fprintf(stderr, "quorlan: warning: %s\n", text.c_str()); }

constexpr const char* kNameRule =
    "use letters, digits, \"_\", \"-\" and \".\" only, beginning with a letter or \"_\"";

}  // namespace

void warn_about_the_document(const Settings& settings, const DocumentNames& names, const ConversionResult& result,
                             bool input_held_bytes) {
    if (settings.utf8 != 0 && settings.decode == 0) {
        warn("UTF8=1 needs DECODE=1, so the document is written in windows-1250: without decoding, values are "
             "the card file's bytes, which a UTF-8 document would show garbled");
    }
    const bool utf8 = settings.utf8 != 0 && settings.decode != 0;
    const std::string refused = ", so XML readers will refuse " + quoted_name(names.output_file) + ": ";
    if (const std::string problem = xml_name_problem(names.element, utf8); !problem.empty()) {
        warn("the document element <" + terminal_name(names.element) + "> is not an XML name (" + problem + ")" +
             refused + "rename the XML file in quorlan.ini (" + kNameRule + ")");
    }
    for (const FieldMapping& mapping : settings.mappings) {
        if (const std::string problem = xml_name_problem(mapping.element, utf8); !problem.empty()) {
            warn("the element <" + terminal_name(mapping.element) + "> is not an XML name (" + problem + ")" +
                 refused + "rename it in quorlan.ini (" + kNameRule + ")");
        }
    }
    if (input_held_bytes && result.cards_ended == 0) {
        warn("no card ended in " + quoted_name(names.input_file) +
             " (no line began with \"END:\"): is it a vCard file?");
    }
}

}  // namespace quorlan
