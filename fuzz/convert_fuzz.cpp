// Arbitrary bytes through the whole conversion core, in memory. The input is a configuration,
// a line "%%", and the card file; without that line it is all card file, converted with a
// configuration that uses every kind of mapping.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "convert/document.h"
#include "fuzz_support.h"
#include "text/line_reader.h"

namespace {

using namespace quorlan;

constexpr std::string_view kSeparator = "\n%%\n";
constexpr std::string_view kDefaultConfig =
    "contacts.vcf\nphonebook.xml\nASCII=1\nNAME*=N:\nFULL=FN\nMOBILE#=TEL;CELL\nPHONE#=TEL\n"
    "MAIL=EMAIL\nCOMPANY-=ORG\nNOTE=NOTE\nSTREET=ADR\nSOURCE_IDENT=addressbook\nLAST=END\n";

Settings settings_of(std::string_view config) {
    LineReader reader = make_line_reader(memory_source(config));
    skip_utf8_bom(reader);
    return read_settings(reader);
}

// Takes at most `room` bytes, like a disk that fills up.
struct LimitedSink {
    std::string written;
    std::size_t room;
};

bool write_limited(void* context, const char* data, std::size_t size, int& error) {
    auto& sink = *static_cast<LimitedSink*>(context);
    const std::size_t n = std::min(size, sink.room - sink.written.size());
    sink.written.append(data, n);
    if (n == size) return true;
    error = ENOSPC;
    return false;
}

struct Output {
    std::string document;
    ConversionResult result;
};

Output convert(const Settings& settings, std::string_view element, std::string_view cards) {
    Output output;
    LineReader input = make_line_reader(memory_source(cards));
    output.result = convert_document(settings, element, input, memory_sink(output.document));
    return output;
}

// The value text between a field's tags: markup only as the entities &amp; &lt; &gt; (and CR
// as &#13;), no byte that an XML parser refuses or changes, and nothing that ends the line.
void check_value(std::string_view value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto b = static_cast<unsigned char>(value[i]);
        FUZZ_CHECK(b != '<' && b != '>');
        if (b == '&') {
            const std::string_view rest = value.substr(i + 1);
            FUZZ_CHECK(rest.starts_with("amp;") || rest.starts_with("lt;") || rest.starts_with("gt;") ||
                       rest.starts_with("#13;"));
        }
        FUZZ_CHECK(b >= 0x20 || b == '\t');
        FUZZ_CHECK(b != 0x81 && b != 0x83 && b != 0x88 && b != 0x90 && b != 0x98);
    }
}

std::string_view take_line(std::string_view& body) {
    const std::size_t lf = body.find('\n');
    FUZZ_CHECK(lf != std::string_view::npos);
    FUZZ_CHECK(lf > 0 && body[lf - 1] == '\r');
    const std::string_view line = body.substr(0, lf - 1);
    body.remove_prefix(lf + 1);
    return line;
}

void check_record(const Settings& settings, std::string_view& body) {
    FUZZ_CHECK(take_line(body) == "<vcf>");
    for (const FieldMapping& mapping : settings.mappings) {
        const std::string open = "<" + mapping.element + ">";
        const std::string close = "</" + mapping.element + ">";
        const std::string_view line = take_line(body);
        FUZZ_CHECK(line.size() >= open.size() + close.size());
        FUZZ_CHECK(line.starts_with(open) && line.ends_with(close));
        const std::string_view value = line.substr(open.size(), line.size() - open.size() - close.size());
        check_value(value);
        // The filter ran on the captured values, which the output keeps apart from constants.
        if (!mapping.constant && mapping.condition == Condition::Required) FUZZ_CHECK(!value.empty());
        if (!mapping.constant && mapping.condition == Condition::Forbidden) FUZZ_CHECK(value.empty());
        // A grouped number keeps every character and gains exactly three spaces.
        if (mapping.phone && value.starts_with('+')) {
            FUZZ_CHECK(std::count(value.begin(), value.end(), ' ') == 3);
        }
    }
    FUZZ_CHECK(take_line(body) == "</vcf>");
}

void check_document(const Settings& settings, std::string_view element, const Output& output) {
    const std::string head =
        "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\r\n<" + std::string(element) + ">\r\n";
    const std::string tail = "</" + std::string(element) + ">\r\n";
    const std::string_view document = output.document;
    FUZZ_CHECK(!output.result.write_failed);
    FUZZ_CHECK(document.size() >= head.size() + tail.size());
    FUZZ_CHECK(document.starts_with(head));
    FUZZ_CHECK(document.ends_with(tail));
    std::string_view body = document.substr(head.size(), document.size() - head.size() - tail.size());
    std::size_t records = 0;
    while (!body.empty()) {
        check_record(settings, body);
        ++records;
    }
    FUZZ_CHECK(records == output.result.records_written);
    FUZZ_CHECK(records <= output.result.cards_ended);
    // Without a condition every card end writes a record.
    const bool filtered = std::any_of(settings.mappings.begin(), settings.mappings.end(),
                                      [](const FieldMapping& m) { return m.condition != Condition::None; });
    if (!filtered) FUZZ_CHECK(records == output.result.cards_ended);
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

    const Settings settings = settings_of(config);
    const DocumentNames names = document_names(settings);
    const Output first = convert(settings, names.element, cards);
    check_document(settings, names.element, first);
    // Only a line that begins with "END:" ends a card.
    if (cards.find("END:") == std::string_view::npos) FUZZ_CHECK(first.result.cards_ended == 0);

    // The same input gives the same output, however the bytes arrive.
    FUZZ_CHECK(convert(settings, names.element, cards).document == first.document);
    fuzz::ChunkedSource chunked{cards, 1 + size % 4099};
    LineReader input_in_pieces = make_line_reader(ByteSource{fuzz::read_chunked, &chunked});
    std::string in_pieces;
    convert_document(settings, names.element, input_in_pieces, memory_sink(in_pieces));
    FUZZ_CHECK(in_pieces == first.document);

    // A sink that fills up: what it holds is the start of the document, and the run says
    // that it failed exactly when the document didn't fit.
    LimitedSink limited{{}, size * 31 % (first.document.size() + 2)};
    LineReader input_again = make_line_reader(memory_source(cards));
    const ConversionResult cut =
        convert_document(settings, names.element, input_again, ByteSink{write_limited, &limited});
    FUZZ_CHECK(cut.write_failed == (first.document.size() > limited.room));
    FUZZ_CHECK(std::string_view(first.document).starts_with(limited.written));
    return 0;
}
