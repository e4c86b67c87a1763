// SHA-1 compression for x86 processors with AVX2, BMI1 and BMI2 but without
// the SHA extensions. The rounds run in general-purpose registers (rorx and
// andn save moves) from a table of W[t] + K. The message schedule of two
// blocks at once is computed in the two 128-bit halves of AVX2 registers,
// interleaved with the rounds of the two blocks before them, so the vector
// work, half what one block at a time costs, hides behind the rounds'
// dependency chain.
#include "target.h"

#if defined(TORVANIX_SHA1_X86)

#include <immintrin.h>

#include <utility>

#include "rounds.h"
#include "transform.h"

namespace {
using pair_table = std::uint32_t[160];
constexpr int table_index(int t, int second) { return (t / 4) * 8 + 4 * second + t % 4; }
struct constants {
    __m256i byte_swap;
    __m256i k[4];
};
template <int N>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE __m256i rotl_lanes(__m256i x)
{
    return _mm256_or_si256(_mm256_slli_epi32(x, N), _mm256_srli_epi32(x, 32 - N));
}
template <int G>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void schedule_group(__m256i (&w)[8], pair_table& wk,
                                                                const std::uint8_t* first,
                                                                const std::uint8_t* second,
                                                                const constants& c)
{
    if constexpr (G < 4) {
        const __m256i both = _mm256_inserti128_si256(
            _mm256_castsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 16 * G))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 16 * G)), 1);
        w[G] = _mm256_shuffle_epi8(both, c.byte_swap);
    } else if constexpr (G < 8) {
        const __m256i x =
            _mm256_xor_si256(_mm256_xor_si256(w[G - 4], _mm256_alignr_epi8(w[G - 3], w[G - 4], 8)),
                             _mm256_xor_si256(w[G - 2], _mm256_bsrli_epi128(w[G - 1], 4)));
        w[G] = _mm256_xor_si256(rotl_lanes<1>(x), rotl_lanes<2>(_mm256_bslli_epi128(x, 12)));
    } else {
        const __m256i x = _mm256_xor_si256(
            _mm256_xor_si256(_mm256_alignr_epi8(w[(G - 1) % 8], w[(G - 2) % 8], 8), w[(G - 4) % 8]),
            _mm256_xor_si256(w[(G - 7) % 8], w[G % 8]));
        w[G % 8] = rotl_lanes<2>(x);
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(wk + 8 * G),
                       _mm256_add_epi32(w[G % 8], c.k[G / 5]));
}
template <int... G>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void schedule_pair(std::integer_sequence<int, G...>,
                                                               __m256i (&w)[8], pair_table& wk,
                                                               const std::uint8_t* first,
                                                               const std::uint8_t* second,
                                                               const constants& c)
{
    (schedule_group<G>(w, wk, first, second, c), ...);
}
template <int Second, int T>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void round_and_schedule(
    std::uint32_t (&v)[5], const pair_table& wk, __m256i (&w)[8], pair_table& wk_next,
    const std::uint8_t* nf, const std::uint8_t* ns, const constants& c)
{
    sha1_rounds::round<T>(v, wk[table_index(T, Second)]);
    if constexpr (T % 8 == 0) schedule_group<10 * Second + T / 8>(w, wk_next, nf, ns, c);
}
template <int Second, int... T>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void block_rounds(
    std::integer_sequence<int, T...>, std::uint32_t (&v)[5], const pair_table& wk, __m256i (&w)[8],
    pair_table& wk_next, const std::uint8_t* nf, const std::uint8_t* ns, const constants& c)
{
    const std::uint32_t start[5] = {v[0], v[1], v[2], v[3], v[4]};
    (round_and_schedule<Second, T>(v, wk, w, wk_next, nf, ns, c), ...);
    for (int i = 0; i < 5; ++i) v[i] += start[i];
}
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE std::size_t run_pair(
    std::uint32_t (&v)[5], const std::uint8_t*& data, std::size_t blocks, const pair_table& wk,
    __m256i (&w)[8], pair_table& wk_next, const constants& c)
{
    constexpr auto rounds = std::make_integer_sequence<int, 80>{};
    TORVANIX_FROM_MEMORY(wk);
    if (blocks == 1) {
        block_rounds<0>(rounds, v, wk, w, wk_next, data, data, c);
        return 0;
    }
    const std::uint8_t* nf = blocks > 2 ? data + 128 : data;
    const std::uint8_t* ns = blocks > 3 ? data + 192 : nf;
    block_rounds<0>(rounds, v, wk, w, wk_next, nf, ns, c);
    block_rounds<1>(rounds, v, wk, w, wk_next, nf, ns, c);
    data += 128;
    return blocks - 2;
}
}  // namespace
TORVANIX_TARGET_AVX2 void sha1_transform_avx2(std::uint32_t state[5], const std::uint8_t* data,
                                              std::size_t blocks)
{
    if (blocks == 0) return;
    const __m128i swap128 = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    const constants c = {
        _mm256_broadcastsi128_si256(swap128),
        {_mm256_set1_epi32((int)sha1_rounds::K0), _mm256_set1_epi32((int)sha1_rounds::K1),
         _mm256_set1_epi32((int)sha1_rounds::K2), _mm256_set1_epi32((int)sha1_rounds::K3)}};
    std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
    alignas(32) pair_table wk_a;
    alignas(32) pair_table wk_b;
    __m256i w[8];
    schedule_pair(std::make_integer_sequence<int, 20>{}, w, wk_a, data,
                  blocks > 1 ? data + 64 : data, c);
    while (blocks != 0) {
        blocks = run_pair(v, data, blocks, wk_a, w, wk_b, c);
        if (blocks == 0) break;
        blocks = run_pair(v, data, blocks, wk_b, w, wk_a, c);
    }
    for (int i = 0; i < 5; ++i) state[i] = v[i];
}

sha1_blocks_done sha1_detect_avx2(std::uint32_t state[5], const std::uint8_t* data,
                                  std::size_t blocks)
{
    return sha1_detect_each_block(sha1_transform_avx2, state, data, blocks);
}

#endif
