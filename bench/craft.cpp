// torvanix_craft OUT_FILE MIB [VECTORS]
//
// Writes MIB mebibytes of distinct 64-byte blocks that each pass the
// collision check's candidate test for VECTORS disturbance vectors at once
// (by default as many as it finds compatible, at most 12): the input on
// which the check confirms the most candidates, its slowest case. Prints
// which vectors were chosen and how many pass per block on average,
// measured on every block written with the portable candidate test.
// OUT_FILE must not exist yet.
//
// The vectors' conditions are solved once; each block is random bits with
// the solution's pivot bits set to meet them, found by table lookups. The last free 64-bit word of
// the block (where no pivot lies) holds the block's number through a
// bijective mix, so no two blocks are alike.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "tests/support/crafted_blocks.h"

namespace {

// A bijection of 64-bit words that looks random (the finalizer of
// SplitMix64: xor-shifts and multiplications by odd constants).
std::uint64_t mix(std::uint64_t x)
{
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

bool parse_count(const char* text, long max, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 1 && value <= max;
}

int usage()
{
    std::printf("usage: torvanix_craft OUT_FILE MIB [VECTORS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) return usage();
    long mib = 0;
    long wanted = 0;
    if (!parse_count(argv[2], 1 << 20, mib)) return usage();
    if (argc == 4 && !parse_count(argv[3], sha1_dv_count, wanted)) return usage();

    // A fixed seed: the same arguments give the same file.
    std::mt19937_64 random(20170223);
    std::vector<int> set = crafted::largest_compatible_set(random, 256);
    if (wanted > static_cast<long>(set.size())) {
        std::printf("torvanix_craft: found at most %zu compatible vectors, not %ld\n", set.size(),
                    wanted);
        return 1;
    }
    if (wanted != 0) {
        std::shuffle(set.begin(), set.end(), random);
        set.resize(static_cast<std::size_t>(wanted));
        std::sort(set.begin(), set.end());
    }
    const crafted::system s = crafted::solve(set);
    if (!s.consistent) {
        std::printf("torvanix_craft: the chosen vectors' conditions contradict each other\n");
        return 1;
    }
    int counter_word = -1;
    for (int m = 7; m >= 0 && counter_word < 0; --m) {
        if (s.pivots[static_cast<std::size_t>(m)] == 0) counter_word = m;
    }
    if (counter_word < 0) {
        std::printf("torvanix_craft: no 64-bit word free of pivots to number the blocks\n");
        return 1;
    }

    std::printf("vectors:");
    for (int d : set) {
        const sha1_disturbance_vector& dv = sha1_disturbance_vectors[d];
        std::printf(" %s(%d,%d)", dv.type == 1 ? "I" : "II", dv.K, dv.b);
    }
    int conditions = 0;
    for (int d : set) conditions += sha1_disturbance_vectors[d].condition_count;
    std::printf("\n%d conditions, %zu independent; %zu free bits\n", conditions, s.rows.size(),
                512 - s.rows.size());

    const crafted::block_maker maker(s);
    // Never over an existing file: a mistyped name would lose it. On a
    // failure the file, ours alone, is removed again.
    std::FILE* out = std::fopen(argv[1], "wbx");
    if (out == nullptr) {
        std::printf("torvanix_craft: cannot create %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    constexpr std::size_t chunk_blocks = 1 << 14;  // 1 MiB
    std::vector<std::uint8_t> chunk(64 * chunk_blocks);
    const std::uint64_t total = static_cast<std::uint64_t>(mib) << 14;
    std::uint64_t passing = 0;
    std::uint64_t fewest = 32;
    for (std::uint64_t done = 0; done < total; done += chunk_blocks) {
        for (std::size_t n = 0; n < chunk_blocks; ++n) {
            crafted::bits512 free = crafted::random_bits(random);
            free[static_cast<std::size_t>(counter_word)] = mix(done + n);
            std::uint8_t* block = chunk.data() + 64 * n;
            maker.make(free, block);
            const std::uint32_t mask = crafted::candidate_mask(block);
            if ((mask & s.vectors) != s.vectors) {
                std::printf("torvanix_craft: block %llu fails a chosen vector's conditions\n",
                            static_cast<unsigned long long>(done + n));
                std::fclose(out);
                std::remove(argv[1]);
                return 1;
            }
            const int count = std::popcount(mask);
            passing += static_cast<std::uint64_t>(count);
            if (static_cast<std::uint64_t>(count) < fewest)
                fewest = static_cast<std::uint64_t>(count);
        }
        if (std::fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size()) {
            std::printf("torvanix_craft: cannot write %s: %s\n", argv[1], std::strerror(errno));
            std::fclose(out);
            std::remove(argv[1]);
            return 1;
        }
    }
    if (std::fclose(out) != 0) {
        std::printf("torvanix_craft: cannot write %s: %s\n", argv[1], std::strerror(errno));
        std::remove(argv[1]);
        return 1;
    }
    std::printf("%llu blocks; vectors passing per block: %.4f on average, %llu at least\n",
                static_cast<unsigned long long>(total),
                static_cast<double>(passing) / static_cast<double>(total),
                static_cast<unsigned long long>(fewest));
    return 0;
}
