#include "charset/cp1250.h"

#include <cstddef>
#include <string_view>

namespace quorlan {

namespace {

// The fold table as two parallel texts: a windows-1250 letter and its ASCII letter.
// It is not symmetric: Ô, Ů, Ľ and ĺ have no entry while ô, ů, ľ and Ĺ have one.
constexpr std::string_view kFoldFrom =
    "\xC1\xC4\xC8\xCF\xC9\xCC\xCD\xC5\xD2\xD3\xD6\xD5\xD8\x8A\x8D\xDA\xDC\xDB\xDD\x8E"
    "\xE1\xE4\xE8\xEF\xE9\xEC\xED\xBE\xF2\xF3\xF6\xF4\xF5\xF8\x9A\x9D\xFA\xF9\xFC\xFB\xFD\x9E\xDF";
constexpr std::string_view kFoldTo =
    "AACDEEILNOOORSTUUUYZ"
    "aacdeeilnoooorstuuuuyzs";
static_assert(kFoldFrom.size() == 43 && kFoldTo.size() == 43);

// The table spread over all 256 byte values; the first entry of a byte wins.
constexpr std::array<char, 256> make_fold_map() {
    std::array<char, 256> map{};
    std::array<bool, 256> set{};
    for (std::size_t b = 0; b < 256; ++b) map[b] = static_cast<char>(b);
    for (std::size_t i = 0; i < kFoldFrom.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(kFoldFrom[i]);
        if (!set[b]) {
            map[b] = kFoldTo[i];
            set[b] = true;
        }
    }
    return map;
}

constexpr std::array<char, 256> kFoldMap = make_fold_map();

constexpr bool folds_only_high_bytes() {
    for (std::size_t b = 0; b < 0x80; ++b) {
        if (kFoldMap[b] != static_cast<char>(b)) return false;
    }
    return true;
}
static_assert(folds_only_high_bytes(), "fold_to_ascii passes the ASCII start of a line by");

}  // namespace

void fold_to_ascii(std::string& line) {
    for (std::size_t i = ascii_prefix_length(line); i < line.size(); ++i) {
        line[i] = kFoldMap[static_cast<std::uint8_t>(line[i])];
    }
}

std::uint8_t folded_byte(std::uint8_t byte) { return static_cast<std::uint8_t>(kFoldMap[byte]); }

const std::array<char, 256>& fold_map() { return kFoldMap; }

}  // namespace quorlan
