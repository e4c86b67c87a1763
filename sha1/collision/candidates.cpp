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

#if defined(TORVANIX_SHA1_X86)
#include <immintrin.h>
#endif
#if defined(TORVANIX_SHA1_ARM64)
#include <arm_neon.h>
#endif

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
            // Blocks b and b + 1 are side by side in each column's row.
            std::uint64_t pair[sha1_dv::column_count];
            for (int c = 0; c < sha1_dv::column_count; ++c)
                pair[c] = sha1_dv::word_pair(&columns[c][b]);
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

// With SSE, four blocks per vector: half the operations of the plain
// check's two blocks per 64-bit word.
TORVANIX_TARGET_SSSE3 void sha1_dv_candidates_batch_ssse3(
    const sha1_dv_batch_columns& columns, std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    for (int first = 0; first < sha1_dv_batch_size; first += 4) {
        sha1_dv::candidates_of_four(columns, first, &candidates[first]);
    }
}

TORVANIX_TARGET_SSSE3 void sha1_dv::candidates_of_four_ssse3(const sha1_dv_batch_columns& columns,
                                                             int first, std::uint32_t* candidates)
{
    sha1_dv::candidates_of_four(columns, first, candidates);
}

// Whether all eight blocks of a vector have failed every vector: the test's
// early exit, taken about a quarter of the time on random data, saves 4% of
// its instructions.
struct all_failed_eight {
    TORVANIX_ALWAYS_INLINE bool operator()(const eight_words& failures) const
    {
        using quarters = std::uint64_t __attribute__((vector_size(32)));
        const quarters q = reinterpret_cast<quarters>(failures);
        return (q[0] & q[1] & q[2] & q[3]) == ~std::uint64_t{0};
    }
};

TORVANIX_TARGET_AVX2 void sha1_dv_candidates_batch_avx2(
    const sha1_dv_batch_columns& columns, std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    for (int half = 0; half < sha1_dv_batch_size; half += 8) {
        // Each column loaded straight into a register (unaligned): copied
        // into the array of vectors first, it would cost a loop of moves.
        eight_words vectors[sha1_dv::column_count];
        for (int c = 0; c < sha1_dv::column_count; ++c) {
            vectors[c] = reinterpret_cast<eight_words>(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&columns[c][half])));
        }
        eight_words masks;
        sha1_dv::candidates_exiting_into(vectors, masks, all_failed_eight{});
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(&candidates[half]),
                            reinterpret_cast<__m256i>(masks));
    }
}

// With AVX-512 VL, still eight blocks per 256-bit vector (512-bit ones
// would lower the clock of some processors for the rounds around them), but
// its three-input logic instruction merges a test's AND with the OR into
// the group's failures, and two groups' ORs into the failures so far.
namespace avx512vl {

using sha1_dv::plan;

// Truth tables of vpternlogd over (A, B, C).
constexpr int a_or_b_and_c = 0xF8;      // A | (B & C)
constexpr int a_or_not_b_and_c = 0xF2;  // A | (~B & C)
constexpr int a_or_b_or_c = 0xFE;       // A | B | C
constexpr int not_a_or_b_or_c = 0x01;   // ~(A | B | C)

// The families' parities, and where the tests' masks are read from (term
// N's at N, as broadcast operands: built in registers, each would cost two
// more instructions).
struct test_inputs {
    __m256i parities[32];
    const std::uint32_t* masks;
};

template <int F>
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE void set_parity(const __m256i (&columns)[11],
                                                                test_inputs& in)
{
    constexpr sha1_dv::family f = plan.families[F];
    const __m256i second = columns[sha1_dv::column_of(f.j)];
    in.parities[F] = _mm256_xor_si256(columns[sha1_dv::column_of(f.i)],
                                      f.delta == 0 ? second : _mm256_srli_epi32(second, f.delta));
}

// Term N's failures added to those of its group so far; the first term of
// a group starts them.
template <int N, bool First>
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE void add_term(const test_inputs& in,
                                                              __m256i& failures)
{
    constexpr sha1_dv::term t = plan.terms[N];
    const __m256i mask = _mm256_set1_epi32(static_cast<int>(in.masks[N]));
    const __m256i p = in.parities[t.family];
    if constexpr (First) {
        // The AVX-512 AND of 32-bit lanes, which takes a broadcast operand
        // (that of 64-bit lanes would not); all lanes kept.
        const __mmask8 all = 0xFF;
        failures = t.v != 0 ? _mm256_maskz_andnot_epi32(all, p, mask)
                            : _mm256_maskz_and_epi32(all, p, mask);
    } else {
        failures = _mm256_ternarylogic_epi32(failures, p, mask,
                                             t.v != 0 ? a_or_not_b_and_c : a_or_b_and_c);
    }
}

template <int G, int... K>
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE __m256i
group_failures(const test_inputs& in, std::integer_sequence<int, K...>)
{
    constexpr sha1_dv::shift_group g = plan.groups[G];
    __m256i failures;
    (add_term<g.first + K, K == 0>(in, failures), ...);
    if constexpr (g.shift > 0) {
        return _mm256_srli_epi32(failures, g.shift);
    } else if constexpr (g.shift < 0) {
        return _mm256_slli_epi32(failures, -g.shift);
    } else {
        return failures;
    }
}

template <int G>
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE __m256i group_failures(const test_inputs& in)
{
    return group_failures<G>(in, std::make_integer_sequence<int, plan.groups[G].count>{});
}

// The failures of groups G and on, two at a time, added to `failures`;
// their complement, the candidates, at the end.
template <int G>
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE __m256i candidates_from(const test_inputs& in,
                                                                        __m256i failures)
{
    if constexpr (G + 1 >= plan.group_count) {
        const __m256i last = group_failures<G>(in);
        return _mm256_ternarylogic_epi32(failures, last, last, not_a_or_b_or_c);
    } else if constexpr (G + 2 == plan.group_count) {
        return _mm256_ternarylogic_epi32(failures, group_failures<G>(in), group_failures<G + 1>(in),
                                         not_a_or_b_or_c);
    } else {
        const __m256i both = _mm256_ternarylogic_epi32(failures, group_failures<G>(in),
                                                       group_failures<G + 1>(in), a_or_b_or_c);
        return candidates_from<G + 2>(in, both);
    }
}

template <int... F>
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE __m256i candidates(const __m256i (&columns)[11],
                                                                   const std::uint32_t* masks,
                                                                   std::integer_sequence<int, F...>)
{
    test_inputs in;
    in.masks = masks;
    (set_parity<F>(columns, in), ...);
    return candidates_from<1>(in, group_failures<0>(in));
}

}  // namespace avx512vl

TORVANIX_TARGET_AVX512VL void sha1_dv_candidates_batch_avx512vl(
    const sha1_dv_batch_columns& columns, std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    for (int half = 0; half < sha1_dv_batch_size; half += 8) {
        __m256i vectors[sha1_dv::column_count];
        for (int c = 0; c < sha1_dv::column_count; ++c) {
            vectors[c] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&columns[c][half]));
        }
        const std::uint32_t* masks = sha1_dv::stored_masks<std::uint32_t>.data();
        TORVANIX_OPAQUE(masks);
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(&candidates[half]),
            avx512vl::candidates(vectors, masks,
                                 std::make_integer_sequence<int, sha1_dv::plan.family_count>{}));
    }
}

#else

// Compilers without vector types run the plain check.
void sha1_dv::candidates_of_four_ssse3(const sha1_dv_batch_columns& columns, int first,
                                       std::uint32_t* candidates)
{
    std::uint32_t all[sha1_dv_batch_size];
    sha1_dv_candidates_batch_portable(columns, all);
    for (int b = first; b < first + 4; ++b) candidates[b - first] = all[b];
}

void sha1_dv_candidates_batch_ssse3(const sha1_dv_batch_columns& columns,
                                    std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    sha1_dv_candidates_batch_portable(columns, candidates);
}

void sha1_dv_candidates_batch_avx512vl(const sha1_dv_batch_columns& columns,
                                       std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    sha1_dv_candidates_batch_portable(columns, candidates);
}

void sha1_dv_candidates_batch_avx2(const sha1_dv_batch_columns& columns,
                                   std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    sha1_dv_candidates_batch_portable(columns, candidates);
}

#endif

#if defined(TORVANIX_SHA1_ARM64)

#include "sha1/collision/candidates_neon.h"

// Four blocks per vector, in the passes of candidates_neon.h, which the
// ARMv8 transform runs on the columns in its registers.
void sha1_dv_candidates_batch_neon(const sha1_dv_batch_columns& columns,
                                   std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    for (int first = 0; first < sha1_dv_batch_size; first += 4) {
        uint32x4_t vectors[sha1_dv::column_count];
        for (int c = 0; c < sha1_dv::column_count; ++c) vectors[c] = vld1q_u32(&columns[c][first]);
        sha1_dv::neon::candidates_of_four(vectors, &candidates[first]);
    }
}

#endif
