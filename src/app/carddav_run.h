// The run's first step when quorlan.ini names an address book server: the local copy of
// the book brought up to date, before anything is converted.
#pragma once

#include "config/settings.h"

namespace quorlan {

// Brings the card folder up to date with the server. False after reporting, in one line,
// why not: the folder and the phonebook are then as they were.
bool refresh_card_folder(const Settings& settings);

}  // namespace quorlan
