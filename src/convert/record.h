// The record form of the document: one <vcf> record per finished card, one element per
// mapping, in windows-1250 or UTF-8, framed by the declaration and the document element.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "convert/writer.h"

namespace quorlan {

// How decoded values, which are text, are written: in UTF-8 or windows-1250, folded to
// ASCII or not. Chosen once per run, with the element names as text.
struct TextWriting {
    bool utf8 = false;
    bool fold = false;
    std::vector<std::string> elements;  // as written (name_for_document)
};

TextWriting make_text_writing(const Settings& settings);

// Appends text (UTF-8) as element content: markup characters as entities, CR and LF as
// references and the control characters XML forbids as "_", as the record form writes bytes;
// a character that the document can't hold, or folding does not turn into ASCII, is
// written as a decimal character reference ("&#1081;").
void append_escaped_text(std::string& out, std::string_view text, const TextWriting& writing);

// The record form as a run writes it: the element names and encoding chosen once.
struct RecordForm {
    const Settings* settings = nullptr;
    std::string element;  // the document element, as written
    bool text = false;    // values are text (decoding on), written as `writing` says
    TextWriting writing;

    // The declaration and the start tag of the document element, or its end tag.
    void operator()(FramePart part, std::string& out) const;
    // One <vcf> record of a finished card.
    void operator()(const CardState& card, std::string& out) const;
};

RecordForm make_record_form(const Settings& settings, std::string_view element);

// The record form as the writer calls it; `form` must outlive it.
DocumentForm document_form(RecordForm& form);

}  // namespace quorlan
