// Internal to the SHA-1 engine: the block transform seam.
//
// A transform runs `blocks` whole 64-byte blocks, read from `data` (any
// alignment), through the SHA-1 compression function, updating the five-word
// chaining value `state` in place. All transforms give identical results;
// they differ in the instructions they need.
#pragma once

#include <cstddef>
#include <cstdint>

using sha1_transform_fn = void (*)(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks);

// The plain C++ transform, available everywhere.
void sha1_transform_portable(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
// x86 SHA extensions (with SSSE3 and SSE4.1).
void sha1_transform_shani(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
// x86 vector message schedule, SSSE3 and AVX2+BMI builds.
void sha1_transform_ssse3(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
void sha1_transform_avx2(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
// ARMv8 SHA1 instructions.
void sha1_transform_armv8(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);

struct sha1_transform_entry {
    const char* name;
    sha1_transform_fn fn;
};

// The transforms in this build that this processor can run, fastest first;
// the portable one is always last.
struct sha1_transform_list {
    sha1_transform_entry entries[5];
    int count;
};
sha1_transform_list sha1_usable_transforms();

// The transform this process uses: the first usable one, chosen once.
const sha1_transform_entry& sha1_chosen_transform();

// Runs blocks through the chosen transform.
void sha1_process_blocks(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
