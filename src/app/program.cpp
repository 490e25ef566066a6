#include "app/program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "convert/document.h"
#include "io/files.h"
#include "text/line_reader.h"

namespace quorlan {

namespace {

bool write_to_file(void* context, const char* data, std::size_t size, int& error) {
    errno = 0;
    if (std::fwrite(data, 1, size, static_cast<std::FILE*>(context)) == size) return true;
    error = errno != 0 ? errno : EIO;
    return false;
}

}  // namespace

int run_program() {
    Settings settings;
    ConfigFileFacts facts;
    if (!load_settings(settings, ConfigObserver{}, facts)) return 1;
    const DocumentNames names = document_names(settings);

    // The input is opened, and its first block read, before the output is created, so
    // that a missing or unreadable input never empties an existing phonebook.
    errno = 0;
    std::FILE* input_file = std::fopen(names.input_file.c_str(), "rb");
    if (input_file == nullptr) return report("cannot open", names.input_file, errno);
    FileSource source{input_file};
    LineReader input = make_line_reader(ByteSource{read_from_file, &source});
    prime_reader(input);
    if (input.error != 0) {
        std::fclose(input_file);
        return report("cannot read", names.input_file, input.error);
    }

    errno = 0;
    std::FILE* output_file = std::fopen(names.output_file.c_str(), "wb");
    if (output_file == nullptr) {
        const int error = errno;
        std::fclose(input_file);
        return report("cannot create", names.output_file, error);
    }
    // Output is gathered in large blocks already; unbuffered writes report failures at once.
    std::setvbuf(output_file, nullptr, _IONBF, 0);

    const ConversionResult result =
        convert_document(settings, names.element, input, ByteSink{write_to_file, output_file});

    int status = 0;
    if (result.write_failed) status = report("cannot write", names.output_file, result.write_error);
    if (status == 0 && input.error != 0) status = report("cannot read", names.input_file, input.error);
    errno = 0;
    if (std::fclose(input_file) != 0 && status == 0) {
        status = report("cannot close", names.input_file, errno);
    }
    errno = 0;
    if (std::fclose(output_file) != 0 && status == 0) {
        status = report("cannot write", names.output_file, errno != 0 ? errno : EIO);
    }
    return status;
}

}  // namespace quorlan
