// The x86 forms of the collision check's columns (transform/columns_x86.h,
// columns_avx512.h) and the AVX-512 candidate test as the SHA-extension
// transform runs it, as plain functions for the tests, which compile
// without the instruction sets those forms need. Callers check the
// processor first (sha1/cpu_features.h).
#pragma once

#include <cstdint>

#include "sha1/collision/collision.h"
#include "sha1/target.h"

// With AVX-512, sixteen blocks in one vector, in the slices the
// SHA-extension transform spreads over its rounds (elsewhere the plain test).
void sha1_dv_candidates_batch_avx512(const sha1_dv_batch_columns& columns,
                                     std::uint32_t (&candidates)[sha1_dv_batch_size]);

// A batch's columns by block: rows[b][c] is column c of block b.
using sha1_testing_batch_rows = std::uint32_t[sha1_dv_batch_size][16];
// Turns rows into the columns the batch checks read, with AVX-512: both
// halves of the transposition the SHA-extension transform runs as two
// slices.
void sha1_dv_transpose_rows_avx512(const sha1_testing_batch_rows& rows,
                                   sha1_dv_batch_columns& columns);

// The columns of an expanded message W[0..79] by the AVX-512 and GFNI form,
// from W[32..67] arranged as the SHA extensions keep them.
void sha1_dv_columns_avx512(const std::uint32_t W[80],
                            std::uint32_t (&columns)[sha1_dv::column_count]);

#if defined(TORVANIX_SHA1_X86)

// Each takes W[32..67] of its blocks as words and writes their columns into
// `columns` at `block` (and `block + 1`), as the transforms do.

// One block from four-word groups in SSE registers; `reversed`: each
// group's first word in the top lane, as the SHA extensions keep them.
void sha1_dv_columns_sse(const std::uint32_t (&words)[36], bool reversed,
                         sha1_dv_batch_columns& columns, int block);

// Two blocks from groups in AVX2 registers, the first block in the low
// 128-bit half.
void sha1_dv_columns_avx2_pair(const std::uint32_t (&first)[36], const std::uint32_t (&second)[36],
                               bool reversed, sha1_dv_batch_columns& columns, int block);

#endif
