// SHA-1 compression with the ARMv8 SHA1 instructions. sha1c/sha1p/sha1m run
// four rounds of the choose, parity and majority kinds, sha1h gives the next
// E, and sha1su0/sha1su1 extend the message schedule four words at a time.
//
// The detecting form also keeps, of each block, the message groups the
// collision check's columns are made of and the working state before step
// 60; after every four blocks it takes their columns and runs the candidate
// test on them in its registers, and the blocks that pass wait in a queue
// to be confirmed four at a time.
#include "sha1/target.h"

#if defined(TORVANIX_SHA1_HAVE_ARMV8)

#include <arm_neon.h>

#include <bit>
#include <cstddef>
#include <utility>

#include "sha1/collision/candidates_neon.h"
#include "sha1/rounds.h"
#include "sha1/transform.h"
#include "sha1/transform/columns_neon.h"

namespace {

// A block's chaining value before it (the block before's result) and its
// working state before step 60: the confirmation needs the state before
// step 60 and the state after the block, which is the next block's
// chaining value before it. Both go out in two paired stores as the rounds
// reach step 60, while the chaining value the block started from is still
// in a register for its final addition.
struct kept_states {
    uint32x4_t abcd_in;
    uint32x4_t abcd60;
    std::uint32_t e_in;
    std::uint32_t e60;
};

// What the collision check keeps of block B of four (B < 0: nothing): its
// message groups 8 to 16 (W[32..67]), stored where the columns read them,
// and its states, all at fixed offsets from the four blocks' places and
// from their states'.
struct kept_for_check {
    sha1_dv::neon_four_blocks* four;
    kept_states* states;  // the four blocks' first
    uint32x4_t abcd_in;
    std::uint32_t e_in;
};

// Group J of the rounds: rounds 4J..4J+3 on message group J, which w[J % 4]
// holds. While it runs, the ring computes group J + 4 from groups J..J+3 in
// place of group J.
template <int B, int J>
TORVANIX_ALWAYS_INLINE void four_rounds(uint32x4_t& abcd, std::uint32_t& e, uint32x4_t (&w)[4],
                                        const uint32x4_t (&k)[4], kept_for_check& kept)
{
    using four = sha1_dv::neon_four_blocks;
    constexpr std::size_t groups = offsetof(four, blocks) + B * sizeof(four::groups);
    constexpr std::size_t odd = groups + offsetof(four::groups, odd);
    constexpr std::size_t even = groups + offsetof(four::groups, even);
    if constexpr (B >= 0 && J == 8) {
        sha1_dv::store_q<offsetof(four, group8) + 16 * B>(kept.four, w[0]);
    } else if constexpr (B >= 0 && (J == 9 || J == 13)) {
        // Groups J..J + 3 are in the ring now: J and J + 2 are neighbours
        // in the odd run, J + 1 and J + 3 in the even one.
        constexpr std::size_t at = J == 9 ? 0 : 32;
        sha1_dv::store_q_pair<odd + at>(kept.four, w[J % 4], w[(J + 2) % 4]);
        sha1_dv::store_q_pair<even + at>(kept.four, w[(J + 1) % 4], w[(J + 3) % 4]);
    }
    const uint32x4_t wk = vaddq_u32(w[J % 4], k[J / 5]);
    // E four rounds on is A now, rotated by 30.
    const std::uint32_t e_next = vsha1h_u32(vgetq_lane_u32(abcd, 0));
    if constexpr (J < 5) {
        abcd = vsha1cq_u32(abcd, e, wk);
    } else if constexpr (J < 10 || J >= 15) {
        abcd = vsha1pq_u32(abcd, e, wk);
    } else {
        abcd = vsha1mq_u32(abcd, e, wk);
    }
    e = e_next;
    if constexpr (J < 16) {
        w[J % 4] =
            vsha1su1q_u32(vsha1su0q_u32(w[J % 4], w[(J + 1) % 4], w[(J + 2) % 4]), w[(J + 3) % 4]);
    }
    // After group 14 (rounds 56..59), A..D are the state before step 60, and
    // E is A before step 56 rotated by 30, which sha1h gave for this group.
    if constexpr (B >= 0 && J == 14) {
        constexpr std::size_t at = B * sizeof(kept_states);
        static_assert(offsetof(kept_states, abcd60) == offsetof(kept_states, abcd_in) + 16 &&
                          offsetof(kept_states, e60) == offsetof(kept_states, e_in) + 4,
                      "each pair of states side by side, as the paired stores write them");
        sha1_dv::store_q_pair<at + offsetof(kept_states, abcd_in)>(kept.states, kept.abcd_in, abcd);
        sha1_dv::store_s_pair<at + offsetof(kept_states, e_in)>(kept.states, kept.e_in, e);
    }
}

template <int B, int... J>
TORVANIX_ALWAYS_INLINE void eighty_rounds(std::integer_sequence<int, J...>, uint32x4_t& abcd,
                                          std::uint32_t& e, uint32x4_t (&w)[4],
                                          const uint32x4_t (&k)[4], kept_for_check& kept)
{
    (four_rounds<B, J>(abcd, e, w, k, kept), ...);
}

// Compresses one block into A..D (A in lane 0) and E; as block B of four
// when B >= 0, keeping what the check needs of it.
template <int B>
TORVANIX_ALWAYS_INLINE void compress(uint32x4_t& abcd, std::uint32_t& e, const std::uint8_t* data,
                                     const uint32x4_t (&k)[4], kept_for_check& kept)
{
    const uint32x4_t abcd_start = abcd;
    const std::uint32_t e_start = e;
    kept.abcd_in = abcd_start;
    kept.e_in = e_start;
    uint32x4_t w[4];
    for (int i = 0; i < 4; ++i) {
        w[i] = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(data + 16 * i)));
    }
    eighty_rounds<B>(std::make_integer_sequence<int, 20>{}, abcd, e, w, k, kept);
    abcd = vaddq_u32(abcd, abcd_start);
    e += e_start;
}

// Compresses four blocks, keeping what the check needs, in straight code.
template <int... B>
TORVANIX_ALWAYS_INLINE void compress_four(kept_for_check& kept, uint32x4_t& abcd, std::uint32_t& e,
                                          const std::uint8_t* data, const uint32x4_t (&k)[4],
                                          std::integer_sequence<int, B...>)
{
    (compress<B>(abcd, e, data + 64 * B, k, kept), ...);
}

// The round constants, in every lane.
TORVANIX_ALWAYS_INLINE void round_constants(uint32x4_t (&k)[4])
{
    k[0] = vdupq_n_u32(sha1_rounds::K0);
    k[1] = vdupq_n_u32(sha1_rounds::K1);
    k[2] = vdupq_n_u32(sha1_rounds::K2);
    k[3] = vdupq_n_u32(sha1_rounds::K3);
}

// The same, read from memory where they are used: loaded again for every
// four blocks (two paired loads), they leave four registers free for the
// candidate test in between, which otherwise runs short of them.
TORVANIX_ALWAYS_INLINE void reload_round_constants(uint32x4_t (&k)[4])
{
    alignas(16) static constexpr std::uint32_t constants[4][4] = {
        {sha1_rounds::K0, sha1_rounds::K0, sha1_rounds::K0, sha1_rounds::K0},
        {sha1_rounds::K1, sha1_rounds::K1, sha1_rounds::K1, sha1_rounds::K1},
        {sha1_rounds::K2, sha1_rounds::K2, sha1_rounds::K2, sha1_rounds::K2},
        {sha1_rounds::K3, sha1_rounds::K3, sha1_rounds::K3, sha1_rounds::K3}};
    const std::uint32_t(*from)[4] = constants;
    TORVANIX_OPAQUE(from);
    k[0] = vld1q_u32(from[0]);
    k[1] = vld1q_u32(from[1]);
    k[2] = vld1q_u32(from[2]);
    k[3] = vld1q_u32(from[3]);
}

struct chaining_value {
    uint32x4_t abcd;
    std::uint32_t e;
};

// The same for the first `n` (1 to 3) of four, at the start of a call's last
// batch: out of line, so that the four blocks' code has no branches between
// its blocks.
// (All by value: a variable whose address a called function takes lives in
// memory, where every store of the check would make the compiler store
// and read it again.)
TORVANIX_NEVER_INLINE chaining_value compress_fewer(kept_for_check kept, chaining_value h,
                                                    const std::uint8_t* data, int n)
{
    uint32x4_t k[4];
    round_constants(k);
    compress<0>(h.abcd, h.e, data, k, kept);
    if (n > 1) compress<1>(h.abcd, h.e, data + 64, k, kept);
    if (n > 2) compress<2>(h.abcd, h.e, data + 128, k, kept);
    return h;
}

// The detecting form's places: four blocks' groups and bytes for their
// columns, a batch's states (one more, for the state after its last block)
// and candidate masks, and the batch itself, whose queue and places the
// confirmation reads.
struct detecting {
    sha1_dv::neon_four_blocks four = {};
    kept_states states[sha1_dv_batch_size + 1];
    std::uint32_t candidates[sha1_dv_batch_size];
    sha1_dv_batch batch;
};

// The candidate test of the four blocks just compressed, at `at` in the
// batch: bit `at + b` set where block b has candidates, whose masks alone
// are stored.
TORVANIX_ALWAYS_INLINE unsigned test_four(detecting& d, int at)
{
    static_assert((sha1_dv::neon::columns_read(0) & ~sha1_dv::early_columns) == 0,
                  "the first pass reads only the columns made before it");
    sha1_dv::split_bytes(d.four);
    uint32x4_t columns[sha1_dv::column_count];
    sha1_dv::neon_transposition t;
    sha1_dv::early_columns_of_four(d.four, t, columns);
    const unsigned lanes = sha1_dv::neon::candidates_of_four<false>(
        columns, &d.candidates[at], [&] { sha1_dv::other_columns_of_four(t, columns); });
    return lanes << at;
}

// The same for the first `n` (1 to 3) blocks of a batch, the others' lanes
// holding blocks of an earlier batch: out of line, as it runs at most once
// a call.
TORVANIX_NEVER_INLINE unsigned test_fewer(detecting& d, int n)
{
    return test_four(d, 0) & ((1u << n) - 1);
}

// Block B's states and place, for the confirmation, into the batch.
template <int B>
TORVANIX_ALWAYS_INLINE void copy_to_batch(detecting& d, const std::uint8_t* first)
{
    sha1_dv_batch& batch = d.batch;
    vst1q_u32(batch.before60[B], d.states[B].abcd60);
    batch.before60[B][4] = d.states[B].e60;
    vst1q_u32(batch.out[B], d.states[B + 1].abcd_in);
    batch.out[B][4] = d.states[B + 1].e_in;
    batch.block[B] = first + 64 * B;
}

// The same for the blocks whose bit is set in `with`, block by block in
// straight code, where every place is at a fixed offset.
template <int... B>
TORVANIX_ALWAYS_INLINE void copy_to_batch(detecting& d, const std::uint8_t* first, unsigned with,
                                          std::integer_sequence<int, B...>)
{
    ((with >> B & 1 ? copy_to_batch<B>(d, first) : void()), ...);
}

// Queues the candidates of the batch's `count` blocks, from `first` on
// (bit b of `with` set where block b has some), and confirms what fills
// the queue, or all of it when `last`: how many blocks of the call run up
// to the first that completes a collision attack (its chaining value then
// in `state`), or 0.
TORVANIX_NEVER_INLINE std::size_t queue_batch(detecting& d, const std::uint8_t* first, int count,
                                              unsigned with, std::size_t done, bool last,
                                              std::uint32_t state[5])
{
    sha1_dv_batch& batch = d.batch;
    copy_to_batch(d, first, with, std::make_integer_sequence<int, sha1_dv_batch_size>{});
    batch.count = count;
    return sha1_dv_queue_blocks(batch.queue, batch, d.candidates, with, sha1_dv_confirm_neon, done,
                                last, state);
}

// Runs blocks; with `Detect`, checks each block and stops after the first
// that completes a collision attack.
template <bool Detect>
sha1_blocks_done run(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    uint32x4_t abcd = vld1q_u32(state);
    std::uint32_t e = state[4];

    if constexpr (!Detect) {
        uint32x4_t k[4];
        round_constants(k);
        kept_for_check unused = {};
        for (; blocks != 0; --blocks, data += 64) compress<-1>(abcd, e, data, k, unused);
    } else {
        detecting d;
        // Through a pointer the compiler cannot see into, the stores into
        // the four blocks' places go to offsets from one register, not to
        // offsets from the stack that need an address register each.
        sha1_dv::neon_four_blocks* four = &d.four;
        TORVANIX_OPAQUE(four);
        std::size_t done = 0;
        while (done < blocks) {
            const std::uint8_t* first = data;
            const int count = blocks - done < sha1_dv_batch_size ? static_cast<int>(blocks - done)
                                                                 : sha1_dv_batch_size;
            unsigned with = 0;
            kept_for_check kept = {four, d.states, {}, 0};
            // A batch whose count is not a multiple of four (the call's last)
            // starts with the blocks over, tested out of line; then four
            // blocks at a time, with no test of how many are left.
            int at = count % 4;
            if (at != 0) {
                const chaining_value h = compress_fewer(kept, {abcd, e}, data, at);
                abcd = h.abcd;
                e = h.e;
                kept.states += at;
                data += 64 * at;
                with = test_fewer(d, at);
            }
            for (; at < count; at += 4) {
                uint32x4_t k[4];
                reload_round_constants(k);
                compress_four(kept, abcd, e, data, k, std::make_integer_sequence<int, 4>{});
                kept.states += 4;
                data += 4 * 64;
                with |= test_four(d, at);
            }
            done += static_cast<std::size_t>(count);
            const bool last = done == blocks;
            if (with != 0 || (last && d.batch.queue.count != 0)) {
                // The state after the batch's last block.
                kept.states->abcd_in = abcd;
                kept.states->e_in = e;
                if (const std::size_t upto =
                        queue_batch(d, first, count, with, done, last, state)) {
                    return {upto, true};
                }
            }
        }
    }

    vst1q_u32(state, abcd);
    state[4] = e;
    return {blocks, false};
}

}  // namespace

void sha1_transform_armv8(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    run<false>(state, data, blocks);
}

sha1_blocks_done sha1_detect_armv8(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks)
{
    return run<true>(state, data, blocks);
}

#endif
