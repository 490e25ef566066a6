// The document: the file names and the loop over the card lines, which the writer turns
// into the document.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "convert/capture.h"
#include "convert/observer.h"
#include "convert/writer.h"
#include "text/line_reader.h"

namespace quorlan {

struct DocumentNames {
    std::string input_file;   // input_base and ".vcf"
    std::string output_file;  // the effective output base and ".xml"
    std::string element;      // the effective output base without its directory part
};

DocumentNames document_names(const Settings& settings);

struct ConversionResult {
    bool write_failed = false;
    int write_error = 0;
    // Counts for whoever wants to know what the run did.
    std::size_t cards_ended = 0;
    std::size_t records_written = 0;
    std::size_t embedded_cards = 0;  // when decoding: cards inside an AGENT line of a card
    std::size_t cards_begun = 0;     // lines that began a card ("BEGIN:VCARD")
    // When decoding: the card the file ended inside, left out as it has no "END:" line: the
    // line it begins on (0 when there is none) and its name (its FN, else its N; empty when
    // it has neither).
    std::size_t unfinished_card_line = 0;
    std::string unfinished_card_name;
    LostValues lost;                 // when decoding: values that reached no field
};

// Writes the whole document for the card lines of `input` to `sink`: the declaration, the
// start tag, one record per card that passes the filter, and the end tag, telling
// `observer` (if any) about every card. Stops at the first failed write. Read errors end
// the input, leave the end tag out and are left in `input.error`. `from_utf16`: the lines
// are UTF-8 converted from a UTF-16 file, Unicode whatever charset they declare.
ConversionResult convert_document(const Settings& settings, std::string_view element, LineReader& input,
                                  ByteSink sink, const ConversionObserver& observer = {}, bool from_utf16 = false);

// The same in another form of the document: the form frames it and writes the records.
ConversionResult convert_document(const Settings& settings, LineReader& input, DocumentForm form, ByteSink sink,
                                  const ConversionObserver& observer = {}, bool from_utf16 = false);

}  // namespace quorlan
