#include "convert/document.h"

#include <string>

#include "convert/capture.h"
#include "convert/observer.h"
#include "convert/readings.h"
#include "convert/record.h"
#include "vcard/line_head.h"
#include "vcard/logical_lines.h"

namespace quorlan {

namespace {

// Tells the observer of a card line, with its head read once for whoever looks at it.
[[gnu::noinline]] void tell_card_line(const ConversionObserver& observer, const Settings& settings, CardState& card,
                                      std::size_t number, std::string_view raw, LineJoin join) {
    const LineHead head = read_line_head(raw);
    CardLineFact fact{number, raw, join, head, false, {}, false};
    fact.quoted_printable = join == LineJoin::SoftBreak || names_quoted_printable(head.text);
    if (!settings.decode) return observer.card_line(fact);
    for (const auto& [key, value] : head.parsed.params) {
        if (key != "CHARSET") continue;
        fact.declared_charset = value;
        std::string ignored;
        fact.charset_known = convert_from_charset(card.charsets, value, {}, ignored);
        break;
    }
    observer.card_line(fact);
}

// The card the loop captures into, with the components of the values the form shows.
CardState make_loop_card(const Settings& settings, bool from_utf16, const DocumentWriter& writer) {
    CardState card = make_card_state(settings);
    card.charsets.text_is_unicode = from_utf16;
    if (writer.form.components != 0) {
        card.component_mappings = writer.form.components;
        card.components.resize(settings.mappings.size());
    }
    return card;
}

// After the last line: the card the file ends inside, the document's end and what the
// run counted.
template <typename Lines>
void finish_lines(Lines& lines, CardState& card, LineReader& input, DocumentWriter& writer, ConversionResult& result) {
    if (input.error == 0 && !writer.failed) lines.finish(card, result);
    // Input that could not be read to its end leaves the document without its end, so
    // that no XML reader takes the part written for the whole phonebook.
    if (!writer.failed) close_document(writer, input.error == 0);
    result.write_failed = writer.failed;
    result.write_error = writer.error;
    result.embedded_cards = lines.embedded_cards();
    lines.take_lost(result.lost);
}

// The one loop of both readings: `Lines` knows how its lines are read and captured.
template <typename Lines>
ConversionResult convert_lines(Lines& lines, const Settings& settings, LineReader& input, DocumentWriter& writer,
                               const ConversionObserver& observer, bool from_utf16) {
    ConversionResult result;
    CardState card = make_loop_card(settings, from_utf16, writer);
    std::size_t number = 0;
    LineJoin join = LineJoin::Own;
    std::string_view raw;
    while (lines.next(raw, number, join)) {
        if (observer.card_line) tell_card_line(observer, settings, card, number, Lines::as_read(raw), join);
        // The second and later pieces of a line longer than one read are text deep inside a
        // value, such as a note or a photo: taken as lines of their own, a long note from
        // anyone could start cards and give them names and numbers.
        if (join == LineJoin::Piece) continue;
        if (lines.inside_embedded_card(raw)) continue;
        // The card start is recognised on the line as read, before any decoding.
        if (Lines::begins_card(raw)) {
            ++result.cards_begun;
            lines.begin_card(card);
            if (observer.card_begun) observer.card_begun(CardBegun{number});
        }
        lines.note_line(raw);
        if (!lines.matters(raw)) continue;
        const std::string_view current = lines.capture(raw, card);
        if (lines.ends_card(current, card)) {
            ++result.cards_ended;
            lines.settle(card);
            const bool written = write_card(writer, card);
            if (written) ++result.records_written;
            if (observer.card_ended) observer.card_ended(CardEnded{card.values, written, card.waiting.labels});
            lines.end_card(card, written);
        }
        if (!flush_when_full(writer)) break;
    }
    finish_lines(lines, card, input, writer, result);
    return result;
}

}  // namespace

DocumentNames document_names(const Settings& settings) {
    DocumentNames names;
    const std::string& base =
        !settings.output_base.empty() && settings.output_base[0] == '*' ? settings.input_base
                                                                         : settings.output_base;
    names.input_file = settings.input_base + ".vcf";
    names.output_file = base + ".xml";
    // The file may sit in another folder, but only the name itself makes a valid element name.
    const std::size_t slash = base.find_last_of("/\\");
    names.element = slash == std::string::npos ? base : base.substr(slash + 1);
    return names;
}

namespace {

// The decoding reading, apart from the exact one: its preparations stay out of the other's
// way, and its state and loop leave the exact reading's code as it was (sharing one function,
// they changed how the compiler kept the exact reading's per-line state, at a cost of some
// ten instructions a line).
[[gnu::noinline]] ConversionResult convert_decoded(const Settings& settings, LineReader& input,
                                                   DocumentWriter& writer, const ConversionObserver& observer,
                                                   const ConversionObserver* watcher, bool from_utf16) {
    // Files of old Macs end their lines in CR alone, which vCard readers take as line ends.
    prime_reader(input);
    CrLineEnds cr_lines;
    const bool cr_ends_lines = holds_only_cr_line_ends(input);
    if (cr_ends_lines) end_lines_at_cr(input, cr_lines);
    // A UTF-8 byte-order mark is no part of the first line: it would hide the first card's
    // "BEGIN:VCARD".
    skip_utf8_bom(input);
    DecodedLines lines{make_logical_line_reader(input), settings, watcher};
    lines.line.reserve(kLineBufferSize);
    const ConversionResult result = convert_lines(lines, settings, input, writer, observer, from_utf16);
    if (cr_ends_lines) input.source = cr_lines.inner;  // the reader outlives `cr_lines`
    return result;
}

}  // namespace

ConversionResult convert_document(const Settings& settings, LineReader& input, DocumentForm form, ByteSink sink,
                                  const ConversionObserver& observer, bool from_utf16) {
    const PhoneGrouping phones = settings.decode ? PhoneGrouping::ByDigits : PhoneGrouping::Fixed;
    DocumentWriter writer = open_document(form, make_record_finishing(settings, phones), sink);
    // Capture tells of values only when someone listens: a run without pays nothing.
    const ConversionObserver* watcher = observer.value ? &observer : nullptr;
    if (settings.decode) return convert_decoded(settings, input, writer, observer, watcher, from_utf16);
    ExactLines lines{input, settings, watcher};
    lines.follow = static_cast<bool>(observer.card_line);
    lines.line.reserve(kLineBufferSize);
    return convert_lines(lines, settings, input, writer, observer, from_utf16);
}

ConversionResult convert_document(const Settings& settings, std::string_view element, LineReader& input,
                                  ByteSink sink, const ConversionObserver& observer, bool from_utf16) {
    RecordForm form = make_record_form(settings, element);
    return convert_document(settings, input, document_form(form), sink, observer, from_utf16);
}

}  // namespace quorlan
