// Internal to the SHA-1 engine: the message expansion in plain C++, shared
// by the portable transform and the collision check's confirmation.
#pragma once

#include <cstdint>

// The block's 80 message words (16 big-endian words, then the expansion).
void sha1_expand(const std::uint8_t* data, std::uint32_t (&W)[80]);
