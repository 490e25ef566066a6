// The document writer: the buffer the document is gathered in, its flush to the sink, and
// the form that frames the document and renders each record that the loop has finished.
// The record form is quorlan's own; a template gives another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/capture.h"
#include "convert/finish.h"
#include "text/function_ref.h"

namespace quorlan {

// Where the document goes: a file at the program's edge, a buffer in tests.
struct ByteSink {
    // Writes all `size` bytes; returns false and sets `error` to an errno value on failure.
    using Write = FunctionRef<bool(const char* data, std::size_t size, int& error)>;
    Write write;
    // Ends a page of a paged document and begins the next, or unset where the pages follow
    // one another in one stream. False with an errno value in `error` on failure.
    using EndPage = FunctionRef<bool(int& error)>;
    EndPage end_page{};
};

// A sink that keeps nothing, for a run that only watches the cards (--explain, --init).
ByteSink discarding_sink();

// The two ends of the document's frame.
enum class FramePart { Start, End };

// What the document looks like, chosen once per run. Each part appends to `out` in the
// document's encoding, escaped as the form writes values.
struct DocumentForm {
    // The start of the document, before the first card, and its end, written only when the
    // input was read to its end.
    FunctionRef<void(FramePart part, std::string& out)> frame;
    // A card that the filter passed, its values finished: what it becomes.
    FunctionRef<void(const CardState& card, std::string& out)> record;
    // The mappings whose components of structured values the form shows (a template's
    // {{N.1}}), one bit each: capture keeps theirs, which costs a little on every value taken.
    std::uint64_t components = 0;
    // How the numbers of phone mappings are grouped when values are decoded text.
    PhoneGrouping text_phones = PhoneGrouping::ByDigits;
    // A form that writes its document as pages tells where each page ends: true with the
    // offset in `out` of the next page end not yet told, false when there is none. Unset
    // where the document is one stream.
    FunctionRef<bool(std::size_t& at)> take_page_end{};
};

struct DocumentWriter {
    DocumentForm form;
    RecordFinishing finishing;
    ByteSink sink;
    std::string out;  // written, not yet handed to the sink
    bool failed = false;
    int error = 0;  // the errno value of the failed write
};

// A writer whose document starts at once: the form's opening is in its buffer.
DocumentWriter open_document(DocumentForm form, RecordFinishing finishing, ByteSink sink);

// Hands the pages that the form has ended to the sink, each followed by its end.
void hand_over_pages(DocumentWriter& writer);

// At a card's end: the card is filtered and its values finished, once, in place, and the
// form renders the finished record. True when the card became a record.
inline bool write_card(DocumentWriter& writer, CardState& card) {
    if (!finish_record(writer.finishing, card)) return false;
    writer.form.record(card, writer.out);
    if (writer.form.take_page_end) hand_over_pages(writer);
    return true;
}

// Hands the buffer to the sink once it holds a block's worth. False once a write failed.
bool flush_when_full(DocumentWriter& writer);

// Ends the document (with the form's closing when `complete`) and hands the rest to the
// sink. False when a write failed.
bool close_document(DocumentWriter& writer, bool complete);

}  // namespace quorlan
