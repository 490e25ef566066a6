// The lines of quorlan.ini that name an address book on a CardDAV server instead of a card
// file. None of them holds a secret: the password comes from the environment or .netrc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorlan {

struct CarddavSettings {
    std::string url;           // CARDDAV=: a server, a principal or one address book
    std::string user;          // CARDDAV_USER=
    std::string password_from;  // CARDDAV_PASSWORD_FROM=: "env:NAME" or "netrc"
    std::string book;          // CARDDAV_BOOK=: the address book's display name, where there are several
    std::string ca_file;       // CARDDAV_CA=: certificates to trust besides the system's
    std::string pinned_key;    // CARDDAV_PIN=: "sha256//..." the server's public key must have
    std::string folder = "carddav";  // CARDDAV_FOLDER=: where the cards are kept, one file each
    std::int32_t timeout = 120;  // CARDDAV_TIMEOUT=: seconds a server may stay silent
};

// The keywords, each at the start of its line, in any case.
inline constexpr std::string_view kCarddavKeyword = "CARDDAV=";

// Applies a line that begins with one of the CardDAV keywords; false for any other line.
bool apply_carddav_line(std::string_view line, CarddavSettings& settings);

// True for a line that begins with a CardDAV keyword.
bool is_carddav_line(std::string_view line);

}  // namespace quorlan
