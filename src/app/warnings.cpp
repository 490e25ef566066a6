#include "app/warnings.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "diagnose/lost_values.h"
#include "diagnose/show.h"
#include "diagnose/switch_typos.h"
#include "diagnose/switch_warnings.h"
#include "diagnose/xml_names.h"
#include "io/messages.h"

namespace quorlan {

namespace {

void warn(const std::string& text) { std::fprintf(stderr, "quorlan: warning: %s\n", text.c_str()); }

// Switches that have no effect as they are set.
void warn_about_switches(const Settings& settings) {
    if (needs_decoding(settings.utf8, settings)) warn(utf8_needs_decoding(Wording::Run));
    if (!settings.decode && std::any_of(settings.mappings.begin(), settings.mappings.end(),
                                            [](const FieldMapping& mapping) { return mapping.list; })) {
        warn("[] (every value, as a list) needs DECODE=1, so each field marked so takes one value: without "
             "decoding, lines are bytes, not properties whose values could be told apart");
    }
    if (needs_decoding(settings.codepage, settings)) {
        warn(codepage_needs_decoding(Wording::Run));
    } else if (names_unknown_codepage(settings.codepage)) {
        warn(unknown_codepage(settings.codepage, Wording::Run));
    }
}

// Element names that XML readers refuse or that the document can't hold, and mapping
// lines meant as switches. With a template, the names are variables and the template
// writes the elements.
void warn_about_names(const Settings& settings, const DocumentNames& names) {
    const bool records = settings.template_name.empty();
    const bool as_text = settings.decode;
    const bool utf8 = document_is_utf8(settings);
    const std::string output = quoted_name(names.output_file);
    if (records) {
        const ElementName element = check_element_name(names.element, as_text, utf8);
        if (element.fault == NameFault::NotXml) {
            warn(xml_name_run_warning("the document element", element, output, "rename the XML file"));
        }
    }
    for (const FieldMapping& mapping : settings.mappings) {
        if (records) {
            if (const std::string warning = xml_name_run_warning(
                    "the element", check_element_name(mapping.element, as_text, utf8), output, "rename it");
                !warning.empty()) {
                warn(warning);
            }
        }
        if (const std::string typo = switch_typo_warning(mapping); !typo.empty()) warn("quorlan.ini: " + typo);
    }
}

}  // namespace

LeftOutTally make_left_out_tally(const Settings& settings) { return LeftOutTally{make_card_watch(settings), false}; }

void LeftOutTally::operator()(const CardEnded& card) {
    if (any_written) return;
    any_written = card.written;
    if (!card.written) note_card_ended(cards, card);
}

ConversionObserver left_out_observer(LeftOutTally& tally) {
    ConversionObserver observer;
    observer.card_ended = tally;
    return observer;
}

namespace {

// What the cards came to: values no field takes, a file without a card or ending inside
// one, and a phonebook the filter left empty.
void warn_about_the_cards(const Settings& settings, const DocumentNames& names, const ConversionResult& result,
                          bool input_held_bytes, const LeftOutTally& tally) {
    if (result.lost.count != 0) {
        warn(lost_values_count(result.lost) + " of " + quoted_name(names.input_file) +
             " reach no field: a second value where a field takes one, or a kind no field names. To keep them, " +
             lost_values_fix(settings, result.lost) + "; quorlan --explain lists them with their lines");
    }
    if (input_held_bytes && result.cards_ended == 0) {
        warn("no card ended in " + quoted_name(names.input_file) +
             " (no line began with \"END:\"): is it a vCard file?");
    }
    if (const std::string unfinished = unfinished_card(result); !unfinished.empty()) {
        warn(quoted_name(names.input_file) + " ends inside a card: " + unfinished +
             ", so it was left out (was the export cut off?)");
    }
    // Leaving cards out is what the filter is for; a phonebook without a single record
    // is almost always a prefix that matches no line of this export.
    if (result.cards_ended != 0 && result.records_written == 0) {
        warn(quoted_name(names.output_file) + " holds no record: " + count_of(result.cards_ended, "card", "cards") +
             " ended in " + quoted_name(names.input_file) + " and none passed the filter (" +
             commonest_reason(settings, tally.cards) + "); run quorlan --explain to see why");
    }
}

}  // namespace

void warn_about_the_document(const Settings& settings, const DocumentNames& names, const ConversionResult& result,
                             bool input_held_bytes, const LeftOutTally& tally) {
    warn_about_switches(settings);
    warn_about_names(settings, names);
    warn_about_the_cards(settings, names, result, input_held_bytes, tally);
}

}  // namespace quorlan
