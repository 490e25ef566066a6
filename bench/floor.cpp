// The floor for any line-oriented converter, as bench/compare measures quorlan against it:
// reads the file in blocks of the size quorlan reads, finds each line end with memchr,
// tests the line's first byte against a table and copies the lines that pass to standard
// output. Nothing is decoded, matched or cleaned.
//
//   quorlan_floor FILE LEADING_BYTES
//
// LEADING_BYTES are the first bytes of the lines that pass (bench/compare gives the first
// bytes of the prefixes in bench/quorlan.ini, and "B" and "E" for the lines that begin and
// end cards).
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::size_t kBlockSize = std::size_t{64} * 1024;
constexpr std::size_t kOutputBytes = std::size_t{64} * 1024;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE LEADING_BYTES\n", argv[0]);
        return 2;
    }
    std::array<bool, 256> leading{};
    for (const char* c = argv[2]; *c != '\0'; ++c) leading[static_cast<unsigned char>(*c)] = true;

    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const auto block = std::make_unique_for_overwrite<char[]>(kBlockSize);
    std::string out;
    out.reserve(kOutputBytes + kBlockSize);
    std::size_t kept = 0;  // bytes of a line that the last block left unfinished
    for (;;) {
        const std::size_t n = std::fread(block.get() + kept, 1, kBlockSize - kept, file);
        const std::size_t end = kept + n;
        const char* p = block.get();
        const char* const stop = block.get() + end;
        while (p < stop) {
            const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
            // A line longer than the block is cut where the block is full, as quorlan cuts it
            // into pieces.
            if (lf == nullptr && n != 0 && p != block.get()) break;
            const char* const line_end = lf == nullptr ? stop : lf + 1;
            if (leading[static_cast<unsigned char>(*p)]) out.append(p, line_end);
            p = line_end;
        }
        kept = static_cast<std::size_t>(stop - p);
        if (kept > 0) std::memmove(block.get(), p, kept);
        if (out.size() >= kOutputBytes || n == 0) {
            if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) return 1;
            out.clear();
        }
        if (n == 0) break;
    }
    std::fclose(file);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
