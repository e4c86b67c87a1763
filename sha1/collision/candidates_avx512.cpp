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
#include "sha1/collision/columns_avx512.h"

#if defined(TORVANIX_SHA1_X86) && defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)

using sixteen_words = sha1_sixteen_words;

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

TORVANIX_TARGET_AVX512 void sha1_dv_transpose_rows_avx512(const sha1_dv_batch_rows& rows,
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

void sha1_dv_transpose_rows_avx512(const sha1_dv_batch_rows& rows, sha1_dv_batch_columns& columns)
{
    for (int c = 0; c < sha1_dv::column_count; ++c) {
        for (int b = 0; b < sha1_dv_batch_size; ++b) columns[c][b] = rows[b][c];
    }
}

#endif
