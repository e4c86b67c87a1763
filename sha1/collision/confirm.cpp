// Confirmation of collision-attack candidates: rebuilds the partner block
// that a disturbance vector implies and tests whether the two collide.
#include "sha1/collision.h"
#include "sha1/collision/disturbance_vectors.h"

#include <bit>
#include <utility>

#include "sha1/expand.h"

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
    std::uint32_t a, b, c, d, e;
};

template <int T>
inline void step_forward(state& s, std::uint32_t w)
{
    const std::uint32_t temp =
        std::rotl(s.a, 5) + round_function(T, s.b, s.c, s.d) + s.e + w + round_constant(T);
    s = {temp, s.a, std::rotl(s.b, 30), s.c, s.d};
}

// From the state after step T back to the state before it.
template <int T>
inline void step_backward(state& s, std::uint32_t w)
{
    const std::uint32_t b = std::rotr(s.c, 30);
    const std::uint32_t e =
        s.a - std::rotl(s.b, 5) - round_function(T, b, s.d, s.e) - round_constant(T) - w;
    s = {s.b, b, s.d, s.e, e};
}

// Steps From..From+N-1 forwards, or From+N-1 down to From backwards, with
// the message words W.
template <int From, int... N>
inline void forwards(state& s, const std::uint32_t* W, std::integer_sequence<int, N...>)
{
    (step_forward<From + N>(s, W[From + N]), ...);
}

template <int From, int... N>
inline void backwards(state& s, const std::uint32_t* W, std::integer_sequence<int, N...>)
{
    constexpr int last = From + static_cast<int>(sizeof...(N)) - 1;
    (step_backward<last - N>(s, W[last - N]), ...);
}

// Whether the partner block along vector `v` (whose check starts before step
// Testt, from the block's own state there) collides with the block.
template <int Testt>
bool partner_collides(const state& start, const std::uint32_t W[80], int v,
                      const std::uint32_t ihv_out[5])
{
    std::uint32_t partner[80];
    for (int t = 0; t < 80; ++t) partner[t] = W[t] ^ differences.dm[v][t];
    // The partner's chaining input: back from the shared state.
    state back = start;
    backwards<0>(back, partner, std::make_integer_sequence<int, Testt>{});
    // Its compression's last state: forward from the shared state.
    state forward = start;
    forwards<Testt>(forward, partner, std::make_integer_sequence<int, 80 - Testt>{});
    return back.a + forward.a == ihv_out[0] && back.b + forward.b == ihv_out[1] &&
           back.c + forward.c == ihv_out[2] && back.d + forward.d == ihv_out[3] &&
           back.e + forward.e == ihv_out[4];
}

constexpr bool checks_start_at_58_or_65()
{
    for (const sha1_disturbance_vector& dv : sha1_disturbance_vectors) {
        if (dv.testt != 58 && dv.testt != 65) return false;
    }
    return true;
}
static_assert(checks_start_at_58_or_65(), "the confirmation keeps the states before 58 and 65");

// Tries the candidates in vector order from the block's states before
// steps 58 and 65.
bool any_partner_collides(const state& before58, const state& before65, const std::uint32_t W[80],
                          std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    for (int v = 0; v < sha1_dv_count; ++v) {
        const sha1_disturbance_vector& dv = sha1_disturbance_vectors[v];
        if ((candidates >> dv.mask_bit & 1) == 0) continue;
        if (dv.testt == 58 ? partner_collides<58>(before58, W, v, ihv_out)
                           : partner_collides<65>(before65, W, v, ihv_out)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool sha1_dv_collides(const std::uint32_t ihv_in[5], const std::uint32_t W[80],
                      std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    state before58 = {ihv_in[0], ihv_in[1], ihv_in[2], ihv_in[3], ihv_in[4]};
    forwards<0>(before58, W, std::make_integer_sequence<int, 58>{});
    state before65 = before58;
    forwards<58>(before65, W, std::make_integer_sequence<int, 7>{});
    return any_partner_collides(before58, before65, W, candidates, ihv_out);
}

bool sha1_dv_collides_block(const std::uint32_t ihv_in[5], const std::uint8_t* block,
                            std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    std::uint32_t W[80];
    sha1_expand(block, W);
    return sha1_dv_collides(ihv_in, W, candidates, ihv_out);
}

bool sha1_dv_collides_from(const std::uint32_t before60[5], const std::uint8_t* block,
                           std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    std::uint32_t W[80];
    sha1_expand(block, W);
    const state start = {before60[0], before60[1], before60[2], before60[3], before60[4]};
    state before58 = start;
    backwards<58>(before58, W, std::make_integer_sequence<int, 2>{});
    state before65 = start;
    forwards<60>(before65, W, std::make_integer_sequence<int, 5>{});
    return any_partner_collides(before58, before65, W, candidates, ihv_out);
}

std::size_t sha1_dv_check_batch(sha1_dv_batch& batch, sha1_dv_batch_check check, std::size_t done,
                                std::uint32_t state[5])
{
    std::uint32_t candidates[sha1_dv_batch_size];
    check(batch.columns, candidates);
    return sha1_dv_confirm_batch(batch, candidates, done, state);
}

std::size_t sha1_dv_confirm_batch(sha1_dv_batch& batch,
                                  const std::uint32_t (&candidates)[sha1_dv_batch_size],
                                  std::size_t done, std::uint32_t state[5])
{
    const int count = batch.count;
    batch.count = 0;
    for (int b = 0; b < count; ++b) {
        if (candidates[b] != 0 &&
            sha1_dv_collides_from(batch.before60[b], batch.block[b], candidates[b], batch.out[b])) {
            for (int i = 0; i < 5; ++i) state[i] = batch.out[b][i];
            return done - static_cast<std::size_t>(count - 1 - b);
        }
    }
    return 0;
}
