// Internal to the SHA-1 engine: the collision check's columns from message
// groups held in x86 vector registers, for the SHA-extension, AVX2 and SSSE3
// transforms.
#pragma once

#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sha1/collision/collision.h"
#include "sha1/target.h"

// Column c of a block, into columns[c][block], from its message groups 8 to
// 16 (W[32..67]), four words each. `Reversed`: the first word of a group in
// the top lane (as the SHA extensions keep them), else in the bottom lane.
//
// A byte shuffle of each group puts its words' low bytes, in order, in bytes
// 0-3 and their top bytes in bytes 8-11, or, for the odd groups, in bytes
// 4-7 and 12-15; OR-ed in twos, each register holds eight words' low bytes
// in its low half and their top bytes in its high half. Unpacked, sixteen
// words' low bytes fill one register and their top bytes another, moved by
// three words to start at W[35], and each column is the byte-sign mask of a
// copy shifted so that the column's bit is each byte's top bit.
//
// The AVX2 forms run two blocks at once, the first block's groups in the low
// 128-bit half of each register and the second's in the high half; a
// transform can merge groups in twos as it computes them (keep_pair_group)
// and take the columns later from the five registers that leaves.
namespace sha1_dv {

// Where a group's words' bytes go: low bytes to 0-3 (or 4-7 with `Odd`), top
// bytes to 8-11 (or 12-15), per 128-bit half.
template <bool Reversed, bool Odd>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE __m128i gather_mask()
{
    constexpr char z = -1;                 // a zero byte
    constexpr char a = Reversed ? 12 : 0;  // the group's first word's low byte
    constexpr char b = Reversed ? 8 : 4;
    constexpr char c = Reversed ? 4 : 8;
    constexpr char d = Reversed ? 0 : 12;
    if constexpr (Odd) {
        return _mm_setr_epi8(z, z, z, z, a, b, c, d, z, z, z, z, a + 3, b + 3, c + 3, d + 3);
    } else {
        return _mm_setr_epi8(a, b, c, d, z, z, z, z, a + 3, b + 3, c + 3, d + 3, z, z, z, z);
    }
}

// Column c's bit of each byte, as the byte-sign mask (bit k from byte k),
// into `columns`: of the low bytes for columns 0-7, of the top bytes for
// columns 8-10. The bits are taken from the highest down, each brought to
// the top of its byte by adding the bytes to themselves, in place: no copy,
// which SSE's two-operand shifts would need, and no shift count.
static_assert(column_bit(7) == 7 && column_bit(8) == 28 && column_bit(10) == 30,
              "columns 0-7: the low byte's bits; 8-10: the top byte's bits 4-6");

// Sixteen bytes give half of each column word: its low 16 bits (W[35..50])
// or its high 16 bits, at `half` (the column 0 word's half; column c's is
// c rows further).
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void columns_of_bytes(__m128i lows, __m128i tops,
                                                                   unsigned char* half)
{
    constexpr std::size_t row = sizeof(sha1_dv_batch_columns) / column_count;
    const auto put = [half](int c, int mask) {
        const auto bits = static_cast<std::uint16_t>(mask);
        std::memcpy(half + row * static_cast<std::size_t>(c), &bits, 2);
    };
    for (int c = 7; c >= 0; --c) {
        put(c, _mm_movemask_epi8(lows));
        if (c != 0) lows = _mm_add_epi8(lows, lows);
    }
    tops = _mm_add_epi8(tops, tops);  // bit 30's byte bit 6 to the top
    for (int c = 10; c >= 8; --c) {
        put(c, _mm_movemask_epi8(tops));
        if (c != 8) tops = _mm_add_epi8(tops, tops);
    }
}

// Thirty-two bytes give the whole column word.
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void columns_of_bytes(__m256i lows, __m256i tops,
                                                                  sha1_dv_batch_columns& columns,
                                                                  int block)
{
    for (int c = 7; c >= 0; --c) {
        columns[c][block] = static_cast<std::uint32_t>(_mm256_movemask_epi8(lows));
        if (c != 0) lows = _mm256_add_epi8(lows, lows);
    }
    tops = _mm256_add_epi8(tops, tops);
    for (int c = 10; c >= 8; --c) {
        columns[c][block] = static_cast<std::uint32_t>(_mm256_movemask_epi8(tops));
        if (c != 8) tops = _mm256_add_epi8(tops, tops);
    }
}

template <bool Reversed>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void columns_from_groups(
    const __m128i (&groups)[9], sha1_dv_batch_columns& columns, int block)
{
    const __m128i even_mask = gather_mask<Reversed, false>();
    const __m128i odd_mask = gather_mask<Reversed, true>();
    __m128i eight[4];  // words 32+8i..: low bytes in 0-7, top bytes in 8-15
    for (int i = 0; i < 4; ++i) {
        eight[i] = _mm_or_si128(_mm_shuffle_epi8(groups[2 * i], even_mask),
                                _mm_shuffle_epi8(groups[2 * i + 1], odd_mask));
    }
    const __m128i last = _mm_shuffle_epi8(groups[8], even_mask);  // W[64..67]
    const __m128i low0 = _mm_unpacklo_epi64(eight[0], eight[1]);  // W[32..47]
    const __m128i low1 = _mm_unpacklo_epi64(eight[2], eight[3]);  // W[48..63]
    const __m128i top0 = _mm_unpackhi_epi64(eight[0], eight[1]);
    const __m128i top1 = _mm_unpackhi_epi64(eight[2], eight[3]);
    const __m128i lows[2] = {_mm_alignr_epi8(low1, low0, 3), _mm_alignr_epi8(last, low1, 3)};
    const __m128i tops[2] = {_mm_alignr_epi8(top1, top0, 3),
                             _mm_alignr_epi8(_mm_srli_si128(last, 8), top1, 3)};
    // One address for all the stores (left to itself, the compiler keeps
    // one register per column).
    unsigned char* word = reinterpret_cast<unsigned char*>(&columns[0][block]);
    TORVANIX_OPAQUE(word);
    columns_of_bytes(lows[0], tops[0], word);
    columns_of_bytes(lows[1], tops[1], word + 2);
}

// Both blocks' groups 8 to 16 merged in twos: groups 8+2i and 9+2i in
// pairs[i], group 16 alone in pairs[4].
struct kept_pair_groups {
    __m256i pairs[5];
};

// Merges group G (8 to 16) into `kept` once it is computed, with group G - 1
// (which `previous` holds) for the odd ones.
template <bool Reversed, int G>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void keep_pair_group(const __m256i& previous,
                                                                 const __m256i& group,
                                                                 kept_pair_groups& kept)
{
    static_assert(G >= 8 && G <= 16, "the check reads groups 8 to 16");
    const __m256i even_mask = _mm256_broadcastsi128_si256(gather_mask<Reversed, false>());
    if constexpr (G == 16) {
        kept.pairs[4] = _mm256_shuffle_epi8(group, even_mask);
    } else if constexpr (G % 2 == 1) {
        const __m256i odd_mask = _mm256_broadcastsi128_si256(gather_mask<Reversed, true>());
        kept.pairs[(G - 9) / 2] = _mm256_or_si256(_mm256_shuffle_epi8(previous, even_mask),
                                                  _mm256_shuffle_epi8(group, odd_mask));
    }
}

// Columns of blocks `block` and `block + 1` from their merged groups.
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void columns_from_kept_pair(
    const kept_pair_groups& kept, sha1_dv_batch_columns& columns, int block)
{
    const __m256i(&eight)[5] = kept.pairs;
    const __m256i low0 = _mm256_unpacklo_epi64(eight[0], eight[1]);
    const __m256i low1 = _mm256_unpacklo_epi64(eight[2], eight[3]);
    const __m256i top0 = _mm256_unpackhi_epi64(eight[0], eight[1]);
    const __m256i top1 = _mm256_unpackhi_epi64(eight[2], eight[3]);
    const __m256i low_a = _mm256_alignr_epi8(low1, low0, 3);      // W[35..50] of each block
    const __m256i low_b = _mm256_alignr_epi8(eight[4], low1, 3);  // W[51..66]
    const __m256i top_a = _mm256_alignr_epi8(top1, top0, 3);
    const __m256i top_b = _mm256_alignr_epi8(_mm256_bsrli_epi128(eight[4], 8), top1, 3);
    // All 32 bytes of one block in one register.
    const __m256i lows[2] = {_mm256_permute2x128_si256(low_a, low_b, 0x20),
                             _mm256_permute2x128_si256(low_a, low_b, 0x31)};
    const __m256i tops[2] = {_mm256_permute2x128_si256(top_a, top_b, 0x20),
                             _mm256_permute2x128_si256(top_a, top_b, 0x31)};
    for (int b = 0; b < 2; ++b) {
        columns_of_bytes(lows[b], tops[b], columns, block + b);
    }
}

// The same from the nine groups at once.
template <bool Reversed>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void columns_from_pair_groups(
    const __m256i (&groups)[9], sha1_dv_batch_columns& columns, int block)
{
    kept_pair_groups kept;
    keep_pair_group<Reversed, 9>(groups[0], groups[1], kept);
    keep_pair_group<Reversed, 11>(groups[2], groups[3], kept);
    keep_pair_group<Reversed, 13>(groups[4], groups[5], kept);
    keep_pair_group<Reversed, 15>(groups[6], groups[7], kept);
    keep_pair_group<Reversed, 16>(groups[7], groups[8], kept);
    columns_from_kept_pair(kept, columns, block);
}

// Checks and empties the batch as sha1_dv_check_batch does, with the
// candidate test `check` and the confirmation `confirm`. Only a block in
// twenty has candidates on ordinary data: the queue is handed a mask of the
// blocks that have some, and not called at all, about half the time, when
// none has.
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE std::size_t check_batch(
    sha1_dv_batch& batch, sha1_dv_batch_check check, const sha1_dv_confirm_form& confirm,
    std::size_t done, bool last, std::uint32_t state[5])
{
    std::uint32_t candidates[sha1_dv_batch_size];
    check(batch.columns, candidates);
    unsigned with = 0;  // bit b: block b has candidates
    for (int b = 0; b < sha1_dv_batch_size; b += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(candidates + b));
        const int none =
            _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, _mm_setzero_si128())));
        with |= (~static_cast<unsigned>(none) & 0xFu) << b;
    }
    with &= (1u << batch.count) - 1;  // lanes past a short batch's count are junk
    if (with == 0) {
        batch.count = 0;
        return last ? sha1_dv_drain_queue(batch.queue, confirm, state) : 0;
    }
    return sha1_dv_queue_blocks(batch.queue, batch, candidates, with, confirm, done, last, state);
}

}  // namespace sha1_dv
