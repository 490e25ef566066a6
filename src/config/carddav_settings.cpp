#include "config/carddav_settings.h"

#include <string>

#include "config/settings.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

enum class Key { Url, User, PasswordFrom, Book, Ca, Pin, Folder, Timeout };

struct KeyName {
    std::string_view keyword;
    Key key;
};

// Longer keywords first would not matter: each ends with "=", so none begins another.
constexpr KeyName kKeys[] = {
    {kCarddavKeyword, Key::Url},
    {"CARDDAV_USER=", Key::User},
    {"CARDDAV_PASSWORD_FROM=", Key::PasswordFrom},
    {"CARDDAV_BOOK=", Key::Book},
    {"CARDDAV_CA=", Key::Ca},
    {"CARDDAV_PIN=", Key::Pin},
    {"CARDDAV_FOLDER=", Key::Folder},
    {"CARDDAV_TIMEOUT=", Key::Timeout},
};

const KeyName* key_of(std::string_view line) {
    std::string upper(line.substr(0, 32));
    to_upper_ascii(upper);
    for (const KeyName& key : kKeys) {
        if (std::string_view(upper).starts_with(key.keyword)) return &key;
    }
    return nullptr;
}

}  // namespace

bool is_carddav_line(std::string_view line) { return key_of(line) != nullptr; }

bool apply_carddav_line(std::string_view line, CarddavSettings& settings) {
    const KeyName* key = key_of(line);
    if (key == nullptr) return false;
    std::string value(line.substr(key->keyword.size()));
    trim_line_end(value);
    switch (key->key) {
        case Key::Url: settings.url = std::move(value); break;
        case Key::User: settings.user = std::move(value); break;
        case Key::PasswordFrom: settings.password_from = std::move(value); break;
        case Key::Book: settings.book = std::move(value); break;
        case Key::Ca: settings.ca_file = std::move(value); break;
        case Key::Pin: settings.pinned_key = std::move(value); break;
        case Key::Folder: settings.folder = std::move(value); break;
        case Key::Timeout: {
            const SwitchNumber number = parse_switch_number(value);
            if (number.given && number.value > 0) settings.timeout = number.value;
            break;
        }
    }
    return true;
}

}  // namespace quorlan
