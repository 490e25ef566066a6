#include "app/init.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "convert/document.h"
#include "explain/census.h"
#include "explain/show.h"
#include "io/files.h"
#include "io/platform.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

constexpr std::string_view kOutput = "phonebook.xml";

// Element and prefix of each field offered, the more particular phones before the rest,
// as a line feeds only the first field that names it. Every card with a name gets one: its
// N, else the FN that vCard 4.0 and company cards may have alone, else its ORG; and the FN
// that NAME leaves is the full name.
constexpr std::string_view kFields[][2] = {
    {"NAME*", "N|FN|ORG"}, {"FULL", "FN|N"},       {"MOBILE#", "TEL;CELL"}, {"FAX#", "TEL;FAX"},
    {"WORK#", "TEL;WORK"}, {"HOME#", "TEL;HOME"}, {"EMAIL", "EMAIL"},       {"COMPANY", "ORG"},
};

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

struct Counting {
    Census census;
    std::size_t cards = 0;
};

void on_card_ended(void* context, const CardState& card, bool) {
    auto& counting = *static_cast<Counting*>(context);
    census_card_ended(counting.census, card);
    ++counting.cards;
}

bool discard(void*, const char*, std::size_t, int&) { return true; }

// Counts, by a run's own reading, the cards of the file that fill each field.
bool count_cards(const Settings& settings, const std::string& card_file, InitCounts& counts) {
    TextFile file;
    int error = 0;
    if (!open_text_file(file, card_file, error)) {
        report("cannot open", card_file, error);
        return false;
    }
    LineReader input = make_line_reader(text_bytes(file));
    Counting counting{make_census(settings)};
    CardObserver observer{};
    observer.card_ended = on_card_ended;
    observer.context = &counting;
    convert_document(settings, "phonebook", input, ByteSink{discard, nullptr}, observer);
    close_text_file(file);
    if (input.error != 0) {
        report("cannot read", card_file, input.error);
        return false;
    }
    counts.cards = counting.cards;
    for (const MappingTakes& takes : counting.census.takes) counts.filled.push_back(takes.cards_filled);
    return true;
}

// Writes the text the way a run writes its phonebook: whole, or not at all.
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
    if (!write_output(&output, text.data(), text.size(), error)) {
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

}  // namespace

Settings init_settings(const std::string& card_file) {
    Settings settings;
    settings.input_base = card_file.substr(0, card_file.size() - 4);
    settings.decode = 1;
    for (const auto& [element, prefix] : kFields) {
        std::string line = std::string(element) + "=" + std::string(prefix);
        settings.mappings.push_back(classify_config_line(line).mapping);
    }
    return settings;
}

std::string init_text(const std::string& card_file, const Settings& settings, const InitCounts& counts) {
    // quorlan.ini has no comments: a line is ignored when it holds no "=" and names no
    // file, so these lines hold neither.
    std::string text = "# Written by quorlan --init for the card file on the next line, which holds " +
                       count_of(counts.cards, "card", "cards") + "\r\n";
    text += card_file + "\r\n" + std::string(kOutput) + "\r\nDECODE=1\r\n";
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const std::string element(kFields[j][0]);
        const std::string prefix(kFields[j][1]);
        if (counts.filled[j] == 0) {
            text += "# " + element + "  " + prefix + "   (no card has one; put an equals sign between them to use it)\r\n";
            continue;
        }
        text += "# " + settings.mappings[j].element + ": " + std::to_string(counts.filled[j]) + " of " +
                count_of(counts.cards, "card", "cards") + "\r\n";
        text += element + "=" + prefix + "\r\n";
    }
    return text;
}

int run_init(const std::vector<std::string>& arguments) {
    std::string card_file;
    for (const std::string& argument : arguments) {
        if (!argument.starts_with("-")) {
            card_file = argument;
            break;
        }
    }
    if (card_file.empty()) {
        card_file = the_card_file();
        if (card_file.empty()) return 2;
    } else if (!ends_in_vcf(card_file)) {
        std::fprintf(stderr, "quorlan: %s: quorlan.ini can only name a card file whose name ends in .vcf\n",
                     quoted_name(card_file).c_str());
        return 2;
    }
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(kConfigFile, error))) return refuse_to_replace();
    const Settings settings = init_settings(card_file);
    // A run reads the name before ".vcf" with ".vcf" after it: where names differ in case,
    // "Contacts.VCF" is not the file it would read.
    const std::string read_by_a_run = document_names(settings).input_file;
    if (read_by_a_run != card_file && !std::filesystem::exists(read_by_a_run, error)) {
        std::fprintf(stderr, "quorlan: a run reads %s, not %s: rename the card file to that name\n",
                     quoted_name(read_by_a_run).c_str(), quoted_name(card_file).c_str());
        return 1;
    }
    InitCounts counts;
    if (!count_cards(settings, read_by_a_run, counts)) return 1;
    if (counts.cards == 0) {
        std::fprintf(stderr, "quorlan: %s holds no card (no BEGIN:VCARD ... END:VCARD): nothing written\n",
                     quoted_name(card_file).c_str());
        return 1;
    }
    const std::string text = init_text(card_file, settings, counts);
    if (!write_config(text)) return 1;
    std::string shown = text;
    std::erase(shown, '\r');
    return print("Wrote quorlan.ini:\n\n" + shown + "\nNext: run quorlan to write " + std::string(kOutput) +
                 " (quorlan --explain shows what each line takes)\n") == ReportOutput::Failed
               ? 1
               : 0;
}

}  // namespace quorlan
