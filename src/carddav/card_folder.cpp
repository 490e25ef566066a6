#include "carddav/card_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "text/text_ops.h"

namespace quorlan {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kStateHeader = "quorlan carddav 1";
constexpr const char* kTemporaryPrefix = ".quorlan-new-";

std::string path_in(const std::string& folder, std::string_view name) {
    return (fs::path(folder) / fs::path(std::string(name))).string();
}

std::vector<std::string_view> split_tabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

// A value the state file can hold on its line.
bool fits_a_line(std::string_view value) { return value.find_first_of("\t\r\n") == std::string_view::npos; }

bool write_file(const std::string& path, std::string_view bytes, std::string& failure) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        failure = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        failure = "cannot write '" + path + "': " + std::strerror(written ? errno : error);
        std::remove(path.c_str());
        return false;
    }
    return true;
}

std::string state_text(const FolderState& state) {
    std::string text(kStateHeader);
    text += "\nurl\t" + state.url + "\nchosen\t" + state.chosen + "\nbook\t" + state.book + "\ntoken\t" + state.token + "\n";
    for (const auto& [key, card] : state.cards) {
        text += "card\t" + card.href + "\t" + card.etag + "\t" + card.file + "\n";
    }
    return text;
}

bool is_safe_byte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '@' || c == '+' || c == '%';
}

bool ends_with_vcf(std::string_view name) {
    if (name.size() < 4) return false;
    std::string end(name.substr(name.size() - 4));
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return end == ".vcf";
}

std::string temporary_path(const FolderChanges& changes, std::size_t number) {
    return path_in(changes.folder, kTemporaryPrefix + std::to_string(number));
}

}  // namespace

bool load_folder_state(const std::string& folder, FolderState& state, std::string& failure) {
    state = FolderState{};
    const std::string path = path_in(folder, kStateFileName);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code ignored;
        if (!fs::exists(path, ignored)) return true;
        failure = "cannot read '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::string line;
    if (!std::getline(in, line) || line != kStateHeader) return true;  // not ours: start afresh
    while (std::getline(in, line)) {
        const std::vector<std::string_view> f = split_tabs(line);
        if (f.size() == 2 && f[0] == "url") state.url = f[1];
        if (f.size() == 2 && f[0] == "book") state.book = f[1];
        if (f.size() == 2 && f[0] == "chosen") state.chosen = f[1];
        if (f.size() == 2 && f[0] == "token") state.token = f[1];
        if (f.size() == 4 && f[0] == "card") {
            KeptCard card{std::string(f[1]), std::string(f[2]), std::string(f[3])};
            state.cards[href_key(card.href)] = std::move(card);
        }
    }
    if (in.bad()) {
        failure = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

bool keep_arrived_card(FolderChanges& changes, std::string key, KeptCard card, std::string_view text,
                       std::string& failure) {
    std::error_code error;
    if (!fs::exists(changes.folder, error)) {
        if (!fs::create_directories(changes.folder, error)) {
            failure = "cannot make the folder '" + changes.folder + "': " + error.message();
            return false;
        }
        changes.created_folder = true;
    }
    const std::size_t number = changes.temporaries++;
    if (!write_file(temporary_path(changes, number), text, failure)) return false;
    changes.arrived.push_back(ArrivedCard{std::move(key), std::move(card), number, true});
    return true;
}

std::size_t cards_after(const FolderChanges& changes, const FolderState& state) {
    std::set<std::string_view> gone(changes.removed.begin(), changes.removed.end());
    std::size_t count = state.cards.size();
    for (const ArrivedCard& arrived : changes.arrived) {
        gone.erase(arrived.key);
        if (state.cards.count(arrived.key) == 0) ++count;
    }
    for (const std::string_view key : gone) {
        if (state.cards.count(std::string(key)) != 0) --count;
    }
    return count;
}

bool commit_folder_changes(FolderChanges& changes, FolderState& state, std::string& failure) {
    std::error_code error;
    if (!fs::exists(changes.folder, error) && !fs::create_directories(changes.folder, error)) {
        failure = "cannot make the folder '" + changes.folder + "': " + error.message();
        return false;
    }
    for (ArrivedCard& arrived : changes.arrived) {
        const std::string target = path_in(changes.folder, arrived.card.file);
        if (std::rename(temporary_path(changes, arrived.temporary).c_str(), target.c_str()) != 0) {
            failure = "cannot put '" + target + "' in place: " + std::strerror(errno);
            abandon_folder_changes(changes);
            return false;
        }
        arrived.waiting = false;
        state.cards[std::move(arrived.key)] = std::move(arrived.card);
    }
    for (const std::string& key : changes.removed) {
        const auto kept = state.cards.find(key);
        if (kept == state.cards.end()) continue;
        fs::remove(path_in(changes.folder, kept->second.file), error);
        state.cards.erase(kept);
    }
    // Cards whose href, ETag or name the state file can't hold are fetched again next time.
    std::erase_if(state.cards, [](const auto& entry) {
        return !fits_a_line(entry.second.href) || !fits_a_line(entry.second.etag);
    });
    if (!fits_a_line(state.token) || !fits_a_line(state.url) || !fits_a_line(state.book) ||
        !fits_a_line(state.chosen)) {
        state.token.clear();
    }
    const std::string temporary = path_in(changes.folder, std::string(kTemporaryPrefix) + "state");
    const std::string target = path_in(changes.folder, kStateFileName);
    if (!write_file(temporary, state_text(state), failure)) return false;
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        failure = "cannot put '" + target + "' in place: " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

void abandon_folder_changes(FolderChanges& changes) {
    for (ArrivedCard& arrived : changes.arrived) {
        if (arrived.waiting) std::remove(temporary_path(changes, arrived.temporary).c_str());
        arrived.waiting = false;
    }
    std::error_code ignored;
    if (changes.created_folder) fs::remove(changes.folder, ignored);  // only when still empty
}

FolderChanges begin_folder_changes(const std::string& folder, const FolderState& state) {
    FolderChanges changes;
    changes.folder = folder;
    for (const auto& [key, card] : state.cards) changes.names.insert(card.file);
    return changes;
}

std::string href_key(std::string_view href) {
    if (const auto scheme = href.find("://"); scheme != std::string_view::npos) {
        const auto path = href.find('/', scheme + 3);
        href = path == std::string_view::npos ? std::string_view("/") : href.substr(path);
    }
    std::string key;
    for (std::size_t i = 0; i < href.size(); ++i) {
        const int high = href[i] == '%' && i + 2 < href.size() ? hex_digit_value(href[i + 1]) : -1;
        const int low = high >= 0 ? hex_digit_value(href[i + 2]) : -1;
        if (low >= 0) {
            key += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            key += href[i];
        }
    }
    return key;
}

std::string card_file_name(std::string_view href, FolderChanges& changes) {
    while (!href.empty() && href.back() == '/') href.remove_suffix(1);
    std::string_view segment = href.substr(href.find_last_of('/') + 1);
    std::string base;
    for (const char c : segment) {
        base += is_safe_byte(static_cast<unsigned char>(c)) ? c : '_';
    }
    if (base.empty() || base.front() == '.') base.insert(0, "card");
    if (ends_with_vcf(base)) base.resize(base.size() - 4);
    std::string name = base + ".vcf";
    for (int n = 2; changes.names.count(name) != 0; ++n) name = base + "-" + std::to_string(n) + ".vcf";
    changes.names.insert(name);
    return name;
}

}  // namespace quorlan
