// The local copy of an address book: one .vcf file per card, the layout other contact
// tools read, and a state file with the sync token and each card's ETag. Changes are
// written to temporary files first and put in place only when all of them arrived, the
// state last, so a failed run leaves the folder as it was.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan {

inline constexpr const char* kStateFileName = ".quorlan-carddav";

struct KeptCard {
    std::string href;  // as the server wrote it
    std::string etag;
    std::string file;  // the file's name inside the folder
};

struct FolderState {
    std::string url;    // the CARDDAV= line the folder was filled from
    std::string chosen;  // the CARDDAV_BOOK= line it was filled with
    std::string book;   // the address book found from them
    std::string token;  // the sync token of the last complete run; empty without one
    std::map<std::string, KeptCard> cards;  // by href_key
};

// Reads the state of `folder`: an empty state when the folder or its state file is not
// there. False with `failure` set when the state file can't be read.
bool load_folder_state(const std::string& folder, FolderState& state, std::string& failure);

// A card fetched in this run, waiting in a temporary file.
struct ArrivedCard {
    std::string key;
    KeptCard card;
    std::size_t temporary = 0;  // the number in the temporary file's name
    bool waiting = true;        // still in its temporary file
};

struct FolderChanges {
    std::string folder;
    bool created_folder = false;
    std::vector<ArrivedCard> arrived;
    std::vector<std::string> removed;  // keys of the cards gone from the server
    std::size_t temporaries = 0;
    std::set<std::string> names;  // the card files' names, of the folder and of this run
};

FolderChanges begin_folder_changes(const std::string& folder, const FolderState& state);

// What tells two hrefs of one card apart from those of others: the path, with its
// percent escapes decoded, since servers write the same href escaped in different ways.
std::string href_key(std::string_view href);

// Writes the text of a fetched card to a temporary file of the folder (made if missing).
bool keep_arrived_card(FolderChanges& changes, std::string key, KeptCard card, std::string_view text,
                       std::string& failure);

// How many cards the folder holds once `changes` are in place.
std::size_t cards_after(const FolderChanges& changes, const FolderState& state);

// Puts every arrived card in place, removes the removed ones and writes `state` (updated
// here) last. False with `failure` set when a step fails.
bool commit_folder_changes(FolderChanges& changes, FolderState& state, std::string& failure);

// Removes the temporary files of `changes`: the folder is as it was.
void abandon_folder_changes(FolderChanges& changes);

// A file name for a card: the last segment of its href, kept to characters every system
// takes, with ".vcf" at its end; never hidden, never one that another card has; the name is taken.
std::string card_file_name(std::string_view href, FolderChanges& changes);

}  // namespace quorlan
