#include "io/folder_source.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "io/platform.h"

namespace quorlan {

namespace {

bool is_card_file(const std::filesystem::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.front() == '.' || name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    std::error_code ignored;
    return extension == ".vcf" && entry.is_regular_file(ignored);
}

std::size_t read_folder(FolderSource& source, char* buffer, std::size_t capacity, int& error) {
    while (capacity > 0) {
        if (source.handle == -1) {
            if (source.next == source.files.size()) return 0;
            // A card file without a final line end must not join its last line to the next file's first.
            if (!source.ended_in_lf) {
                source.ended_in_lf = true;
                buffer[0] = '\n';
                return 1;
            }
            const std::string& name = source.files[source.next++];
            if (!open_for_reading(name, source.handle, error)) {
                source.failed_file = name;
                return 0;
            }
        }
        const std::size_t got = read_from_handle(source.handle, buffer, capacity, error);
        if (got > 0) {
            source.ended_in_lf = buffer[got - 1] == '\n';
            return got;
        }
        const std::string& name = source.files[source.next - 1];
        const int close_error = close_for_reading(source.handle);
        source.handle = -1;
        if (error == 0) error = close_error;
        if (error != 0) {
            source.failed_file = name;
            return 0;
        }
    }
    return 0;
}

}  // namespace

bool open_folder_source(FolderSource& source, const std::string& folder, int& error) {
    std::error_code listing;
    std::filesystem::directory_iterator it(folder, listing);
    for (; !listing && it != std::filesystem::directory_iterator(); it.increment(listing)) {
        if (is_card_file(*it)) source.files.push_back(it->path().string());
    }
    if (listing) {
        error = listing.value() != 0 ? listing.value() : EIO;
        return false;
    }
    std::sort(source.files.begin(), source.files.end());
    return true;
}

ByteSource folder_bytes(FolderSource& source) { return ByteSource{ByteSource::Read::bind<read_folder>(source)}; }

int close_folder_source(FolderSource& source) {
    if (source.handle == -1) return 0;
    const int error = close_for_reading(source.handle);
    source.handle = -1;
    return error;
}

}  // namespace quorlan
