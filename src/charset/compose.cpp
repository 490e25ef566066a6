// Unicode normalization form C: canonical decomposition, canonical order of combining
// marks, then canonical composition, as Unicode's annex 15 describes it.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "charset/unicode_tables.h"
#include "charset/unicode_text.h"

namespace quorlan {

namespace {

// Hangul syllables decompose and compose by arithmetic instead of tables.
constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
constexpr char32_t kLCount = 19, kVCount = 21, kTCount = 28, kNCount = kVCount * kTCount, kSCount = kLCount * kNCount;

std::uint8_t combining_class(char32_t c) {
    if (c < 0x300) return 0;
    const CombiningClassRange* const end = kCombiningClasses + kCombiningClassCount;
    const CombiningClassRange* range = std::lower_bound(
        kCombiningClasses, end, c, [](const CombiningClassRange& r, char32_t code) { return r.last < code; });
    return range != end && range->first <= c ? range->combining_class : 0;
}

const Decomposition* decomposition_of(char32_t c) {
    const Decomposition* const end = kDecompositions + kDecompositionCount;
    const Decomposition* found = std::lower_bound(
        kDecompositions, end, c, [](const Decomposition& d, char32_t code) { return d.code < code; });
    return found != end && found->code == c ? found : nullptr;
}

void decompose(char32_t c, std::u32string& out) {
    if (c >= kSBase && c < kSBase + kSCount) {
        const char32_t s = c - kSBase;
        out += kLBase + s / kNCount;
        out += kVBase + (s % kNCount) / kTCount;
        if (s % kTCount != 0) out += kTBase + s % kTCount;
        return;
    }
    const Decomposition* d = c < 0xC0 ? nullptr : decomposition_of(c);
    if (d == nullptr) {
        out += c;
        return;
    }
    decompose(d->first, out);
    if (d->second != 0) decompose(d->second, out);
}

std::uint64_t pair_key(char32_t first, char32_t second) { return std::uint64_t{first} << 32 | second; }

// The pairs that compose, sorted for searching; made once from the decompositions.
const std::vector<std::pair<std::uint64_t, char32_t>>& compositions() {
    static const std::vector<std::pair<std::uint64_t, char32_t>> pairs = [] {
        std::vector<std::pair<std::uint64_t, char32_t>> list;
        for (std::size_t i = 0; i < kDecompositionCount; ++i) {
            const Decomposition& d = kDecompositions[i];
            if (d.composes) list.emplace_back(pair_key(d.first, d.second), d.code);
        }
        std::sort(list.begin(), list.end());
        return list;
    }();
    return pairs;
}

// The character that `first` and `second` compose into, or 0.
char32_t composed(char32_t first, char32_t second) {
    if (first >= kLBase && first < kLBase + kLCount && second >= kVBase && second < kVBase + kVCount) {
        return kSBase + ((first - kLBase) * kVCount + (second - kVBase)) * kTCount;
    }
    if (first >= kSBase && first < kSBase + kSCount && (first - kSBase) % kTCount == 0 && second > kTBase &&
        second < kTBase + kTCount) {
        return first + (second - kTBase);
    }
    const auto& pairs = compositions();
    const std::uint64_t key = pair_key(first, second);
    auto found = std::lower_bound(pairs.begin(), pairs.end(), key,
                                  [](const std::pair<std::uint64_t, char32_t>& p, std::uint64_t k) { return p.first < k; });
    return found != pairs.end() && found->first == key ? found->second : 0;
}

// Sorts each run of combining marks by class, keeping the order of marks of one class. A
// sort per run, not an insertion: a hostile value may hold thousands of marks in a row.
void order_marks(std::u32string& text) {
    std::vector<std::pair<std::uint8_t, char32_t>> run;
    for (std::size_t i = 0; i < text.size();) {
        if (combining_class(text[i]) == 0) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        run.clear();
        for (; i < text.size(); ++i) {
            const std::uint8_t cc = combining_class(text[i]);
            if (cc == 0) break;
            run.emplace_back(cc, text[i]);
        }
        if (run.size() < 2) continue;
        std::stable_sort(run.begin(), run.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t k = 0; k < run.size(); ++k) text[start + k] = run[k].second;
    }
}

void compose_in_place(std::u32string& text) {
    if (text.empty()) return;
    std::size_t starter = 0;
    // The class of the last character kept; a text that begins with a mark has no
    // starter to compose with until the first one comes, which 256 stands for.
    int last_class = combining_class(text[0]) == 0 ? 0 : 256;
    std::size_t out = 1;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char32_t c = text[i];
        const int cc = combining_class(c);
        // Only what no mark of the same or a higher class separates from the starter
        // composes with it; a starter only with the starter right before it.
        if (last_class < cc || last_class == 0) {
            if (const char32_t both = composed(text[starter], c); both != 0) {
                text[starter] = both;
                continue;
            }
        }
        if (cc == 0) starter = out;
        last_class = cc;
        text[out++] = c;
    }
    text.resize(out);
}

}  // namespace

void compose_nfc(std::string& text) {
    // Below U+0300 no character decomposes into marks nor takes one: Latin text, the most
    // common by far, is already composed.
    bool all_below_marks = true;
    for (const char byte : text) {
        if (static_cast<unsigned char>(byte) >= 0xCC) {
            all_below_marks = false;
            break;
        }
    }
    if (all_below_marks) return;

    std::u32string characters;
    characters.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) decompose(next_character(text, i), characters);
    order_marks(characters);
    compose_in_place(characters);
    text.clear();
    for (const char32_t c : characters) append_utf8(text, c);
}

std::size_t settled_characters(std::string_view text) {
    std::size_t count = 0;
    std::size_t last_starter = 0;
    std::size_t starter_before = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        if (combining_class(next_character(text, i)) != 0) continue;
        starter_before = last_starter;
        last_starter = count;
    }
    return starter_before;
}

}  // namespace quorlan
