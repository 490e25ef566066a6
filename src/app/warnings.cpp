#include "app/warnings.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "charset/unicode_text.h"
#include "charset/xml_name.h"
#include "diagnose/lost_values.h"
#include "diagnose/show.h"
#include "diagnose/switch_typos.h"
#include "diagnose/xml_names.h"
#include "io/messages.h"
#include "vcard/value_text.h"

namespace quorlan {

namespace {

// Why a reader refuses `written` (an element name as the document holds it: as text in a
// UTF-8 document, else as bytes) as an element name; empty when it takes it. White space
// after the name stands inside the tag, where XML allows it.
std::string why_refused(std::string_view written, bool utf8) {
    return xml_name_problem(name_in_tag(written), utf8, [](std::string_view bytes) {
        std::string quoted = "\"";
        quoted += terminal_name(bytes);
        quoted += '"';
        return quoted;
    });
}

void warn(const std::string& text) { std::fprintf(stderr, "quorlan: warning: %s\n", text.c_str()); }

// How to rename `name`: a name that is taken, when one can be made, and the rule.
std::string renaming_advice(std::string_view name) {
    std::string advice;
    if (const std::string better = xml_name_suggestion(name_in_tag(name)); !better.empty()) {
        advice = ", such as " + terminal_name(better) + ",";
    }
    return advice + " in quorlan.ini (" + kXmlNameRule + ")";
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

void warn_about_the_document(const Settings& settings, const DocumentNames& names, const ConversionResult& result,
                             bool input_held_bytes, const LeftOutTally& tally) {
    if (settings.utf8 != 0 && settings.decode == 0) {
        warn("UTF8=1 needs DECODE=1, so the document is written in windows-1250: without decoding, values are "
             "the card file's bytes, which a UTF-8 document would show garbled");
    }
    if (settings.decode == 0 && std::any_of(settings.mappings.begin(), settings.mappings.end(),
                                            [](const FieldMapping& mapping) { return mapping.list; })) {
        warn("[] (every value, as a list) needs DECODE=1, so each field marked so takes one value: without "
             "decoding, lines are bytes, not properties whose values could be told apart");
    }
    if (settings.codepage != 0 && settings.decode == 0) {
        warn("CODEPAGE= needs DECODE=1, so it is ignored: without decoding, values are the card file's bytes");
    } else if (settings.codepage != 0 && !is_known_codepage(settings.codepage)) {
        warn("CODEPAGE=" + std::to_string(settings.codepage) +
             " names no code page known here, so text that declares no charset and is not UTF-8 stays windows-1250");
    }
    const bool utf8 = document_is_utf8(settings);
    const bool as_text = settings.decode != 0;
    const std::string refused = ", so XML readers will refuse " + quoted_name(names.output_file) + ": ";
    // With a template, the names are variables and the template writes the elements.
    const bool records = settings.template_name.empty();
    if (const std::string problem =
            records ? why_refused(name_for_document(names.element, as_text, utf8), utf8) : std::string();
        !problem.empty()) {
        warn("the document element <" + terminal_name(names.element) + "> is not an XML name (" + problem + ")" +
             refused + "rename the XML file" + renaming_advice(names.element));
    }
    for (const FieldMapping& mapping : settings.mappings) {
        const std::string problem =
            records ? why_refused(name_for_document(mapping.element, as_text, utf8), utf8) : std::string();
        if (!problem.empty()) {
            warn("the element <" + terminal_name(mapping.element) + "> is not an XML name (" + problem + ")" +
                 refused + "rename it" + renaming_advice(mapping.element));
        } else if (records && as_text && !utf8 && lacks_cp1250_character(text_from_bytes(mapping.element))) {
            warn("the element <" + terminal_name(mapping.element) + "> holds characters that windows-1250 lacks, "
                 "written as \"_\" in " + quoted_name(names.output_file) + ": write UTF8=1 for a UTF-8 document, "
                 "or rename it");
        }
        if (const std::string typo = switch_typo_warning(mapping); !typo.empty()) warn("quorlan.ini: " + typo);
    }
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

}  // namespace quorlan
