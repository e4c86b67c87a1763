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

// What the collision check keeps of one block: its message groups 9 to 16
// (W[36..67]) and W[35] (lane 3 of group 8), stored where the columns read
// them, and the working state before step 60, which stays in registers
// until the block is done.
struct kept_for_check {
    sha1_dv::neon_four_blocks::groups& groups;
    std::uint32_t& w35;
    uint32x4_t abcd60;
    std::uint32_t e60;
};

// Group J of the rounds: rounds 4J..4J+3 on message group J, which w[J % 4]
// holds. While it runs, the ring computes group J + 4 from groups J..J+3 in
// place of group J.
template <bool Keep, int J>
TORVANIX_ALWAYS_INLINE void four_rounds(uint32x4_t& abcd, std::uint32_t& e, uint32x4_t (&w)[4],
                                        const uint32x4_t (&k)[4], kept_for_check& kept)
{
    if constexpr (Keep && J == 8) {
        vst1q_lane_u32(&kept.w35, w[J % 4], 3);
    } else if constexpr (Keep && J > 8 && J <= 16) {
        vst1q_u32(sha1_dv::neon_four_blocks::group(kept.groups, J), w[J % 4]);
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
    if constexpr (Keep && J == 14) {
        kept.abcd60 = abcd;
        kept.e60 = e;
    }
}

template <bool Keep, int... J>
TORVANIX_ALWAYS_INLINE void eighty_rounds(std::integer_sequence<int, J...>, uint32x4_t& abcd,
                                          std::uint32_t& e, uint32x4_t (&w)[4],
                                          const uint32x4_t (&k)[4], kept_for_check& kept)
{
    (four_rounds<Keep, J>(abcd, e, w, k, kept), ...);
}

// Compresses one block into A..D (A in lane 0) and E.
template <bool Keep>
TORVANIX_ALWAYS_INLINE void compress(uint32x4_t& abcd, std::uint32_t& e, const std::uint8_t* data,
                                     const uint32x4_t (&k)[4], kept_for_check& kept)
{
    const uint32x4_t abcd_start = abcd;
    const std::uint32_t e_start = e;
    uint32x4_t w[4];
    for (int i = 0; i < 4; ++i) {
        w[i] = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(data + 16 * i)));
    }
    eighty_rounds<Keep>(std::make_integer_sequence<int, 20>{}, abcd, e, w, k, kept);
    abcd = vaddq_u32(abcd, abcd_start);
    e += e_start;
}

// A block's states for the confirmation, before step 60 and after the
// block; copied into the batch only for the blocks that have candidates.
struct kept_states {
    uint32x4_t abcd[2];
    std::uint32_t e[2];
};

// The detecting form's places: four blocks' groups and bytes for their
// columns, a batch's states and candidate masks, and the batch itself, whose
// queue and places the confirmation reads.
struct detecting {
    sha1_dv::neon_four_blocks four = {};
    kept_states states[sha1_dv_batch_size];
    std::uint32_t candidates[sha1_dv_batch_size];
    sha1_dv_batch batch;
};

// Compresses a block, keeping what the check needs: its groups and W[35]
// in their places of the four blocks, and its states.
TORVANIX_ALWAYS_INLINE void compress_kept(sha1_dv::neon_four_blocks::groups& groups,
                                          std::uint32_t& w35, kept_states& states, uint32x4_t& abcd,
                                          std::uint32_t& e, const std::uint8_t* data,
                                          const uint32x4_t (&k)[4])
{
    kept_for_check kept = {groups, w35, {}, 0};
    compress<true>(abcd, e, data, k, kept);
#if defined(TORVANIX_STORE_STATES)
    static_assert(offsetof(kept_states, e) == 32, "the states as the paired stores write them");
    TORVANIX_STORE_STATES(&states, kept.abcd60, abcd, kept.e60, e);
#else
    states.abcd[0] = kept.abcd60;
    states.abcd[1] = abcd;
    states.e[0] = kept.e60;
    states.e[1] = e;
#endif
}

// The candidate test of the four blocks just compressed (the first `count`
// of them), at `at` in the batch: bit `at + b` set where block b has
// candidates, whose masks alone are stored.
TORVANIX_ALWAYS_INLINE unsigned test_four(detecting& d, int at, int count)
{
    for (int b = 0; b < 4; ++b) sha1_dv::split_bytes(d.four, b);
    uint32x4_t columns[sha1_dv::column_count];
    sha1_dv::columns_of_four(d.four, columns);
    const unsigned lanes = sha1_dv::neon::candidates_of_four<false>(columns, &d.candidates[at]);
    return (lanes & ((1u << count) - 1)) << at;
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
    for (unsigned left = with; left != 0; left &= left - 1) {
        const int b = std::countr_zero(left);
        const kept_states& s = d.states[b];
        vst1q_u32(batch.before60[b], s.abcd[0]);
        batch.before60[b][4] = s.e[0];
        vst1q_u32(batch.out[b], s.abcd[1]);
        batch.out[b][4] = s.e[1];
        batch.block[b] = first + 64 * b;
    }
    batch.count = count;
    return sha1_dv_queue_blocks(batch.queue, batch, d.candidates, with, sha1_dv_confirm_neon, done,
                                last, state);
}

// Runs blocks; with `Detect`, checks each block and stops after the first
// that completes a collision attack.
template <bool Detect>
sha1_blocks_done run(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    const uint32x4_t k[4] = {vdupq_n_u32(sha1_rounds::K0), vdupq_n_u32(sha1_rounds::K1),
                             vdupq_n_u32(sha1_rounds::K2), vdupq_n_u32(sha1_rounds::K3)};
    uint32x4_t abcd = vld1q_u32(state);
    std::uint32_t e = state[4];

    if constexpr (!Detect) {
        sha1_dv::neon_four_blocks::groups unused;
        std::uint32_t unused_w35;
        kept_for_check kept = {unused, unused_w35, {}, 0};
        for (; blocks != 0; --blocks, data += 64) compress<false>(abcd, e, data, k, kept);
    } else {
        detecting d;
        std::size_t done = 0;
        while (done < blocks) {
            const std::uint8_t* first = data;
            const int count = blocks - done < sha1_dv_batch_size ? static_cast<int>(blocks - done)
                                                                 : sha1_dv_batch_size;
            unsigned with = 0;
            kept_states* states = d.states;
            // Four blocks at a time, then those left.
            for (int at = 0; at < count; at += 4) {
                const int n = count - at < 4 ? count - at : 4;
                std::uint32_t* w35 = d.four.w35;
                for (auto* groups = d.four.blocks; groups != d.four.blocks + n;
                     ++groups, ++w35, ++states, data += 64) {
                    compress_kept(*groups, *w35, *states, abcd, e, data, k);
                }
                with |= test_four(d, at, n);
            }
            done += static_cast<std::size_t>(count);
            const bool last = done == blocks;
            if (with != 0 || (last && d.batch.queue.count != 0)) {
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
