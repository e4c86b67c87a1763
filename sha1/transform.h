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

// The plain C++ transform, available everywhere.
void sha1_transform_portable(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
sha1_blocks_done sha1_detect_portable(std::uint32_t state[5], const std::uint8_t* data,
                                      std::size_t blocks);
// x86 SHA extensions (with SSSE3 and SSE4.1); the detecting form with
// AVX-512 and GFNI, with AVX2, or with neither.
void sha1_transform_shani(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
sha1_blocks_done sha1_detect_shani(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks);
sha1_blocks_done sha1_detect_shani_sse(std::uint32_t state[5], const std::uint8_t* data,
                                       std::size_t blocks);
// The same with AVX-512 (F, VL, BW, VBMI) and GFNI.
sha1_blocks_done sha1_detect_shani_avx512(std::uint32_t state[5], const std::uint8_t* data,
                                          std::size_t blocks);
// x86 vector message schedule, SSSE3 and AVX2+BMI builds.
void sha1_transform_ssse3(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
sha1_blocks_done sha1_detect_ssse3(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks);
void sha1_transform_avx2(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
sha1_blocks_done sha1_detect_avx2(std::uint32_t state[5], const std::uint8_t* data,
                                  std::size_t blocks);
// The same with the candidate test in AVX-512 VL.
sha1_blocks_done sha1_detect_avx2_avx512vl(std::uint32_t state[5], const std::uint8_t* data,
                                           std::size_t blocks);
// ARMv8 SHA1 instructions.
void sha1_transform_armv8(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
sha1_blocks_done sha1_detect_armv8(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks);

struct sha1_transform_entry {
    const char* name;
    sha1_transform_fn plain;
    sha1_detecting_fn detecting;
};

// At most one transform per kind: x86 SHA extensions with AVX-512 and GFNI,
// with AVX2, with neither, ARMv8 SHA1, AVX2 with AVX-512 VL, AVX2, SSSE3,
// portable; no processor runs all of them.
inline constexpr int sha1_transform_kinds = 8;

// The transforms in this build that this processor can run, fastest first;
// the portable one is always last.
struct sha1_transform_list {
    sha1_transform_entry entries[sha1_transform_kinds];
    int count;
};
sha1_transform_list sha1_usable_transforms();

// The transform this process uses: the first usable one, chosen on first use.
const sha1_transform_entry& sha1_chosen_transform();
