#include "explain/config_report.h"

#include <filesystem>

#include "convert/finish.h"
#include "diagnose/show.h"
#include "text/text_ops.h"
#include "vcard/value_text.h"

namespace quorlan {

namespace {

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
    finish_record(make_record_finishing(alone, PhoneGrouping::Fixed), card);
    return card.values[0];
}

std::string describe_mapping(FieldMapping mapping, const SeenLine& line, bool decoding) {
    // Without decoding the prefix is at most kMaxPrefixBytes: say what the cut drops.
    std::string dropped;
    if (!decoding && mapping.prefix.size() > kMaxPrefixBytes) {
        dropped = mapping.prefix.substr(kMaxPrefixBytes);
        mapping.prefix.resize(kMaxPrefixBytes);
        trim_line_end(mapping.prefix);
    }
    std::string text = "element " + tag(mapping.element) + ", prefix " + in_quotes(mapping.prefix) + " (" +
                       count_of(mapping.prefix.size(), "byte", "bytes");
    if (!dropped.empty()) {
        text += ", cut at " + std::to_string(kMaxPrefixBytes) + ": " + in_quotes(dropped) + " is dropped";
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

// The decoding switch as the whole file leaves it: the last "DECODE=" line read counts.
bool decoding(const ConfigWatch& watch) {
    bool on = false;
    for (const SeenLine& line : watch.lines) {
        if (line.read && line.config.kind == LineKind::DecodeSwitch) on = line.config.number != 0;
    }
    return on;
}

std::string switch_text(std::string_view keyword, std::string_view what, std::int32_t number, std::string_view on,
                        std::string_view off) {
    return "holds \"" + std::string(keyword) + "\": " + std::string(what) + " switch, number " +
           std::to_string(number) + std::string(number != 0 ? on : off);
}

// What a line that sets something (a file, a switch, the template, the address) sets.
std::string describe_setting_line(const ConfigLine& config) {
    switch (config.kind) {
        case LineKind::InputName:
            return "holds \".vcf\": names the input file " + in_quotes(config.name + ".vcf") +
                   " (everything before \".vcf\")";
        case LineKind::OutputName:
            if (!config.name.empty() && config.name[0] == '*') {
                return "holds \".xml\": names the output file after the input (the name begins with \"*\")";
            }
            return "holds \".xml\": names the output file " + in_quotes(config.name + ".xml");
        case LineKind::FoldSwitch:
            return switch_text(kFoldKeyword, "folding", config.number, ", folding on", ", folding off");
        case LineKind::DecodeSwitch:
            return switch_text(kDecodeKeyword, "decoding", config.number, ", vCard decoding on",
                               ", vCard decoding off");
        case LineKind::Utf8Switch:
            return switch_text(kUtf8Keyword, "UTF-8", config.number, ", a UTF-8 document (with DECODE=1)",
                               ", a windows-1250 document");
        case LineKind::CodepageSwitch: {
            const std::string charset = codepage_charset(config.number);
            const std::string read_as = charset.empty()
                                            ? ", undeclared text that is not UTF-8 read as windows-1250"
                                            : ", undeclared text that is not UTF-8 read as " + charset + " (with DECODE=1)";
            return switch_text(kCodepageKeyword, "code page", config.number, read_as, read_as);
        }
        case LineKind::TemplateName:
            return "begins with \"TEMPLATE=\": the phonebook's form comes from the template " + in_quotes(config.name);
        case LineKind::PhonebookUrl:
            return "begins with \"PHONEBOOK_URL=\": the phone fetches the phonebook from " + in_quotes(config.name) +
                   ", where the pages of a paged form link to one another";
        case LineKind::Mapping:
        case LineKind::Ignored:
        case LineKind::CarddavLine: break;
    }
    return {};
}

std::string describe_line(const ConfigWatch& watch, const SeenLine& line, std::size_t mapping_number,
                          const SeenLine* stop) {
    if (!line.read) {
        return "not read: the reading ended at " + where(*stop) + " (at most " +
               std::to_string(kMaxMappings) + " mappings)";
    }
    switch (line.config.kind) {
        case LineKind::Mapping:
            if (line.beyond_limit) {
                return "a mapping line beyond the " + std::to_string(kMaxMappings) +
                       "th: not stored, and the reading of quorlan.ini ends here";
            }
            return "mapping " + std::to_string(mapping_number) + ": " +
                   describe_mapping(line.config.mapping, line, decoding(watch));
        case LineKind::Ignored: return line.text.empty() ? "ignored: empty" : "ignored: no \"=\" in it";
        case LineKind::CarddavLine:
            return "a CardDAV line: the cards come from an address book server (with DECODE=1), kept in a folder";
        case LineKind::InputName:
        case LineKind::OutputName:
        case LineKind::FoldSwitch:
        case LineKind::DecodeSwitch:
        case LineKind::Utf8Switch:
        case LineKind::CodepageSwitch:
        case LineKind::TemplateName:
        case LineKind::PhonebookUrl: break;
    }
    std::string text = describe_setting_line(line.config);
    if (const SeenLine* later = overridden_by(watch, line)) {
        text += "; " + where(*later) + " sets it again, so this line has no effect";
    }
    return text;
}

// Where a setting comes from: its line, or the default.
std::string origin(const SeenLine* line) { return line != nullptr ? " (" + where(*line) + ")" : " (default)"; }

void describe_configuration(std::string& out, const ConfigFileFacts& facts, const ConfigWatch& watch) {
    out += "  configuration:    ";
    if (!facts.present) {
        out += "no quorlan.ini here: the defaults hold\n";
        return;
    }
    out += "quorlan.ini, " + count_of(watch.lines_read, "line", "lines") + " read";
    if (facts.bom_skipped) out += " (a UTF-8 byte-order mark before line 1 is skipped)";
    if (const char* encoding = encoding_name(facts.encoding)) {
        out += std::string(" (") + encoding + ", converted to UTF-8 as it is read)";
    }
    out += "\n";
}

void describe_files(std::string& out, const Settings& settings, const DocumentNames& names,
                    const ConfigWatch& watch) {
    if (!settings.carddav.url.empty()) {
        out += "  input:            the address book " + in_quotes(settings.carddav.url) + ", its cards kept in the folder " +
               in_quotes(settings.carddav.folder) + " (read here as the last run left it)\n";
    } else {
        out += "  input file:       " + in_quotes(names.input_file) + origin(last_of(watch, LineKind::InputName)) + "\n";
    }
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
    // A template writes its own elements: the output's name names none of them.
    if (settings.template_name.empty()) {
        out += "  document element: " + tag(names.element);
        if (names.output_file.size() != names.element.size() + 4) out += " (the output's name without its folder)";
        out += "\n";
    }
}

void describe_switches(std::string& out, const Settings& settings, const ConfigWatch& watch) {
    out += "  ASCII folding:    ";
    out += settings.fold_ascii ? "on" : "off";
    out += origin(last_of(watch, LineKind::FoldSwitch)) + "\n";
    out += "  vCard decoding:   ";
    out += settings.decode ? "on" : "off";
    out += origin(last_of(watch, LineKind::DecodeSwitch)) + "\n";

    out += "  document in:      ";
    out += document_is_utf8(settings) ? "UTF-8" : "windows-1250";
    if (settings.utf8 && !settings.decode) out += ", as UTF8=1 needs DECODE=1";
    out += document_is_utf8(settings) && !settings.utf8 ? " (every template's document is)"
                                                            : origin(last_of(watch, LineKind::Utf8Switch));
    out += "\n";

    if (const SeenLine* codepage = last_of(watch, LineKind::CodepageSwitch); codepage != nullptr) {
        const std::string charset = codepage_charset(settings.codepage);
        out += "  undeclared text:  ";
        out += !settings.decode ? "as bytes, as CODEPAGE= needs DECODE=1"
                                    : (charset.empty() ? "windows-1250" : charset) + " when it is not UTF-8";
        out += " (" + where(*codepage) + ")\n";
    }
}

}  // namespace

void describe_settings(std::string& out, const Settings& settings, const DocumentNames& names,
                       const ConfigFileFacts& facts, const ConfigWatch& watch) {
    out += "Settings\n";
    describe_configuration(out, facts, watch);
    describe_files(out, settings, names, watch);
    describe_switches(out, settings, watch);
    out += "  mappings:         " + std::to_string(settings.mappings.size()) + " (at most " +
           std::to_string(kMaxMappings) + ")\n";
    for (const SeenLine& line : watch.lines) {
        if (!line.beyond_limit) continue;
        out += "  reading stopped:  at " + where(line) + ", a mapping line beyond the " +
               std::to_string(kMaxMappings) + "th; " + count_of(watch.lines_not_read, "line", "lines") +
               " after it not read\n";
    }
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
    if (watch.lines_not_kept != 0) {
        out += "  and " + count_of(watch.lines_not_kept, "more line", "more lines") +
               ", not shown: ignored, set again later or not read\n";
    }
}

}  // namespace quorlan
