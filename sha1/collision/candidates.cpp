// The collision check's candidate masks, for one expanded block and for a
// batch of blocks. Masks and shifts are the same for every block, so
// a vector of eight 32-bit elements runs the check of eight blocks in the
// operations of one.
#include <cstring>

// GCC notes that passing 32-byte vectors between functions compiled without
// AVX would differ; every function of the vector check is inlined into
// sha1_dv_candidates_batch_avx2, which has AVX2. (The note is given where the
// templates stand, so it is silenced for the whole file.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "sha1/collision/candidates.h"

std::uint32_t sha1_dv_candidates_portable(const std::uint32_t W[80])
{
    std::uint32_t columns[sha1_dv::column_count];
    sha1_dv::columns_portable(W + sha1_dv::first_word, columns);
    return sha1_dv::candidates(columns);
}

void sha1_dv_candidates_batch_portable(const sha1_dv_batch_columns& columns,
                                       std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    if constexpr (sizeof(void*) == 8) {
        for (int b = 0; b < sha1_dv_batch_size; b += 2) {
            std::uint64_t pair[sha1_dv::column_count];
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                pair[c] = columns[c][b] | std::uint64_t{columns[c][b + 1]} << 32;
            }
            const std::uint64_t both = sha1_dv::candidates(pair);
            candidates[b] = static_cast<std::uint32_t>(both);
            candidates[b + 1] = static_cast<std::uint32_t>(both >> 32);
        }
    } else {
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            std::uint32_t one[sha1_dv::column_count];
            for (int c = 0; c < sha1_dv::column_count; ++c) one[c] = columns[c][b];
            candidates[b] = sha1_dv::candidates(one);
        }
    }
}

#if defined(TORVANIX_SHA1_X86) && defined(__GNUC__)

using eight_words = std::uint32_t __attribute__((vector_size(32)));
// The same, read from and written to memory of any alignment: the columns
// are loaded straight into registers, where a copy into an array of vectors
// first would cost a loop of moves per column.
using eight_words_unaligned = std::uint32_t __attribute__((vector_size(32), aligned(4), may_alias));

TORVANIX_TARGET_AVX2 void sha1_dv_candidates_batch_avx2(
    const sha1_dv_batch_columns& columns, std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    for (int half = 0; half < sha1_dv_batch_size; half += 8) {
        eight_words vectors[sha1_dv::column_count];
        for (int c = 0; c < sha1_dv::column_count; ++c) {
            vectors[c] = *reinterpret_cast<const eight_words_unaligned*>(&columns[c][half]);
        }
        eight_words masks;
        sha1_dv::candidates_into(vectors, masks);
        *reinterpret_cast<eight_words_unaligned*>(&candidates[half]) = masks;
    }
}

#else

// Compilers without vector types run the plain check.
void sha1_dv_candidates_batch_avx2(const sha1_dv_batch_columns& columns,
                                   std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    sha1_dv_candidates_batch_portable(columns, candidates);
}

#endif
