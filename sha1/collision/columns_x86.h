// Internal to the SHA-1 engine: the collision check's columns from message
// groups held in x86 vector registers, for the SHA-extension, AVX2 and SSSE3
// transforms.
#pragma once

#include <immintrin.h>

#include "sha1/collision.h"
#include "sha1/target.h"

namespace sha1_dv {

// Column c of one block, into columns[c][block], from its message groups 8
// to 16 (W[32..67]),
// four words each. `Reversed`: the first word of a group in the top lane
// (as the SHA extensions keep them), else in the bottom lane.
//
// One byte shuffle per group puts its words' low bytes, in order, in bytes
// 0-3 and their top bytes in bytes 8-11; merged, sixteen words' low bytes
// fill one register and their top bytes another, moved by three words to
// start at W[35], and each column is a byte-sign mask of a shifted copy.
template <bool Reversed>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void columns_from_groups(
    const __m128i (&groups)[9], sha1_dv_batch_columns& columns, int block)
{
    const __m128i gather =
        Reversed ? _mm_set_epi8(-1, -1, -1, -1, 3, 7, 11, 15, -1, -1, -1, -1, 0, 4, 8, 12)
                 : _mm_set_epi8(-1, -1, -1, -1, 15, 11, 7, 3, -1, -1, -1, -1, 12, 8, 4, 0);
    __m128i g[9];
    for (int i = 0; i < 9; ++i) g[i] = _mm_shuffle_epi8(groups[i], gather);
    __m128i eight[4];  // words 32+8i..: low bytes in 0-7, top bytes in 8-15
    for (int i = 0; i < 4; ++i) eight[i] = _mm_or_si128(g[2 * i], _mm_slli_si128(g[2 * i + 1], 4));
    const __m128i low0 = _mm_unpacklo_epi64(eight[0], eight[1]);  // W[32..47]
    const __m128i low1 = _mm_unpacklo_epi64(eight[2], eight[3]);  // W[48..63]
    const __m128i top0 = _mm_unpackhi_epi64(eight[0], eight[1]);
    const __m128i top1 = _mm_unpackhi_epi64(eight[2], eight[3]);
    const __m128i low2 = g[8];  // W[64..67]
    const __m128i top2 = _mm_srli_si128(g[8], 8);
    const __m128i lows[2] = {_mm_alignr_epi8(low1, low0, 3), _mm_alignr_epi8(low2, low1, 3)};
    const __m128i tops[2] = {_mm_alignr_epi8(top1, top0, 3), _mm_alignr_epi8(top2, top1, 3)};
    for (int c = 0; c < column_count; ++c) {
        const __m128i* bytes = c < 8 ? lows : tops;
        const __m128i shift = _mm_cvtsi32_si128(7 - column_bit(c) % 8);
        const int first = _mm_movemask_epi8(_mm_sll_epi16(bytes[0], shift));
        const int second = _mm_movemask_epi8(_mm_sll_epi16(bytes[1], shift));
        columns[c][block] = static_cast<std::uint32_t>(first) | static_cast<std::uint32_t>(second)
                                                                    << 16;
    }
}

}  // namespace sha1_dv

namespace sha1_dv {

// The same for two blocks at once, into blocks `block` and `block + 1`,
// from groups holding the first block's words in the low 128-bit half and
// the second's in the high half (`Reversed` as above, per half).
template <bool Reversed>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void columns_from_pair_groups(
    const __m256i (&groups)[9], sha1_dv_batch_columns& columns, int block)
{
    const __m256i gather =
        Reversed ? _mm256_setr_epi8(12, 8, 4, 0, -1, -1, -1, -1, 15, 11, 7, 3, -1, -1, -1, -1, 12,
                                    8, 4, 0, -1, -1, -1, -1, 15, 11, 7, 3, -1, -1, -1, -1)
                 : _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, 3, 7, 11, 15, -1, -1, -1, -1, 0, 4,
                                    8, 12, -1, -1, -1, -1, 3, 7, 11, 15, -1, -1, -1, -1);
    __m256i g[9];
    for (int i = 0; i < 9; ++i) g[i] = _mm256_shuffle_epi8(groups[i], gather);
    __m256i eight[4];
    for (int i = 0; i < 4; ++i) {
        eight[i] = _mm256_or_si256(g[2 * i], _mm256_bslli_epi128(g[2 * i + 1], 4));
    }
    const __m256i low0 = _mm256_unpacklo_epi64(eight[0], eight[1]);
    const __m256i low1 = _mm256_unpacklo_epi64(eight[2], eight[3]);
    const __m256i top0 = _mm256_unpackhi_epi64(eight[0], eight[1]);
    const __m256i top1 = _mm256_unpackhi_epi64(eight[2], eight[3]);
    const __m256i low_a = _mm256_alignr_epi8(low1, low0, 3);  // W[35..50] of each block
    const __m256i low_b = _mm256_alignr_epi8(g[8], low1, 3);  // W[51..66]
    const __m256i top_a = _mm256_alignr_epi8(top1, top0, 3);
    const __m256i top_b = _mm256_alignr_epi8(_mm256_bsrli_epi128(g[8], 8), top1, 3);
    // All 32 bytes of one block in one register.
    const __m256i lows[2] = {_mm256_permute2x128_si256(low_a, low_b, 0x20),
                             _mm256_permute2x128_si256(low_a, low_b, 0x31)};
    const __m256i tops[2] = {_mm256_permute2x128_si256(top_a, top_b, 0x20),
                             _mm256_permute2x128_si256(top_a, top_b, 0x31)};
    for (int c = 0; c < column_count; ++c) {
        const __m256i* bytes = c < 8 ? lows : tops;
        const __m128i shift = _mm_cvtsi32_si128(7 - column_bit(c) % 8);
        columns[c][block] =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_sll_epi16(bytes[0], shift)));
        columns[c][block + 1] =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_sll_epi16(bytes[1], shift)));
    }
}

}  // namespace sha1_dv
