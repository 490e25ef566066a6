#include "convert/writer.h"

#include <utility>

namespace quorlan {

namespace {

// Output is gathered and handed to the sink in blocks of about this size.
constexpr std::size_t kFlushBytes = std::size_t{64} * 1024;

bool flush(DocumentWriter& writer) {
    if (writer.out.empty()) return true;
    if (!writer.sink.write(writer.out.data(), writer.out.size(), writer.error)) {
        writer.failed = true;
        return false;
    }
    writer.out.clear();
    return true;
}

}  // namespace

namespace {

bool keep_nothing(char&, const char*, std::size_t, int&) { return true; }

}  // namespace

ByteSink discarding_sink() {
    static char nothing = 0;  // never written: the sink needs something to be bound to
    return ByteSink{ByteSink::Write::bind<keep_nothing>(nothing)};
}

DocumentWriter open_document(DocumentForm form, RecordFinishing finishing, ByteSink sink) {
    DocumentWriter writer{form, std::move(finishing), sink, {}};
    writer.out.reserve(kFlushBytes + kFlushBytes / 8);
    form.frame(FramePart::Start, writer.out);
    return writer;
}

void hand_over_pages(DocumentWriter& writer) {
    std::size_t handed = 0;  // bytes of `out` already given to the sink
    std::size_t at = 0;
    while (writer.form.take_page_end(at)) {
        if (writer.failed) continue;  // told, but nothing more is written
        const std::size_t size = at - handed;
        if (!writer.sink.write(writer.out.data() + handed, size, writer.error) ||
            (writer.sink.end_page && !writer.sink.end_page(writer.error))) {
            writer.failed = true;
        }
        handed = at;
    }
    writer.out.erase(0, handed);
}

bool flush_when_full(DocumentWriter& writer) {
    return !writer.failed && (writer.out.size() < kFlushBytes || flush(writer));
}

bool close_document(DocumentWriter& writer, bool complete) {
    if (complete) writer.form.frame(FramePart::End, writer.out);
    if (writer.form.take_page_end) hand_over_pages(writer);
    return !writer.failed && flush(writer);
}

}  // namespace quorlan
