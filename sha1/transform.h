// Internal to the SHA-1 engine: the block transform seam.
//
// A transform runs whole 64-byte blocks, read from `data` (any alignment),
// through the SHA-1 compression function, updating the five-word chaining
// value `state` in place. Each comes in two forms: plain, and detecting,
// which also checks every block for the signature of a collision attack and
// stops after the first block that completes one. All transforms give
// identical results; they differ in the instructions they need.
#pragma once

#include <cstddef>
#include <cstdint>

// The chaining value a message starts from (H0..H4).
inline constexpr std::uint32_t sha1_initial_hash[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                       0x10325476, 0xC3D2E1F0};

using sha1_transform_fn = void (*)(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks);

// What a detecting transform did: `blocks` blocks compressed, and whether
// the last of them completes a collision attack (then it stopped there).
struct sha1_blocks_done {
    std::size_t blocks;
    bool attacked;
};
using sha1_detecting_fn = sha1_blocks_done (*)(std::uint32_t state[5], const std::uint8_t* data,
                                               std::size_t blocks);

// The plain C++ transform, available everywhere; every other transform must
// give its results.
void sha1_transform_portable(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
sha1_blocks_done sha1_detect_portable(std::uint32_t state[5], const std::uint8_t* data,
                                      std::size_t blocks);

// A transform: its name (shown by the tests and benchmarks), the processor
// features it needs (sha1_cpu, cpu_features.h) and its two forms.
struct sha1_transform_entry {
    const char* name;
    unsigned needs;
    sha1_transform_fn plain;
    sha1_detecting_fn detecting;
};

// Every transform in this build, fastest first; the portable one, which
// needs nothing, last. The dispatcher takes the first the processor runs.
struct sha1_transform_table {
    const sha1_transform_entry* entries;
    int count;
};
sha1_transform_table sha1_transforms();

// The transform this process uses, chosen on first use.
const sha1_transform_entry& sha1_chosen_transform();
