// The platform's own file calls: reading a file, writing the XML file so that a failure
// loses nothing, telling two names of one file apart, and the signals on the way.
//
// The document goes to a new hidden file beside the target (symbolic links followed),
// which replaces the target in one step once every byte of it is safely on disk. Only
// where that can't work, or would break what the user set up, is the target written in
// place as it always was: a device or a FIFO, a file with several hard links (every name
// must see the new phonebook), a folder that refuses a new file while the file itself may
// be written. SIGINT, SIGTERM and SIGHUP remove the temporary file and say so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorlan {

// Opens `name` for reading bytes as they are; false with an errno value in `error`.
bool open_for_reading(const std::string& name, std::intptr_t& handle, int& error);
// Reads up to `capacity` bytes from the file, as a ByteSource reads: how many, 0 at the end
// or after a failure, which leaves an errno value in `error`.
std::size_t read_from_handle(std::intptr_t handle, char* buffer, std::size_t capacity, int& error);
// Returns 0, or the errno value of a failed close.
int close_for_reading(std::intptr_t handle);

// A temporary file's name: "." and the target's name, cut to kTemporaryNameBytes so that a
// name near the system's limit still makes one, then kTemporaryMark and a part that makes it
// unique. Both systems name them so, and the search for the files of stopped runs relies on it.
inline constexpr std::size_t kTemporaryNameBytes = 200;
inline constexpr const char* kTemporaryMark = ".quorlan-";
// Links followed one by one at most: the limit of the systems' own path resolution.
inline constexpr int kMaxLinkDepth = 40;

struct OutputFile {
    std::string name;       // as the configuration gives it, for messages
    std::string target;     // the file the document replaces, links followed
    std::string temporary;  // the new file's name; empty when the target is written in place
    std::intptr_t handle = -1;  // the open file: a descriptor, or a Windows handle
    std::uint64_t written = 0;  // bytes written so far
    std::uint64_t sent = 0;     // bytes already handed to the disk ahead of the final flush
    // Set before opening: the file is new or nothing. Opening fails with EEXIST when the
    // target exists, and so does the commit when another program created it meanwhile;
    // a link at the name counts as there, and is never followed.
    bool keep_existing = false;
};

// Ignores the signals that would otherwise end the program on a failed write (a pipe
// whose reader went away, a file grown past the size limit): the write fails with its
// reason instead.
void ignore_write_signals();

// Opens the output for writing. False, with an errno value in `error`, when it can't;
// nothing has changed on disk then.
bool open_output(OutputFile& output, const std::string& name, int& error);

// Writes all `size` bytes, or returns false with an errno value in `error`.
bool write_output(OutputFile& output, const char* data, std::size_t size, int& error);

// Makes the written document the target: flushed to disk and renamed over it. Returns 0,
// or the errno value of the step that failed, after which the target is as it was.
int commit_output(OutputFile& output);

// Removes what was written to a temporary file; the target stays as it was.
void abandon_output(OutputFile& output);

// True when the output replaces its target only once the run succeeds.
inline bool replaces_atomically(const OutputFile& output) { return !output.temporary.empty(); }

// True when standard error is a terminal, where a long task may show its progress.
bool error_output_is_terminal();
// Pages after the first of a document that a phone fetches page by page. Page `number`
// (2, 3, ...) is written to a temporary named after the first page's, which an interrupt
// removes with it; where the first page is written in place, so is each page.
bool open_page_output(const OutputFile& first, OutputFile& page, std::size_t number, const std::string& name,
                      int& error);
// Closes a written page, on its way to the disk (sync_pages ends that); 0 or the errno
// value of the failure.
int finish_page_output(OutputFile& page);
// Puts every finished page on disk, where finishing a page only started that, and the
// first page with them; 0 or the errno value.
int sync_pages(const OutputFile& first);
// Moves a finished page over its target; 0 or the errno value.
int place_page_output(OutputFile& page);
// Removes a page's temporary; its target stays as it was.
void abandon_page_output(OutputFile& page);

// Identifies a file, links followed, so that two names of one file can be recognised.
struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t index = 0;
};
FileIdentity file_identity(const std::string& name);

inline bool same_file(const FileIdentity& a, const FileIdentity& b) {
    return a.exists && b.exists && a.device == b.device && a.index == b.index;
}

}  // namespace quorlan
