// Confirmation of collision-attack candidates: rebuilds the partner block
// that a disturbance vector implies and tests whether the two collide.
#include "sha1/collision.h"
#include "sha1/collision/differences.h"
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
    for (int t = 0; t < 80; ++t) partner[t] = W[t] ^ sha1_dv_differences.dm[v][t];
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

// The vector whose candidate bit is bit k of the mask.
struct vector_by_mask_bit {
    std::uint8_t v[32];
    constexpr std::uint8_t operator[](int bit) const { return v[bit]; }
};

constexpr vector_by_mask_bit make_vector_by_mask_bit()
{
    vector_by_mask_bit table{};
    for (int v = 0; v < sha1_dv_count; ++v) {
        table.v[sha1_disturbance_vectors[v].mask_bit] = static_cast<std::uint8_t>(v);
    }
    return table;
}

constexpr vector_by_mask_bit mask_bit_vector = make_vector_by_mask_bit();

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

namespace {

// Whether the candidate in lane `l` of the queue collides, in plain C++.
bool lane_collides(const sha1_dv_queue& queue, int l)
{
    std::uint32_t W[80];
    sha1_expand(queue.block[l], W);
    const int v = static_cast<int>(queue.vector[l]);
    std::uint32_t out[5];
    for (int i = 0; i < 5; ++i) out[i] = queue.out[i][l];
    state start = {queue.before60[0][l], queue.before60[1][l], queue.before60[2][l],
                   queue.before60[3][l], queue.before60[4][l]};
    if (sha1_disturbance_vectors[v].testt == 58) {
        backwards<58>(start, W, std::make_integer_sequence<int, 2>{});
        return partner_collides<58>(start, W, v, out);
    }
    forwards<60>(start, W, std::make_integer_sequence<int, 5>{});
    return partner_collides<65>(start, W, v, out);
}

std::uint32_t confirm_scalar(sha1_dv_queue& queue, int count)
{
    std::uint32_t collide = 0;
    for (int l = 0; l < count; ++l) {
        if (lane_collides(queue, l)) collide |= std::uint32_t{1} << l;
    }
    return collide;
}

// Confirms the queue's candidates; if one collides, writes the chaining
// value after the first one's block into `state` and returns its count.
std::size_t drain(sha1_dv_queue& queue, const sha1_dv_confirm_form& form, std::uint32_t state[5])
{
    const int count = queue.count;
    queue.count = 0;
    const std::uint32_t collide = form.confirm(queue, count);
    if (collide == 0) return 0;
    const int l = std::countr_zero(collide);
    for (int i = 0; i < 5; ++i) state[i] = queue.out[i][l];
    return queue.done[l];
}

}  // namespace

const sha1_dv_confirm_form sha1_dv_confirm_scalar = {1, confirm_scalar};

namespace {

// Inlined where the batches' candidates are queued.
inline void push(sha1_dv_queue& queue, const std::uint32_t before60[5], const std::uint8_t* block,
                 int v, const std::uint32_t out[5], std::size_t done)
{
    const int l = queue.count++;
    queue.block[l] = block;
    queue.vector[l] = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 5; ++i) {
        queue.before60[i][l] = before60[i];
        queue.out[i][l] = out[i];
    }
    queue.from58[l] = sha1_disturbance_vectors[v].testt == 58 ? ~std::uint32_t{0} : 0;
    queue.done[l] = done;
}

}  // namespace

void sha1_dv_queue_push(sha1_dv_queue& queue, const std::uint32_t before60[5],
                        const std::uint8_t* block, int v, const std::uint32_t out[5],
                        std::size_t done)
{
    push(queue, before60, block, v, out, done);
}

std::size_t sha1_dv_check_batch(sha1_dv_batch& batch, sha1_dv_batch_check check,
                                const sha1_dv_confirm_form& confirm, std::size_t done, bool last,
                                std::uint32_t state[5])
{
    std::uint32_t candidates[sha1_dv_batch_size];
    check(batch.columns, candidates);
    return sha1_dv_queue_candidates(batch.queue, batch, candidates, confirm, done, last, state);
}

std::size_t sha1_dv_queue_candidates(sha1_dv_queue& queue, sha1_dv_batch& batch,
                                     const std::uint32_t (&candidates)[sha1_dv_batch_size],
                                     const sha1_dv_confirm_form& confirm, std::size_t done,
                                     bool last, std::uint32_t state[5])
{
    const int count = batch.count;
    batch.count = 0;
    if (confirm.lanes <= 1) {
        // One block at a time: its words expanded once for all its candidates.
        for (int b = 0; b < count; ++b) {
            if (candidates[b] != 0 && sha1_dv_collides_from(batch.before60[b], batch.block[b],
                                                            candidates[b], batch.out[b])) {
                for (int i = 0; i < 5; ++i) state[i] = batch.out[b][i];
                return done - static_cast<std::size_t>(count - 1 - b);
            }
        }
        return 0;
    }
    for (int b = 0; b < count; ++b) {
        for (std::uint32_t left = candidates[b]; left != 0; left &= left - 1) {
            const int v = mask_bit_vector[std::countr_zero(left)];
            push(queue, batch.before60[b], batch.block[b], v, batch.out[b],
                 done - static_cast<std::size_t>(count - 1 - b));
            if (queue.count == confirm.lanes || queue.count == sha1_dv_queue_size) {
                if (const std::size_t upto = drain(queue, confirm, state)) return upto;
            }
        }
    }
    if (last && queue.count != 0) return drain(queue, confirm, state);
    return 0;
}

std::size_t sha1_dv_drain_queue(sha1_dv_queue& queue, const sha1_dv_confirm_form& confirm,
                                std::uint32_t state[5])
{
    return queue.count != 0 ? drain(queue, confirm, state) : 0;
}
