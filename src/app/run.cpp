#include "app/run.h"

#include "charset/cp1250.h"
#include "convert/card.h"
#include "text/text_ops.h"

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
                                  LineReader& input, ByteSink sink) {
    ConversionResult result;
    std::string out;
    out.reserve(kFlushBytes + kFlushBytes / 8);
    out += "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\r\n<";
    out += element;
    out += ">\r\n";

    const PrefixIndex index = make_prefix_index(settings);
    CardState card = make_card_state(settings);
    std::string line;
    line.reserve(kLineBufferSize);
    while (read_line(input, line)) {
        trim_line_end(line);
        // The card start is recognised on the line as read, before any decoding.
        if (begins_with(line, "BEGIN:VCARD")) reset_card(card);
        utf8_to_cp1250(line);
        trim_line_end(line);
        if (settings.fold_ascii != 0) fold_to_ascii(line);
        capture_values(line, input, settings, index, card);
        // Capture may have replaced the line with a continuation line: the card ends
        // when what is in the buffer now begins with "END:".
        if (begins_with(line, "END:")) {
            ++result.cards_ended;
            if (write_record(settings, card, out)) ++result.records_written;
        }
        if (out.size() >= kFlushBytes && !flush(sink, out, result)) return result;
    }
    out += "</";
    out += element;
    out += ">\r\n";
    flush(sink, out, result);
    return result;
}

}  // namespace quorlan
