#include "explain/explain.h"

#include <string>
#include <string_view>
#include <vector>

#include "config/config_file.h"
#include "config/settings.h"
#include "convert/document.h"
#include "diagnose/cards.h"
#include "diagnose/census.h"
#include "diagnose/show.h"
#include "explain/census_report.h"
#include "explain/config_report.h"
#include "explain/config_warnings.h"
#include "explain/config_watch.h"
#include "explain/template_report.h"
#include "explain/value_checks.h"
#include "explain/value_report.h"
#include "io/card_file.h"
#include "io/messages.h"
#include "text/line_reader.h"

namespace quorlan {

namespace {

// Everything the report learns from one pass of the run's loop over the card file: it
// counts what the conversion tells of each line, value and card.
struct CardFileWatch {
    CardWatch cards;
    Census census;
    ValueChecks values;

    void operator()(const CardBegun&) {
        note_card_begun(cards);
        census_card_begun(census);
        checks_card_begun(values);
    }
    void operator()(const CardEnded& card) {
        note_card_ended(cards, card);
        census_card_ended(census, card);
        checks_card_ended(values, card);
    }
    void operator()(const CardLineFact& line) {
        census_line(census, line);
        check_line(values, line);
    }
    void operator()(const ValueFact& value) {
        census_value(census, value);
        check_value(values, value);
    }
};

// Runs the conversion loop over the vCard file with a sink that keeps nothing, watching
// every line, value and card. Returns the exit status.
int explain_cards(const Settings& settings, const DocumentNames& names, const ConfigWatch& config,
                  const ConfigFileFacts& facts, TemplateReport* templated) {
    // With CARDDAV=, the cards are those the last run kept in the card folder: read offline.
    const bool from_server = !settings.carddav.url.empty();
    CardFile cards;
    int open_error = 0;
    if (!open_card_file(cards, from_server ? settings.carddav.folder : names.input_file, from_server, open_error)) {
        if (from_server) return report("cannot read the card folder (a run fetches it)", cards.name, open_error);
        return report_unopened_input(names.input_file, open_error, facts.present);
    }
    LineReader& input = cards.reader;

    CardFileWatch watch{make_card_watch(settings), make_census(settings), make_value_checks(settings)};
    watch.cards.look = look_at_card_file(input);
    const ConversionObserver observer{watch, watch, watch, watch};
    // With a usable template, the cards go through its form, which keeps the first record.
    const ConversionResult result =
        templated != nullptr && templated->usable
            ? convert_document(settings, input, document_form(templated->compiled), discarding_sink(), observer,
                               cards.from_utf16)
            : convert_document(settings, names.element, input, discarding_sink(), observer, cards.from_utf16);
    const int close_error = close_card_file(cards);
    watch.cards.encoding = encoding_name(cards.file.utf16.guess.encoding);
    watch.values.text_is_unicode = cards.from_utf16;
    if (report_reading_end(failing_file(cards), input.error, close_error) != 0) return 1;

    std::string out;
    describe_cards(out, settings, names, result, watch.cards);
    std::vector<std::string_view> written;
    for (const SeenLine* line : mapping_lines(config)) written.push_back(written_element(*line));
    describe_census(out, settings, watch.census, written, result.cards_ended);
    describe_charsets(out, watch.values);
    describe_undeclared_text(out, watch.values);
    describe_value_warnings(out, watch.values, watch.census, result.cards_ended, result.lost);
    if (templated != nullptr) describe_template_sample(out, *templated);
    return print_report(out);
}

}  // namespace

int run_explain() {
    ConfigWatch watch;
    Settings settings;
    ConfigFileFacts facts;
    auto line_read = [&watch](std::string_view read, const ConfigLine& config, bool beyond_limit, bool goes_on) {
        watch_config_line(watch, read, config, beyond_limit, goes_on);
    };
    auto stopped = [&watch](LineReader& rest) { watch_config_rest(watch, rest); };
    if (!load_settings(settings, ConfigObserver{line_read, stopped}, facts)) return 1;
    const DocumentNames names = document_names(settings);

    std::string out =
        "quorlan --explain: how quorlan.ini is read and what a run would do (no file is written)\n\n";
    describe_settings(out, settings, names, facts, watch);
    describe_lines(out, watch);
    describe_config_warnings(out, settings, names, watch);
    TemplateReport templated;
    if (!settings.template_name.empty()) {
        templated = load_template_report(settings);
        describe_template(out, settings, templated);
    }
    // A reader that has seen enough (`| head`) ends the report here, quietly.
    if (const ReportOutput printed = write_report(out); printed != ReportOutput::Written) {
        return printed == ReportOutput::Failed ? 1 : 0;
    }
    return explain_cards(settings, names, watch, facts, settings.template_name.empty() ? nullptr : &templated);
}

}  // namespace quorlan
