// Internal to the collision check: the 80 message differences of every
// disturbance vector, expanded at compile time from its first 16 (the
// differences satisfy the message expansion).
#pragma once

#include <bit>
#include <cstdint>

#include "sha1/collision/disturbance_vectors.h"

struct sha1_dv_expanded_differences {
    std::uint32_t dm[sha1_dv_count][80];
};

constexpr sha1_dv_expanded_differences sha1_dv_expand_differences()
{
    sha1_dv_expanded_differences e{};
    for (int v = 0; v < sha1_dv_count; ++v) {
        for (int t = 0; t < 16; ++t) e.dm[v][t] = sha1_disturbance_vectors[v].dm[t];
        for (int t = 16; t < 80; ++t) {
            e.dm[v][t] =
                std::rotl(e.dm[v][t - 3] ^ e.dm[v][t - 8] ^ e.dm[v][t - 14] ^ e.dm[v][t - 16], 1);
        }
    }
    return e;
}

inline constexpr sha1_dv_expanded_differences sha1_dv_differences = sha1_dv_expand_differences();
