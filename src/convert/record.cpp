#include "convert/record.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

// What each byte becomes in element content. XML 1.0 forbids most control bytes, and
// windows-1250 leaves 0x81, 0x83, 0x88, 0x90 and 0x98 undefined; either makes a parser
// refuse the whole document, so they are written as "_". A CR that is left inside a value
// (capture only trims line ends) is written as a character reference: as a plain byte it
// would end the line for line-oriented tools and reach XML readers as LF. An LF, which a
// declared charset may decode to (UTF-7 "+AAo-"), is a reference too, so that every line
// of the document ends in CR LF.
enum class ByteClass : unsigned char { Plain, Amp, Lt, Gt, Cr, Lf, Replaced };

constexpr std::array<ByteClass, 256> make_byte_classes() {
    std::array<ByteClass, 256> classes{};
    // NUL too: no line read from a file holds one, but a value decoded from a declared
    // charset may hold U+0000.
    for (int b = 0x00; b <= 0x1F; ++b) {
        if (b != 0x09 && b != 0x0A && b != 0x0D) classes[static_cast<std::size_t>(b)] = ByteClass::Replaced;
    }
    for (const std::uint8_t b : kCp1250Undefined) classes[b] = ByteClass::Replaced;
    classes['\r'] = ByteClass::Cr;
    classes['\n'] = ByteClass::Lf;
    classes['&'] = ByteClass::Amp;
    classes['<'] = ByteClass::Lt;
    classes['>'] = ByteClass::Gt;
    return classes;
}

constexpr std::array<ByteClass, 256> kByteClasses = make_byte_classes();

// The bytes of eight that the word scans stop at: a control byte or markup, and every
// byte from 0x80 up, which is left to the table with the rest of the text.
std::uint64_t marks_unplain(std::uint64_t word) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080;
    const std::uint64_t control = (word - 0x2020202020202020) & ~word & kHighBits;
    return (word & kHighBits) | control | bytes_equal(word, '&') | bytes_equal(word, '<') | bytes_equal(word, '>');
}

std::size_t plain_length(std::string_view value) {
    std::size_t i = first_marked(value, [](std::uint64_t word) { return marks_unplain(word); });
    while (i < value.size() && kByteClasses[static_cast<unsigned char>(value[i])] == ByteClass::Plain) ++i;
    return i;
}

// Copies 1 to 2 words' worth of bytes as a first and a last word, which may overlap.
template <typename Word>
void copy_two_words(char* at, const char* from, std::size_t n) {
    Word first;
    Word last;
    std::memcpy(&first, from, sizeof first);
    std::memcpy(&last, from + n - sizeof last, sizeof last);
    std::memcpy(at, &first, sizeof first);
    std::memcpy(at + n - sizeof last, &last, sizeof last);
}

// Element names and most values are a few bytes long: copied inline by two words that may
// overlap, where a call of the library's copy cost more than the copying.
char* put(char* at, std::string_view text) {
    const std::size_t n = text.size();
    const char* const from = text.data();
    if (n >= 8 && n <= 16) {
        copy_two_words<std::uint64_t>(at, from, n);
    } else if (n >= 4 && n < 8) {
        copy_two_words<std::uint32_t>(at, from, n);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) at[i] = from[i];
    } else {
        std::memcpy(at, from, n);
    }
    return at + n;
}

// `value` as element content: markup characters become entities, CR becomes "&#13;" and
// bytes that an XML document can't hold become "_".
void append_escaped(std::string& out, std::string_view value) {
    std::size_t plain_from = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const ByteClass c = kByteClasses[static_cast<unsigned char>(value[i])];
        if (c == ByteClass::Plain) continue;
        out.append(value, plain_from, i - plain_from);
        plain_from = i + 1;
        switch (c) {
            case ByteClass::Amp: out += "&amp;"; break;
            case ByteClass::Lt: out += "&lt;"; break;
            case ByteClass::Gt: out += "&gt;"; break;
            case ByteClass::Cr: out += "&#13;"; break;
            case ByteClass::Lf: out += "&#10;"; break;
            default: out += '_'; break;
        }
    }
    out.append(value, plain_from, value.size() - plain_from);
}

void append_element(std::string& out, std::string_view element, std::string_view value) {
    // Most values need no escaping: the element is then written whole at once, where one
    // append for each of its seven parts cost more than finding the value's bytes.
    if (plain_length(value) == value.size()) {
        const std::size_t at = out.size();
        constexpr std::size_t kMarkup = std::string_view("<></>\r\n").size();
        out.resize(at + 2 * element.size() + value.size() + kMarkup);
        char* p = out.data() + at;
        *p++ = '<';
        p = put(p, element);
        *p++ = '>';
        p = put(p, value);
        p = put(p, "</");
        p = put(p, element);
        put(p, ">\r\n");
        return;
    }
    out += '<';
    out += element;
    out += '>';
    append_escaped(out, value);
    out += "</";
    out += element;
    out += ">\r\n";
}

void append_reference(std::string& out, char32_t c) {
    out += "&#";
    out += std::to_string(static_cast<std::uint32_t>(c));
    out += ';';
}

// A character beyond ASCII as the document takes it: folded to ASCII when it has a fold,
// in UTF-8 or as its windows-1250 byte when the document can hold it, else as a reference.
// Inline: in a name, every other letter may be one.
[[gnu::always_inline]] inline void append_character(std::string& out, std::string_view bytes, char32_t c,
                                                    const TextWriting& writing) {
    // U+FFFE and U+FFFF are no XML characters, not even as references.
    if (c == 0xFFFE || c == 0xFFFF) {
        out += '_';
        return;
    }
    if (writing.fold) {
        if (const char* ascii = latin_fold(c); ascii != nullptr) {
            // Most folds are one letter: pushed, without measuring the text.
            if (ascii[0] != '\0' && ascii[1] == '\0') {
                out += ascii[0];
            } else {
                out += ascii;
            }
        } else {
            append_reference(out, c);
        }
        return;
    }
    if (writing.utf8) {
        out += bytes;
        return;
    }
    const int byte = cp1250_byte_for(c);
    if (byte >= 0) {
        out += static_cast<char>(byte);
    } else {
        append_reference(out, c);
    }
}

// The length of the run of ASCII at the start of `text` that element content takes as it
// stands: text beyond ASCII is written character by character.
std::size_t plain_ascii_length(std::string_view text) {
    std::size_t i = first_marked(text, [](std::uint64_t word) { return marks_unplain(word); });
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80 || kByteClasses[b] != ByteClass::Plain) break;
        ++i;
    }
    return i;
}

// append_escaped_text for text whose first `plain` bytes are plain ASCII. Past them, byte by
// byte: the runs of ASCII between the accented letters of a name are short.
void append_text_from(std::string& out, std::string_view text, std::size_t plain, const TextWriting& writing) {
    std::size_t plain_from = 0;
    for (std::size_t i = plain; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80 && kByteClasses[b] == ByteClass::Plain) {
            ++i;
            continue;
        }
        if (i != plain_from) out.append(text.data() + plain_from, i - plain_from);
        if (b < 0x80) {
            append_escaped(out, text.substr(i, 1));
            ++i;
        } else if (const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0U;
                   b >= 0xC2 && b <= 0xDF && (next & 0xC0U) == 0x80) {
            // The letters of Latin, Greek and Cyrillic names take two bytes: read here
            // as next_character reads them, without its checks for longer sequences.
            const auto c = static_cast<char32_t>((b & 0x1FU) << 6 | (next & 0x3FU));
            append_character(out, text.substr(i, 2), c, writing);
            i += 2;
        } else {
            const std::size_t start = i;
            const char32_t c = next_character(text, i);
            append_character(out, text.substr(start, i - start), c, writing);
        }
        plain_from = i;
    }
    out.append(text, plain_from, text.size() - plain_from);
}

// A record with list fields, kept apart, so that a record without lists is written as it
// always was.
template <typename AppendElement>
[[gnu::noinline]] void write_list_elements(const Settings& settings, const CardState& card, AppendElement append) {
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        if (!is_list_field(settings, settings.mappings[j])) {
            append(j, card.values[j]);
            continue;
        }
        const ValueList& list = card.lists[j];
        for (std::size_t i = 0; i < list.count; ++i) append(j, list.items[i].text);
    }
}

// The record's elements, one for each mapping, and for a list field one for each of its
// values (none for an empty list).
template <typename AppendElement>
inline void write_elements(const Settings& settings, const CardState& card, AppendElement append) {
    if (card.lists.empty()) {
        // Held apart from the containers: an append can't change them.
        const std::string* const values = card.values.data();
        const std::size_t count = settings.mappings.size();
        for (std::size_t j = 0; j < count; ++j) append(j, values[j]);
        return;
    }
    write_list_elements(settings, card, append);
}

}  // namespace

void append_escaped_text(std::string& out, std::string_view text, const TextWriting& writing) {
    append_text_from(out, text, plain_ascii_length(text), writing);
}

TextWriting make_text_writing(const Settings& settings) {
    TextWriting writing;
    writing.utf8 = document_is_utf8(settings);
    writing.fold = settings.fold_ascii;
    for (const FieldMapping& mapping : settings.mappings) {
        writing.elements.push_back(name_for_document(mapping.element, true, writing.utf8));
    }
    return writing;
}

namespace {

void write_byte_record(const Settings& settings, const CardState& card, std::string& out) {
    out += "<vcf>\r\n";
    const FieldMapping* const mappings = settings.mappings.data();
    write_elements(settings, card,
                   [&](std::size_t j, const std::string& value) { append_element(out, mappings[j].element, value); });
    out += "</vcf>\r\n";
}

// Values that are text (UTF-8, NFC), written as `writing` says.
void write_text_record(const Settings& settings, const TextWriting& writing, const CardState& card,
                       std::string& out) {
    out += "<vcf>\r\n";
    write_elements(settings, card, [&](std::size_t j, const std::string& value) {
        const std::string& element = writing.elements[j];
        // Plain ASCII, most values, is written as the byte path writes it.
        const std::size_t plain = plain_ascii_length(value);
        if (plain == value.size()) {
            append_element(out, element, value);
            return;
        }
        out += '<';
        out += element;
        out += '>';
        append_text_from(out, value, plain, writing);
        out += "</";
        out += element;
        out += ">\r\n";
    });
    out += "</vcf>\r\n";
}

}  // namespace

void RecordForm::operator()(FramePart part, std::string& out) const {
    if (part == FramePart::Start) {
        out += writing.utf8 ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<"
                            : "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\r\n<";
    } else {
        out += "</";
    }
    out += element;
    out += ">\r\n";
}

void RecordForm::operator()(const CardState& card, std::string& out) const {
    if (text) {
        write_text_record(*settings, writing, card, out);
    } else {
        write_byte_record(*settings, card, out);
    }
}

RecordForm make_record_form(const Settings& settings, std::string_view element) {
    RecordForm form;
    form.settings = &settings;
    form.text = settings.decode;
    if (form.text) form.writing = make_text_writing(settings);
    form.element = name_for_document(element, form.text, form.writing.utf8);
    return form;
}

DocumentForm document_form(RecordForm& form) { return DocumentForm{form, form}; }

}  // namespace quorlan
