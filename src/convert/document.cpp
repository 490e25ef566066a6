#include "convert/document.h"

#include <array>
#include <cstdint>

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "convert/card.h"
#include "text/text_ops.h"
#include "vcard/decode.h"
#include "vcard/logical_lines.h"

namespace quorlan {

namespace {

// Output is gathered and handed to the sink in blocks of about this size.
constexpr std::size_t kFlushBytes = std::size_t{64} * 1024;

bool append_to_buffer(void* context, const char* data, std::size_t size, int&) {
    static_cast<std::string*>(context)->append(data, size);
    return true;
}

bool flush(ByteSink sink, std::string& out, ConversionResult& result) {
    if (out.empty()) return true;
    if (!sink.write(sink.context, out.data(), out.size(), result.write_error)) {
        result.write_failed = true;
        return false;
    }
    out.clear();
    return true;
}

// The bytes a card line may begin with, once decoded and folded, to matter at all: the
// first bytes of the prefixes, and the "E" of "END:" (or its "e", where it counts in
// any case).
std::array<bool, 256> make_leading_bytes(const PrefixIndex& index, bool any_case) {
    std::array<bool, 256> leading = index.first_byte;
    leading['E'] = true;
    if (any_case) leading['e'] = true;
    return leading;
}

// The first byte the line will have once decoded, and folded when `fold` is set. It
// depends on the first two bytes alone: a decoded pair becomes one byte, and folding
// keeps the length.
std::uint8_t first_byte_decoded(std::string_view line, bool fold) {
    auto first = static_cast<std::uint8_t>(line[0]);
    if (first < 0x80) return first;  // neither decoded nor folded
    if (line.size() > 1) {
        const auto second = static_cast<std::uint8_t>(line[1]);
        if (is_decoded_pair(first, second)) first = cp1250_byte_of(first, second);
    }
    return fold ? folded_byte(first) : first;
}

// The card lines as the file holds them: each read of the line reader is a line. A line
// is a view into the reader's block, copied only when it can matter.
struct ExactLines {
    LineReader& input;
    // Only a watcher learns which lines a vCard reader would join at soft line breaks;
    // the run itself takes each read as it is.
    bool follow = false;
    SoftBreakFollower soft_breaks{};
    std::size_t lines_ended = 0;  // where the reader stood after the last read of the loop
    bool line_goes_on = false;
    static constexpr bool kDecoding = false;

    // `raw` gets the read with its line end trimmed, NUL bytes not yet looked for: they
    // can't make a line begin or end a card, nor give it another first byte that matters.
    bool next(std::string_view& raw, std::size_t& number, LineJoin& join) {
        number = input.lines_ended + 1;
        const bool piece = input.line_goes_on;
        // A line that capture took by the ";=" rule is one the follower has not seen:
        // the line after it starts afresh.
        const bool taken_between = input.lines_ended != lines_ended || piece != line_goes_on;
        if (!read_line_view(input, raw)) return false;
        join = piece ? LineJoin::Piece : LineJoin::Own;
        if (follow) follow_line(text_before_nul(raw), piece, taken_between, join);
        raw = trimmed_line_end(raw);
        return true;
    }
    void follow_line(std::string_view read, bool piece, bool taken_between, LineJoin& join) {
        if (taken_between) soft_breaks = {};
        if (follow_soft_breaks(soft_breaks, read, !piece, input.line_goes_on)) join = LineJoin::SoftBreak;
        lines_ended = input.lines_ended;
        line_goes_on = input.line_goes_on;
    }
    // The line as it is read: up to a NUL, trimmed after that.
    static std::string_view as_read(std::string_view raw) { return trimmed_line_end(text_before_nul(raw)); }
    // Where the first byte from 0x80 up stands in the line that `take` gave, or npos when
    // it has none.
    std::size_t plain = std::string_view::npos;
    // The line as it is read, as a view into the block while no byte of it is to change:
    // most card lines are plain ASCII, which neither decoding nor folding touch. One pass
    // finds the NUL that ends the text and the first byte that decoding may change.
    std::string_view take(std::string_view raw, std::string& line) {
        const std::size_t stop = first_marked(raw, [](std::uint64_t word) {
            return bytes_equal(word, '\0') | (word & 0x8080808080808080);
        });
        if (stop == raw.size() || raw[stop] == '\0') {
            plain = std::string_view::npos;
            return trimmed_line_end(raw.substr(0, stop));
        }
        plain = stop;
        line.assign(trimmed_line_end(raw.substr(0, stop + find_byte(raw.substr(stop), '\0'))));
        return line;
    }
    static bool begins_card(std::string_view line) { return begins_with(line, "BEGIN:VCARD"); }
    // The line may be a continuation that capture read in its place; when that read went
    // on with a longer line, its text is not where the file's lines begin, and a card
    // ended there would be one that anyone could write into a long value.
    bool ends_card(std::string_view line) const { return input.began_line && begins_with(line, "END:"); }
    static void decode(std::string&) {}
    // The byte tables of windows-1250: UTF-8 letters of U+00A0 to U+017F become bytes,
    // and folded when `fold` is set. Decoding and folding change only bytes from 0x80 up:
    // the plain start of the line is looked for once, and a line of plain ASCII passes both
    // by. Folding turns letters into letters and leaves alone the bytes that trimming
    // removes, so it is done in the decoding pass, ahead of the trimming between them.
    std::string_view convert(std::string_view taken, std::string& line, bool fold) const {
        if (plain == std::string_view::npos) return taken;
        if (fold) {
            utf8_to_cp1250_folded_after(line, plain);
        } else {
            utf8_to_cp1250_after(line, plain);
        }
        trim_line_end(line);
        return line;
    }
};

// The card lines as vCard readers read them: logical lines, quoted-printable decoded, the
// lines that begin and end a card in any letter case.
// A line is a view where the logical line reader holds it, copied only when it can matter.
struct DecodedLines {
    LogicalLineReader reader;
    static constexpr bool kDecoding = true;

    bool next(std::string_view& raw, std::size_t& number, LineJoin& join) {
        join = LineJoin::Own;
        if (!read_logical_line_view(reader, raw, number)) return false;
        raw = trimmed_line_end(raw);
        return true;
    }
    static std::string_view as_read(std::string_view raw) { return raw; }
    // Only a quoted-printable line changes before capture: any other stays a view into the
    // reader, which holds it until the next read, and capture copies just its value.
    bool copied = false;
    std::string_view take(std::string_view raw, std::string& line) {
        copied = is_quoted_printable_line(raw);
        if (!copied) return raw;
        line.assign(raw);
        return line;
    }
    static bool begins_card(std::string_view line) { return begins_with_any_case(line, "BEGIN:VCARD"); }
    static bool ends_card(std::string_view line) { return begins_with_any_case(line, "END:"); }
    void decode(std::string& line) const {
        if (copied) decode_quoted_printable(line);
    }
    // Values are decoded into text, and folded as text, once captured.
    std::string_view convert(std::string_view taken, std::string& line, bool) const {
        if (!copied) return taken;
        trim_line_end(line);
        return line;
    }
};

// The document element's name: in a UTF-8 document as text, in windows-1250 as it stands.
std::string element_as_written(std::string_view element, bool utf8) {
    return utf8 ? text_from_bytes(element) : std::string(element);
}

template <typename Lines>
ConversionResult convert_lines(const Settings& settings, std::string_view element, Lines& lines,
                               LineReader& input, ByteSink sink, const CardObserver& observer) {
    ConversionResult result;
    TextWriting writing;
    if constexpr (Lines::kDecoding) writing = make_text_writing(settings);
    const std::string document_element = element_as_written(element, writing.utf8);
    std::string out;
    out.reserve(kFlushBytes + kFlushBytes / 8);
    out += writing.utf8 ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<"
                        : "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\r\n<";
    out += document_element;
    out += ">\r\n";

    const PrefixIndex index = make_prefix_index(settings);
    const std::array<bool, 256> leading = make_leading_bytes(index, Lines::kDecoding);
    PrefixHeads prefixes = Lines::kDecoding ? make_prefix_heads(settings) : PrefixHeads{};
    // When decoding, an "END:" line ends a card only when a card has begun or a line fed a
    // field since the last end: "END:VCALENDAR" or a second "END:VCARD" make no empty record.
    bool card_open = false;
    const bool fold = settings.fold_ascii != 0;
    const CardObserver* watcher = observer.value_taken != nullptr ? &observer : nullptr;
    CardState card = make_card_state(settings);
    std::string line;
    line.reserve(kLineBufferSize);
    std::size_t number = 0;
    LineJoin join = LineJoin::Own;
    std::string_view raw;
    while (lines.next(raw, number, join)) {
        if (observer.card_line != nullptr) observer.card_line(observer.context, number, Lines::as_read(raw), join);
        // The second and later pieces of a line longer than one read are text deep inside a
        // value, such as a note or a photo: taken as lines of their own, a long note from
        // anyone could start cards and give them names and numbers.
        if (join == LineJoin::Piece) continue;
        // The card start is recognised on the line as read, before any decoding.
        if (Lines::begins_card(raw)) {
            reset_card(card);
            card_open = true;
            if (observer.card_begun != nullptr) observer.card_begun(observer.context);
        }
        // A line that can neither feed a value nor end the card changes nothing: most
        // bytes of a large export are inline photos, so their lines skip the decoding.
        // (Quoted-printable decoding starts after the first colon, so it can't change
        // the first byte.)
        if constexpr (Lines::kDecoding) {
            if (raw.empty() || (!Lines::ends_card(raw) && !may_feed(prefixes, raw))) continue;
        } else {
            if (raw.empty() || !leading[first_byte_decoded(raw, fold)]) continue;
        }
        // The line is a view, of the line buffer once it is copied there to be changed.
        std::string_view current = lines.take(raw, line);
        if (current.empty()) continue;  // a NUL after a leading space left nothing of it
        lines.decode(line);
        current = lines.convert(current, line, fold);
        if constexpr (Lines::kDecoding) {
            if (capture_decoded_values(current, settings, prefixes, card, watcher, number)) card_open = true;
        } else {
            current = capture_values(current, line, input, settings, index, card, watcher);
        }
        // Capture may have replaced the line with a continuation line: the card ends
        // when what it holds now begins with "END:".
        if (lines.ends_card(current) && (!Lines::kDecoding || card_open)) {
            ++result.cards_ended;
            bool written = false;
            if constexpr (Lines::kDecoding) {
                settle_card(settings, prefixes, card, watcher);
                written = write_text_record(settings, writing, card, out);
            } else {
                written = write_record(settings, card, out);
            }
            if (written) ++result.records_written;
            if (observer.card_ended != nullptr) observer.card_ended(observer.context, card, written);
            // When decoding, each card starts empty, even one whose "BEGIN:VCARD" is missing.
            if (Lines::kDecoding) {
                reset_card(card);
                card_open = false;
            }
        }
        if (out.size() >= kFlushBytes && !flush(sink, out, result)) return result;
    }
    // Input that could not be read to its end leaves the document without its end tag,
    // so that no XML reader takes the part written for the whole phonebook.
    if (input.error == 0) {
        out += "</";
        out += document_element;
        out += ">\r\n";
    }
    flush(sink, out, result);
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

ByteSink memory_sink(std::string& buffer) { return ByteSink{append_to_buffer, &buffer}; }

ConversionResult convert_document(const Settings& settings, std::string_view element,
                                  LineReader& input, ByteSink sink, const CardObserver& observer) {
    if (settings.decode != 0) {
        DecodedLines lines{make_logical_line_reader(input)};
        return convert_lines(settings, element, lines, input, sink, observer);
    }
    ExactLines lines{input, observer.card_line != nullptr};
    return convert_lines(settings, element, lines, input, sink, observer);
}

}  // namespace quorlan
