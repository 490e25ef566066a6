// The byte-string operations, the line reader, the UTF-8 decoders, values as text, ASCII
// folding and phone grouping on arbitrary bytes, each compared with a plain reference
// written here or with a property that must hold for every input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "charset/xml_name.h"
#include "convert/phone.h"
#include "convert/record.h"
#include "fuzz_support.h"
#include "test_support.h"
#include "text/line_reader.h"
#include "text/text_ops.h"
#include "vcard/decode.h"
#include "vcard/logical_lines.h"
#include "vcard/value_text.h"

namespace {

using namespace quorlan;

std::ptrdiff_t reference_find(std::string_view text, std::string_view pattern, std::size_t start) {
    if (pattern.empty()) return -1;
    for (std::size_t p = start; p + pattern.size() <= text.size(); ++p) {
        bool equal = true;
        for (std::size_t i = 0; i < pattern.size() && equal; ++i) equal = text[p + i] == pattern[i];
        if (equal) return static_cast<std::ptrdiff_t>(p);
    }
    return -1;
}

std::string reference_mid(std::string_view text, std::size_t start, std::size_t n) {
    std::string result;
    for (std::size_t i = start; i < text.size() && result.size() < n; ++i) result += text[i];
    return result;
}

void check_text_ops(std::string_view text, std::string_view pattern, std::size_t start, std::size_t n) {
    FUZZ_CHECK(find_text(text, pattern, start) == reference_find(text, pattern, start));
    FUZZ_CHECK(left_text(text, n) == reference_mid(text, 0, n));

    std::string trimmed(text);
    trim_line_end(trimmed);
    FUZZ_CHECK(text.starts_with(trimmed));
    FUZZ_CHECK(text.substr(trimmed.size()).find_first_not_of("\r\n ") == std::string_view::npos);
    FUZZ_CHECK(trimmed.empty() || std::string_view("\r\n ").find(trimmed.back()) == std::string_view::npos);

    const char c = pattern.empty() ? ' ' : pattern[0];
    std::string removed(text), upper(text);
    remove_char(removed, c);
    to_upper_ascii(upper);
    std::string expected_removed, expected_upper;
    for (const char b : text) {
        if (b != c) expected_removed += b;
        expected_upper += b >= 'a' && b <= 'z' ? static_cast<char>(b - 32) : b;
    }
    FUZZ_CHECK(removed == expected_removed);
    FUZZ_CHECK(upper == expected_upper);
}

void check_charset(std::string_view text) {
    std::string decoded(text);
    utf8_to_cp1250(decoded);
    std::string expected;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<std::uint8_t>(text[i + 1]) : std::uint8_t{0};
        if (i + 1 < text.size() && is_decoded_pair(lead, next)) {
            expected += static_cast<char>(cp1250_byte_of(lead, next));
            ++i;
        } else {
            expected += text[i];
        }
    }
    FUZZ_CHECK(decoded.size() <= text.size());
    FUZZ_CHECK(decoded == expected);

    std::string folded(text);
    fold_to_ascii(folded);
    FUZZ_CHECK(folded.size() == text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (folded[i] == text[i]) continue;
        // Only letters from the upper half change, and only into ASCII letters.
        FUZZ_CHECK(static_cast<std::uint8_t>(text[i]) >= 0x80);
        const char b = folded[i];
        FUZZ_CHECK((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'));
    }
    std::string twice = folded;
    fold_to_ascii(twice);
    FUZZ_CHECK(twice == folded);
}

void check_phone(std::string_view text) {
    std::string number = "+";
    number += text;
    std::string grouped = number;
    group_phone(grouped);
    std::string digits = number;
    remove_char(digits, ' ');
    std::string grouped_digits = grouped;
    remove_char(grouped_digits, ' ');
    // No character of the number is lost, and the groups are set apart by exactly three spaces.
    FUZZ_CHECK(grouped_digits == digits);
    FUZZ_CHECK(grouped.size() == digits.size() + 3);
}

// The bytes as a text-mode stream delivers them: every CR LF turned into LF.
std::string text_mode_stream(std::string_view data) {
    std::string stream;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') continue;
        stream += data[i];
    }
    return stream;
}

// The line model, written the slow way: each read takes up to 1999 of the bytes the
// text-mode stream delivers, stopping after an LF; a NUL ends the text of its read.
std::vector<std::string> reference_lines(std::string_view data) {
    const std::string stream = text_mode_stream(data);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        std::string piece;
        while (pos < stream.size() && piece.size() < kMaxLineBytes) {
            piece += stream[pos++];
            if (piece.back() == '\n') break;
        }
        if (const std::size_t nul = piece.find('\0'); nul != std::string::npos) piece.resize(nul);
        lines.push_back(piece);
    }
    return lines;
}

void check_line_reader(std::string_view data, std::size_t largest_chunk) {
    const std::vector<std::string> expected = reference_lines(data);
    fuzz::ChunkedSource source{data, largest_chunk};
    LineReader reader = make_line_reader(ByteSource{ByteSource::Read::bind<fuzz::read_chunked>(source)});
    std::string line;
    std::size_t count = 0;
    while (read_line(reader, line)) {
        FUZZ_CHECK(count < expected.size());
        FUZZ_CHECK(line.size() <= kMaxLineBytes);
        FUZZ_CHECK(line == expected[count]);
        ++count;
    }
    FUZZ_CHECK(count == expected.size());
    FUZZ_CHECK(reader.error == 0);
}

// Logical vCard lines, written the slow way on the same stream: physical lines end at LF,
// a NUL ends the text of its physical line, the line end is the LF and the CRs right before
// it; a line beginning with a space or a tab continues the one before, and so does any line
// after a quoted-printable line that ends in "=", which is then removed.
bool reference_is_qp(std::string_view line) {
    std::string property(line.substr(0, line.find(':')));
    for (char& c : property) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return property.find("QUOTED-PRINTABLE") != std::string::npos;
}

std::vector<std::string> reference_logical_lines(std::string_view data) {
    const std::string stream = text_mode_stream(data);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        const std::size_t lf = stream.find('\n', pos);
        const std::size_t end = lf == std::string::npos ? stream.size() : lf;
        std::string text = stream.substr(pos, end - pos);
        pos = end + 1;
        if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
            text.resize(nul);
        } else if (lf != std::string::npos) {
            while (!text.empty() && text.back() == '\r') text.pop_back();
        }
        const bool blank = !text.empty() && (text[0] == ' ' || text[0] == '\t');
        // The property part is looked for in the bytes a line keeps.
        const bool soft = !lines.empty() && !lines.back().empty() && lines.back().back() == '=' &&
                          reference_is_qp(std::string_view(lines.back()).substr(0, kMaxLogicalLineBytes));
        if (lines.empty() || (!blank && !soft)) {
            lines.push_back(text);
            continue;
        }
        if (soft) lines.back().pop_back();
        lines.back() += text.substr(blank ? 1 : 0);
    }
    for (std::string& line : lines) line.resize(std::min(line.size(), kMaxLogicalLineBytes));
    return lines;
}

std::vector<std::size_t> followed_starts(std::string_view data, std::size_t largest_chunk) {
    fuzz::ChunkedSource source{data, largest_chunk};
    LineReader input = make_line_reader(ByteSource{ByteSource::Read::bind<fuzz::read_chunked>(source)});
    return test_support::followed_starts(input);
}

void check_logical_lines(std::string_view data, std::size_t largest_chunk) {
    const std::vector<std::string> expected = reference_logical_lines(data);
    fuzz::ChunkedSource source{data, largest_chunk};
    LineReader input = make_line_reader(ByteSource{ByteSource::Read::bind<fuzz::read_chunked>(source)});
    LogicalLineReader reader = make_logical_line_reader(input);
    std::string_view line;
    std::size_t number = 0;
    std::size_t count = 0;
    std::vector<std::size_t> starts;
    while (read_logical_line_view(reader, line, number)) {
        FUZZ_CHECK(count < expected.size());
        FUZZ_CHECK(line == expected[count]);
        starts.push_back(number);
        ++count;
    }
    FUZZ_CHECK(count == expected.size());
    // What --explain tells of a file read without joining follows the same rule.
    FUZZ_CHECK(followed_starts(data, largest_chunk) == starts);
}

// Quoted-printable decoding and the clean-up of decoded values, each against the plain rule.
void check_decoding(std::string_view text) {
    std::string decoded(text);
    decode_quoted_printable(decoded);
    const std::size_t colon = text.find(':');
    std::string expected(text.substr(0, colon == std::string_view::npos ? text.size() : colon + 1));
    for (std::size_t i = expected.size(); colon != std::string_view::npos && i < text.size(); ++i) {
        const std::string_view hex = "0123456789ABCDEF0123456789abcdef";
        const std::size_t high = i + 2 < text.size() ? hex.find(text[i + 1]) : std::string_view::npos;
        const std::size_t low = i + 2 < text.size() ? hex.find(text[i + 2]) : std::string_view::npos;
        if (text[i] != '=' || high == std::string_view::npos || low == std::string_view::npos) {
            expected += text[i];
            continue;
        }
        const char byte = static_cast<char>((high % 16) * 16 + low % 16);
        expected += byte == '\r' || byte == '\n' ? ' ' : byte;
        i += 2;
    }
    FUZZ_CHECK(decoded == expected);

    std::string value(text);
    clean_decoded_value(value);
    std::string resolved;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '\\' && (next == '\\' || next == ',' || next == ';')) {
            resolved += next;
            ++i;
        } else if (text[i] == '\\' && (next == 'n' || next == 'N')) {
            resolved += ' ';
            ++i;
        } else {
            resolved += text[i] == ';' ? ' ' : text[i];
        }
    }
    trim_line_end(resolved);
    resolved.erase(0, std::min(resolved.find_first_not_of(' '), resolved.size()));
    std::string collapsed;  // every run of spaces as one
    for (const char b : resolved) {
        if (b != ' ' || collapsed.empty() || collapsed.back() != ' ') collapsed += b;
    }
    resolved = collapsed;
    FUZZ_CHECK(value == resolved);
}

// Values as text: whatever the bytes and their declared charset, well-formed UTF-8 of at
// most 100 characters, composed so that composing again changes nothing; and written into
// a windows-1250 document, folded or not, no byte beyond what the code page defines.
void check_value_text(std::string_view bytes, std::uint8_t control) {
    // Values never hold a NUL: the line reader ends a line there.
    std::string without_nul(bytes);
    std::erase(without_nul, '\0');
    const std::string_view text = without_nul;
    static CharsetConverters converters;
    constexpr std::string_view kCharsets[] = {"", "SHIFT_JIS", "windows-1251", "UTF-8", "X-NONE", "ISO-2022-JP"};
    std::string value(text);
    decode_value_text(value, kCharsets[control % std::size(kCharsets)], converters, 100);
    FUZZ_CHECK(is_valid_utf8(value));
    std::size_t characters = 0;
    for (std::size_t i = 0; i < value.size(); ++characters) next_character(value, i);
    FUZZ_CHECK(characters <= 100);

    std::string composed = text_from_bytes(text);
    FUZZ_CHECK(is_valid_utf8(composed));
    std::string again = composed;
    compose_nfc(again);
    FUZZ_CHECK(again == composed);

    std::string replaced;
    append_utf8_replacing(replaced, text);
    FUZZ_CHECK(is_valid_utf8(replaced));
    FUZZ_CHECK((replaced == text) == is_valid_utf8(text));

    TextWriting writing;
    writing.fold = control % 2 == 1;
    std::string out;
    append_escaped_text(out, composed, writing);
    for (const char c : out) {
        const auto b = static_cast<unsigned char>(c);
        FUZZ_CHECK((b >= 0x20 || b == '\t' || b == '\n') && b != '<' && b != '>' && (b < 0x80 || (!writing.fold && cp1250_character(b) != 0)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.empty()) return 0;
    // The first byte picks the pattern length, start and count; the rest is the text.
    const auto control = static_cast<std::uint8_t>(input[0]);
    const std::string_view rest = input.substr(1);
    const std::string_view pattern = rest.substr(0, control % 5);
    const std::string_view text = rest.substr(pattern.size());
    const std::size_t start = (control / 5u) % (text.size() + 3);
    check_text_ops(text, pattern, start, control % 7 == 0 ? std::string::npos : control / 2u);
    check_charset(rest);
    check_phone(text);
    check_line_reader(rest, 1 + control * 17u);
    check_logical_lines(rest, 1 + control * 13u);
    check_decoding(text);
    check_value_text(text, control);
    return 0;
}
