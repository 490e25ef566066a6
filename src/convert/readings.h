// The two readings of a card file's lines for the conversion loop (convert/document.cpp):
// the exact one, which takes the file's lines byte for byte, and the decoding one, which
// reads them as vCard readers do. Each knows how its lines are read, which matter and how
// they are captured; only the loop includes this.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "config/settings.h"
#include "convert/capture.h"
#include "convert/document.h"
#include "convert/observer.h"
#include "convert/waiting.h"
#include "text/line_reader.h"
#include "text/text_ops.h"
#include "vcard/decode.h"
#include "vcard/embedded_cards.h"
#include "vcard/head.h"
#include "vcard/logical_lines.h"
#include "vcard/value_text.h"

namespace quorlan {

// The bytes a card line may begin with, once decoded and folded, to matter at all: the
// first bytes of the prefixes, and the "E" of "END:".
inline std::array<bool, 256> make_leading_bytes(const PrefixIndex& index) {
    std::array<bool, 256> leading = index.first_byte;
    leading['E'] = true;
    return leading;
}

// The first byte the line will have once decoded, and folded when `fold` is set. It
// depends on the first two bytes alone: a decoded pair becomes one byte, and folding
// keeps the length.
inline std::uint8_t first_byte_decoded(std::string_view line, bool fold) {
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
    const Settings& settings;
    const ConversionObserver* watcher;
    const PrefixIndex index = make_prefix_index(settings);
    const std::array<bool, 256> leading = make_leading_bytes(index);
    const bool fold = settings.fold_ascii;
    // Only a watcher learns which lines a vCard reader would join at soft line breaks;
    // the run itself takes each read as it is.
    bool follow = false;
    SoftBreakFollower soft_breaks{};
    // Capture took a line by the ";=" rule that moved the reader on: the follower has not
    // seen it, so the line after it starts afresh.
    bool taken_between = false;
    std::string line{};  // the line, once copied to be changed

    // `raw` gets the read with its line end trimmed, NUL bytes not yet looked for: they
    // can't make a line begin or end a card, nor give it another first byte that matters.
    std::size_t number = 0;  // the line of the file the current line starts on
    bool next(std::string_view& raw, std::size_t& line_number, LineJoin& join) {
        number = input.lines_ended + 1;
        line_number = number;
        const bool piece = input.line_goes_on;
        if (!read_line_view(input, raw)) return false;
        join = piece ? LineJoin::Piece : LineJoin::Own;
        if (follow) follow_line(text_before_nul(raw), piece, join);
        raw = trimmed_line_end(raw);
        return true;
    }
    void follow_line(std::string_view read, bool piece, LineJoin& join) {
        if (taken_between) soft_breaks = {};
        taken_between = false;
        if (follow_soft_breaks(soft_breaks, read, !piece, input.line_goes_on)) join = LineJoin::SoftBreak;
    }
    // The line as it is read: up to a NUL, trimmed after that.
    static std::string_view as_read(std::string_view raw) { return trimmed_line_end(text_before_nul(raw)); }
    // Cards are not nested in the file as it stands: an embedded card's lines are card lines.
    static bool inside_embedded_card(std::string_view) { return false; }
    static std::size_t embedded_cards() { return 0; }
    static bool begins_card(std::string_view line) { return begins_with(line, "BEGIN:VCARD"); }
    static void begin_card(CardState& card) { reset_card(card); }
    // A line that can neither feed a value nor end the card changes nothing: most bytes of
    // a large export are inline photos, so their lines skip the decoding.
    bool matters(std::string_view raw) const { return !raw.empty() && leading[first_byte_decoded(raw, fold)]; }

    // The line after capture: a view of the line buffer once it is copied there to be
    // changed, or the continuation line that capture read in its place.
    std::string_view capture(std::string_view raw, CardState& card) {
        std::string_view current = take(raw, line);
        if (current.empty()) return current;  // a NUL after a leading space left nothing of it
        current = convert(current, line, fold);
        auto read = [this](std::string& continuation) { read_continuation(continuation); };
        return capture_values(current, line, read, settings, index, card, watcher, number);
    }
    void read_continuation(std::string& continuation) {
        const std::size_t lines_ended = input.lines_ended;
        const bool line_goes_on = input.line_goes_on;
        read_line(input, continuation);
        taken_between = taken_between || input.lines_ended != lines_ended || input.line_goes_on != line_goes_on;
    }
    // Where the first byte from 0x80 up stands in the line that `take` gave, or npos when
    // it has none.
    std::size_t plain = std::string_view::npos;
    // The line as it is read, as a view into the block while no byte of it is to change:
    // most card lines are plain ASCII, which neither decoding nor folding touch. One pass
    // finds the NUL that ends the text and the first byte that decoding may change.
    std::string_view take(std::string_view raw, std::string& copy) {
        const std::size_t stop = first_marked(raw, [](std::uint64_t word) {
            return bytes_equal(word, '\0') | (word & 0x8080808080808080);
        });
        if (stop == raw.size() || raw[stop] == '\0') {
            plain = std::string_view::npos;
            return trimmed_line_end(raw.substr(0, stop));
        }
        plain = stop;
        copy.assign(trimmed_line_end(raw.substr(0, stop + find_byte(raw.substr(stop), '\0'))));
        return copy;
    }
    // The byte tables of windows-1250: UTF-8 letters of U+00A0 to U+017F become bytes,
    // and folded when `fold` is set. Decoding and folding change only bytes from 0x80 up:
    // the plain start of the line is looked for once, and a line of plain ASCII passes both
    // by. Folding turns letters into letters and leaves alone the bytes that trimming
    // removes, so it is done in the decoding pass, ahead of the trimming between them.
    std::string_view convert(std::string_view taken, std::string& copy, bool folding) const {
        if (plain == std::string_view::npos) return taken;
        if (folding) {
            utf8_to_cp1250_folded_after(copy, plain);
        } else {
            utf8_to_cp1250_after(copy, plain);
        }
        trim_line_end(copy);
        return copy;
    }

    // Capture may have replaced the line with a continuation line: the card ends when what
    // it holds now begins with "END:". When that read went on with a longer line, its text
    // is not where the file's lines begin, and a card ended there would be one that anyone
    // could write into a long value.
    bool ends_card(std::string_view current, CardState&) const {
        return input.began_line && begins_with(current, "END:");
    }
    // Every line has fed its field as it came.
    static void settle(CardState&) {}
    static void end_card(CardState&, bool) {}
    // The file as it stands has no card left unfinished: values stay for the next "END:".
    static void note_line(std::string_view) {}
    static void finish(CardState&, ConversionResult&) {}
    // Nothing is lost that a field's property names: the exact reading knows no properties.
    static void take_lost(LostValues&) {}
};

// The card lines as vCard readers read them: logical lines, quoted-printable decoded, the
// lines that begin and end a card in any letter case.
// A line is a view where the logical line reader holds it, copied only when it can matter.
struct DecodedLines {
    LogicalLineReader reader;
    const Settings& settings;
    const ConversionObserver* watcher;
    PrefixHeads prefixes = make_prefix_heads(settings);
    // An "END:" line ends a card only when a card has begun or a line fed a field since the
    // last end: "END:VCALENDAR" or a second "END:VCARD" make no empty record.
    bool card_open = false;
    EmbeddedCards embedded{};
    std::string line{};  // a quoted-printable line, decoded
    // The line the current card begins on, and its name lines, for telling which card a
    // file that ends inside it has lost.
    std::size_t card_start = 0;
    std::string full_name_line{};
    std::string name_line{};
    LostValues lost{};   // by the cards written
    void take_lost(LostValues& to) { to = std::move(lost); }

    std::size_t number = 0;  // the line of the file the current line starts on
    // The current line's property name, looked at once for every step that asks for it.
    NameLook look{};
    bool next(std::string_view& raw, std::size_t& line_number, LineJoin& join) {
        join = LineJoin::Own;
        if (!read_logical_line_view(reader, raw, number)) return false;
        line_number = number;
        raw = trimmed_line_end(raw);
        look = look_at_name(raw);
        return true;
    }
    static std::string_view as_read(std::string_view raw) { return raw; }
    // The lines of a card embedded in an AGENT line are that line's value.
    bool inside_embedded_card(std::string_view raw) {
        return may_be_in_embedded_card(embedded, raw, look.name) && in_embedded_card(embedded, raw, look.name, card_open);
    }
    std::size_t embedded_cards() const { return embedded.count; }
    static bool begins_card(std::string_view line) { return begins_with_any_case(line, "BEGIN:VCARD"); }
    // No line has been captured since the card was last emptied: at the "BEGIN:VCARD" after
    // an "END:" it is empty already.
    bool card_empty = true;
    void begin_card(CardState& card) {
        if (!card_empty) reset_card(card);
        card_empty = true;
        card_open = true;
        forget_card(number);
    }
    void forget_card(std::size_t start) {
        card_start = start;
        full_name_line.clear();
        name_line.clear();
    }
    // The line's look, already made, tells the name lines: an ungrouped name of one or two
    // letters, ended by ";" or ":".
    void note_line(std::string_view raw) {
        if (look.grouped || look.name.size() - 1 > 1 || look.end == raw.size()) return;
        // Appended to the empty buffer, whose room stays from card to card: an append costs
        // less than an assignment, which must allow for the bytes overlapping.
        if (equal_any_case(look.name, "FN")) {
            if (full_name_line.empty()) full_name_line.append(raw);
        } else if (name_line.empty() && equal_any_case(look.name, "N")) {
            name_line.append(raw);
        }
    }
    // Quoted-printable decoding starts after the first colon, so it can't change what
    // decides whether a line matters.
    bool matters(std::string_view raw) const {
        return !raw.empty() && (begins_with_any_case(raw, "END:") || may_feed(prefixes, raw, look));
    }
    // Only a quoted-printable line changes before capture: any other stays a view into the
    // reader, which holds it until the next read, and capture copies just its value.
    std::string_view capture(std::string_view raw, CardState& card) {
        // The first ":" or double quote from the name's end on. Without a quote before it, a
        // ":" there is the line's first: it ends both the head and the property part that may
        // name quoted-printable, found in one scan. Most lines' name runs to it.
        std::size_t stop = look.end;
        if (look.end < raw.size() && raw[look.end] != ':') {
            stop += first_marked(raw.substr(look.end), [](std::uint64_t word) {
                return bytes_equal(word, ':') | bytes_equal(word, '"');
            });
        }
        if (!look.quote && stop < raw.size() && raw[stop] == ':') {
            // A property part shorter than "QUOTED-PRINTABLE" leaves no room for it.
            const bool decoded = stop >= 16 && names_quoted_printable(raw.substr(0, stop));
            // Decoding starts after the first ":", which the head ends at; a line decoded
            // otherwise than at its name's end is left to capture to read.
            const std::string_view current = decoded ? decoded_line(raw) : raw;
            return capture_line(current, card, !decoded || stop == look.end ? stop : std::string_view::npos);
        }
        const std::string_view current = is_quoted_printable_line(raw) ? decoded_line(raw) : raw;
        // Where the head ends, known from the name's end: there when it is the first ":"
        // (quoted-printable decoding starts after that one), else further on in a line that
        // was not decoded. A quote before it is left to capture.
        std::size_t head_size = std::string_view::npos;
        if (!look.quote && look.end < raw.size() && raw[look.end] == ':') {
            head_size = look.end;
        } else if (!look.quote && current.data() == raw.data()) {
            head_size = look.end + head_end(raw.substr(look.end));
        }
        return capture_line(current, card, head_size);
    }
    // The quoted-printable line decoded, in the line buffer.
    std::string_view decoded_line(std::string_view raw) {
        line.assign(raw);
        decode_quoted_printable(line, declares_wide_charset(raw));
        trim_line_end(line);
        return line;
    }
    std::string_view capture_line(std::string_view current, CardState& card, std::size_t head_size) {
        card_empty = false;
        const bool waited = card.waiting.active;
        const bool fed = capture_decoded_values(current, settings, prefixes, card, watcher, number, head_size);
        // A card without "BEGIN:VCARD" begins at its first line that feeds a field or waits to.
        if (!card_open && !waited && (fed || card.waiting.active)) card_start = number;
        if (fed) card_open = true;
        return current;
    }
    // Lines that waited for the card's end count as feeding a field only when one of them
    // does: a card made of lines that feed nothing is no card, whatever waited.
    bool ends_card(std::string_view current, CardState& card) {
        if (!begins_with_any_case(current, "END:")) return false;
        return card_open || waited_lines_feed(card);
    }
    bool waited_lines_feed(CardState& card) {
        if (!card.waiting.active) return false;
        settle(card);
        if (std::any_of(card.values.begin(), card.values.end(), [](const std::string& v) { return !v.empty(); })) {
            return true;
        }
        reset_card(card);
        return false;
    }
    // The lines that waited for the card's end feed their fields.
    void settle(CardState& card) { settle_card(settings, prefixes, card, watcher); }
    // Each card starts empty, even one whose "BEGIN:VCARD" is missing. The values it lost
    // count when it was written: a card the filter leaves out loses them on purpose.
    void end_card(CardState& card, bool written) {
        if (written && card.card_lost.count != 0) keep_lost_values(card, lost);
        reset_card(card);
        card_empty = true;
        card_open = false;
        forget_card(0);
    }
    // A card the file ends inside has no "END:" line and is left out: which it was.
    void finish(CardState& card, ConversionResult& result) {
        if (!card_open && !waited_lines_feed(card)) return;
        result.unfinished_card_line = card_start;
        const std::string& shown = !full_name_line.empty() ? full_name_line : name_line;
        if (!shown.empty()) result.unfinished_card_name = line_value_text(shown, card.charsets);
    }
};

}  // namespace quorlan
