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
#include "io/files.h"
#include "io/folder_source.h"
#include "io/messages.h"
#include "io/pages.h"
#include "io/platform.h"
#include "text/line_reader.h"

namespace quorlan {

namespace {

// The first failure of the run, reported; the exit status 1, or 0 when there is none.
// Decided before anything is committed, so that a failure leaves every file as it was.
int first_failure(const Settings& settings, const ConversionResult& result, const LineReader& input,
                  int input_close_error, const DocumentNames& names, const std::string& input_name,
                  CardFileLook look) {
    if (result.write_failed) return report("cannot write", names.output_file, result.write_error);
    if (const int status = report_reading_end(input_name, input.error, input_close_error); status != 0) {
        return status;
    }
    // Read as vCard readers read it, a file in which no card ended is an export that went
    // wrong (empty, cut off, of another kind): a phonebook without entries would replace
    // the phone's. The byte reading keeps writing one, as its users have always had.
    if (settings.decode != 0 && result.cards_ended == 0) {
        return report_no_card(input_name, why_no_card(look, result), names.output_file);
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

}  // namespace

int run_program() {
    Settings settings;
    ConfigFileFacts facts;
    if (!load_settings(settings, ConfigObserver{}, facts)) return 1;
    const DocumentNames names = document_names(settings);
    if (refuse_output_that_is_an_input(names.output_file, names.input_file)) return 1;
    LoadedTemplate loaded;
    CompiledTemplate compiled_template;
    const bool templated = !settings.template_name.empty();
    if (templated && !prepare_template(settings, loaded, compiled_template, names.output_file)) return 1;

    // Cards from an address book server are brought into their folder first, and read from there.
    const bool from_server = !settings.carddav.url.empty();
    if (from_server && !refresh_card_folder(settings)) return 1;
    FolderSource folder;

    // The input is opened, and its first block read, before the output is created, so
    // that a missing or unreadable input never touches an existing phonebook.
    TextFile input_file;
    int error = 0;
    if (from_server ? !open_folder_source(folder, settings.carddav.folder, error)
                    : !open_text_file(input_file, names.input_file, error)) {
        if (from_server) return report("cannot read", settings.carddav.folder, error);
        return report_unopened_input(names.input_file, error, facts.present);
    }
    const auto close_input = [&] { return from_server ? close_folder_source(folder) : close_text_file(input_file); };
    LineReader input = make_line_reader(from_server ? folder_bytes(folder) : text_bytes(input_file));
    prime_reader(input);
    if (input.error != 0) {
        (void)close_input();  // the read failed first: that is what is reported
        return report("cannot read", from_server ? folder.failed_file : names.input_file, input.error);
    }
    // Nothing, or a UTF-8 byte-order mark alone, is what an empty address book exports.
    const CardFileLook look = look_at_card_file(input);
    input.from_utf16 = !from_server && input_file.utf16.guess.encoding != TextEncoding::Bytes;

    PagedOutput output;
    const bool paged = templated && writes_pages(loaded);
    if (!open_output(output.first, names.output_file, error)) {
        (void)close_input();  // the output failed first: that is what is reported
        return report_uncreated_output(names.output_file, error);
    }
    LeftOutTally left_out = make_left_out_tally(settings);
    const ByteSink sink = paged ? ByteSink{write_page, &output, begin_next_page}
                                : ByteSink{write_output, &output.first, nullptr};
    const ConversionResult result =
        templated ? convert_document(settings, input, document_form(compiled_template), sink, left_out_observer(left_out))
                  : convert_document(settings, names.element, input, sink, left_out_observer(left_out));
    const int close_error = close_input();

    // Any failure leaves the old file (or pages) as it was; only a complete document
    // replaces it.
    const std::string& input_name = from_server ? settings.carddav.folder : names.input_file;
    if (const int status = first_failure(settings, result, input, close_error, names,
                                         from_server && !folder.failed_file.empty() ? folder.failed_file : input_name,
                                         look);
        status != 0) {
        if (paged) abandon_pages(output);
        else abandon_output(output.first);
        return status;
    }
    if (const int commit_error = paged ? commit_pages(output) : commit_output(output.first); commit_error != 0) {
        return report("cannot write", names.output_file, commit_error);
    }
    warn_about_the_document(settings, names, result, look != CardFileLook::Empty, left_out);
    if (templated) warn_about_the_rules(settings, loaded, compiled_template, names.output_file);
    return 0;
}

}  // namespace quorlan
