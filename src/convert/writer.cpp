#include "convert/writer.h"

namespace quorlan {

namespace {

// Output is gathered and handed to the sink in blocks of about this size.
constexpr std::size_t kFlushBytes = std::size_t{64} * 1024;

bool append_to_buffer(void* context, const char* data, std::size_t size, int&) {
    static_cast<std::string*>(context)->append(data, size);
    return true;
}

bool flush(DocumentWriter& writer) {
    if (writer.out.empty()) return true;
    if (!writer.sink.write(writer.sink.context, writer.out.data(), writer.out.size(), writer.error)) {
        writer.failed = true;
        return false;
    }
    writer.out.clear();
    return true;
}

}  // namespace

ByteSink memory_sink(std::string& buffer) { return ByteSink{append_to_buffer, &buffer}; }

ByteSink discarding_sink() {
    return ByteSink{[](void*, const char*, std::size_t, int&) { return true; }, nullptr};
}

DocumentWriter open_document(DocumentForm form, ByteSink sink) {
    DocumentWriter writer{form, sink, {}};
    writer.out.reserve(kFlushBytes + kFlushBytes / 8);
    form.open(form.form, writer.out);
    return writer;
}

bool flush_when_full(DocumentWriter& writer) { return writer.out.size() < kFlushBytes || flush(writer); }

bool close_document(DocumentWriter& writer, bool complete) {
    if (complete) writer.form.close(writer.form.form, writer.out);
    return flush(writer);
}

}  // namespace quorlan
