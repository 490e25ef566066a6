// Arbitrary bytes through the whole conversion core, in memory. The input is a configuration,
// a line "%%", and the card file; without that line it is all card file, converted with a
// configuration that uses every kind of mapping, read as it is (inputs of even size) or
// decoded as vCard readers do (odd size; into a UTF-8 document when a multiple of three).
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "charset/unicode_text.h"
#include "config/settings.h"
#include "convert/document.h"
#include "fuzz_support.h"
#include "text/line_reader.h"
#include "text/text_ops.h"
#include "test_support.h"

namespace {

using namespace quorlan;

using test_support::memory_sink;

constexpr std::string_view kSeparator = "\n%%\n";
constexpr std::string_view kDefaultConfig =
    "contacts.vcf\nphonebook.xml\nASCII=1\nNAME*=N:\nFULL=FN\nMOBILE#=TEL;CELL\nPHONE#=TEL\n"
    "MAIL=EMAIL\nCOMPANY-=ORG\nNOTE=NOTE\nSTREET=ADR\nSOURCE_IDENT=addressbook\nLAST=END\n";

Settings settings_of(std::string_view config) {
    LineReader reader = make_line_reader(memory_source(config));
    skip_utf8_bom(reader);
    return read_settings(reader);
}

// The default configuration is read once, with the decode switch off and on, and on with
// a UTF-8 document.
const Settings& default_settings(bool decode, bool utf8) {
    static const Settings exact = settings_of(kDefaultConfig);
    static const Settings decoded = [] {
        Settings settings = exact;
        settings.decode = true;
        return settings;
    }();
    static const Settings decoded_utf8 = [] {
        Settings settings = decoded;
        settings.utf8 = true;
        return settings;
    }();
    return !decode ? exact : utf8 ? decoded_utf8 : decoded;
}

// Takes at most `room` bytes, like a disk that fills up.
struct LimitedSink {
    std::string& written;
    std::size_t room;
};

bool write_limited(LimitedSink& sink, const char* data, std::size_t size, int& error) {
    const std::size_t n = std::min(size, sink.room - sink.written.size());
    sink.written.append(data, n);
    if (n == size) return true;
    error = ENOSPC;
    return false;
}

struct Output {
    std::string& document;
    ConversionResult result;
};

// The documents of every input go into the same buffers, emptied but kept: under the
// sanitizers freed memory is not handed out again for a while, and a document grown in
// fresh memory for each input cost more in page faults than converting it.
struct Buffers {
    std::string first, limited;
};

Buffers& buffers() {
    static Buffers kept;
    kept.first.clear();
    kept.limited.clear();
    return kept;
}

// True when `rest` begins with a decimal character reference of a character XML allows
// beyond ASCII controls (CR, or U+0080 and up but for the surrogates, U+FFFE and U+FFFF).
bool begins_with_reference(std::string_view rest) {
    if (!rest.starts_with("#")) return false;
    std::size_t i = 1;
    std::uint64_t code = 0;
    for (; i < rest.size() && i < 9 && rest[i] >= '0' && rest[i] <= '9'; ++i) code = code * 10 + static_cast<std::uint64_t>(rest[i] - '0');
    if (i == 1 || i >= rest.size() || rest[i] != ';') return false;
    return code == 13 || (code >= 0x80 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF) && code != 0xFFFE &&
                          code != 0xFFFF);
}

// The value text between a field's tags: markup only as the entities &amp; &lt; &gt; and
// character references, no byte that an XML parser refuses or changes, and nothing that
// ends the line. A UTF-8 document holds well-formed UTF-8.
void check_value(std::string_view value, bool utf8) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto b = static_cast<unsigned char>(value[i]);
        FUZZ_CHECK(b != '<' && b != '>');
        if (b == '&') {
            const std::string_view rest = value.substr(i + 1);
            FUZZ_CHECK(rest.starts_with("amp;") || rest.starts_with("lt;") || rest.starts_with("gt;") ||
                       begins_with_reference(rest));
        }
        FUZZ_CHECK(b >= 0x20 || b == '\t');
        if (!utf8) FUZZ_CHECK(b != 0x81 && b != 0x83 && b != 0x88 && b != 0x90 && b != 0x98);
    }
    if (utf8) FUZZ_CHECK(is_valid_utf8(value));
}

std::string_view take_line(std::string_view& body) {
    const std::size_t lf = body.find('\n');
    FUZZ_CHECK(lf != std::string_view::npos);
    FUZZ_CHECK(lf > 0 && body[lf - 1] == '\r');
    const std::string_view line = body.substr(0, lf - 1);
    body.remove_prefix(lf + 1);
    return line;
}

// "+", then digits and spaces only, and a digit among them.
bool is_digit_number(std::string_view value) {
    return value.find_first_of("0123456789") != std::string_view::npos &&
           std::all_of(value.begin() + 1, value.end(), [](char c) { return c == ' ' || (c >= '0' && c <= '9'); });
}

struct Tags {
    std::string open, close;
};

// One value of mapping `mapping` as written between its tags.
void check_field_value(const Settings& settings, const FieldMapping& mapping, std::string_view value, bool utf8) {
    check_value(value, utf8);
    if (!mapping.constant && mapping.condition == Condition::Forbidden) FUZZ_CHECK(value.empty());
    // A grouped number keeps every character and gains exactly three spaces; decoded, a
    // number of digits is grouped by them: groups of digits, none empty, at most four.
    if (mapping.phone && value.starts_with('+')) {
        if (settings.decode && is_digit_number(value)) {
            FUZZ_CHECK(std::count(value.begin(), value.end(), ' ') <= 3);
            FUZZ_CHECK(value.find("  ") == std::string_view::npos && !value.ends_with(' '));
        } else if (!settings.decode) {
            FUZZ_CHECK(std::count(value.begin(), value.end(), ' ') == 3);
        }
    }
}

// The value between a field's tags on the next line of `body`.
std::string_view take_field(const Tags& tags, std::string_view& body) {
    const std::string_view line = take_line(body);
    FUZZ_CHECK(line.size() >= tags.open.size() + tags.close.size());
    FUZZ_CHECK(line.starts_with(tags.open) && line.ends_with(tags.close));
    return line.substr(tags.open.size(), line.size() - tags.open.size() - tags.close.size());
}

void check_record(const Settings& settings, const std::vector<Tags>& tags, bool utf8, std::string_view& body) {
    FUZZ_CHECK(take_line(body) == "<vcf>");
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const FieldMapping& mapping = settings.mappings[j];
        // A list field writes one element a value, none for a card without one; another
        // field one element, empty or not.
        if (is_list_field(settings, mapping)) {
            std::size_t values = 0;
            while (body.starts_with(tags[j].open)) {
                const std::string_view value = take_field(tags[j], body);
                FUZZ_CHECK(!value.empty());
                check_field_value(settings, mapping, value, utf8);
                ++values;
            }
            if (mapping.condition == Condition::Required) FUZZ_CHECK(values > 0);
            continue;
        }
        const std::string_view value = take_field(tags[j], body);
        // The filter ran on the captured values, which the output keeps apart from constants.
        if (!mapping.constant && mapping.condition == Condition::Required) FUZZ_CHECK(!value.empty());
        check_field_value(settings, mapping, value, utf8);
    }
    FUZZ_CHECK(take_line(body) == "</vcf>");
}

void check_document(const Settings& settings, std::string_view name, const Output& output) {
    // Names and values are text when decoding, in a UTF-8 or a windows-1250 document (UTF-8
    // also where the configuration names a template, whose text the record form then writes).
    const bool utf8 = document_is_utf8(settings);
    const bool as_text = settings.decode;
    const std::string element = name_for_document(name, as_text, utf8);
    const std::string head = std::string("<?xml version=\"1.0\" encoding=\"") + (utf8 ? "UTF-8" : "windows-1250") +
                             "\"?>\r\n<" + element + ">\r\n";
    const std::string tail = "</" + element + ">\r\n";
    const std::string_view document = output.document;
    FUZZ_CHECK(!output.result.write_failed);
    FUZZ_CHECK(document.size() >= head.size() + tail.size());
    FUZZ_CHECK(document.starts_with(head));
    FUZZ_CHECK(document.ends_with(tail));
    std::string_view body = document.substr(head.size(), document.size() - head.size() - tail.size());
    std::vector<Tags> tags;
    for (const FieldMapping& mapping : settings.mappings) {
        const std::string written = name_for_document(mapping.element, as_text, utf8);
        tags.push_back({"<" + written + ">", "</" + written + ">"});
    }
    std::size_t records = 0;
    while (!body.empty()) {
        check_record(settings, tags, utf8, body);
        ++records;
    }
    FUZZ_CHECK(records == output.result.records_written);
    FUZZ_CHECK(records <= output.result.cards_ended);
    // Without a condition every card end writes a record.
    const bool filtered = std::any_of(settings.mappings.begin(), settings.mappings.end(),
                                      [](const FieldMapping& m) { return m.condition != Condition::None; });
    if (!filtered) FUZZ_CHECK(records == output.result.cards_ended);
}

// Whether some card line may begin with "END:" once decoded and folded. Each letter may
// also come from an accented letter that folds to it (one windows-1250 byte, or two UTF-8
// bytes). Decoded, the letters count in any case and a line may be put together from
// folded lines and soft line breaks, whose joints are made only of the bytes passed over.
bool may_hold_end_line(std::string_view cards, bool decode) {
    if (cards.find("END:") != std::string_view::npos) return true;
    constexpr std::string_view kLetters = "END";
    // done[k]: the bytes so far may end k letters of "END"; half[k]: one byte of a
    // two-byte letter k.
    bool done[4] = {true, false, false, false};
    bool half[3] = {false, false, false};
    for (const char c : cards) {
        if (decode && (c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '=')) continue;
        if (done[3] && c == ':') return true;
        const bool high = static_cast<unsigned char>(c) >= 0x80;
        const char upper = decode && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        bool next_done[4] = {true, false, false, false};
        bool next_half[3] = {false, false, false};
        for (std::size_t k = 0; k < 3; ++k) {
            if (done[k] && (upper == kLetters[k] || high)) next_done[k + 1] = true;
            if (done[k] && high) next_half[k] = true;
            if (half[k] && high) next_done[k + 1] = true;
        }
        std::copy(std::begin(next_done), std::end(next_done), std::begin(done));
        std::copy(std::begin(next_half), std::end(next_half), std::begin(half));
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view config = kDefaultConfig;
    std::string_view cards = input;
    if (const std::size_t split = input.find(kSeparator); split != std::string_view::npos) {
        config = input.substr(0, split);
        cards = input.substr(split + kSeparator.size());
    } else if (input.starts_with(kSeparator.substr(1))) {
        config = {};
        cards = input.substr(kSeparator.size() - 1);
    }

    Settings configured;
    const Settings* chosen = &default_settings(size % 2 == 1, size % 3 == 0);
    if (config.data() != kDefaultConfig.data()) {
        configured = settings_of(config);
        chosen = &configured;
    }
    const Settings& settings = *chosen;
    const DocumentNames names = document_names(settings);
    Buffers& documents = buffers();

    // The bytes arrive in chunks of changing size; the whole document is checked.
    fuzz::ChunkedSource chunked{cards, 1 + size % 4099};
    LineReader in_pieces = make_line_reader(ByteSource{ByteSource::Read::bind<fuzz::read_chunked>(chunked)});
    const Output first{documents.first,
                       convert_document(settings, names.element, in_pieces, memory_sink(documents.first))};
    check_document(settings, names.element, first);
    // Only a line that begins with "END:" ends a card.
    if (first.result.cards_ended > 0) FUZZ_CHECK(may_hold_end_line(cards, settings.decode));

    // The same bytes read at once give the same document, into a sink that may fill up: it
    // holds the start of the document, and the run fails exactly when the document doesn't
    // fit. Every other input gets just room enough, so that both readings are compared
    // whole, and the others any room up to that.
    const std::size_t whole = first.document.size();
    LimitedSink limited{documents.limited, (size / 2) % 2 == 0 ? whole : size * 31 % (whole + 2)};
    LineReader at_once = make_line_reader(memory_source(cards));
    const ConversionResult cut =
        convert_document(settings, names.element, at_once, ByteSink{ByteSink::Write::bind<write_limited>(limited)});
    FUZZ_CHECK(cut.write_failed == (whole > limited.room));
    FUZZ_CHECK(cut.write_failed ? std::string_view(first.document).starts_with(limited.written)
                                : limited.written == first.document);
    return 0;
}
