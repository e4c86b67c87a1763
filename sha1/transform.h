// Internal to the SHA-1 engine: the block transform seam.
//
// A transform runs `blocks` whole 64-byte blocks, read from `data` (any
// alignment), through the SHA-1 compression function, updating the five-word
// chaining value `state` in place.
#pragma once

#include <cstddef>
#include <cstdint>

using sha1_transform_fn = void (*)(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks);

// The plain C++ transform, available everywhere.
void sha1_transform_portable(std::uint32_t state[5], const std::uint8_t* data,
                             std::size_t blocks);

// Runs blocks through the transform chosen for this process.
void sha1_process_blocks(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
