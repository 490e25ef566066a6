#include "vcard/logical_lines.h"

#include <string_view>

#include "vcard/decode.h"

namespace quorlan {

namespace {

void append_capped(std::string& line, std::string_view more) {
    if (line.size() < kMaxLogicalLineBytes) line.append(more.substr(0, kMaxLogicalLineBytes - line.size()));
}

// How the text of a long physical line ends, followed across its reads: its last byte, its
// last byte that is not a CR, and the number of CRs it ends in.
struct LineTail {
    char last = '\0';
    char last_not_cr = '\0';
    std::size_t crs = 0;
};

void follow_tail(LineTail& tail, std::string_view text) {
    if (text.empty()) return;
    tail.last = text.back();
    const std::size_t p = text.find_last_not_of('\r');
    if (p == std::string_view::npos) {
        tail.crs += text.size();
    } else {
        tail.last_not_cr = text[p];
        tail.crs = text.size() - p - 1;
    }
}

// The rest of a physical line longer than one read: its further reads are joined to
// `text`, up to the cap. Returns what ends the whole text.
bool join_pieces(LogicalLineReader& reader, std::string& text) {
    LineReader& input = *reader.input;
    LineTail tail;
    follow_tail(tail, text);
    std::size_t length = text.size();
    // A read holds fewer bytes than a full one only when a NUL ended its text, and a NUL
    // ends the text of the whole physical line.
    bool cut = text.size() < kMaxLineBytes;
    bool ends_in_lf = false;
    while (input.line_goes_on) {
        read_line(input, reader.piece);
        if (cut) continue;
        cut = input.line_goes_on && reader.piece.size() < kMaxLineBytes;
        if (!input.line_goes_on && !reader.piece.empty() && reader.piece.back() == '\n') {
            reader.piece.pop_back();
            ends_in_lf = true;
        }
        follow_tail(tail, reader.piece);
        length += reader.piece.size();
        append_capped(text, reader.piece);
    }
    if (!ends_in_lf) return tail.last == '=';
    // The line end is the LF and the CRs right before it, wherever the cap fell.
    if (text.size() > length - tail.crs) text.resize(length - tail.crs);
    return tail.last_not_cr == '=';
}

// Reads one physical line into `reader.ahead`, without its line end (the LF and any CRs
// right before it). False at the end of the data.
bool read_ahead(LogicalLineReader& reader) {
    LineReader& input = *reader.input;
    reader.ahead_number = input.lines_ended + 1;
    std::string& text = reader.ahead;
    if (!read_line(input, text)) return false;
    reader.has_ahead = true;
    if (input.line_goes_on) {
        reader.ahead_ends_in_equals = join_pieces(reader, text);
        return true;
    }
    // The usual case: the whole line in one read, shorter than the cap.
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        while (!text.empty() && text.back() == '\r') text.pop_back();
    }
    reader.ahead_ends_in_equals = !text.empty() && text.back() == '=';
    return true;
}

bool begins_with_blank(std::string_view text) { return !text.empty() && (text[0] == ' ' || text[0] == '\t'); }

}  // namespace

LogicalLineReader make_logical_line_reader(LineReader& input) {
    LogicalLineReader reader;
    reader.input = &input;
    return reader;
}

bool is_quoted_printable_line(std::string_view line) {
    constexpr std::string_view kKeyword = "QUOTED-PRINTABLE";
    const std::string_view property = line.substr(0, line.find(':'));
    for (std::size_t p = 0; p + kKeyword.size() <= property.size(); ++p) {
        if (begins_with_any_case(property.substr(p), kKeyword)) return true;
    }
    return false;
}

bool read_logical_line(LogicalLineReader& reader, std::string& line, std::size_t& number) {
    if (!reader.has_ahead && (!reader.at_start || !read_ahead(reader))) return false;
    reader.at_start = false;
    line.swap(reader.ahead);
    number = reader.ahead_number;
    bool ends_in_equals = reader.ahead_ends_in_equals;
    reader.has_ahead = false;
    while (read_ahead(reader)) {
        // A quoted-printable line that ends in "=" goes on with the next line, whatever
        // it begins with; any other line only with a line that begins with a space or a tab.
        const bool soft_break = ends_in_equals && is_quoted_printable_line(line);
        if (!soft_break && !begins_with_blank(reader.ahead)) return true;
        // Past the cap the "=" was never kept, and nothing more is.
        if (soft_break && line.size() < kMaxLogicalLineBytes) line.pop_back();
        const std::string_view more = std::string_view(reader.ahead).substr(begins_with_blank(reader.ahead) ? 1 : 0);
        append_capped(line, more);
        // Whether the line as joined ends in "=" decides which lines it takes, so past the
        // cap it is followed from the physical lines.
        if (line.size() < kMaxLogicalLineBytes) {
            ends_in_equals = !line.empty() && line.back() == '=';
        } else if (!more.empty()) {
            ends_in_equals = reader.ahead_ends_in_equals;
        } else if (soft_break) {
            ends_in_equals = false;
        }
        reader.has_ahead = false;
    }
    return true;
}

}  // namespace quorlan
