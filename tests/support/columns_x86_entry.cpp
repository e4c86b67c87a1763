// The x86 column forms as plain functions (see columns_x86_entry.h).
#include "tests/support/columns_x86_entry.h"

#if defined(TORVANIX_SHA1_X86)

#include "sha1/transform/columns_gfni256.h"
#include "sha1/transform/columns_x86.h"

namespace {

// Group g of `words` (W[32 + 4g..]) as one SSE register, in lane order or
// reversed.
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE __m128i group_of(const std::uint32_t (&words)[36],
                                                              int g, bool reversed)
{
    const std::uint32_t* w = words + 4 * g;
    const __m128i in_order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
    return reversed ? _mm_shuffle_epi32(in_order, 0x1B) : in_order;
}

}  // namespace

TORVANIX_TARGET_SSSE3 void sha1_dv_columns_sse(const std::uint32_t (&words)[36], bool reversed,
                                               sha1_dv_batch_columns& columns, int block)
{
    __m128i groups[9];
    for (int g = 0; g < 9; ++g) groups[g] = group_of(words, g, reversed);
    if (reversed) {
        sha1_dv::columns_from_groups<true>(groups, columns, block);
    } else {
        sha1_dv::columns_from_groups<false>(groups, columns, block);
    }
}

TORVANIX_TARGET_AVX2 void sha1_dv_columns_avx2_pair(const std::uint32_t (&first)[36],
                                                    const std::uint32_t (&second)[36],
                                                    bool reversed, sha1_dv_batch_columns& columns,
                                                    int block)
{
    __m256i groups[9];
    for (int g = 0; g < 9; ++g) {
        groups[g] = _mm256_inserti128_si256(_mm256_castsi128_si256(group_of(first, g, reversed)),
                                            group_of(second, g, reversed), 1);
    }
    if (reversed) {
        sha1_dv::columns_from_pair_groups<true>(groups, columns, block);
    } else {
        sha1_dv::columns_from_pair_groups<false>(groups, columns, block);
    }
}

TORVANIX_TARGET_AVX2_GFNI void sha1_dv_columns_gfni256(
    const std::uint32_t (&words)[sha1_dv_batch_size][36], sha1_dv_batch_columns& columns)
{
    sha1_dv_gfni256_rows rows;
    for (int b = 0; b < sha1_dv_batch_size; ++b) {
        __m128i groups[9];
        for (int g = 0; g < 9; ++g) groups[g] = group_of(words[b], g, true);
        sha1_dv::rows_from_groups_gfni256(groups, rows, b);
    }
    for (int half = 0; half < 2; ++half) sha1_dv::columns_from_rows_gfni256(rows, half, columns);
}

#endif
