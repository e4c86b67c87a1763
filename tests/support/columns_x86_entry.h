// For the tests: the x86 column forms of transform/columns_x86.h as
// plain functions, for the tests, which compile without the instruction sets
// those forms need. Each takes W[32..67] of its blocks as words and writes
// their columns into `columns` at `block` (and `block + 1`), as the
// transforms do. Callers check the processor first (sha1/cpu_features.h).
#pragma once

#include <cstdint>

#include "sha1/collision/collision.h"
#include "sha1/target.h"

#if defined(TORVANIX_SHA1_X86)

// One block from four-word groups in SSE registers; `reversed`: each
// group's first word in the top lane, as the SHA extensions keep them.
void sha1_dv_columns_sse(const std::uint32_t (&words)[36], bool reversed,
                         sha1_dv_batch_columns& columns, int block);

// Two blocks from groups in AVX2 registers, the first block in the low
// 128-bit half.
void sha1_dv_columns_avx2_pair(const std::uint32_t (&first)[36], const std::uint32_t (&second)[36],
                               bool reversed, sha1_dv_batch_columns& columns, int block);

// A batch of blocks, groups reversed, through the GFNI form on 256-bit
// registers (needs AVX2 and GFNI): each block's rows, then their
// transposition.
void sha1_dv_columns_gfni256(const std::uint32_t (&words)[sha1_dv_batch_size][36],
                             sha1_dv_batch_columns& columns);

#endif

// The AVX-512 forms the SHA-extension transform inlines (elsewhere the plain
// ones): the test of sixteen blocks in one vector, in its slices; the
// transposition of rows (rows[b][c], column c of block b) into columns, in
// its two halves; and the columns of an expanded message W[0..79] by the
// GFNI form.
using sha1_testing_batch_rows = std::uint32_t[sha1_dv_batch_size][16];
void sha1_dv_candidates_batch_avx512(const sha1_dv_batch_columns& columns,
                                     std::uint32_t (&candidates)[sha1_dv_batch_size]);
void sha1_dv_transpose_rows_avx512(const sha1_testing_batch_rows& rows,
                                   sha1_dv_batch_columns& columns);
void sha1_dv_columns_avx512(const std::uint32_t W[80],
                            std::uint32_t (&columns)[sha1_dv::column_count]);

// The SHA-extension transform's detecting forms, each as its loop runs it:
// `count` blocks' message groups (W[32..67] of each, words[b]) taken by the
// form's own column code, then the form's test slices over the batch. Each
// names the transform that runs it, whose processor features it needs.
// Writes each block's candidates and returns what the form's last slice
// says: whether any lane has one.
struct sha1_testing_spread_form {
    const char* transform;
    bool (*candidates)(const std::uint32_t (&words)[sha1_dv_batch_size][36], int count,
                       std::uint32_t (&candidates)[sha1_dv_batch_size]);
};
// The forms of this build (none where it has no SHA-extension transform),
// and how many.
const sha1_testing_spread_form* sha1_testing_spread_forms(int& count);
