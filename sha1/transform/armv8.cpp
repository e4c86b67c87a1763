// SHA-1 compression with the ARMv8 SHA1 instructions. sha1c/sha1p/sha1m run
// four rounds of the choose, parity and majority kinds, sha1h gives the next
// E, and sha1su0/sha1su1 extend the message schedule four words at a time.
//
// The detecting form also keeps, of each block, the row bytes the collision
// check's columns are made of and the working state before step 60, and
// checks sixteen blocks at a time.
#include "sha1/target.h"

#if defined(TORVANIX_SHA1_HAVE_ARMV8)

#include <arm_neon.h>

#include <utility>

#include "sha1/rounds.h"
#include "sha1/transform.h"
#include "sha1/transform/columns_neon.h"

namespace {

// What the collision check keeps of one block: its message groups 8 to 16
// (W[32..67]), stored where the columns read them, and the working state
// before step 60. The groups live apart, so that the state, which is not
// read back from memory, can stay in registers.
struct kept_for_check {
    sha1_dv::neon_kept_groups& groups;
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
    if constexpr (Keep && J >= 8 && J <= 16) {
        vst1q_u32(kept.groups.words[sha1_dv::neon_kept_groups::slot(J)], w[J % 4]);
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

// Adds the block just compressed to the batch.
TORVANIX_ALWAYS_INLINE void add_to_batch(sha1_dv_batch& batch, sha1_dv::neon_batch_rows& rows,
                                         const sha1_dv::neon_row_indices& index,
                                         const kept_for_check& kept, uint32x4_t abcd,
                                         std::uint32_t e, const std::uint8_t* data)
{
    const int b = batch.count;
    sha1_dv::keep_rows(kept.groups, index, rows, b);
    vst1q_u32(batch.before60[b], kept.abcd60);
    batch.before60[b][4] = kept.e60;
    vst1q_u32(batch.out[b], abcd);
    batch.out[b][4] = e;
    batch.count_in(data);
}

// Takes the batch's columns and checks it: how many blocks of the call run
// up to the first that completes a collision attack (its chaining value is
// then in `state`), or 0.
// With `last`, the call's input ends with this batch: the candidates still
// queued are confirmed too.
std::size_t check(sha1_dv_batch& batch, sha1_dv::neon_batch_rows& rows, std::size_t done,
                  bool last, std::uint32_t state[5])
{
    sha1_dv::columns_of_batch(rows, batch.count, batch.columns);
    // Candidates wait in the batch's queue until four fill a vector.
    return sha1_dv_check_batch(batch, sha1_dv_candidates_batch_neon, sha1_dv_confirm_neon, done,
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
    sha1_dv::neon_kept_groups groups;
    kept_for_check kept = {groups, {}, 0};

    if constexpr (!Detect) {
        for (; blocks != 0; --blocks, data += 64) compress<false>(abcd, e, data, k, kept);
    } else {
        sha1_dv_batch batch;
        sha1_dv::neon_batch_rows rows;
        const sha1_dv::neon_row_indices index = sha1_dv::row_indices();
        for (std::size_t done = 0; done < blocks; ++done, data += 64) {
            compress<true>(abcd, e, data, k, kept);
            add_to_batch(batch, rows, index, kept, abcd, e, data);
            if (batch.count == sha1_dv_batch_size || done + 1 == blocks) {
                if (const std::size_t upto =
                        check(batch, rows, done + 1, done + 1 == blocks, state)) {
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
