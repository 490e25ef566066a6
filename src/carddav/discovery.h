// Finding the address book from what quorlan.ini names: the book itself, a user's
// principal, the home of the user's books or the server.
#pragma once

#include <string>

#include "carddav/http.h"
#include "config/carddav_settings.h"

namespace quorlan {

// The URL of the address book; false with one line in `failure` when there is none, or
// several and CARDDAV_BOOK= names none of them.
bool discover_address_book(HttpClient& client, const CarddavSettings& settings, std::string& book,
                           std::string& failure);

}  // namespace quorlan
