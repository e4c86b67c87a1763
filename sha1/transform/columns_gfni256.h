// Internal to the SHA-1 engine: the collision check's columns with GFNI on
// 256-bit registers (VEX-encoded, no AVX-512: Intel client cores from the
// 12th generation on), from the message groups the SHA-extension transform
// keeps.
//
// A block's check reads W[35..64]: four "octets" of eight words, W[35..42],
// W[43..50], W[51..58] and W[59..66]. A quad W[35+4m..38+4m] is group 9+m
// with its first lane taken from group 8+m (one blend); two byte shuffles
// and an OR put each octet's low bytes in one 64-bit lane and its top bytes
// in the next, octets 0 and 2 in one register, 1 and 3 in another. One GF(2)
// affine transformation per register transposes every 8x8 bit matrix, so
// that byte k of a lane holds bit k of the octet's eight words; byte and
// word interleaves then assemble each column's four bytes. A block's columns
// end up in two rows of eight 32-bit elements, and a batch's rows are
// transposed, eight blocks at a time, into the columns the test reads.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "sha1/collision/collision.h"
#include "sha1/target.h"

// A batch's columns by block, as this form produces them: row_a[b] holds
// columns 0-3 of block b in elements 0-3, row_b[b] columns 4-7 in elements
// 0-3 and columns 8-10 in elements 4-6 (the other elements unused).
struct sha1_dv_gfni256_rows {
    std::uint32_t row_a[sha1_dv_batch_size][8];
    std::uint32_t row_b[sha1_dv_batch_size][8];
};

namespace sha1_dv {

// Where word i (0-3) of a quad sits after the blend: the first in lane 0,
// the others in lanes 3, 2 and 1, as the SHA extensions keep them.
constexpr int quad_lane(int i) { return i == 0 ? 0 : 4 - i; }

// The shuffle that moves word j (0-7) of an octet, whose quad is the first
// (`Second` false) or the second of the two, to byte 7 - j of the low 64-bit
// lane (its low byte) and of the high lane (its top byte): the affine
// transformation reads bit i of its result from byte 7 - i.
template <bool Second>
TORVANIX_TARGET_AVX2_GFNI TORVANIX_ALWAYS_INLINE __m256i octet_mask()
{
    char m[16];
    for (char& byte : m) byte = -1;
    for (int i = 0; i < 4; ++i) {
        const int j = Second ? 4 + i : i;
        m[7 - j] = static_cast<char>(4 * quad_lane(i));
        m[15 - j] = static_cast<char>(4 * quad_lane(i) + 3);
    }
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m)));
}

// Block `block`'s two rows, from its message groups 8 to 16.
TORVANIX_TARGET_AVX2_GFNI TORVANIX_ALWAYS_INLINE void rows_from_groups_gfni256(
    const __m128i (&groups)[9], sha1_dv_gfni256_rows& rows, int block)
{
    // pairs[k]: groups 8 + k and 12 + k, in the low and high halves.
    __m256i pairs[5];
    for (int k = 0; k < 5; ++k) {
        pairs[k] = _mm256_inserti128_si256(_mm256_castsi128_si256(groups[k]), groups[4 + k], 1);
    }
    // quads[m]: quads m and m + 4.
    __m256i quads[4];
    for (int m = 0; m < 4; ++m) quads[m] = _mm256_blend_epi32(pairs[m + 1], pairs[m], 0x11);
    const __m256i first = octet_mask<false>();
    const __m256i second = octet_mask<true>();
    // Octets 0 and 2, then 1 and 3.
    const __m256i even = _mm256_or_si256(_mm256_shuffle_epi8(quads[0], first),
                                         _mm256_shuffle_epi8(quads[1], second));
    const __m256i odd = _mm256_or_si256(_mm256_shuffle_epi8(quads[2], first),
                                        _mm256_shuffle_epi8(quads[3], second));
    // Byte k of every lane selects bit k of each of the lane's eight bytes.
    const __m256i select = _mm256_set1_epi64x(0x8040201008040201LL);
    const __m256i even_bits = _mm256_gf2p8affine_epi64_epi8(select, even, 0);
    const __m256i odd_bits = _mm256_gf2p8affine_epi64_epi8(select, odd, 0);
    // Byte pairs: element k of each half's low 64 bits' interleave holds
    // bit k's bytes of octets 0 and 1 (2 and 3 in the high half); the
    // high 64 bits' interleave the same of the top bytes.
    const __m256i lows = _mm256_unpacklo_epi8(even_bits, odd_bits);
    const __m256i tops = _mm256_unpackhi_epi8(even_bits, odd_bits);
    const __m256i first_octets = _mm256_permute2x128_si256(lows, tops, 0x20);
    const __m256i last_octets = _mm256_permute2x128_si256(lows, tops, 0x31);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(rows.row_a[block]),
                        _mm256_unpacklo_epi16(first_octets, last_octets));
    // Columns 4-7 in the low half; top bits 4-6 (bits 28-30) in elements
    // 4-6, the high half.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(rows.row_b[block]),
                        _mm256_unpackhi_epi16(first_octets, last_octets));
}

// Columns [First, First + Count) of blocks 8 * half .. 8 * half + 7 from
// their rows (`rows`: row_a or row_b, whose element e is column First + e),
// by an 8 x 8 transposition of 32-bit elements.
template <int First, int Count>
TORVANIX_TARGET_AVX2_GFNI TORVANIX_ALWAYS_INLINE void transpose_rows_gfni256(
    const std::uint32_t (&rows)[sha1_dv_batch_size][8], int half, sha1_dv_batch_columns& columns)
{
    __m256i r[8];
    for (int k = 0; k < 8; ++k) {
        r[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[8 * half + k]));
    }
    // Pairs of rows, then quads, within 128-bit halves: t[4m + i], half h
    // holds element 4h + i of rows 4m .. 4m + 3.
    __m256i p[8];
    for (int k = 0; k < 8; k += 2) {
        p[k] = _mm256_unpacklo_epi32(r[k], r[k + 1]);
        p[k + 1] = _mm256_unpackhi_epi32(r[k], r[k + 1]);
    }
    __m256i t[8];
    for (int m = 0; m < 2; ++m) {
        t[4 * m] = _mm256_unpacklo_epi64(p[4 * m], p[4 * m + 2]);
        t[4 * m + 1] = _mm256_unpackhi_epi64(p[4 * m], p[4 * m + 2]);
        t[4 * m + 2] = _mm256_unpacklo_epi64(p[4 * m + 1], p[4 * m + 3]);
        t[4 * m + 3] = _mm256_unpackhi_epi64(p[4 * m + 1], p[4 * m + 3]);
    }
    for (int e = 0; e < Count; ++e) {
        const __m256i column = e < 4 ? _mm256_permute2x128_si256(t[e], t[4 + e], 0x20)
                                     : _mm256_permute2x128_si256(t[e - 4], t[e], 0x31);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(&columns[First + e][8 * half]), column);
    }
}

// The columns of blocks 8 * half .. 8 * half + 7 of a batch.
TORVANIX_TARGET_AVX2_GFNI TORVANIX_ALWAYS_INLINE void columns_from_rows_gfni256(
    const sha1_dv_gfni256_rows& rows, int half, sha1_dv_batch_columns& columns)
{
    transpose_rows_gfni256<0, 4>(rows.row_a, half, columns);
    transpose_rows_gfni256<4, 7>(rows.row_b, half, columns);
}

}  // namespace sha1_dv
