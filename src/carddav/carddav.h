// Bringing the local copy of a CardDAV address book up to date: the one call the run makes
// before it converts the folder's cards.
#pragma once

#include <cstddef>
#include <string>

#include "config/carddav_settings.h"
#include "text/function_ref.h"

namespace quorlan {

// Told how many of the cards to fetch have arrived, for a progress line on a terminal.
using FetchProgress = FunctionRef<void(std::size_t arrived, std::size_t total)>;

struct SyncResult {
    std::size_t cards = 0;    // in the folder afterwards
    std::size_t fetched = 0;  // cards fetched by this run
};

// False when this build has no CardDAV (then sync_address_book says so).
bool carddav_built_in();

// Asks the server for the changes since the last run and applies them to the folder of
// `settings`. False with one line in `failure` when anything fails: the folder is then as it was.
bool sync_address_book(const CarddavSettings& settings, FetchProgress progress, SyncResult& result,
                       std::string& failure);

}  // namespace quorlan
