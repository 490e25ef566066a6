// The record form of the document: one <vcf> record per card that passes the filter, one
// element per mapping, in windows-1250 or UTF-8, framed by the declaration and the document
// element.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "convert/capture.h"
#include "convert/writer.h"

namespace quorlan {

// Checks the Required and Forbidden conditions on the values as captured.
bool passes_filter(const Settings& settings, const CardState& card);

// Called for each line that begins with "END:". When the card passes the filter, applies
// the constants, trimming and phone grouping to the stored values and appends the record
// to `out`. Returns true when a record was written.
bool write_record(const Settings& settings, CardState& card, std::string& out);

// How decoded values, which are text, are written: in UTF-8 or windows-1250, folded to
// ASCII or not. Chosen once per run, with the element names and constants as text.
struct TextWriting {
    bool utf8 = false;
    bool fold = false;
    std::vector<std::string> elements;   // as written (name_for_document)
    std::vector<std::string> constants;  // the constant of each constant field, as text
};

TextWriting make_text_writing(const Settings& settings);

// write_record for values that are text (UTF-8, NFC): constants are text too, and values
// are written as `writing` says.
bool write_text_record(const Settings& settings, const TextWriting& writing, CardState& card, std::string& out);

// For another form of the document: when the card passes the filter, its text values
// become what write_text_record writes (constants, trimming, phone grouping), in place.
bool finish_text_values(const Settings& settings, const TextWriting& writing, CardState& card);

// Appends text (UTF-8) as element content, markup and control characters as append_escaped
// does; a character that the document can't hold, or folding does not turn into ASCII, is
// written as a decimal character reference ("&#1081;").
void append_escaped_text(std::string& out, std::string_view text, const TextWriting& writing);

// Appends `value` as element content: markup characters become entities, CR becomes "&#13;"
// and bytes that an XML document can't hold become "_".
void append_escaped(std::string& out, std::string_view value);

// The record form as a run writes it: the element names, constants and encoding chosen once.
struct RecordForm {
    const Settings* settings = nullptr;
    std::string element;  // the document element, as written
    bool text = false;    // values are text (decoding on), written as `writing` says
    TextWriting writing;
};

RecordForm make_record_form(const Settings& settings, std::string_view element);

// The form for a writer; `form` must outlive it.
DocumentForm record_form(RecordForm& form);

}  // namespace quorlan
