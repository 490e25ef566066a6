#include "app/init.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/carddav_run.h"
#include "app/init_family.h"
#include "config/config_file.h"
#include "config/settings.h"
#include "convert/document.h"
#include "diagnose/cards.h"
#include "diagnose/census.h"
#include "diagnose/show.h"
#include "io/card_file.h"
#include "io/files.h"
#include "io/messages.h"
#include "io/platform.h"
#include "templates/builtins.h"
#include "text/line_reader.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

constexpr std::string_view kOutput = "phonebook.xml";

// Element and prefix of each field offered, the more particular phones before the rest,
// as a line feeds only the first field that names it. Every card with a name gets one: its
// N, else the FN that vCard 4.0 and company cards may have alone, else its ORG; and the FN
// that NAME leaves is the full name. The phones and mail addresses are lists, so that a
// card's second mobile is written too, and OTHER takes every number the typed fields leave
// (untyped, VOICE, PAGER, CAR, a custom label): every number of every card is written.
constexpr std::string_view kFields[][2] = {
    {"NAME*", "N|FN|ORG"},   {"FULL", "FN|N"},          {"MOBILE#[]", "TEL;CELL"},
    {"FAX#[]", "TEL;FAX"},   {"WORK#[]", "TEL;WORK"},   {"HOME#[]", "TEL;HOME"},
    {"OTHER#[]", "TEL"},     {"EMAIL[]", "EMAIL"},      {"COMPANY", "ORG"},
};

// The fields and the phonebook's name: the usual ones, or those of a phone family's
// built-in template.
std::vector<BuiltinField> offered_fields(const BuiltinTemplate* family) {
    if (family != nullptr) return {family->fields.begin(), family->fields.end()};
    std::vector<BuiltinField> fields;
    for (const auto& [element, prefix] : kFields) fields.push_back(BuiltinField{element, prefix});
    return fields;
}

std::string_view output_of(const BuiltinTemplate* family) { return family != nullptr ? family->output : kOutput; }

bool ends_in_vcf(std::string_view name) {
    if (name.size() < 4) return false;
    std::string end(name.substr(name.size() - 4));
    to_upper_ascii(end);
    return end == ".VCF";
}

// The folder's one card file; reports none or several and gives an empty name then.
std::string the_card_file() {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(".", error)) {
        const std::string name = entry.path().filename().string();
        if (ends_in_vcf(name) && entry.is_regular_file(error)) found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    if (found.size() == 1) return found[0];
    if (found.empty()) {
        std::fprintf(stderr, "quorlan: no .vcf file in this folder: name the card file (quorlan --init CARDFILE)\n");
    } else {
        std::string names;
        for (const std::string& name : found) {
            names += ' ';
            names += quoted_name(name);
        }
        std::fprintf(stderr, "quorlan: %zu .vcf files in this folder:%s; name one (quorlan --init CARDFILE)\n",
                     found.size(), names.c_str());
    }
    return {};
}

// The fields a new quorlan.ini offers and how many cards of the file fill each.
struct InitCounts {
    std::size_t cards = 0;
    std::vector<std::size_t> filled;  // per mapping of init_settings
};

// The settings --init writes for `card_file`: decoding on, the usual fields, or with a
// phone `family`, the fields and the template of that built-in.
Settings init_settings(const std::string& card_file, const BuiltinTemplate* family) {
    Settings settings;
    settings.input_base = card_file.substr(0, card_file.size() - 4);
    settings.decode = true;
    for (const BuiltinField& field : offered_fields(family)) {
        std::string line = std::string(field.element) + "=" + std::string(field.prefix);
        settings.mappings.push_back(classify_config_line(line).mapping);
    }
    if (family != nullptr) settings.template_name = family->name;
    return settings;
}

// The text of quorlan.ini: the file names, the switch, and each field with the number of
// cards it fills; a field that no card fills is left as a comment.
std::string init_text(const std::string& card_file, const Settings& settings, const InitCounts& counts,
                      const BuiltinTemplate* family) {
    // quorlan.ini has no comments: a line is ignored when it holds no "=" and names no
    // file, so these lines hold neither.
    std::string text = "# Written by quorlan --init for the card file on the next line, which holds " +
                       count_of(counts.cards, "card", "cards") + "\r\n";
    text += card_file + "\r\n" + std::string(output_of(family)) + "\r\nDECODE=1\r\n";
    if (family != nullptr) text += "TEMPLATE=" + std::string(family->name) + "\r\n";
    // The example holds neither "=" nor a file name, so that the line stays a comment.
    if (family != nullptr && family->page_entries != 0) {
        text += "# PHONEBOOK_URL  http://192.168.1.10/phones/   (the folder the phone fetches the phonebook from, "
                "or the file's whole address: put an equals sign after PHONEBOOK_URL so that its pages of " +
                std::to_string(family->page_entries) + " entries link to one another)\r\n";
    }
    const std::vector<BuiltinField> fields = offered_fields(family);
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const std::string element(fields[j].element);
        const std::string prefix(fields[j].prefix);
        // A family's template uses every field: one left out would be a variable no mapping gives.
        if (counts.filled[j] == 0 && family == nullptr) {
            text += "# " + element + "  " + prefix + "   (no card has one; put an equals sign between them to use it)\r\n";
            continue;
        }
        text += "# " + settings.mappings[j].element + ": " + std::to_string(counts.filled[j]) + " of " +
                count_of(counts.cards, "card", "cards") + "\r\n";
        text += element + "=" + prefix + "\r\n";
    }
    return text;
}

struct Counting {
    Census census;
    std::size_t cards = 0;
};

void count_card(Counting& counting, const CardEnded& card) {
    census_card_ended(counting.census, card);
    ++counting.cards;
}

// Counts, by a run's own reading, the cards of the card file and the cards that fill each
// field.
ConversionResult count_cards_in(const Settings& settings, CardFile& cards, InitCounts& counts) {
    Counting counting{make_census(settings)};
    auto on_card_ended = [&counting](const CardEnded& card) { count_card(counting, card); };
    ConversionObserver observer;
    observer.card_ended = on_card_ended;
    const ConversionResult result =
        convert_document(settings, "phonebook", cards.reader, discarding_sink(), observer, cards.from_utf16);
    counts.cards = counting.cards;
    for (const MappingTakes& takes : counting.census.takes) counts.filled.push_back(takes.cards_filled);
    return result;
}

// Counts the cards of the card file, or with CARDDAV= of the card folder; when none ended,
// `why_none` says why, as a run would. False after reporting a file that can't be read.
bool count_cards(const Settings& settings, const std::string& card_file, InitCounts& counts, std::string& why_none) {
    const bool from_server = !settings.carddav.url.empty();
    CardFile cards;
    int error = 0;
    if (!open_card_file(cards, from_server ? settings.carddav.folder : card_file, from_server, error)) {
        report(from_server ? "cannot read" : "cannot open", cards.name, error);
        return false;
    }
    const CardFileLook look = look_at_card_file(cards.reader);
    const ConversionResult result = count_cards_in(settings, cards, counts);
    const int close_error = close_card_file(cards);
    if (report_reading_end(failing_file(cards), cards.reader.error, close_error) != 0) return false;
    if (counts.cards == 0) why_none = why_no_card(look, result);
    return true;
}

// Why quorlan.ini can't name `name` so that a run reads that very file, or nothing when
// it can. Control characters are refused although most would read back: a line break
// would end the line, and the others would be as hard to see in the file as to type.
std::string why_quorlan_ini_cannot_name(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        // C0, DEL, and the C1 controls (NEL among them) and line separators in UTF-8.
        if (b < 0x20 || b == 0x7F || (b == 0xC2 && next >= 0x80 && next <= 0x9F) ||
            name.compare(i, 3, "\xE2\x80\xA8") == 0 || name.compare(i, 3, "\xE2\x80\xA9") == 0) {
            return "it holds a line break or another control character";
        }
    }
    if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) return "it begins or ends with a space";
    if (!ends_in_vcf(name)) return {};
    const std::string line = name + "\r\n";
    std::string_view rest = line;
    LineReader reader = make_line_reader(memory_source(rest));
    const std::string read_back = read_settings(reader).input_base + ".vcf";
    if (read_back == name) return {};
    std::string upper = name.substr(0, name.size() - 4);
    to_upper_ascii(upper);
    return (upper.find(".VCF") != std::string::npos ? "it holds \".vcf\" before its end, so " : "") +
           std::string("quorlan.ini would name ") + quoted_name(read_back) + " instead";
}

// Shows the text written as a terminal may show it, with LF line ends.
std::string shown_lines(const std::string& text) {
    std::string shown;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        shown += terminal_name(std::string_view(text).substr(start, end - start)) + "\n";
        start = end + 2;
    }
    return shown;
}

int usage_error(const std::string& what) {
    std::fprintf(stderr, "quorlan: --init %s (quorlan --init [--for FAMILY] [--] [CARDFILE])\n", what.c_str());
    return 2;
}

// An existing quorlan.ini is the user's: --init never replaces it.
int refuse_to_replace() {
    std::fprintf(stderr, "quorlan: %s already exists and is left as it is: remove or rename it first\n",
                 quoted_name(kConfigFile).c_str());
    return 1;
}

// Writes quorlan.ini whole or not at all, and never over one that another program has
// created since the check above.
bool write_config(const std::string& text) {
    OutputFile output;
    output.keep_existing = true;
    int error = 0;
    if (!open_output(output, kConfigFile, error)) {
        if (error == EEXIST) refuse_to_replace();
        else report("cannot create", kConfigFile, error);
        return false;
    }
    if (!write_output(output, text.data(), text.size(), error)) {
        abandon_output(output);
        report("cannot write", kConfigFile, error);
        return false;
    }
    if (const int commit_error = commit_output(output); commit_error != 0) {
        if (commit_error == EEXIST) refuse_to_replace();
        else report("cannot write", kConfigFile, commit_error);
        return false;
    }
    return true;
}

// Writes quorlan.ini and shows it, with what to do next. Returns the exit status.
int write_and_show(const std::string& text, const BuiltinTemplate* family) {
    if (!write_config(text)) return 1;
    const std::string done = "Wrote quorlan.ini:\n\n" + shown_lines(text) + "\nNext: run quorlan to write " +
                             std::string(output_of(family)) + " (quorlan --explain shows what each line takes)\n";
    return print_report(done);
}

bool names_a_url(std::string_view argument) {
    return argument.starts_with("http://") || argument.starts_with("https://");
}

// The CardDAV lines for `url`: the user from QUORLAN_USER, the password from the variable
// QUORLAN_PASSWORD when it is set, else from .netrc when there is one.
CarddavSettings init_carddav(const std::string& url) {
    CarddavSettings carddav;
    carddav.url = url;
    if (const char* user = std::getenv("QUORLAN_USER"); user != nullptr) carddav.user = user;
    const char* password = std::getenv("QUORLAN_PASSWORD");
    const char* home = std::getenv("HOME");
    std::error_code error;
    if (password != nullptr && *password != '\0') {
        carddav.password_from = "env:QUORLAN_PASSWORD";
    } else if (home != nullptr && std::filesystem::exists(std::filesystem::path(home) / ".netrc", error)) {
        carddav.password_from = "netrc";
    }
    return carddav;
}

std::string carddav_lines(const CarddavSettings& carddav) {
    std::string lines = "CARDDAV=" + carddav.url + "\r\n";
    if (!carddav.user.empty()) lines += "CARDDAV_USER=" + carddav.user + "\r\n";
    if (!carddav.password_from.empty()) lines += "CARDDAV_PASSWORD_FROM=" + carddav.password_from + "\r\n";
    return lines.substr(0, lines.size() - 2);
}

// --init for an address book: the book fetched into its folder, and quorlan.ini written
// from its cards as from a card file.
int run_init_from_server(const std::string& url, const BuiltinTemplate* family) {
    if (url.find_first_of("\r\n\t ") != std::string::npos) return usage_error("was given a URL with a space or a line break");
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(kConfigFile, error))) return refuse_to_replace();
    Settings settings = init_settings("import.vcf", family);
    settings.carddav = init_carddav(url);
    if (!refresh_card_folder(settings)) return 1;
    InitCounts counts;
    std::string why_none;
    if (!count_cards(settings, settings.carddav.folder, counts, why_none)) return 1;
    std::string text = init_text(carddav_lines(settings.carddav), settings, counts, family);
    text.replace(0, text.find("\r\n"), "# Written by quorlan --init for the address book on the next line, which holds " +
                                           count_of(counts.cards, "card", "cards") + "; the cards are kept in the folder " +
                                           settings.carddav.folder);
    return write_and_show(text, family);
}

// The card file --init is for: the one named, else the folder's one .vcf file. Empty,
// with the exit status in `status`, after saying why there is none.
std::string chosen_card_file(const std::vector<std::string>& card_files, int& status) {
    status = 2;
    if (card_files.size() > 1) {
        std::string names;
        for (const std::string& name : card_files) {
            names += ' ';
            names += quoted_name(name);
        }
        status = usage_error("takes one card file, not " + std::to_string(card_files.size()) + ":" + names);
        return {};
    }
    if (card_files.empty()) return the_card_file();
    if (card_files[0].empty()) status = usage_error("was given an empty name: name the card file, or name none");
    return card_files[0];
}

// Why quorlan.ini can't be written for `card_file`, said on standard error; the exit
// status, or 0 when it can.
int refuse_card_file(const std::string& card_file) {
    if (const std::string why = why_quorlan_ini_cannot_name(card_file); !why.empty()) {
        std::fprintf(stderr, "quorlan: %s can't be named in quorlan.ini: %s; rename the card file\n",
                     quoted_name(card_file).c_str(), why.c_str());
        return 1;
    }
    if (!ends_in_vcf(card_file)) {
        std::fprintf(stderr, "quorlan: %s: quorlan.ini can only name a card file whose name ends in .vcf\n",
                     quoted_name(card_file).c_str());
        return 2;
    }
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(kConfigFile, error))) return refuse_to_replace();
    return 0;
}

}  // namespace

int run_init(const std::vector<std::string>& arguments) {
    const BuiltinTemplate* family = nullptr;
    std::vector<std::string> card_files;
    if (!read_family(arguments, family, card_files)) return 2;
    if (card_files.size() == 1 && names_a_url(card_files[0])) return run_init_from_server(card_files[0], family);
    int status = 0;
    const std::string card_file = chosen_card_file(card_files, status);
    if (card_file.empty()) return status;
    if (const int refused = refuse_card_file(card_file); refused != 0) return refused;
    const Settings settings = init_settings(card_file, family);
    // A run reads the name before ".vcf" with ".vcf" after it: where names differ in case,
    // "Contacts.VCF" is not the file it would read.
    const std::string read_by_a_run = document_names(settings).input_file;
    if (std::error_code error; read_by_a_run != card_file && !std::filesystem::exists(read_by_a_run, error)) {
        std::fprintf(stderr, "quorlan: a run reads %s, not %s: rename the card file to that name\n",
                     quoted_name(read_by_a_run).c_str(), quoted_name(card_file).c_str());
        return 1;
    }
    InitCounts counts;
    std::string why_none;
    if (!count_cards(settings, read_by_a_run, counts, why_none)) return 1;
    if (counts.cards == 0) {
        std::fprintf(stderr, "quorlan: %s holds no card (%s): nothing written\n", quoted_name(card_file).c_str(),
                     why_none.c_str());
        return 1;
    }
    return write_and_show(init_text(card_file, settings, counts, family), family);
}

}  // namespace quorlan
