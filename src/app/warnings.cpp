#include "app/warnings.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "charset/xml_name.h"
#include "io/files.h"

namespace quorlan {

namespace {

// Why a reader refuses `name` as an element name; empty when it takes it. White space
// after the name stands inside the tag, where XML allows it, and a ":" is well-formed.
std::string xml_name_problem(std::string_view name) {
    const std::string_view core = name_in_tag(name);
    const std::size_t i = xml_name_fault_at(core);
    if (i == std::string_view::npos) return {};
    if (core.empty()) return "it is empty";
    std::string character = "\"";
    character += terminal_name(core.substr(i, 1));
    character += '"';
    const std::uint32_t c = cp1250_character(static_cast<std::uint8_t>(core[i]));
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
    const std::string refused = ", so XML readers will refuse " + quoted_name(names.output_file) + ": ";
    if (const std::string problem = xml_name_problem(names.element); !problem.empty()) {
        warn("the document element <" + terminal_name(names.element) + "> is not an XML name (" + problem + ")" +
             refused + "rename the XML file in quorlan.ini (" + kNameRule + ")");
    }
    for (const FieldMapping& mapping : settings.mappings) {
        if (const std::string problem = xml_name_problem(mapping.element); !problem.empty()) {
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
