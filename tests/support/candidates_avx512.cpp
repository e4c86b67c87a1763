// The AVX-512 forms of the SHA-extension transform's collision check as
// plain functions (see columns_x86_entry.h): the candidate masks of sixteen
// blocks at once, one block per element, the columns and the transposition.
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

#include "sha1/collision/collision.h"
#include "tests/support/columns_x86_entry.h"

#if defined(TORVANIX_SHA1_X86) && defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)

#include <immintrin.h>

#include "sha1/transform/columns_avx512.h"

using sixteen_words = sha1_sixteen_words;

TORVANIX_TARGET_AVX512 void sha1_dv_candidates_batch_avx512(
    const sha1_dv_batch_columns& columns, std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    static_assert(sha1_dv_batch_size == 16, "one vector holds the batch");
    sixteen_words vectors[sha1_dv::column_count];
    std::memcpy(vectors, columns, sizeof vectors);
    // In the slices the SHA-extension transform spreads over its rounds.
    sixteen_words masks;
    sha1_dv::candidates_by_slices(vectors, masks,
                                  std::make_integer_sequence<int, sha1_dv::test_slices>{});
    std::memcpy(candidates, &masks, sizeof candidates);
}

TORVANIX_TARGET_AVX512 void sha1_dv_columns_avx512(const std::uint32_t W[80],
                                                   std::uint32_t (&columns)[sha1_dv::column_count])
{
    __m128i groups[9];
    for (int g = 0; g < 9; ++g) {
        const std::uint32_t* w = W + 4 * (8 + g);
        groups[g] = _mm_setr_epi32(static_cast<int>(w[3]), static_cast<int>(w[2]),
                                   static_cast<int>(w[1]), static_cast<int>(w[0]));
    }
    std::uint32_t row[16];
    _mm512_storeu_si512(row, sha1_dv::columns_from_groups_avx512(groups));
    for (int c = 0; c < sha1_dv::column_count; ++c) columns[c] = row[c];
}

TORVANIX_TARGET_AVX512 void sha1_dv_transpose_rows_avx512(const sha1_testing_batch_rows& rows,
                                                          sha1_dv_batch_columns& columns)
{
    sha1_dv_batch_rows quads;
    sha1_dv::transpose_rows_first_half(rows, quads);
    sha1_dv::transpose_rows_second_half(quads, columns);
}

#else

// Compilers without vector types run the plain check.
void sha1_dv_candidates_batch_avx512(const sha1_dv_batch_columns& columns,
                                     std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    sha1_dv_candidates_batch_portable(columns, candidates);
}

void sha1_dv_columns_avx512(const std::uint32_t W[80],
                            std::uint32_t (&columns)[sha1_dv::column_count])
{
    sha1_dv::columns_portable(W + sha1_dv::first_word, columns);
}

void sha1_dv_transpose_rows_avx512(const sha1_testing_batch_rows& rows,
                                   sha1_dv_batch_columns& columns)
{
    for (int c = 0; c < sha1_dv::column_count; ++c) {
        for (int b = 0; b < sha1_dv_batch_size; ++b) columns[c][b] = rows[b][c];
    }
}

#endif
