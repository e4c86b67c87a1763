// SHA-1 compression for x86 processors with AVX2, BMI1 and BMI2 but without
// the SHA extensions.
//
// This is the transform of ssse3.cpp with the message schedule of
// two blocks computed at once. AVX2's byte shifts and alignr work within each
// 128-bit half of a register, so each half computes exactly what the SSSE3
// transform computes in one SSE register: the first block of a pair in the
// low half, the second in the high half. The vector work per block is half
// what it is there, and it hides behind the rounds' dependency chain.
//
// The rounds run in general-purpose registers, where rorx and andn (three
// operands) spare nearly all register copies (see rounds.h), from a table of
// W[t] + K. While the two blocks of a pair run, the vector unit fills the
// other table with the next pair's schedule, one group of four words of both
// blocks every eight rounds. The schedule code below mirrors the SSSE3 one
// function for function; it is not shared because GCC and Clang compile
// intrinsics only in functions that carry the instruction set as an
// attribute, which a template cannot take from its vector type.
#include "sha1/target.h"

#if defined(TORVANIX_SHA1_X86)

#include <immintrin.h>

#include <cstring>
#include <utility>

#include "sha1/rounds.h"
#include "sha1/transform.h"
#include "sha1/transform/columns_x86.h"

namespace {

// W[t] + K of two blocks, by group: group G of the first block at 8G, of the
// second block at 8G + 4.
using pair_table = std::uint32_t[160];

// A pair's schedule: the round table, and the plain message groups 8 to 16
// of both blocks that the collision check reads, merged in twos. Beside
// them, the blocks' working states before round 60, which the rounds store
// as they run them: addressed from the table's base, which the rounds hold
// in a register anyway, rather than from a pointer into the batch, which
// would crowd the rounds' registers (a pair runs 2 instructions fewer a
// block that way, with the copy into the batch after it).
struct pair_schedule {
    alignas(32) pair_table wk;
    sha1_dv::kept_pair_groups kept;
    std::uint32_t before60[2][5] = {};
};

constexpr int pair_index(int t, int block) { return (t / 4) * 8 + 4 * block + t % 4; }

struct vector_constants {
    __m256i byte_swap;
    __m256i k[4];
};

template <int N>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE __m256i rotl_lanes(__m256i x)
{
    return _mm256_or_si256(_mm256_slli_epi32(x, N), _mm256_srli_epi32(x, 32 - N));
}

// Stores schedule group G of both blocks (in the ring `w`), plus the round
// constant, into the round table, and keeps groups 8 to 16 for the
// collision check when detecting: the odd ones merged with the group
// before, which the ring still holds.
template <bool Detect, int G>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void store_group(const __m256i (&w)[8],
                                                             pair_schedule& schedule,
                                                             const vector_constants& c)
{
    _mm256_store_si256(reinterpret_cast<__m256i*>(schedule.wk + 8 * G),
                       _mm256_add_epi32(w[G % 8], c.k[G / 5]));
    if constexpr (Detect && G >= 8 && G <= 16) {
        sha1_dv::keep_pair_group<false, G>(w[(G + 7) % 8], w[G % 8], schedule.kept);
    }
}

// Computes schedule group G (W[4G..4G+3], W[4G] in the low lane of each half)
// of the blocks at `first` and `second` into the ring `w` (group g in
// w[g % 8]) and stores it into wk. The arithmetic is that of the SSSE3
// transform's schedule_group, per half.
template <bool Detect, int G>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void schedule_group(__m256i (&w)[8], pair_schedule& wk,
                                                                const std::uint8_t* first,
                                                                const std::uint8_t* second,
                                                                const vector_constants& c)
{
    if constexpr (G < 4) {
        const __m128i first_words =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 16 * G));
        const __m128i second_words =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 16 * G));
        const __m256i both =
            _mm256_inserti128_si256(_mm256_castsi128_si256(first_words), second_words, 1);
        w[G] = _mm256_shuffle_epi8(both, c.byte_swap);
    } else if constexpr (G < 8) {
        // W[t] = rotl1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]); the top lane's
        // W[t-3] is W[t] of this very group, added after as rotl2 of the low
        // lane's input.
        const __m256i x =
            _mm256_xor_si256(_mm256_xor_si256(w[G - 4], _mm256_alignr_epi8(w[G - 3], w[G - 4], 8)),
                             _mm256_xor_si256(w[G - 2], _mm256_bsrli_epi128(w[G - 1], 4)));
        w[G] = _mm256_xor_si256(rotl_lanes<1>(x), rotl_lanes<2>(_mm256_bslli_epi128(x, 12)));
    } else {
        // From t = 32 on, W[t] = rotl2(W[t-6] ^ W[t-16] ^ W[t-28] ^ W[t-32]).
        const __m256i x = _mm256_xor_si256(
            _mm256_xor_si256(_mm256_alignr_epi8(w[(G - 1) % 8], w[(G - 2) % 8], 8), w[(G - 4) % 8]),
            _mm256_xor_si256(w[(G - 7) % 8], w[G % 8]));
        w[G % 8] = rotl_lanes<2>(x);
    }
    store_group<Detect, G>(w, wk, c);
}

template <bool Detect, int... G>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void schedule_pair(std::integer_sequence<int, G...>,
                                                               __m256i (&w)[8], pair_schedule& wk,
                                                               const std::uint8_t* first,
                                                               const std::uint8_t* second,
                                                               const vector_constants& c)
{
    (schedule_group<Detect, G>(w, wk, first, second, c), ...);
}

// Round T of block `Block` (0 or 1) of the pair in `wk`, and every eighth
// round one group of the next pair's schedule into `wk_next`: the first
// block's rounds compute groups 0-9, the second's groups 10-19. When
// detecting, the working state before round 60, where the collision
// check's confirmation starts, is kept.
template <bool Detect, int Block, int T>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void round_and_schedule(
    std::uint32_t (&v)[5], const pair_table& wk, __m256i (&w)[8], pair_schedule& wk_next,
    const std::uint8_t* next_first, const std::uint8_t* next_second, std::uint32_t (&before60)[5],
    const vector_constants& c)
{
    if constexpr (Detect && T == 60) {
        for (int i = 0; i < 5; ++i) before60[i] = v[i];  // A is v[0] in round 60
    }
    sha1_rounds::round<T, sha1_rounds::bit_ops::bmi>(v, wk[pair_index(T, Block)]);
    if constexpr (T % 8 == 0) {
        schedule_group<Detect, 10 * Block + T / 8>(w, wk_next, next_first, next_second, c);
    }
}

template <bool Detect, int Block, int... T>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void rounds_and_next_schedule(
    std::integer_sequence<int, T...>, std::uint32_t (&v)[5], const pair_table& wk, __m256i (&w)[8],
    pair_schedule& wk_next, const std::uint8_t* next_first, const std::uint8_t* next_second,
    std::uint32_t (&before60)[5], const vector_constants& c)
{
    (round_and_schedule<Detect, Block, T>(v, wk, w, wk_next, next_first, next_second, before60, c),
     ...);
}

// The 80 rounds of one block of the pair, updating the chaining value `v`.
template <bool Detect, int Block>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void one_block(
    std::uint32_t (&v)[5], const pair_table& wk, __m256i (&w)[8], pair_schedule& wk_next,
    const std::uint8_t* next_first, const std::uint8_t* next_second, std::uint32_t (&before60)[5],
    const vector_constants& c)
{
    const std::uint32_t start[5] = {v[0], v[1], v[2], v[3], v[4]};
    rounds_and_next_schedule<Detect, Block>(std::make_integer_sequence<int, 80>{}, v, wk, w,
                                            wk_next, next_first, next_second, before60, c);
    for (int i = 0; i < 5; ++i) {
        v[i] += start[i];
    }
}

// Checks and empties the batch (see sha1_dv_check_batch) with the candidate
// test `Check` and the confirmation `Confirm`. Out of line: the loop around it keeps more in
// registers.
template <sha1_dv_batch_check Check, const sha1_dv_confirm_form* Confirm>
TORVANIX_TARGET_AVX2 TORVANIX_NEVER_INLINE std::size_t check_batch(sha1_dv_batch& batch,
                                                                   std::size_t done, bool last,
                                                                   std::uint32_t state[5])
{
    return sha1_dv::check_batch(batch, Check, *Confirm, done, last, state);
}

// Runs blocks a pair at a time, each pair from the schedule made while the
// pair before it ran; after the last block the side schedule repeats blocks
// instead of reading past the end of the input. With `Detect`, checks each
// block and stops after the first that completes a collision attack, with
// the candidate test `Check` and the confirmation `Confirm`.
template <bool Detect, sha1_dv_batch_check Check = sha1_dv_candidates_batch_avx2,
          const sha1_dv_confirm_form* Confirm = &sha1_dv_confirm_avx2>
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE sha1_blocks_done run(std::uint32_t state[5],
                                                                 const std::uint8_t* data,
                                                                 std::size_t blocks)
{
    if (blocks == 0) {
        return {0, false};
    }
    const __m128i byte_swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    const vector_constants c = {_mm256_broadcastsi128_si256(byte_swap),
                                {_mm256_set1_epi32(static_cast<int>(sha1_rounds::K0)),
                                 _mm256_set1_epi32(static_cast<int>(sha1_rounds::K1)),
                                 _mm256_set1_epi32(static_cast<int>(sha1_rounds::K2)),
                                 _mm256_set1_epi32(static_cast<int>(sha1_rounds::K3))}};
    std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
    pair_schedule tables[2];
    __m256i w[8];
    sha1_dv_batch batch;

    schedule_pair<Detect>(std::make_integer_sequence<int, 20>{}, w, tables[0], data,
                          blocks > 1 ? data + 64 : data, c);
    pair_schedule* schedule = &tables[0];
    pair_schedule* next = &tables[1];
    // The batch's next free place: always even before a pair, since only
    // the last block of the input runs alone.
    int slot = 0;
    for (std::size_t done = 0; done < blocks;) {
        TORVANIX_FROM_MEMORY(schedule->wk);
        const std::size_t left = blocks - done;
        std::uint32_t(*before60)[5] = schedule->before60;
        if (left == 1) {
            one_block<Detect, 0>(v, schedule->wk, w, *next, data, data, before60[0], c);
        } else {
            const std::uint8_t* next_first = left > 2 ? data + 128 : data;
            const std::uint8_t* next_second = left > 3 ? data + 192 : next_first;
            one_block<Detect, 0>(v, schedule->wk, w, *next, next_first, next_second, before60[0],
                                 c);
            if constexpr (Detect) {
                for (int i = 0; i < 5; ++i) batch.out[slot][i] = v[i];
                batch.block[slot] = data;
                ++slot;
            }
            one_block<Detect, 1>(v, schedule->wk, w, *next, next_first, next_second, before60[1],
                                 c);
            data += 64;
        }
        done += left == 1 ? 1 : 2;
        if constexpr (Detect) {
            // (After a lone last block the second state is left from an
            // earlier pair, in a place of the batch no block uses.)
            std::memcpy(batch.before60[slot & ~1], schedule->before60, sizeof schedule->before60);
            sha1_dv::columns_from_kept_pair(schedule->kept, batch.columns, slot & ~1);
            for (int i = 0; i < 5; ++i) batch.out[slot][i] = v[i];
            batch.block[slot] = data;
            ++slot;
            if (slot == sha1_dv_batch_size || done == blocks) {
                batch.count = slot;
                slot = 0;
                if (const std::size_t upto =
                        check_batch<Check, Confirm>(batch, done, done == blocks, state)) {
                    return {upto, true};
                }
            }
        }
        data += 64;
        pair_schedule* const ran = schedule;
        schedule = next;
        next = ran;
    }

    for (int i = 0; i < 5; ++i) {
        state[i] = v[i];
    }
    return {blocks, false};
}

}  // namespace

TORVANIX_TARGET_AVX2 void sha1_transform_avx2(std::uint32_t state[5], const std::uint8_t* data,
                                              std::size_t blocks)
{
    run<false>(state, data, blocks);
}

TORVANIX_TARGET_AVX2 sha1_blocks_done sha1_detect_avx2(std::uint32_t state[5],
                                                       const std::uint8_t* data, std::size_t blocks)
{
    return run<true>(state, data, blocks);
}

// With AVX-512 VL (as on Skylake-SP and Cascade Lake, which have no SHA
// extensions), the candidate test's three-input logic saves a third of its
// instructions, and candidates are confirmed sixteen at a time in AVX-512
// vectors, with rotations and three-input logic of their own: on blocks
// that are candidates for many vectors, the check's slowest input, in less
// than half the time of eight-lane AVX2 confirmations (Zen 5).
TORVANIX_TARGET_AVX2 sha1_blocks_done sha1_detect_avx2_avx512vl(std::uint32_t state[5],
                                                                const std::uint8_t* data,
                                                                std::size_t blocks)
{
    return run<true, sha1_dv_candidates_batch_avx512vl, &sha1_dv_confirm_avx512>(state, data,
                                                                                 blocks);
}

#endif
