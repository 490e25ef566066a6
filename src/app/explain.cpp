#include "app/explain.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "charset/cp1250.h"
#include "charset/xml_name.h"
#include "config/settings.h"
#include "convert/card.h"
#include "convert/document.h"
#include "io/files.h"
#include "text/line_reader.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

// ---- Showing bytes to a person -------------------------------------------------------

// Names and prefixes are shown with their own bytes, but the configuration may be in
// windows-1250 or UTF-8 and the terminal's encoding is unknown: printable ASCII is shown
// as it is and every other byte as \xNN. A backslash is doubled, so that \xNN in the
// output always stands for one byte.
std::string shown(std::string_view bytes) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            text += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            text += c;
        } else {
            text += "\\x";
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
        }
    }
    return text;
}

std::string in_quotes(std::string_view bytes) { return "\"" + shown(bytes) + "\""; }

std::string tag(std::string_view element) { return "<" + shown(element) + ">"; }

std::string count_of(std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string line_label(std::size_t number) { return "line " + std::to_string(number); }

// ---- XML names ------------------------------------------------------------------------

// Why an XML reader would refuse `name` as an element name; empty when it takes it.
std::string xml_name_problem(std::string_view name) {
    if (name.empty()) return "it is empty";
    if (name.find(' ') != std::string_view::npos) return "it holds a space";
    const std::size_t i = xml_name_fault_at(name);
    if (i == std::string_view::npos) return {};
    const std::uint32_t c = cp1250_character(static_cast<std::uint8_t>(name[i]));
    if (i == 0 && c >= '0' && c <= '9') return "it begins with a digit";
    if (i == 0 && is_xml_name_char(c)) return "it begins with " + in_quotes(name.substr(0, 1));
    return in_quotes(name.substr(i, 1)) + " is not allowed in a name";
}

// What is wrong with `name` as an element name, said of `what` (such as "the element");
// empty when nothing is.
std::string xml_name_warning(std::string_view what, std::string_view name) {
    const std::string subject = std::string(what) + " " + tag(name);
    // White space after the name stands inside the tag, where XML allows it: the document
    // is well-formed, but its element has a shorter name.
    const std::string_view core = name_in_tag(name);
    if (const std::string problem = xml_name_problem(core); !problem.empty()) {
        return subject + " is not a valid XML name (" + problem + "): an XML reader will refuse the output";
    }
    if (core.size() != name.size()) {
        return subject + " ends in white space, which XML takes as part of the tag, not of the name: readers "
                         "see the element " + tag(core);
    }
    if (core.find(':') != std::string_view::npos) {
        return subject + " holds \":\", which XML readers that know namespaces take for a prefix that the "
                         "document does not declare";
    }
    return {};
}

// ---- Watching the configuration being read ------------------------------------------

struct SeenLine {
    std::size_t number = 0;  // the line of the file
    std::size_t part = 0;    // 1, 2... for the pieces of a line longer than one read
    std::string text;        // as the rules saw it: without its line end
    ConfigLine config;
    bool beyond_limit = false;  // the mapping line that ended the reading
    bool read = true;           // false for the lines after it
};

struct ConfigWatch {
    std::vector<SeenLine> lines;
    std::size_t number = 1;
    std::size_t part = 0;
};

SeenLine& place_line(ConfigWatch& watch, std::string_view as_read, bool continues) {
    SeenLine& line = watch.lines.emplace_back();
    line.number = watch.number;
    line.part = continues && watch.part == 0 ? 1 : watch.part;
    line.text = as_read;
    trim_line_end(line.text);
    if (continues) {
        watch.part = line.part + 1;
    } else {
        ++watch.number;
        watch.part = 0;
    }
    return line;
}

void on_config_line(void* context, std::string_view as_read, const ConfigLine& config, bool beyond_limit,
                    bool line_goes_on) {
    SeenLine& line = place_line(*static_cast<ConfigWatch*>(context), as_read, line_goes_on);
    line.config = config;
    line.beyond_limit = beyond_limit;
}

// The run reads no further; the rest is read here only to be shown as not read.
void on_config_stopped(void* context, LineReader& rest) {
    auto& watch = *static_cast<ConfigWatch*>(context);
    std::string line;
    while (read_line(rest, line)) place_line(watch, line, rest.line_goes_on).read = false;
}

std::string where(const SeenLine& line) {
    std::string label = line_label(line.number);
    if (line.part != 0) label += " (part " + std::to_string(line.part) + ")";
    return label;
}

bool is_stored(const SeenLine& line) {
    return line.read && !line.beyond_limit && line.config.kind == LineKind::Mapping;
}

// The lines of the stored mappings, in mapping order.
std::vector<const SeenLine*> mapping_lines(const ConfigWatch& watch) {
    std::vector<const SeenLine*> lines;
    for (const SeenLine& line : watch.lines) {
        if (is_stored(line)) lines.push_back(&line);
    }
    return lines;
}

// The read line that last set what `kind` sets; null when none did.
const SeenLine* last_of(const ConfigWatch& watch, LineKind kind) {
    const SeenLine* last = nullptr;
    for (const SeenLine& line : watch.lines) {
        if (line.read && line.config.kind == kind) last = &line;
    }
    return last;
}

// The element name as written before "=", markers still in it.
std::string_view written_element(const SeenLine& line) {
    return std::string_view(line.text).substr(0, line.text.find('='));
}

// ---- Settings and lines ---------------------------------------------------------------

void describe_settings(std::string& out, const Settings& settings, const DocumentNames& names,
                       const ConfigFileFacts& facts, const ConfigWatch& watch) {
    out += "Settings\n";
    out += "  configuration:    ";
    if (!facts.present) {
        out += "no quorlan.ini here: the defaults hold\n";
    } else {
        std::size_t read = 0;
        for (const SeenLine& line : watch.lines) read += line.read && line.part <= 1 ? 1 : 0;
        out += "quorlan.ini, " + count_of(read, "line", "lines") + " read";
        if (facts.bom_skipped) out += " (a UTF-8 byte-order mark before line 1 is skipped)";
        out += "\n";
    }

    const SeenLine* input = last_of(watch, LineKind::InputName);
    out += "  input file:       " + in_quotes(names.input_file) +
           (input != nullptr ? " (" + where(*input) + ")" : " (default)") + "\n";

    const SeenLine* output = last_of(watch, LineKind::OutputName);
    out += "  output file:      " + in_quotes(names.output_file);
    if (output == nullptr) {
        out += " (default: the input's name)";
    } else if (!settings.output_base.empty() && settings.output_base[0] == '*') {
        out += " (" + where(*output) + ": a name beginning with \"*\" takes the input's name)";
    } else {
        out += " (" + where(*output) + ")";
    }
    std::error_code ignored;
    if (std::filesystem::is_regular_file(names.output_file, ignored)) out += ", exists: a run replaces it";
    out += "\n";
    out += "  document element: " + tag(names.element);
    if (names.output_file.size() != names.element.size() + 4) out += " (the output's name without its folder)";
    out += "\n";

    const SeenLine* fold = last_of(watch, LineKind::FoldSwitch);
    out += "  ASCII folding:    ";
    out += settings.fold_ascii != 0 ? "on" : "off";
    out += fold != nullptr ? " (" + where(*fold) + ")" : " (default)";
    out += "\n";

    const SeenLine* decode = last_of(watch, LineKind::DecodeSwitch);
    out += "  vCard decoding:   ";
    out += settings.decode != 0 ? "on" : "off";
    out += decode != nullptr ? " (" + where(*decode) + ")" : " (default)";
    out += "\n";

    out += "  mappings:         " + std::to_string(settings.mappings.size()) + " (at most " +
           std::to_string(kMaxMappings) + ")\n";
    for (const SeenLine& line : watch.lines) {
        if (!line.beyond_limit) continue;
        std::size_t unread = 0;
        for (const SeenLine& other : watch.lines) unread += !other.read && other.part <= 1 ? 1 : 0;
        out += "  reading stopped:  at " + where(line) + ", a mapping line beyond the " +
               std::to_string(kMaxMappings) + "th; " + count_of(unread, "line", "lines") +
               " after it not read\n";
    }
}

std::string describe_condition(const FieldMapping& mapping, std::string_view written) {
    const bool star = written.find('*') != std::string_view::npos;
    switch (mapping.condition) {
        case Condition::Required: return "Required (marker \"*\")";
        case Condition::Forbidden:
            return star ? "Forbidden (marker \"-\", which overrides \"*\")" : "Forbidden (marker \"-\")";
        case Condition::None: break;
    }
    return "no condition";
}

// The value a constant field has in every record, as the record output itself makes it
// (a phone-flagged constant beginning with "+" is grouped, for one).
std::string written_constant(const FieldMapping& mapping) {
    Settings alone;
    alone.mappings.push_back(mapping);
    alone.mappings[0].condition = Condition::None;
    CardState card = make_card_state(alone);
    std::string ignored;
    write_record(alone, card, ignored);
    return card.values[0];
}

std::string describe_mapping(const FieldMapping& mapping, const SeenLine& line) {
    std::string text = "element " + tag(mapping.element) + ", prefix " + in_quotes(mapping.prefix) + " (" +
                       count_of(mapping.prefix.size(), "byte", "bytes");
    // The prefix is at most kMaxPrefixBytes after the first "=": say what the cut dropped.
    const std::size_t after_equals = line.text.find('=') + 1;
    if (line.text.size() - after_equals > kMaxPrefixBytes) {
        text += ", cut at " + std::to_string(kMaxPrefixBytes) + ": " +
                in_quotes(std::string_view(line.text).substr(after_equals + kMaxPrefixBytes)) + " is dropped";
    }
    text += "), " + describe_condition(mapping, written_element(line));
    if (mapping.phone) text += ", phone number (marker \"#\")";
    if (mapping.constant) {
        text += ", constant field (\"IDENT\" in the name): every record gets " +
                in_quotes(written_constant(mapping));
    }
    return text;
}

// The read line after `line` that sets the same thing again, if any.
const SeenLine* overridden_by(const ConfigWatch& watch, const SeenLine& line) {
    bool after = false;
    for (const SeenLine& other : watch.lines) {
        if (&other == &line) {
            after = true;
        } else if (after && other.read && other.config.kind == line.config.kind) {
            return &other;
        }
    }
    return nullptr;
}

std::string describe_line(const ConfigWatch& watch, const SeenLine& line, std::size_t mapping_number,
                          const SeenLine* stop) {
    if (!line.read) {
        return "not read: the reading ended at " + where(*stop) + " (at most " +
               std::to_string(kMaxMappings) + " mappings)";
    }
    const ConfigLine& config = line.config;
    std::string text;
    switch (config.kind) {
        case LineKind::InputName:
            text = "holds \".vcf\": names the input file " + in_quotes(config.name + ".vcf") +
                   " (everything before \".vcf\")";
            break;
        case LineKind::OutputName:
            text = "holds \".xml\": names the output file ";
            if (!config.name.empty() && config.name[0] == '*') {
                text += "after the input (the name begins with \"*\")";
            } else {
                text += in_quotes(config.name + ".xml");
            }
            break;
        case LineKind::FoldSwitch:
            text = "holds \"ASCII=\": folding switch, number " + std::to_string(config.fold) +
                   (config.fold != 0 ? ", folding on" : ", folding off");
            break;
        case LineKind::DecodeSwitch:
            text = "holds \"DECODE=\": decoding switch, number " + std::to_string(config.decode) +
                   (config.decode != 0 ? ", vCard decoding on" : ", vCard decoding off");
            break;
        case LineKind::Mapping:
            if (line.beyond_limit) {
                return "a mapping line beyond the " + std::to_string(kMaxMappings) +
                       "th: not stored, and the reading of quorlan.ini ends here";
            }
            return "mapping " + std::to_string(mapping_number) + ": " +
                   describe_mapping(config.mapping, line);
        case LineKind::Ignored: return line.text.empty() ? "ignored: empty" : "ignored: no \"=\" in it";
    }
    if (const SeenLine* later = overridden_by(watch, line)) {
        text += "; " + where(*later) + " sets it again, so this line has no effect";
    }
    return text;
}

void describe_lines(std::string& out, const ConfigWatch& watch) {
    if (watch.lines.empty()) return;
    out += "\nLines of quorlan.ini\n";
    const SeenLine* stop = nullptr;
    for (const SeenLine& line : watch.lines) {
        if (line.beyond_limit) stop = &line;
    }
    std::size_t mappings = 0;
    for (const SeenLine& line : watch.lines) {
        if (is_stored(line)) ++mappings;
        out += "  " + where(line) + ": " + in_quotes(line.text) + "\n";
        out += "    " + describe_line(watch, line, mappings, stop) + "\n";
    }
}

// ---- Warnings -------------------------------------------------------------------------

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

bool has_digit_after_sign(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\v' || text[i] == '\f')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

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

// True when the text holds a UTF-8 letter that card lines are decoded from.
bool holds_utf8_letters(std::string_view text) {
    std::string decoded(text);
    utf8_to_cp1250(decoded);
    return decoded != text;
}

std::string trimmed_upper(std::string_view text) {
    std::string upper(text);
    to_upper_ascii(upper);
    const std::size_t first = upper.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return upper.substr(first, upper.find_last_not_of(' ') - first + 1);
}

void warn_about_name_line(Warnings& warnings, const SeenLine& line) {
    if (line.text.find('=') == std::string::npos) return;
    const bool input = line.config.kind == LineKind::InputName;
    add(warnings, line,
        std::string("it holds \"") + (input ? ".vcf" : ".xml") + "\", so it names the " +
            (input ? "input" : "output") + " file and is not a mapping, although it holds \"=\"");
}

void warn_about_prefix(Warnings& warnings, const Settings& settings,
                       const std::vector<const SeenLine*>& lines, std::size_t j) {
    const FieldMapping& mapping = settings.mappings[j];
    const SeenLine& line = *lines[j];
    const std::string& prefix = mapping.prefix;
    if (prefix.empty()) {
        add(warnings, line,
            "the prefix is empty: it matches no card line, so " + tag(mapping.element) + " is always empty");
        return;
    }
    if (prefix[0] == ' ') {
        add(warnings, line,
            "the prefix " + in_quotes(prefix) +
                " begins with a space, which card lines rarely do: spaces after \"=\" belong to the prefix");
    }
    if (holds_utf8_letters(prefix)) {
        add(warnings, line,
            "the prefix " + in_quotes(prefix) +
                " holds UTF-8 letters, but card lines are converted to windows-1250 before they are "
                "compared, so it will not match: write it in windows-1250");
    }
    std::string folded = prefix;
    fold_to_ascii(folded);
    if (settings.fold_ascii != 0 && folded != prefix) {
        add(warnings, line,
            "the prefix " + in_quotes(prefix) +
                " holds an accented letter, but with ASCII folding on card lines are folded before "
                "they are compared, so it can no longer match: write " +
                in_quotes(folded));
    }
    for (std::size_t i = 0; i < j; ++i) {
        const std::string& earlier = settings.mappings[i].prefix;
        if (!begins_with(prefix, earlier)) continue;
        const std::string other = "mapping " + std::to_string(i + 1) + " (" + where(*lines[i]) + ")";
        if (earlier == prefix) {
            add(warnings, line,
                "the prefix " + in_quotes(prefix) + " is the same as that of " + other +
                    ", which takes those lines first: this mapping is then tested only on the "
                    "rest of the line, and never receives a value unless the prefix stands there twice");
        } else {
            add(warnings, line,
                "the prefix " + in_quotes(prefix) + " begins with the prefix " + in_quotes(earlier) + " of " +
                    other +
                    ", which takes those lines first: this mapping is then tested "
                    "only on the rest after " +
                    in_quotes(earlier) + ", so it can only match what follows it");
        }
        break;
    }
}

void warn_about_mapping(Warnings& warnings, const Settings& settings,
                        const std::vector<const SeenLine*>& lines, std::size_t j) {
    const FieldMapping& mapping = settings.mappings[j];
    const SeenLine& line = *lines[j];
    const std::string_view written = written_element(line);
    if (trimmed_upper(mapping.element) == "ASCII") {
        add(warnings, line,
            "this is a mapping with the element " + tag(mapping.element) +
                ", not the folding switch: write \"ASCII=1\" with nothing between \"ASCII\" and \"=\"");
    }
    if (std::string warning = xml_name_warning("the element", mapping.element); !warning.empty()) {
        add(warnings, line, std::move(warning));
    } else if (holds_utf8_letters(mapping.element)) {
        add(warnings, line,
            "the element " + tag(mapping.element) +
                " holds UTF-8 letters, but the document is declared windows-1250: readers will "
                "see other letters in its name");
    }
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
    if (!mapping.constant) warn_about_prefix(warnings, settings, lines, j);
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
        switch (line.config.kind) {
            case LineKind::InputName:
            case LineKind::OutputName: warn_about_name_line(warnings, line); break;
            case LineKind::FoldSwitch: {
                const std::string upper = trimmed_upper(line.text);
                if (!has_digit_after_sign(std::string_view(upper).substr(upper.find("ASCII=") + 6))) {
                    add(warnings, line, "no number after \"ASCII=\": it counts as 0, folding off");
                }
                break;
            }
            case LineKind::DecodeSwitch: {
                const std::string upper = trimmed_upper(line.text);
                if (!has_digit_after_sign(std::string_view(upper).substr(upper.find("DECODE=") + 7))) {
                    add(warnings, line, "no number after \"DECODE=\": it counts as 0, vCard decoding off");
                }
                break;
            }
            case LineKind::Mapping:
            case LineKind::Ignored: break;
        }
    }
    const std::vector<const SeenLine*> lines = mapping_lines(watch);
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        warn_about_mapping(warnings, settings, lines, j);
    }

    if (std::string warning = xml_name_warning("the document element", names.element); !warning.empty()) {
        add(warnings, std::move(warning));
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
    return warnings;
}

void describe_warnings(std::string& out, Warnings warnings) {
    // Line by line, and the warnings about the whole run after them.
    std::stable_sort(warnings.begin(), warnings.end(), [](const Warning& a, const Warning& b) {
        return (a.line == 0 ? SIZE_MAX : a.line) < (b.line == 0 ? SIZE_MAX : b.line);
    });
    out += "\nWarnings\n";
    if (warnings.empty()) out += "  none\n";
    for (const Warning& warning : warnings) out += "  " + warning.text + "\n";
}

// ---- Watching the cards go by ---------------------------------------------------------

struct CardWatch {
    const Settings* settings = nullptr;
    std::size_t begun = 0;
    std::size_t ended_without_begin = 0;
    bool begun_since_end = false;
    std::vector<std::size_t> required_empty;    // per mapping, over the cards left out
    std::vector<std::size_t> forbidden_filled;  // per mapping, over the cards left out
    std::vector<std::size_t> filled_written;    // per mapping, over the records written
    std::size_t ended = 0;
    std::vector<std::string> first_left_out;  // a line about each of the first few
};

// How many of the cards left out are shown one by one.
constexpr std::size_t kCardsShown = 20;

// A value short enough for a line about a card.
std::string value_shown(std::string_view value) {
    constexpr std::size_t kShownBytes = 40;
    if (value.size() <= kShownBytes) return in_quotes(value);
    return in_quotes(value.substr(0, kShownBytes)) + "...";
}

// Why one card was left out, and a value that helps to find it in the card file.
std::string left_out_card(const Settings& settings, const CardState& card, std::size_t number) {
    std::string reasons;
    std::string other;
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const FieldMapping& mapping = settings.mappings[j];
        const std::string& value = card.values[j];
        std::string reason;
        if (mapping.condition == Condition::Required && value.empty()) {
            reason = "Required " + tag(mapping.element) + " is empty";
        } else if (mapping.condition == Condition::Forbidden && !value.empty()) {
            reason = "Forbidden " + tag(mapping.element) + " holds " + value_shown(value);
        } else if (other.empty() && !value.empty()) {
            other = tag(mapping.element) + " " + value_shown(value);
        }
        if (!reason.empty()) reasons += (reasons.empty() ? "" : ", ") + reason;
    }
    return "card " + std::to_string(number) + ": " + reasons +
           (other.empty() ? " (no other value)" : " (with " + other + ")");
}

void on_card_begun(void* context) {
    auto& watch = *static_cast<CardWatch*>(context);
    ++watch.begun;
    watch.begun_since_end = true;
}

void on_card_ended(void* context, const CardState& card, bool written) {
    auto& watch = *static_cast<CardWatch*>(context);
    ++watch.ended;
    if (!watch.begun_since_end) ++watch.ended_without_begin;
    watch.begun_since_end = false;
    if (!written && watch.first_left_out.size() < kCardsShown) {
        watch.first_left_out.push_back(left_out_card(*watch.settings, card, watch.ended));
    }
    const std::vector<FieldMapping>& mappings = watch.settings->mappings;
    for (std::size_t j = 0; j < mappings.size(); ++j) {
        const bool empty = card.values[j].empty();
        if (written) {
            watch.filled_written[j] += empty ? 0 : 1;
        } else if (mappings[j].condition == Condition::Required) {
            watch.required_empty[j] += empty ? 1 : 0;
        } else if (mappings[j].condition == Condition::Forbidden) {
            watch.forbidden_filled[j] += empty ? 0 : 1;
        }
    }
}

bool discard(void*, const char*, std::size_t, int&) { return true; }

std::string mapping_name(const Settings& settings, std::size_t j) {
    return "mapping " + std::to_string(j + 1) + " " + tag(settings.mappings[j].element);
}

void describe_cards(std::string& out, const Settings& settings, const DocumentNames& names,
                    const ConversionResult& result, const CardWatch& watch) {
    out += "\nCards in " + in_quotes(names.input_file) + "\n";
    out += "  cards seen (lines beginning with \"END:\"): " + std::to_string(result.cards_ended) + "\n";
    out += "  lines beginning with \"BEGIN:VCARD\": " + std::to_string(watch.begun) + "\n";
    if (watch.ended_without_begin != 0) {
        out += "  cards without a \"BEGIN:VCARD\" line of their own: " +
               std::to_string(watch.ended_without_begin) + " (they keep the values that were current)\n";
    }
    out += "  records a run would write: " + std::to_string(result.records_written) + "\n";
    const std::size_t left_out = result.cards_ended - result.records_written;
    out += "  cards left out: " + std::to_string(left_out) + "\n";
    if (left_out != 0) {
        out += "  why (a card left out counts once for each reason it has):\n";
        for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
            if (watch.required_empty[j] != 0) {
                out += "    Required " + mapping_name(settings, j) +
                       " found empty: " + std::to_string(watch.required_empty[j]) + "\n";
            }
            if (watch.forbidden_filled[j] != 0) {
                out += "    Forbidden " + mapping_name(settings, j) +
                       " found filled: " + std::to_string(watch.forbidden_filled[j]) + "\n";
            }
        }
        out += left_out > kCardsShown ? "  the first " + std::to_string(kCardsShown) + " cards left out"
                                      : std::string("  the cards left out");
        out += ", numbered as seen:\n";
        for (const std::string& card : watch.first_left_out) out += "    " + card + "\n";
    }
    if (settings.mappings.empty()) {
        out += "  no mappings: every record is written without elements\n";
        return;
    }
    out += "  written records in which the value is not empty:\n";
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        out += "    " + mapping_name(settings, j) + ": " + std::to_string(watch.filled_written[j]) + " of " +
               std::to_string(result.records_written) + "\n";
    }
}

// Writes to standard output; an explanation that can't be written fails like a run
// whose output can't be written.
bool print(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
        return true;
    }
    report("cannot write", "standard output", errno != 0 ? errno : EIO);
    return false;
}

// Runs the conversion loop over the vCard file with a sink that keeps nothing, watching
// every card. Returns the exit status.
int explain_cards(const Settings& settings, const DocumentNames& names) {
    errno = 0;
    std::FILE* file = std::fopen(names.input_file.c_str(), "rb");
    if (file == nullptr) return report("cannot open", names.input_file, errno);
    FileSource source{file};
    LineReader input = make_line_reader(ByteSource{read_from_file, &source});

    CardWatch watch;
    watch.settings = &settings;
    watch.required_empty.resize(settings.mappings.size());
    watch.forbidden_filled.resize(settings.mappings.size());
    watch.filled_written.resize(settings.mappings.size());
    const ConversionResult result =
        convert_document(settings, names.element, input, ByteSink{discard, nullptr},
                         CardObserver{on_card_begun, on_card_ended, nullptr, nullptr, &watch});
    std::fclose(file);
    if (input.error != 0) return report("cannot read", names.input_file, input.error);

    std::string out;
    describe_cards(out, settings, names, result, watch);
    return print(out) ? 0 : 1;
}

}  // namespace

int run_explain() {
    ConfigWatch watch;
    Settings settings;
    ConfigFileFacts facts;
    if (!load_settings(settings, ConfigObserver{on_config_line, on_config_stopped, &watch}, facts)) return 1;
    const DocumentNames names = document_names(settings);

    std::string out =
        "quorlan --explain: how quorlan.ini is read and what a run would do (no file is written)\n\n";
    describe_settings(out, settings, names, facts, watch);
    describe_lines(out, watch);
    describe_warnings(out, collect_warnings(settings, names, watch));
    if (!print(out)) return 1;
    return explain_cards(settings, names);
}

}  // namespace quorlan
