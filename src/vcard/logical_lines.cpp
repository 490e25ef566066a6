#include "vcard/logical_lines.h"

#include <string_view>

#include "vcard/decode.h"

namespace quorlan {

namespace {

void append_capped(std::string& line, std::string_view more, std::size_t cap = kMaxLogicalLineBytes) {
    if (line.size() < cap) line.append(more.substr(0, cap - line.size()));
}

// A physical line is kept to one byte more than a logical line: a folded line loses its
// leading blank when it is joined, and still gives the logical line all it can hold.
constexpr std::size_t kMaxPhysicalLineBytes = kMaxLogicalLineBytes + 1;

std::size_t count_trailing(std::string_view text, char c) {
    std::size_t n = 0;
    while (n < text.size() && text[text.size() - 1 - n] == c) ++n;
    return n;
}

// How the text of a long physical line ends, followed across its reads: the "="s right
// before its last run of CRs, and that run. Only the end of each read is looked at, since
// most long lines are inline photos.
struct LineTail {
    std::size_t equals = 0;
    std::size_t crs = 0;
};

void follow_tail(LineTail& tail, std::string_view text) {
    const std::size_t crs = count_trailing(text, '\r');
    if (crs == text.size()) {
        tail.crs += crs;
        return;
    }
    const std::size_t equals = count_trailing(text.substr(0, text.size() - crs), '=');
    // Text made only of "="s and CRs goes on with the "="s before it, unless CRs came between.
    const bool goes_on = equals + crs == text.size() && tail.crs == 0;
    tail.equals = goes_on ? tail.equals + equals : equals;
    tail.crs = crs;
}

// The further reads of a physical line longer than one read, joined to `reader.ahead` up to
// the cap, with the length and the trailing "="s of the whole text.
void join_pieces(LogicalLineReader& reader) {
    LineReader& input = *reader.input;
    std::string& text = reader.ahead;
    LineTail tail;
    follow_tail(tail, text);
    std::size_t length = text.size();
    // A read holds fewer bytes than a full one only when a NUL ended its text, and a NUL
    // ends the text of the whole physical line.
    bool cut = text.size() < kMaxLineBytes;
    bool ends_in_lf = false;
    std::string_view bytes;
    // The pieces are looked at where the reader holds them: most long lines are inline
    // photos, of which only the first 8 KiB are kept.
    while (input.line_goes_on && read_line_view(input, bytes)) {
        if (cut) continue;
        const std::string_view piece = text_before_nul(bytes);
        cut = input.line_goes_on && piece.size() < kMaxLineBytes;
        ends_in_lf = !input.line_goes_on && input.last_ended_in_lf && piece.size() == bytes.size();
        follow_tail(tail, piece);
        length += piece.size();
        append_capped(text, piece, kMaxPhysicalLineBytes);
    }
    if (ends_in_lf) {
        // The line end is the LF and the CRs right before it, wherever the cap fell.
        length -= tail.crs;
        if (text.size() > length) text.resize(length);
    } else if (tail.crs > 0) {
        tail.equals = 0;
    }
    reader.ahead_length = length;
    reader.ahead_equals = tail.equals;
}

// Reads one physical line into `reader.ahead`, without its line end (the LF and any CRs
// right before it). False at the end of the data.
bool read_ahead(LogicalLineReader& reader) {
    LineReader& input = *reader.input;
    reader.ahead_number = input.lines_ended + 1;
    std::string_view bytes;
    if (!read_line_view(input, bytes)) return false;
    reader.has_ahead = true;
    std::string_view text = text_before_nul(bytes);
    if (input.line_goes_on) {
        reader.ahead.assign(text);
        join_pieces(reader);
        return true;
    }
    // The usual case: the whole line in one read, shorter than the cap. The line end is
    // the LF and the CRs right before it; a NUL ends the text before any of them.
    if (input.last_ended_in_lf && text.size() == bytes.size()) {
        while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    }
    reader.ahead.assign(text);
    reader.ahead_length = text.size();
    reader.ahead_equals = count_trailing(text, '=');
    return true;
}

bool begins_with_blank(std::string_view text) { return !text.empty() && (text[0] == ' ' || text[0] == '\t'); }

}  // namespace

LogicalLineReader make_logical_line_reader(LineReader& input) {
    LogicalLineReader reader;
    reader.input = &input;
    return reader;
}

bool is_quoted_printable_line(std::string_view line) { return names_quoted_printable(line.substr(0, line.find(':'))); }

bool names_quoted_printable(std::string_view property) {
    constexpr std::string_view kKeyword = "QUOTED-PRINTABLE";
    for (std::size_t p = 0; p + kKeyword.size() <= property.size(); ++p) {
        if (begins_with_any_case(property.substr(p), kKeyword)) return true;
    }
    return false;
}

namespace {

// Adds text of the logical line to the bytes kept of its property part, up to its ":".
void add_to_property(SoftBreakFollower& follower, std::string_view text) {
    if (!follower.property_open) return;
    const std::size_t colon = text.find(':');
    append_capped(follower.property, text.substr(0, colon == std::string_view::npos ? text.size() : colon + 1));
    follower.property_open = colon == std::string_view::npos;
}

}  // namespace

bool follow_soft_breaks(SoftBreakFollower& follower, std::string_view read, bool first, bool goes_on) {
    // As join_pieces does: a short read that goes on was cut by a NUL, and so is its line.
    const bool cut = goes_on && read.size() < kMaxLineBytes;
    bool joined = false;
    if (first) {
        joined = follower.equals > 0 && is_quoted_printable_line(follower.property);
        const bool blank = begins_with_blank(read) && !follower.at_start;
        // The "=" a soft break takes needs no taking from the property part: a line
        // joined at a soft break has the keyword already, and keeps it.
        if (joined) {
            --follower.equals;
        } else if (!blank) {
            follower.equals = 0;
            follower.property.clear();
            follower.property_open = true;
        }
        if (blank) read.remove_prefix(1);
        follower.crs = 0;
        follower.at_start = false;
    } else if (follower.cut) {
        if (goes_on) return false;
        // The CRs before the NUL stay in the line's text.
        add_to_property(follower, std::string(follower.crs, '\r'));
        if (follower.crs > 0) follower.equals = 0;
        return false;
    }
    const bool ends_in_lf = !goes_on && !read.empty() && read.back() == '\n';
    if (ends_in_lf) read.remove_suffix(1);
    LineTail tail{follower.equals, follower.crs};
    follow_tail(tail, read);
    // CRs at the end of a read are the line end when an LF follows them: they are added
    // once more text follows, or the line ends without an LF.
    const std::size_t held = count_trailing(read, '\r');
    if (held < read.size()) {
        add_to_property(follower, std::string(follower.crs, '\r'));
        add_to_property(follower, read.substr(0, read.size() - held));
    }
    if (!goes_on && !ends_in_lf) {
        add_to_property(follower, std::string(tail.crs, '\r'));
        if (tail.crs > 0) tail.equals = 0;
    }
    follower.equals = tail.equals;
    follower.crs = tail.crs;
    follower.cut = cut;
    return joined;
}

namespace {

// Joins to `line`, which begins a logical line, the physical lines that go on with it,
// reading one line ahead of the logical line's end.
void join_following(LogicalLineReader& reader, std::string& line) {
    // The whole line as joined, of which `line` keeps the first 8 KiB: its length and the
    // "="s it ends in, which decide the lines it takes however long it grows.
    std::size_t length = reader.ahead_length;
    std::size_t equals = reader.ahead_equals;
    reader.has_ahead = false;
    while (read_ahead(reader)) {
        // A quoted-printable line that ends in "=" goes on with the next line, whatever
        // it begins with; any other line only with a line that begins with a space or a tab.
        // (The property part is looked for in the bytes kept.)
        const bool soft_break = equals > 0 && is_quoted_printable_line(line);
        const bool blank = begins_with_blank(reader.ahead);
        if (!soft_break && !blank) return;
        if (soft_break) {
            if (length <= kMaxLogicalLineBytes) line.pop_back();
            --length;
            --equals;
        }
        const std::size_t more_length = reader.ahead_length - (blank ? 1 : 0);
        append_capped(line, std::string_view(reader.ahead).substr(blank ? 1 : 0));
        length += more_length;
        equals = reader.ahead_equals == more_length ? equals + more_length : reader.ahead_equals;
        reader.has_ahead = false;
    }
}

// Whether the line just read, whose text ends in `equals` "="s, is known to end its logical
// line without reading the next: it is no quoted-printable line ending in "=", and the
// reader holds the next line's first byte, no space or tab, or has no more data.
bool ends_logical_line(const LineReader& input, std::string_view text, std::size_t equals) {
    if (equals > 0 && is_quoted_printable_line(text)) return false;
    if (input.begin < input.end) return !begins_with_blank(std::string_view(input.block.get() + input.begin, 1));
    return input.exhausted;
}

// The next physical line, when it is a logical line of its own, as a view into the line
// reader's block: a line that fits in one read, is no quoted-printable line ending in "=",
// and is followed by a line whose first byte the block holds already and that begins with
// no space or tab (or by the end of the data). Else the line is kept in `reader.ahead`
// for joining, and the view is left empty.
bool read_own_line(LogicalLineReader& reader, std::string_view& line, std::size_t& number) {
    LineReader& input = *reader.input;
    reader.ahead_number = input.lines_ended + 1;
    number = reader.ahead_number;
    std::string_view bytes;
    if (!read_line_view(input, bytes)) return false;
    std::string_view text = text_before_nul(bytes);
    if (!input.line_goes_on) {
        if (input.last_ended_in_lf && text.size() == bytes.size()) {
            while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        }
        const std::size_t equals = count_trailing(text, '=');
        if (ends_logical_line(input, text, equals)) {
            line = text;
            return true;
        }
        reader.ahead.assign(text);
        reader.ahead_length = text.size();
        reader.ahead_equals = equals;
    } else {
        reader.ahead.assign(text);
        join_pieces(reader);
    }
    reader.has_ahead = true;
    line = {};
    return true;
}

}  // namespace

bool read_logical_line_view(LogicalLineReader& reader, std::string_view& line, std::size_t& number) {
    // Most lines are logical lines of their own: they are handed out where they lie.
    if (!reader.has_ahead) {
        if (!read_own_line(reader, line, number)) return false;
        if (!reader.has_ahead) return true;
    }
    std::string& joined = reader.joined;
    joined.swap(reader.ahead);
    if (joined.size() > kMaxLogicalLineBytes) joined.resize(kMaxLogicalLineBytes);
    number = reader.ahead_number;
    if (ends_logical_line(*reader.input, joined, reader.ahead_equals)) {
        reader.has_ahead = false;  // the next line is read where it lies
    } else {
        join_following(reader, joined);
    }
    line = joined;
    return true;
}

}  // namespace quorlan
