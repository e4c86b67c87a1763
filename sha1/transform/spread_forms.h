// Internal to the SHA-extension transform: the vector forms of its
// detecting loop (spread_loop.h). Each form takes a block's columns from the
// message groups the rounds keep (W[32..67], groups of four words, the first
// in the top lane) and runs a full batch's candidate test in slices. They
// live in this header so that the tests can run each form's own slices on
// chosen blocks.
#pragma once

#include "sha1/target.h"

#if defined(TORVANIX_SHA1_X86) && defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "sha1/collision/collision.h"
#include "sha1/transform/columns_avx512.h"
#include "sha1/transform/columns_gfni256.h"
#include "sha1/transform/columns_x86.h"

namespace sha1_spread {

// A full batch's check, in slices K = 0 .. slices - 1. The last writes the
// candidates and says whether there are any.
using sixteen_words = sha1_sixteen_words;
typedef std::uint32_t eight_words __attribute__((vector_size(32)));

// With AVX-512 and GFNI: each block's columns in one register, stored as a
// row; the batch's rows transposed in two slices, then the test of all
// sixteen blocks in one vector.
struct form_avx512 {
    static constexpr int slices = 2 + sha1_dv::test_slices + 1;
    static constexpr const sha1_dv_confirm_form& confirm = sha1_dv_confirm_avx512;
    // Candidates wait in a backlog, sixteen of them confirmed beside the
    // rounds of each block after them, rather than as soon as sixteen are
    // queued; not with eight vector registers, too few for both at once.
    static constexpr bool overlap = !sha1_eight_vector_registers;
    // The rows are combined from the groups in registers where there are
    // enough of them: read back just after they were stored, the groups
    // would wait for the stores to complete.
    static constexpr bool kept_at_once = sha1_eight_vector_registers;
    struct scratch {
        sha1_dv_batch_rows rows;
        sha1_dv_batch_rows quads;
        sixteen_words parities[32];
        sixteen_words failures;
    };

    TORVANIX_TARGET_SHANI_AVX512 TORVANIX_ALWAYS_INLINE static void add_columns(
        const __m128i (&groups)[9], sha1_dv_batch& batch, scratch& s)
    {
        _mm512_storeu_si512(s.rows[batch.count], sha1_dv::columns_from_groups_avx512(groups));
    }

    TORVANIX_TARGET_SHANI_AVX512 TORVANIX_ALWAYS_INLINE static void finish_columns(sha1_dv_batch&,
                                                                                   scratch&)
    {
    }

    template <int K>
    TORVANIX_TARGET_SHANI_AVX512 TORVANIX_ALWAYS_INLINE static bool slice(
        sha1_dv_batch& batch, scratch& s, std::uint32_t (&candidates)[sha1_dv_batch_size])
    {
        if constexpr (K == 0) {
            sha1_dv::transpose_rows_first_half(s.rows, s.quads);
        } else if constexpr (K == 1) {
            sha1_dv::transpose_rows_second_half(s.quads, batch.columns);
        } else if constexpr (K < 2 + sha1_dv::test_slices) {
            sixteen_words columns[sha1_dv::column_count];
            if constexpr (K - 2 < sha1_dv::family_slices) {
                std::memcpy(columns, batch.columns, sizeof columns);
            }
            sha1_dv::test_slice<sixteen_words, K - 2>(columns, s.parities, s.failures);
        } else {
            const __m512i passed = _mm512_loadu_si512(&s.failures) ^ _mm512_set1_epi32(-1);
            _mm512_storeu_si512(candidates, passed);
            return _mm512_test_epi32_mask(passed, passed) != 0;
        }
        return false;
    }
};

// With AVX2: each block's columns with SSE byte shuffles and sign masks,
// straight into the batch; the test in two vectors of eight blocks.
struct form_avx2 {
    static constexpr int slices = sha1_dv::test_slices + 1;
    static constexpr const sha1_dv_confirm_form& confirm = sha1_dv_confirm_avx2;
    static constexpr bool overlap = false;
    static constexpr bool kept_at_once = true;
    struct scratch {
        __m128i even_groups[9];  // of the block waiting for its pair
        eight_words parities[2][32];
        eight_words failures[2];
    };

    // Two blocks at a time, from one register holding both blocks' groups.
    TORVANIX_TARGET_SHANI_AVX2 TORVANIX_ALWAYS_INLINE static void add_columns(
        const __m128i (&groups)[9], sha1_dv_batch& batch, scratch& s)
    {
        if (batch.count % 2 == 0) {
            for (int i = 0; i < 9; ++i) s.even_groups[i] = groups[i];
            return;
        }
        __m256i pair[9];
        for (int i = 0; i < 9; ++i) {
            pair[i] =
                _mm256_inserti128_si256(_mm256_castsi128_si256(s.even_groups[i]), groups[i], 1);
        }
        sha1_dv::columns_from_pair_groups<true>(pair, batch.columns, batch.count - 1);
    }

    // The last block's, when the batch has an odd count.
    TORVANIX_TARGET_SHANI_AVX2 TORVANIX_ALWAYS_INLINE static void finish_columns(
        sha1_dv_batch& batch, scratch& s)
    {
        if (batch.count % 2 == 1) {
            sha1_dv::columns_from_groups<true>(s.even_groups, batch.columns, batch.count - 1);
        }
    }

    template <int K>
    TORVANIX_TARGET_SHANI_AVX2 TORVANIX_ALWAYS_INLINE static bool slice(
        sha1_dv_batch& batch, scratch& s, std::uint32_t (&candidates)[sha1_dv_batch_size])
    {
        return test_slice<K>(batch, s.parities, s.failures, candidates);
    }

    // Slice K of the test of the batch's columns, of K = 0 .. test_slices;
    // the last writes the candidates and says whether there are any.
    template <int K>
    TORVANIX_TARGET_SHANI_AVX2 TORVANIX_ALWAYS_INLINE static bool test_slice(
        sha1_dv_batch& batch, eight_words (&parities)[2][32], eight_words (&failures)[2],
        std::uint32_t (&candidates)[sha1_dv_batch_size])
    {
        if constexpr (K < sha1_dv::test_slices) {
            for (int half = 0; half < 2; ++half) {
                test_half_slice<K>(batch, half, parities[half], failures[half]);
            }
            return false;
        } else {
            return candidates_of(failures, candidates);
        }
    }

    // Slice K (below test_slices) of the test of blocks 8 * half .. 8 * half + 7.
    template <int K>
    TORVANIX_TARGET_SHANI_AVX2 TORVANIX_ALWAYS_INLINE static void test_half_slice(
        const sha1_dv_batch& batch, int half, eight_words (&parities)[32], eight_words& failures)
    {
        eight_words columns[sha1_dv::column_count];
        if constexpr (K < sha1_dv::family_slices) {
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                std::memcpy(&columns[c], &batch.columns[c][8 * half], sizeof columns[c]);
            }
        }
        sha1_dv::test_slice<eight_words, K>(columns, parities, failures);
    }

    // The candidates, once both halves' tests are done; whether there are any.
    TORVANIX_TARGET_SHANI_AVX2 TORVANIX_ALWAYS_INLINE static bool candidates_of(
        const eight_words (&failures)[2], std::uint32_t (&candidates)[sha1_dv_batch_size])
    {
        // A lane of either half that has not failed every vector.
        const eight_words both = failures[0] & failures[1];
        std::memcpy(candidates, failures, sizeof candidates);
        for (std::uint32_t& lane : candidates) lane = ~lane;
        return !_mm256_testc_si256(reinterpret_cast<const __m256i&>(both), _mm256_set1_epi32(-1));
    }
};

// With GFNI on 256-bit registers and AVX2: each block's columns as two
// rows, transposed eight blocks at a time in two slices, then the test in
// two vectors of eight blocks.
struct form_gfni256 {
    // Per half of the batch: its transposition, then its test in slices;
    // then the candidates. Each slice is about as long as the others.
    static constexpr int half_slices = 1 + sha1_dv::test_slices;
    static constexpr int slices = 2 * half_slices + 1;
    static constexpr const sha1_dv_confirm_form& confirm = sha1_dv_confirm_avx2;
    static constexpr bool overlap = false;
    static constexpr bool kept_at_once = true;
    struct scratch {
        sha1_dv_gfni256_rows rows;
        eight_words parities[2][32];
        eight_words failures[2];
    };

    TORVANIX_TARGET_SHANI_GFNI256 TORVANIX_ALWAYS_INLINE static void add_columns(
        const __m128i (&groups)[9], sha1_dv_batch& batch, scratch& s)
    {
        sha1_dv::rows_from_groups_gfni256(groups, s.rows, batch.count);
    }

    TORVANIX_TARGET_SHANI_GFNI256 TORVANIX_ALWAYS_INLINE static void finish_columns(sha1_dv_batch&,
                                                                                    scratch&)
    {
    }

    template <int K>
    TORVANIX_TARGET_SHANI_GFNI256 TORVANIX_ALWAYS_INLINE static bool slice(
        sha1_dv_batch& batch, scratch& s, std::uint32_t (&candidates)[sha1_dv_batch_size])
    {
        if constexpr (K < 2 * half_slices) {
            constexpr int half = K / half_slices;
            constexpr int step = K % half_slices;
            if constexpr (step == 0) {
                sha1_dv::columns_from_rows_gfni256(s.rows, half, batch.columns);
            } else {
                form_avx2::test_half_slice<step - 1>(batch, half, s.parities[half],
                                                     s.failures[half]);
            }
            return false;
        } else {
            return form_avx2::candidates_of(s.failures, candidates);
        }
    }
};

// With SSE alone (Goldmont, Tremont): each block's columns with byte
// shuffles and sign masks, straight into the batch; the test in four
// vectors of four blocks, confirming queued candidates four at a time in
// SSE vectors.
typedef std::uint32_t four_words __attribute__((vector_size(16)));

struct form_sse {
    static constexpr int slices = sha1_dv::test_slices + 1;
    static constexpr const sha1_dv_confirm_form& confirm = sha1_dv_confirm_ssse3;
    static constexpr bool overlap = false;
    static constexpr bool kept_at_once = true;
    struct scratch {
        four_words parities[4][32];
        four_words failures[4];
    };

    TORVANIX_TARGET_SHANI TORVANIX_ALWAYS_INLINE static void add_columns(const __m128i (&groups)[9],
                                                                         sha1_dv_batch& batch,
                                                                         scratch&)
    {
        sha1_dv::columns_from_groups<true>(groups, batch.columns, batch.count);
    }

    TORVANIX_TARGET_SHANI TORVANIX_ALWAYS_INLINE static void finish_columns(sha1_dv_batch&,
                                                                            scratch&)
    {
    }

    template <int K>
    TORVANIX_TARGET_SHANI TORVANIX_ALWAYS_INLINE static bool slice(
        sha1_dv_batch& batch, scratch& s, std::uint32_t (&candidates)[sha1_dv_batch_size])
    {
        for (int quarter = 0; quarter < 4; ++quarter) {
            if constexpr (K < sha1_dv::test_slices) {
                four_words columns[sha1_dv::column_count];
                if constexpr (K < sha1_dv::family_slices) {
                    for (int c = 0; c < sha1_dv::column_count; ++c) {
                        std::memcpy(&columns[c], &batch.columns[c][4 * quarter], sizeof columns[c]);
                    }
                }
                sha1_dv::test_slice<four_words, K>(columns, s.parities[quarter],
                                                   s.failures[quarter]);
            }
        }
        if constexpr (K == slices - 1) {
            // A lane of any quarter that has not failed every vector.
            const four_words all = s.failures[0] & s.failures[1] & s.failures[2] & s.failures[3];
            std::memcpy(candidates, s.failures, sizeof candidates);
            for (std::uint32_t& lane : candidates) lane = ~lane;
            return !_mm_testc_si128(reinterpret_cast<const __m128i&>(all), _mm_set1_epi32(-1));
        }
        return false;
    }
};

}  // namespace sha1_spread

#endif
