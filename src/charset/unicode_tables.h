// The Unicode data that composition and Latin folding need, generated from Unicode's
// character database by scripts/make_unicode_tables.py into composition_tables.cpp and
// latin_fold_table.cpp. Every table is sorted by code point.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorlan {

struct CombiningClassRange {
    std::uint32_t first;
    std::uint32_t last;
    std::uint8_t combining_class;  // never 0: characters outside every range have class 0
};

// A canonical decomposition into one character (`second` is 0) or two.
struct Decomposition {
    std::uint32_t code;
    std::uint32_t first;
    std::uint32_t second;
    bool composes;  // NFC composes the pair back into `code`
};

// The ASCII letters a character folds to; empty for a combining mark, which is dropped.
struct LatinFold {
    std::uint32_t code;
    char ascii[4];
};

extern const CombiningClassRange kCombiningClasses[];
extern const std::size_t kCombiningClassCount;
extern const Decomposition kDecompositions[];
extern const std::size_t kDecompositionCount;
extern const LatinFold kLatinFolds[];
extern const std::size_t kLatinFoldCount;

}  // namespace quorlan
