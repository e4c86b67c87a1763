// Confirmation of collision-attack candidates: rebuilds the partner block
// that a disturbance vector implies and tests whether the two collide.
#include "collision.h"

#include <bit>

namespace {

constexpr std::uint32_t round_constant(int t)
{
    return t < 20 ? 0x5A827999 : t < 40 ? 0x6ED9EBA1 : t < 60 ? 0x8F1BBCDC : 0xCA62C1D6;
}

constexpr std::uint32_t round_function(int t, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    if (t < 20) return (b & c) | (~b & d);
    if (t < 40 || t >= 60) return b ^ c ^ d;
    return (b & c) | (b & d) | (c & d);
}

// The 80 message differences of every vector, expanded from its first 16.
struct expanded_differences {
    std::uint32_t dm[sha1_dv_count][80];
};

constexpr expanded_differences expand_differences()
{
    expanded_differences e{};
    for (int v = 0; v < sha1_dv_count; ++v) {
        for (int t = 0; t < 16; ++t) e.dm[v][t] = sha1_disturbance_vectors[v].dm[t];
        for (int t = 16; t < 80; ++t) {
            e.dm[v][t] =
                std::rotl(e.dm[v][t - 3] ^ e.dm[v][t - 8] ^ e.dm[v][t - 14] ^ e.dm[v][t - 16], 1);
        }
    }
    return e;
}

constexpr expanded_differences differences = expand_differences();

// A working state (A, B, C, D, E) before some step.
struct state {
    std::uint32_t v[5];
};

void step_forward(state& s, int t, std::uint32_t w)
{
    const std::uint32_t temp = std::rotl(s.v[0], 5) + round_function(t, s.v[1], s.v[2], s.v[3]) +
                               s.v[4] + w + round_constant(t);
    s = {{temp, s.v[0], std::rotl(s.v[1], 30), s.v[2], s.v[3]}};
}

// From the state after step t back to the state before it.
void step_backward(state& s, int t, std::uint32_t w)
{
    const std::uint32_t a = s.v[1];
    const std::uint32_t b = std::rotr(s.v[2], 30);
    const std::uint32_t c = s.v[3];
    const std::uint32_t d = s.v[4];
    const std::uint32_t e =
        s.v[0] - std::rotl(a, 5) - round_function(t, b, c, d) - round_constant(t) - w;
    s = {{a, b, c, d, e}};
}

}  // namespace

std::uint32_t sha1_dv_candidates_portable(const std::uint32_t W[80])
{
    std::uint32_t columns[sha1_dv::column_count];
    sha1_dv::columns_portable(W, columns);
    return sha1_dv::candidates(columns);
}

bool sha1_dv_collides(const std::uint32_t ihv_in[5], const std::uint32_t W[80],
                      std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    // The block's own working states before steps 58 and 65, where the
    // vectors' checks start.
    state s = {{ihv_in[0], ihv_in[1], ihv_in[2], ihv_in[3], ihv_in[4]}};
    state before58{};
    state before65{};
    for (int t = 0; t < 65; ++t) {
        if (t == 58) before58 = s;
        step_forward(s, t, W[t]);
    }
    before65 = s;

    for (int v = 0; v < sha1_dv_count; ++v) {
        const sha1_disturbance_vector& dv = sha1_disturbance_vectors[v];
        if ((candidates >> dv.mask_bit & 1) == 0) continue;
        const std::uint32_t* dm = differences.dm[v];
        const state start = dv.testt == 58 ? before58 : before65;

        // The partner block's chaining input: back from the shared state.
        state back = start;
        for (int t = dv.testt - 1; t >= 0; --t) step_backward(back, t, W[t] ^ dm[t]);
        // Its compression's last state: forward from the shared state.
        state forward = start;
        for (int t = dv.testt; t < 80; ++t) step_forward(forward, t, W[t] ^ dm[t]);

        bool same = true;
        for (int i = 0; i < 5; ++i) same = same && back.v[i] + forward.v[i] == ihv_out[i];
        if (same) return true;
    }
    return false;
}
