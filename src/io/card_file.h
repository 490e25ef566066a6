// The card file that a run, --explain and --init read: a file (UTF-16 arrives as UTF-8),
// or, for an address book on a server, the folder its cards are kept in.
#pragma once

#include <string>

#include "io/files.h"
#include "io/folder_source.h"
#include "text/line_reader.h"

namespace quorlan {

struct CardFile {
    TextFile file;
    FolderSource folder;
    bool from_folder = false;
    std::string name;  // the file or the folder, as messages name it
    LineReader reader;
    // The bytes are UTF-8 converted from a UTF-16 file: text that is Unicode already,
    // whatever charset its lines declare.
    bool from_utf16 = false;
    CardFile() = default;
    CardFile(const CardFile&) = delete;
    CardFile& operator=(const CardFile&) = delete;
};

// Opens the card file `name`, or with `from_folder` the card folder `name`, and reads its
// first block, so that an unreadable file fails before anything else is done (the error
// left in `reader.error`) and UTF-16 is told. False, with an errno value in `error`, when
// it can't be opened.
bool open_card_file(CardFile& cards, const std::string& name, bool from_folder, int& error);

// The file that a failed read or close is about: the folder's card file that failed, else
// the name opened.
const std::string& failing_file(const CardFile& cards);

// Closes what is open; returns 0 or the errno value of a failed close.
[[nodiscard]] int close_card_file(CardFile& cards);

}  // namespace quorlan
