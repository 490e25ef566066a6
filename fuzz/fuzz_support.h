// Shared by the fuzz targets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

// A property that must hold for every input: on failure it names itself and aborts, which
// libFuzzer reports as a crash and keeps the input.
#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (false)

namespace fuzz {

// Hands out the bytes in small pieces of changing size, as pipes and slow disks do, so that
// lines and CR LF pairs straddle the reader's refills.
struct ChunkedSource {
    std::string_view rest;
    std::size_t largest;
    std::size_t calls = 0;
};

inline std::size_t read_chunked(ChunkedSource& source, char* buffer, std::size_t capacity, int&) {
    const std::size_t step = 1 + (source.calls++ * 7919) % source.largest;
    const std::size_t n = std::min({capacity, source.rest.size(), step});
    if (n == 0) return 0;
    std::memcpy(buffer, source.rest.data(), n);
    source.rest.remove_prefix(n);
    return n;
}

}  // namespace fuzz
