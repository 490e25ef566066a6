#include "io/card_file.h"

namespace quorlan {

bool open_card_file(CardFile& cards, const std::string& name, bool from_folder, int& error) {
    cards.name = name;
    cards.from_folder = from_folder;
    if (from_folder ? !open_folder_source(cards.folder, name, error) : !open_text_file(cards.file, name, error)) {
        return false;
    }
    cards.reader = make_line_reader(from_folder ? folder_bytes(cards.folder) : text_bytes(cards.file));
    prime_reader(cards.reader);  // which reads enough to tell UTF-16
    cards.from_utf16 = !from_folder && cards.file.utf16.guess.encoding != TextEncoding::Bytes;
    return true;
}

const std::string& failing_file(const CardFile& cards) {
    return cards.from_folder && !cards.folder.failed_file.empty() ? cards.folder.failed_file : cards.name;
}

int close_card_file(CardFile& cards) {
    return cards.from_folder ? close_folder_source(cards.folder) : close_text_file(cards.file);
}

}  // namespace quorlan
