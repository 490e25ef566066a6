#include "app/carddav_run.h"

#include <cstdio>
#include <string>

#include "carddav/carddav.h"
#include "io/platform.h"

namespace quorlan {

namespace {

// A first fetch of a large book takes a while: shown on a terminal, never in a log.
constexpr std::size_t kShownFrom = 500;
constexpr std::size_t kShownEvery = 100;

// 10000 as "10 000", as people read a count.
std::string grouped(std::size_t number) {
    const std::string digits = std::to_string(number);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
        out += digits[i];
    }
    return out;
}

void show_progress(bool& line_open, std::size_t arrived, std::size_t total) {
    if (total < kShownFrom || (arrived % kShownEvery != 0 && arrived != total)) return;
    line_open = arrived != total;  // a failure starts a new line
    std::fprintf(stderr, "\rquorlan: %s of %s cards", grouped(arrived).c_str(), grouped(total).c_str());
    if (arrived == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

bool refresh_card_folder(const Settings& settings) {
    std::string failure;
    SyncResult result;
    bool progress_shown = false;
    if (!carddav_built_in()) {
        (void)sync_address_book(settings.carddav, FetchProgress{}, result, failure);  // says why not
    } else if (!settings.decode) {
        failure = "CARDDAV= needs DECODE=1 in quorlan.ini: cards from a server are text, which only decoding reads "
                  "as such";
    } else {
        auto show = [&progress_shown](std::size_t arrived, std::size_t total) {
            show_progress(progress_shown, arrived, total);
        };
        const FetchProgress progress = error_output_is_terminal() ? FetchProgress(show) : FetchProgress();
        (void)sync_address_book(settings.carddav, progress, result, failure);
    }
    if (failure.empty()) return true;
    std::fprintf(stderr, "%squorlan: %s\n", progress_shown ? "\n" : "", failure.c_str());
    return false;
}

}  // namespace quorlan
