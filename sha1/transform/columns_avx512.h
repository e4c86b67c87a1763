// Internal to the SHA-1 engine: the collision check's columns in a few
// AVX-512 instructions, for processors with VBMI and GFNI (Ice Lake and
// later Intel cores, Zen 4 and later), from the message groups the
// SHA-extension transform keeps.
//
// One two-register byte permutation gathers the low bytes of W[35..66] into
// bytes 0-31 and their top bytes into bytes 32-63, eight words to a 64-bit
// lane in reverse order; one GF(2) affine transformation per lane then
// transposes each 8x8 bit matrix, so that byte k of a lane holds bit k of
// its eight words; a last byte permutation assembles each column's four
// bytes into one 32-bit element. The columns of a block end up in elements
// 0-10 of one register.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "sha1/collision/collision.h"
#include "sha1/target.h"

// A batch's columns by block, as this form produces them: rows[b][c] is
// column c of block b (elements 11-15 unused).
using sha1_dv_batch_rows = std::uint32_t[sha1_dv_batch_size][16];

namespace sha1_dv {

// The first permutation reads two registers: groups 9 to 12 (W[36..51]) and
// groups 13 to 16 (W[52..67]), each group's first word in its top lane, as
// the SHA extensions keep them; W[35], the only word of group 8 the check
// reads, replaces W[67] in the bottom lane of group 16. The offset of the
// lowest byte of W[w] there, 35 <= w <= 64:
constexpr int word_offset(int w)
{
    return w == first_word ? 16 * 7 : 16 * (w / 4 - 9) + 4 * (3 - w % 4);
}

struct byte_indices {
    std::uint8_t index[64];
};

// Its indices: the low byte of W[35 + i] at byte 8 * (i / 8) + 7 - i % 8,
// its top byte 32 bytes further. The two unused places take copies of
// W[64], bits the check does not read.
constexpr byte_indices make_gather_indices()
{
    byte_indices g{};
    for (int i = 0; i < 32; ++i) {
        const int w = first_word + (i < word_count ? i : word_count - 1);
        const int place = 8 * (i / 8) + 7 - i % 8;
        g.index[place] = static_cast<std::uint8_t>(word_offset(w));
        g.index[32 + place] = static_cast<std::uint8_t>(word_offset(w) + 3);
    }
    return g;
}

// The last permutation's indices: column c < 8 from byte c of lanes 0-3
// (the low bytes' transposes), column 8 + k from byte 4 + k of lanes 4-7
// (bits 28-30 are bits 4-6 of the top byte).
constexpr byte_indices make_column_indices()
{
    byte_indices g{};
    for (int c = 0; c < 16; ++c) {
        for (int lane = 0; lane < 4; ++lane) {
            const int k = c < column_count ? column_bit(c) % 8 : 0;
            const int source_lane = c < 8 ? lane : 4 + lane;
            g.index[4 * c + lane] = static_cast<std::uint8_t>(8 * source_lane + k);
        }
    }
    return g;
}

alignas(64) inline constexpr byte_indices gather_bytes = make_gather_indices();
alignas(64) inline constexpr byte_indices assemble_columns = make_column_indices();

// The 11 columns of a block, in elements 0-10 (the others hold copies of
// column 0's bytes and are not read), from its message groups 8 to 16. The
// groups are combined in registers: read back from memory just after they
// were stored, they would wait for the stores to complete.
TORVANIX_TARGET_AVX512 TORVANIX_ALWAYS_INLINE __m512i
columns_from_groups_avx512(const __m128i (&groups)[9])
{
    const __m128i last = _mm_blend_epi32(groups[8], groups[0], 0x1);
    __m512i first = _mm512_castsi128_si512(groups[1]);
    first = _mm512_inserti32x4(first, groups[2], 1);
    first = _mm512_inserti32x4(first, groups[3], 2);
    first = _mm512_inserti32x4(first, groups[4], 3);
    __m512i second = _mm512_castsi128_si512(groups[5]);
    second = _mm512_inserti32x4(second, groups[6], 1);
    second = _mm512_inserti32x4(second, groups[7], 2);
    second = _mm512_inserti32x4(second, last, 3);
    const __m512i bytes =
        _mm512_permutex2var_epi8(first, _mm512_load_si512(gather_bytes.index), second);
    // Byte k of every lane selects bit k of each of the lane's eight bytes.
    const __m512i select = _mm512_set1_epi64(0x8040201008040201LL);
    const __m512i transposed = _mm512_gf2p8affine_epi64_epi8(select, bytes, 0);
    // (The zero-masking form with every element kept is the same
    // instruction; GCC's header for the plain form reads an undefined
    // register, which its own warnings flag.)
    return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_load_si512(assemble_columns.index),
                                         transposed);
}

// A batch's rows (the columns of one block each) turned into the columns of
// the batch (one block per element), in two halves that a transform may run
// apart: a 16 x 16 transposition of 32-bit elements in four rounds of
// shuffles, leaving out what only the unused elements 11-15 need. First,
// within 128-bit lanes, pairs of rows, then quads: quads[4m + i], lane j,
// holds element 4j + i of rows 4m..4m+3 (quads are rows of the same
// size).
TORVANIX_TARGET_AVX512 TORVANIX_ALWAYS_INLINE void transpose_rows_first_half(
    const sha1_dv_batch_rows& rows, sha1_dv_batch_rows& quads)
{
    __m512i pairs[16];
    for (int k = 0; k < 16; k += 2) {
        const __m512i even = _mm512_loadu_si512(rows[k]);
        const __m512i odd = _mm512_loadu_si512(rows[k + 1]);
        pairs[k] = _mm512_maskz_unpacklo_epi32(0xFFFF, even, odd);
        pairs[k + 1] = _mm512_maskz_unpackhi_epi32(0xFFFF, even, odd);
    }
    for (int m = 0; m < 4; ++m) {
        _mm512_storeu_si512(quads[4 * m],
                            _mm512_maskz_unpacklo_epi64(0xFF, pairs[4 * m], pairs[4 * m + 2]));
        _mm512_storeu_si512(quads[4 * m + 1],
                            _mm512_maskz_unpackhi_epi64(0xFF, pairs[4 * m], pairs[4 * m + 2]));
        _mm512_storeu_si512(quads[4 * m + 2],
                            _mm512_maskz_unpacklo_epi64(0xFF, pairs[4 * m + 1], pairs[4 * m + 3]));
        _mm512_storeu_si512(quads[4 * m + 3],
                            _mm512_maskz_unpackhi_epi64(0xFF, pairs[4 * m + 1], pairs[4 * m + 3]));
    }
}

// Then across lanes: lanes 0 and 1 of four quads, then lanes 2 and 3.
TORVANIX_TARGET_AVX512 TORVANIX_ALWAYS_INLINE void transpose_rows_second_half(
    const sha1_dv_batch_rows& quads, sha1_dv_batch_columns& columns)
{
    for (int i = 0; i < 4; ++i) {
        const __m512i a0 = _mm512_loadu_si512(quads[i]);
        const __m512i a1 = _mm512_loadu_si512(quads[4 + i]);
        const __m512i a2 = _mm512_loadu_si512(quads[8 + i]);
        const __m512i a3 = _mm512_loadu_si512(quads[12 + i]);
        const __m512i low01 = _mm512_maskz_shuffle_i32x4(0xFFFF, a0, a1, 0x44);
        const __m512i low23 = _mm512_maskz_shuffle_i32x4(0xFFFF, a2, a3, 0x44);
        _mm512_storeu_si512(columns[i], _mm512_maskz_shuffle_i32x4(0xFFFF, low01, low23, 0x88));
        _mm512_storeu_si512(columns[4 + i], _mm512_maskz_shuffle_i32x4(0xFFFF, low01, low23, 0xDD));
        if (8 + i < column_count) {
            const __m512i high01 = _mm512_maskz_shuffle_i32x4(0xFFFF, a0, a1, 0xEE);
            const __m512i high23 = _mm512_maskz_shuffle_i32x4(0xFFFF, a2, a3, 0xEE);
            _mm512_storeu_si512(columns[8 + i],
                                _mm512_maskz_shuffle_i32x4(0xFFFF, high01, high23, 0x88));
        }
    }
}

}  // namespace sha1_dv
