// The collision check's candidate masks for sixteen blocks at once, in
// AVX-512 vectors of sixteen 32-bit elements, one block per element.
#include <immintrin.h>

#include <cstring>

// GCC notes that passing 64-byte vectors between functions compiled without
// AVX-512 would differ; every function of the vector check is inlined into
// the one function below, which has AVX-512.
// GCC 12's AVX-512 headers pass an undefined register as the unused source
// of the plain forms of some intrinsics, which its own warnings about
// uninitialized values then flag.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "sha1/collision/candidates.h"

#if defined(TORVANIX_SHA1_X86) && defined(__GNUC__)

using sixteen_words = std::uint32_t __attribute__((vector_size(64)));

TORVANIX_TARGET_AVX512 void sha1_dv_candidates_batch_avx512(
    const sha1_dv_batch_columns& columns, std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    static_assert(sha1_dv_batch_size == 16, "one vector holds the batch");
    sixteen_words vectors[sha1_dv::column_count];
    std::memcpy(vectors, columns, sizeof vectors);
    sixteen_words masks;
    sha1_dv::candidates_into(vectors, masks);
    std::memcpy(candidates, &masks, sizeof candidates);
}

// A 16 x 16 transposition of 32-bit elements in four rounds of shuffles,
// leaving out what only the unused elements 11-15 of the rows need: within
// 128-bit lanes, pairs of rows, then quads; then across lanes.
TORVANIX_TARGET_AVX512 void sha1_dv_transpose_rows_avx512(const sha1_dv_batch_rows& rows,
                                                          sha1_dv_batch_columns& columns)
{
    __m512i pairs[16];
    for (int k = 0; k < 16; k += 2) {
        const __m512i even = _mm512_loadu_si512(rows[k]);
        const __m512i odd = _mm512_loadu_si512(rows[k + 1]);
        pairs[k] = _mm512_unpacklo_epi32(even, odd);
        pairs[k + 1] = _mm512_unpackhi_epi32(even, odd);
    }
    // quads[4m + i], lane j: element 4j + i of rows 4m..4m+3.
    __m512i quads[16];
    for (int m = 0; m < 4; ++m) {
        quads[4 * m] = _mm512_unpacklo_epi64(pairs[4 * m], pairs[4 * m + 2]);
        quads[4 * m + 1] = _mm512_unpackhi_epi64(pairs[4 * m], pairs[4 * m + 2]);
        quads[4 * m + 2] = _mm512_unpacklo_epi64(pairs[4 * m + 1], pairs[4 * m + 3]);
        quads[4 * m + 3] = _mm512_unpackhi_epi64(pairs[4 * m + 1], pairs[4 * m + 3]);
    }
    for (int i = 0; i < 4; ++i) {
        const __m512i a0 = quads[i], a1 = quads[4 + i], a2 = quads[8 + i], a3 = quads[12 + i];
        // Lanes 0 and 1 of the four, then lanes 2 and 3.
        const __m512i low01 = _mm512_shuffle_i32x4(a0, a1, 0x44);
        const __m512i low23 = _mm512_shuffle_i32x4(a2, a3, 0x44);
        _mm512_storeu_si512(columns[i], _mm512_shuffle_i32x4(low01, low23, 0x88));
        _mm512_storeu_si512(columns[4 + i], _mm512_shuffle_i32x4(low01, low23, 0xDD));
        if (8 + i < sha1_dv::column_count) {
            const __m512i high01 = _mm512_shuffle_i32x4(a0, a1, 0xEE);
            const __m512i high23 = _mm512_shuffle_i32x4(a2, a3, 0xEE);
            _mm512_storeu_si512(columns[8 + i], _mm512_shuffle_i32x4(high01, high23, 0x88));
        }
    }
}

#else

// Compilers without vector types run the plain check.
void sha1_dv_candidates_batch_avx512(const sha1_dv_batch_columns& columns,
                                     std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    sha1_dv_candidates_batch_portable(columns, candidates);
}

void sha1_dv_transpose_rows_avx512(const sha1_dv_batch_rows& rows, sha1_dv_batch_columns& columns)
{
    for (int c = 0; c < sha1_dv::column_count; ++c) {
        for (int b = 0; b < sha1_dv_batch_size; ++b) columns[c][b] = rows[b][c];
    }
}

#endif
