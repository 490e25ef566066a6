#include "app/program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "app/carddav_run.h"
#include "app/template_run.h"
#include "app/warnings.h"
#include "config/config_file.h"
#include "config/settings.h"
#include "convert/document.h"
#include "diagnose/cards.h"
#include "io/card_file.h"
#include "io/files.h"
#include "io/messages.h"
#include "io/pages.h"
#include "io/platform.h"

namespace quorlan {

namespace {

// The first failure of the run, reported; the exit status 1, or 0 when there is none.
// Decided before anything is committed, so that a failure leaves every file as it was.
int first_failure(const Settings& settings, const ConversionResult& result, const CardFile& cards,
                  int input_close_error, const DocumentNames& names, CardFileLook look) {
    if (result.write_failed) return report("cannot write", names.output_file, result.write_error);
    if (const int status = report_reading_end(failing_file(cards), cards.reader.error, input_close_error);
        status != 0) {
        return status;
    }
    // Read as vCard readers read it, a file in which no card ended is an export that went
    // wrong (empty, cut off, of another kind): a phonebook without entries would replace
    // the phone's. The byte reading keeps writing one, as its users have always had.
    if (settings.decode && result.cards_ended == 0) {
        return report_no_card(failing_file(cards), why_no_card(look, result), names.output_file);
    }
    return 0;
}

// True when `output`, links followed, is the card file `input` or "quorlan.ini"; then
// says so on standard error.
bool refuse_output_that_is_an_input(const std::string& output, const std::string& input) {
    const FileIdentity written = file_identity(output);
    if (!written.exists) return false;
    const char* what = nullptr;
    std::string name;
    if (same_file(written, file_identity(input))) {
        what = "the card file";
        name = input;
    } else if (same_file(written, file_identity(kConfigFile))) {
        what = "the configuration file";
        name = kConfigFile;
    } else {
        return false;
    }
    std::fprintf(stderr, "quorlan: %s is %s %s; nothing written\n", quoted_name(output).c_str(), what,
                 quoted_name(name).c_str());
    return true;
}

// "cannot create" would mislead about a phonebook that is there but read-only.
int report_uncreated_output(const std::string& name, int error) {
    std::error_code ignored;
    const bool exists = std::filesystem::exists(name, ignored) && !std::filesystem::is_directory(name, ignored);
    if (!exists || (error != EACCES && error != EPERM && error != EROFS)) return report("cannot create", name, error);
    std::fprintf(stderr, "quorlan: cannot replace or write %s, which exists (is it read-only?): %s\n",
                 quoted_name(name).c_str(), std::strerror(error));
    return 1;
}

// The document's way to its file, or to its pages.
// The form of the run: the record form, or the template's.
struct RunForm {
    LoadedTemplate loaded;
    CompiledTemplate compiled;
    bool templated = false;
    bool paged = false;
};

// Opens the card file, or the card folder of an address book, and reads its first block:
// the input is opened, and read, before the output is created, so that a missing or
// unreadable input never touches an existing phonebook. False after reporting why not.
bool open_input(CardFile& cards, const Settings& settings, const DocumentNames& names, bool config_read) {
    const bool from_server = !settings.carddav.url.empty();
    int error = 0;
    if (!open_card_file(cards, from_server ? settings.carddav.folder : names.input_file, from_server, error)) {
        if (from_server) report("cannot read", settings.carddav.folder, error);
        else report_unopened_input(names.input_file, error, config_read);
        return false;
    }
    if (cards.reader.error != 0) {
        (void)close_card_file(cards);  // the read failed first: that is what is reported
        report("cannot read", failing_file(cards), cards.reader.error);
        return false;
    }
    return true;
}

// Converts the cards into the opened output; the output is left for the caller to commit
// or abandon.
ConversionResult convert_to(const Settings& settings, const DocumentNames& names, CardFile& cards, RunForm& run,
                            PagedOutput& output, LeftOutTally& left_out) {
    const ByteSink sink = run.paged ? ByteSink{ByteSink::Write::bind<write_page>(output),
                                               ByteSink::EndPage::bind<begin_next_page>(output)}
                                    : ByteSink{ByteSink::Write::bind<write_output>(output.first)};
    const ConversionObserver observer = left_out_observer(left_out);
    if (run.templated) {
        return convert_document(settings, cards.reader, document_form(run.compiled), sink, observer, cards.from_utf16);
    }
    return convert_document(settings, names.element, cards.reader, sink, observer, cards.from_utf16);
}

// Any failure leaves the old file (or pages) as it was; only a complete document replaces
// it. Returns the exit status.
int finish_output(PagedOutput& output, bool paged, const std::string& output_file, int failure) {
    if (failure != 0) {
        if (paged) abandon_pages(output);
        else abandon_output(output.first);
        return failure;
    }
    if (const int commit_error = paged ? commit_pages(output) : commit_output(output.first); commit_error != 0) {
        return report("cannot write", output_file, commit_error);
    }
    return 0;
}

}  // namespace

int run_program() {
    Settings settings;
    ConfigFileFacts facts;
    if (!load_settings(settings, ConfigObserver{}, facts)) return 1;
    const DocumentNames names = document_names(settings);
    if (refuse_output_that_is_an_input(names.output_file, names.input_file)) return 1;
    RunForm run;
    run.templated = !settings.template_name.empty();
    if (run.templated && !prepare_template(settings, run.loaded, run.compiled, names.output_file)) return 1;
    run.paged = run.templated && writes_pages(run.loaded);
    // Cards from an address book server are brought into their folder first, and read from there.
    if (!settings.carddav.url.empty() && !refresh_card_folder(settings)) return 1;

    CardFile cards;
    if (!open_input(cards, settings, names, facts.present)) return 1;
    // Nothing, or a UTF-8 byte-order mark alone, is what an empty address book exports.
    const CardFileLook look = look_at_card_file(cards.reader);
    PagedOutput output;
    if (int error = 0; !open_output(output.first, names.output_file, error)) {
        (void)close_card_file(cards);  // the output failed first: that is what is reported
        return report_uncreated_output(names.output_file, error);
    }
    LeftOutTally left_out = make_left_out_tally(settings);
    const ConversionResult result = convert_to(settings, names, cards, run, output, left_out);
    const int close_error = close_card_file(cards);
    const int failure = first_failure(settings, result, cards, close_error, names, look);
    if (const int status = finish_output(output, run.paged, names.output_file, failure); status != 0) return status;
    warn_about_the_document(settings, names, result, look != CardFileLook::Empty, left_out);
    if (run.templated) warn_about_the_rules(settings, run.loaded, run.compiled, names.output_file);
    return 0;
}

}  // namespace quorlan
