#include "explain/config_warnings.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "charset/cp1250.h"
#include "diagnose/show.h"
#include "diagnose/switch_typos.h"
#include "diagnose/switch_warnings.h"
#include "diagnose/xml_names.h"
#include "io/leftovers.h"
#include "text/text_ops.h"
#include "text/utf8.h"
#include "vcard/head.h"
#include "vcard/value_text.h"

namespace quorlan {

namespace {

// A warning about one configuration line, or about the whole run (line 0), shown in the
// order of the lines.
struct Warning {
    std::size_t line = 0;
    std::string text;
};

using Warnings = std::vector<Warning>;

void add(Warnings& warnings, const SeenLine& line, std::string text) {
    warnings.push_back(Warning{line.number, where(line) + ": " + std::move(text)});
}

void add(Warnings& warnings, std::string text) { warnings.push_back(Warning{0, std::move(text)}); }

bool is_word_byte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b >= 0x80;
}

// A "-" between two letters or digits, as in "E-MAIL", reads as part of a word.
bool has_hyphen_in_word(std::string_view written) {
    for (std::size_t i = 1; i + 1 < written.size(); ++i) {
        if (written[i] == '-' && is_word_byte(written[i - 1]) && is_word_byte(written[i + 1])) return true;
    }
    return false;
}

// Said of an element name, the document's or a mapping's, read as bytes without decoding.
constexpr const char* kUtf8LettersInAName =
    " holds UTF-8 letters, but the document is declared windows-1250: readers will see other letters in its name";

// True when the text holds a UTF-8 letter that card lines are decoded from.
bool holds_utf8_letters(std::string_view text) {
    std::string decoded(text);
    utf8_to_cp1250(decoded);
    return decoded != text;
}

void warn_about_name_line(Warnings& warnings, const SeenLine& line) {
    if (line.text.find('=') == std::string::npos) return;
    const bool input = line.config.kind == LineKind::InputName;
    add(warnings, line,
        std::string("it holds \"") + (input ? ".vcf" : ".xml") + "\", so it names the " +
            (input ? "input" : "output") + " file and is not a mapping, although it holds \"=\"");
}

// When decoding, a prefix names a property: it must read as a property head, and an
// earlier mapping that names every line it names leaves it nothing.
void warn_about_prefix_head(Warnings& warnings, const Settings& settings,
                            const std::vector<const SeenLine*>& lines, std::size_t j) {
    const std::string& prefix = settings.mappings[j].prefix;
    if (const std::string_view fault = prefix_head_fault(prefix); !fault.empty()) {
        add(warnings, *lines[j],
            "the prefix " + in_quotes(prefix) + " is not a property head (" + std::string(fault) +
                "): with DECODE=1 it matches no card line");
        return;
    }
    const PrefixHead later = parse_prefix_head(prefix);
    for (std::size_t i = 0; i < j; ++i) {
        if (settings.mappings[i].constant || !prefix_covers(parse_prefix_head(settings.mappings[i].prefix), later)) {
            continue;
        }
        add(warnings, *lines[j],
            "the prefix " + in_quotes(prefix) + " names only lines that the prefix " +
                in_quotes(settings.mappings[i].prefix) + " of mapping " + std::to_string(i + 1) + " (" +
                where(*lines[i]) + ") names too, and a line feeds only the first mapping that takes it: "
                "put this line before it");
        return;
    }
}

// Without decoding a prefix is the bytes a card line begins with: traps of writing them.
void warn_about_prefix_bytes(Warnings& warnings, const Settings& settings, const std::string& prefix,
                             const SeenLine& line) {
    if (prefix.find('|') != std::string::npos) {
        add(warnings, line,
            "the prefix " + in_quotes(prefix) +
                " lists alternatives separated by \"|\", which need DECODE=1: without it the prefix is the bytes "
                "a card line begins with, \"|\" included, and matches hardly any line");
    }
    if (prefix[0] == ' ') {
        add(warnings, line,
            "the prefix " + in_quotes(prefix) +
                " begins with a space, which card lines rarely do: spaces after \"=\" belong to the prefix");
    }
    if (prefix.back() == '\t') {
        add(warnings, line,
            "the prefix " + in_quotes(prefix) +
                " ends in a tab, which is not removed as spaces at the end of a line are: card lines hardly "
                "ever hold a tab there, so it does not match");
    }
    // Card lines are converted, and folded, before they are compared with the prefix.
    if (holds_utf8_letters(prefix)) {
        add(warnings, line,
            "the prefix " + in_quotes(prefix) +
                " holds UTF-8 letters, but card lines are converted to windows-1250 before they are "
                "compared, so it will not match: write it in windows-1250");
    }
    std::string folded = prefix;
    fold_to_ascii(folded);
    if (settings.fold_ascii && folded != prefix) {
        add(warnings, line,
            "the prefix " + in_quotes(prefix) +
                " holds an accented letter, but with ASCII folding on card lines are folded before "
                "they are compared, so it can no longer match: write " +
                in_quotes(folded));
    }
}

// Without decoding an earlier mapping whose prefix begins this one's takes its lines first.
void warn_about_hidden_prefix(Warnings& warnings, const Settings& settings,
                              const std::vector<const SeenLine*>& lines, std::size_t j) {
    const std::string& prefix = settings.mappings[j].prefix;
    for (std::size_t i = 0; i < j; ++i) {
        const std::string& earlier = settings.mappings[i].prefix;
        if (!begins_with(prefix, earlier)) continue;
        const std::string other = "mapping " + std::to_string(i + 1) + " (" + where(*lines[i]) + ")";
        if (earlier == prefix) {
            add(warnings, *lines[j],
                "the prefix " + in_quotes(prefix) + " is the same as that of " + other +
                    ", which takes those lines first: this mapping is then tested only on the "
                    "rest of the line, and never receives a value unless the prefix stands there twice");
        } else {
            add(warnings, *lines[j],
                "the prefix " + in_quotes(prefix) + " begins with the prefix " + in_quotes(earlier) + " of " +
                    other +
                    ", which takes those lines first: this mapping is then tested "
                    "only on the rest after " +
                    in_quotes(earlier) + ", so it can only match what follows it");
        }
        return;
    }
}

void warn_about_prefix(Warnings& warnings, const Settings& settings,
                       const std::vector<const SeenLine*>& lines, std::size_t j) {
    const FieldMapping& mapping = settings.mappings[j];
    if (mapping.prefix.empty()) {
        add(warnings, *lines[j],
            "the prefix is empty: it matches no card line, so " + tag(mapping.element) + " is always empty");
        return;
    }
    if (settings.decode) {
        warn_about_prefix_head(warnings, settings, lines, j);
        return;
    }
    warn_about_prefix_bytes(warnings, settings, mapping.prefix, *lines[j]);
    warn_about_hidden_prefix(warnings, settings, lines, j);
}

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "IDENT" with a letter beside it, as in RESIDENTIAL_ADDRESS, was hardly meant as a constant.
bool has_ident_in_word(std::string_view element) {
    std::string upper(element);
    to_upper_ascii(upper);
    constexpr std::size_t kLength = kConstantMarker.size();
    for (std::size_t at = upper.find(kConstantMarker); at != std::string::npos;
         at = upper.find(kConstantMarker, at + 1)) {
        const std::size_t after = at + kLength;
        if ((at > 0 && is_ascii_letter(upper[at - 1])) || (after < upper.size() && is_ascii_letter(upper[after]))) {
            return true;
        }
    }
    return false;
}

void warn_about_constant(Warnings& warnings, const FieldMapping& mapping, const SeenLine& line, bool decoding) {
    if (has_ident_in_word(mapping.element)) {
        add(warnings, line,
            "the element " + tag(mapping.element) + " holds \"IDENT\" inside a word, which makes it a constant "
            "field: every record gets " + in_quotes(mapping.prefix) + " and no card line feeds it");
    }
    const std::string_view after_equals = std::string_view(line.text).substr(line.text.find('=') + 1);
    if (!decoding && after_equals.size() > kMaxPrefixBytes) {
        add(warnings, line,
            "the constant is cut to " + std::to_string(kMaxPrefixBytes) + " bytes: every record gets " +
                in_quotes(mapping.prefix) + ", not " + in_quotes(after_equals));
    }
    // Decoding reads constants as text, UTF-8 included.
    if (!decoding && holds_utf8_sequence(mapping.prefix)) {
        add(warnings, line,
            "the constant " + in_quotes(mapping.prefix) + " is UTF-8, written as its bytes into a document "
            "declared windows-1250: readers show other letters; write it in windows-1250");
    }
}

// An element name, the document's (`line` null) or a mapping's: what XML readers make of it.
void warn_about_element_name(Warnings& warnings, const Settings& settings, std::string_view what,
                             std::string_view element, const SeenLine* line) {
    std::string warning =
        xml_name_warning(what, check_element_name(element, settings.decode, document_is_utf8(settings)));
    if (warning.empty() && !settings.decode && holds_utf8_letters(element)) {
        warning = std::string(what) + " " + tag(element) + kUtf8LettersInAName;
    }
    if (warning.empty()) return;
    if (line != nullptr) add(warnings, *line, std::move(warning));
    else add(warnings, std::move(warning));
}

void warn_about_mapping(Warnings& warnings, const Settings& settings,
                        const std::vector<const SeenLine*>& lines, std::size_t j) {
    const FieldMapping& mapping = settings.mappings[j];
    const SeenLine& line = *lines[j];
    const std::string_view written = written_element(line);
    if (std::string warning = switch_typo_warning(mapping); !warning.empty()) add(warnings, line, std::move(warning));
    // With a template the name is a template variable, which the run checks itself.
    if (settings.template_name.empty()) warn_about_element_name(warnings, settings, "the element", mapping.element, &line);
    if (has_hyphen_in_word(written)) {
        add(warnings, line,
            "the \"-\" in " + in_quotes(written) +
                " is the Forbidden marker, not part of the name: the element is " + tag(mapping.element) +
                " and every card with a value for it is left out");
    }
    if (mapping.condition == Condition::Required && mapping.constant) {
        add(warnings, line,
            "the Required element " + tag(mapping.element) +
                " is a constant field: the filter tests what was captured for it, which is empty "
                "unless a card line begins with " +
                in_quotes(mapping.prefix) + ", so cards are left out");
    }
    // What a constant field captures is never written, so its prefix matters only to others.
    if (mapping.constant) {
        warn_about_constant(warnings, mapping, line, settings.decode);
    } else {
        warn_about_prefix(warnings, settings, lines, j);
    }
}

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = 24 * kHour;

// An age in the largest unit of which it holds at least two.
std::string age_of(std::int64_t seconds) {
    if (seconds < 2 * kMinute) return count_of(static_cast<std::size_t>(seconds), "second", "seconds");
    if (seconds < 2 * kHour) return count_of(static_cast<std::size_t>(seconds / kMinute), "minute", "minutes");
    if (seconds < 2 * kDay) return count_of(static_cast<std::size_t>(seconds / kHour), "hour", "hours");
    return count_of(static_cast<std::size_t>(seconds / kDay), "day", "days");
}

void warn_about_left_overs(Warnings& warnings, const DocumentNames& names) {
    for (const LeftOverFile& file : left_over_temporaries(names.output_file)) {
        add(warnings, "the temporary file " + in_quotes(file.path) + " (written " + age_of(file.age_seconds) +
                          " ago) was left by a run that was killed: no run deletes it, as another run may be "
                          "writing it; delete it when no run is going on");
    }
}

// A switch line: no number after its keyword, or a switch a run can't follow.
void warn_about_switch_line(Warnings& warnings, const Settings& settings, const SeenLine& line) {
    const ConfigLine& config = line.config;
    const char* counts_as = nullptr;
    switch (config.kind) {
        case LineKind::FoldSwitch: counts_as = "no number after \"ASCII=\": it counts as 0, folding off"; break;
        case LineKind::DecodeSwitch:
            counts_as = "no number after \"DECODE=\": it counts as 0, vCard decoding off";
            break;
        case LineKind::Utf8Switch:
            counts_as = "no number after \"UTF8=\": it counts as 0, a windows-1250 document";
            if (config.number_given && needs_decoding(config.number, settings)) {
                add(warnings, line, utf8_needs_decoding(Wording::Report));
            }
            break;
        case LineKind::CodepageSwitch:
            counts_as = "no number after \"CODEPAGE=\": it counts as 0, undeclared text stays windows-1250";
            // Any CODEPAGE= line is ignored without decoding, even one that says 0.
            if (config.number_given && !settings.decode) {
                add(warnings, line, codepage_needs_decoding(Wording::Report));
            } else if (config.number_given && names_unknown_codepage(config.number)) {
                add(warnings, line, unknown_codepage(config.number, Wording::Report));
            }
            break;
        case LineKind::InputName:
        case LineKind::OutputName:
        case LineKind::Mapping:
        case LineKind::Ignored:
        case LineKind::TemplateName:
        case LineKind::CarddavLine:
        case LineKind::PhonebookUrl: return;
    }
    if (!config.number_given) add(warnings, line, counts_as);
}

// The document element, and the folder and the file the output goes to.
void warn_about_output(Warnings& warnings, const Settings& settings, const DocumentNames& names) {
    // A template writes its own elements; the names of quorlan.ini are its variables.
    if (settings.template_name.empty()) {
        warn_about_element_name(warnings, settings, "the document element", names.element, nullptr);
    }
    const std::filesystem::path folder = std::filesystem::path(names.output_file).parent_path();
    std::error_code ignored;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ignored)) {
        add(warnings, "the folder " + in_quotes(folder.string()) +
                          " of the output file does not exist: a run can't create the output");
    } else if (std::filesystem::is_directory(names.output_file, ignored)) {
        add(warnings, "the output file " + in_quotes(names.output_file) +
                          " is a folder: a run can't create the output");
    }
}

Warnings collect_warnings(const Settings& settings, const DocumentNames& names, const ConfigWatch& watch) {
    Warnings warnings;
    for (const SeenLine& line : watch.lines) {
        if (!line.read) continue;
        if (line.beyond_limit) {
            add(warnings, line,
                "a mapping line beyond the " + std::to_string(kMaxMappings) +
                    "th ends the reading: it and every line after it are not read");
        }
        if (line.config.kind == LineKind::InputName || line.config.kind == LineKind::OutputName) {
            warn_about_name_line(warnings, line);
        }
        warn_about_switch_line(warnings, settings, line);
    }
    const std::vector<const SeenLine*> lines = mapping_lines(watch);
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        warn_about_mapping(warnings, settings, lines, j);
    }
    warn_about_output(warnings, settings, names);
    warn_about_left_overs(warnings, names);
    return warnings;
}

}  // namespace

void describe_config_warnings(std::string& out, const Settings& settings, const DocumentNames& names,
                              const ConfigWatch& watch) {
    Warnings warnings = collect_warnings(settings, names, watch);
    // Line by line, and the warnings about the whole run after them.
    std::stable_sort(warnings.begin(), warnings.end(), [](const Warning& a, const Warning& b) {
        return (a.line == 0 ? SIZE_MAX : a.line) < (b.line == 0 ? SIZE_MAX : b.line);
    });
    out += "\nWarnings\n";
    if (warnings.empty()) out += "  none\n";
    for (const Warning& warning : warnings) out += "  " + warning.text + "\n";
}

}  // namespace quorlan
