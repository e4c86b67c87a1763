// SHA-1 compression for x86 processors with SSSE3 (and neither the SHA
// extensions nor AVX2): the message schedule is computed four words at a
// time in SSE registers and the rounds run in general-purpose registers.
//
// The rounds of one block run from a table of W[t] + K computed beforehand;
// while they run, the vector unit fills the other table with the next
// block's schedule, one group of four words every four rounds.
// avx2.cpp is this transform with the schedule of two blocks
// computed at once in the two halves of 256-bit registers; its functions
// mirror the ones here. Both keep, of each block, the message groups the
// collision check reads and the working state before round 60, and their
// detecting forms check batches of up to sixteen blocks; this one runs each
// batch's candidate test while the next batch fills (checked_batch).
// The candidate test is inlined here from its templates, which build their
// masks in vectors; 32-bit GCC notes that returning a vector from a function
// compiled without SSE would differ, where those templates stand (they are
// evaluated at compile time or inlined into this file's SSSE3 functions), so
// the note is silenced for the whole file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "sha1/target.h"

#if defined(TORVANIX_SHA1_X86)

#include <immintrin.h>

#include <utility>

#include "sha1/rounds.h"
#include "sha1/transform.h"
#include "sha1/transform/columns_x86.h"

namespace {

// One block's schedule: W[t] + K for the rounds, and the plain message
// groups 8 to 16 that the collision check reads.
struct block_schedule {
    alignas(16) std::uint32_t wk[80];
    __m128i kept[9];
};

struct vector_constants {
    __m128i byte_swap;
    __m128i k[4];
};

template <int N>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE __m128i rotl_lanes(__m128i x)
{
    return _mm_or_si128(_mm_slli_epi32(x, N), _mm_srli_epi32(x, 32 - N));
}

// Stores schedule group G, plus the round constant, into the round table,
// and keeps the groups the collision check reads.
template <int G>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void store_group(const __m128i& words,
                                                              block_schedule& schedule,
                                                              const vector_constants& c)
{
    _mm_store_si128(reinterpret_cast<__m128i*>(schedule.wk + 4 * G),
                    _mm_add_epi32(words, c.k[G / 5]));
    if constexpr (G >= 8 && G <= 16) {
        schedule.kept[G - 8] = words;
    }
}

// Computes schedule group G (W[4G..4G+3], W[4G] in the low lane) of the
// block at `data` into the ring `w` (group g in w[g % 8]) and stores it into
// wk.
template <int G>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void schedule_group(__m128i (&w)[8],
                                                                 block_schedule& wk,
                                                                 const std::uint8_t* data,
                                                                 const vector_constants& c)
{
    if constexpr (G < 4) {
        w[G] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * G)),
                                c.byte_swap);
    } else if constexpr (G < 8) {
        // W[t] = rotl1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]). The top lane's
        // W[t-3] is W[t] of this very group, so it is left out here and its
        // share, rotl1(W[t]) = rotl2 of the low lane's input, added after.
        const __m128i x =
            _mm_xor_si128(_mm_xor_si128(w[G - 4], _mm_alignr_epi8(w[G - 3], w[G - 4], 8)),
                          _mm_xor_si128(w[G - 2], _mm_srli_si128(w[G - 1], 4)));
        w[G] = _mm_xor_si128(rotl_lanes<1>(x), rotl_lanes<2>(_mm_slli_si128(x, 12)));
    } else {
        // From t = 32 on, W[t] = rotl2(W[t-6] ^ W[t-16] ^ W[t-28] ^ W[t-32]):
        // no word depends on another of its own group.
        const __m128i x = _mm_xor_si128(
            _mm_xor_si128(_mm_alignr_epi8(w[(G - 1) % 8], w[(G - 2) % 8], 8), w[(G - 4) % 8]),
            _mm_xor_si128(w[(G - 7) % 8], w[G % 8]));
        w[G % 8] = rotl_lanes<2>(x);
    }
    store_group<G>(w[G % 8], wk, c);
}

template <int... T>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void schedule_block(std::integer_sequence<int, T...>,
                                                                 __m128i (&w)[8],
                                                                 block_schedule& wk,
                                                                 const std::uint8_t* data,
                                                                 const vector_constants& c)
{
    (schedule_group<T>(w, wk, data, c), ...);
}

// Round T of one block from `wk`, and every fourth round one group of the
// schedule of the block at `next` into `wk_next`. The working state before
// round 60, where the collision check's confirmation starts, is kept.
template <int T>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void round_and_schedule(
    std::uint32_t (&v)[5], const std::uint32_t* wk, __m128i (&w)[8], block_schedule& wk_next,
    const std::uint8_t* next, std::uint32_t (&before60)[5], const vector_constants& c)
{
    if constexpr (T == 60) {
        for (int i = 0; i < 5; ++i) before60[i] = v[i];  // A is v[0] in round 60
    }
    sha1_rounds::round<T>(v, wk[T]);
    if constexpr (T % 4 == 0) {
        schedule_group<T / 4>(w, wk_next, next, c);
    }
}

template <int... T>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void rounds_and_next_schedule(
    std::integer_sequence<int, T...>, std::uint32_t (&v)[5], const std::uint32_t* wk,
    __m128i (&w)[8], block_schedule& wk_next, const std::uint8_t* next,
    std::uint32_t (&before60)[5], const vector_constants& c)
{
    (round_and_schedule<T>(v, wk, w, wk_next, next, before60, c), ...);
}

// The 80 rounds of one block, updating the chaining value `v`.
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void one_block(
    std::uint32_t (&v)[5], const block_schedule& schedule, __m128i (&w)[8], block_schedule& wk_next,
    const std::uint8_t* next, std::uint32_t (&before60)[5], const vector_constants& c)
{
    const std::uint32_t* wk = schedule.wk;
    TORVANIX_FROM_MEMORY(wk);
    const std::uint32_t start[5] = {v[0], v[1], v[2], v[3], v[4]};
    rounds_and_next_schedule(std::make_integer_sequence<int, 80>{}, v, wk, w, wk_next, next,
                             before60, c);
    for (int i = 0; i < 5; ++i) {
        v[i] += start[i];
    }
}

// A block's columns into the batch. Out of line: inlined, it changes how
// the compiler allocates the rounds' registers, and costs more than a call.
TORVANIX_TARGET_SSSE3 TORVANIX_NEVER_INLINE void add_columns(const block_schedule& schedule,
                                                             sha1_dv_batch& batch)
{
    sha1_dv::columns_from_groups<false>(schedule.kept, batch.columns, batch.count);
}

// A batch whose candidate test runs while the next batch fills, one vector
// of four blocks after each of the next batch's first blocks, where the
// processor overlaps it with their rounds; at the end of a batch the test
// would wait for the rounds and they for it.
struct checked_batch {
    sha1_dv_batch batch;
    std::uint32_t candidates[sha1_dv_batch_size];
    std::size_t done;  // blocks of the call up to the batch's last one
};
constexpr int test_parts = sha1_dv_batch_size / 4;

// Part `part` of the test of `b`; after the last, the blocks with candidates
// go to the queue, confirmed when it fills or, with `last`, at once. Returns
// what sha1_dv_queue_blocks returns. Out of line, as add_columns.
TORVANIX_TARGET_SSSE3 TORVANIX_NEVER_INLINE std::size_t test_part(checked_batch& b, int part,
                                                                  sha1_dv_queue& queue, bool last,
                                                                  std::uint32_t state[5])
{
#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
    // Inlined: called out of line, the test costs its call and, in each of
    // the two functions, the saving and restoring of six registers.
    sha1_dv::candidates_of_four(b.batch.columns, 4 * part, b.candidates + 4 * part);
#else
    sha1_dv::candidates_of_four_ssse3(b.batch.columns, 4 * part, b.candidates + 4 * part);
#endif
    if (part != test_parts - 1) return 0;
    unsigned with = 0;  // bit k: block k has candidates
    for (int k = 0; k < sha1_dv_batch_size; k += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.candidates + k));
        const int none =
            _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, _mm_setzero_si128())));
        with |= (~static_cast<unsigned>(none) & 0xFu) << k;
    }
    with &= (1u << b.batch.count) - 1;  // lanes past a short batch's count are junk
    if (with == 0) {
        b.batch.count = 0;
        return last ? sha1_dv_drain_queue(queue, sha1_dv_confirm_ssse3, state) : 0;
    }
    return sha1_dv_queue_blocks(queue, b.batch, b.candidates, with, sha1_dv_confirm_ssse3, b.done,
                                last, state);
}

// Runs blocks; with `Detect`, checks each block and stops after the first
// that completes a collision attack.
template <bool Detect>
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE sha1_blocks_done run(std::uint32_t state[5],
                                                                  const std::uint8_t* data,
                                                                  std::size_t blocks)
{
    if (blocks == 0) {
        return {0, false};
    }
    const vector_constants c = {_mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3),
                                {_mm_set1_epi32(static_cast<int>(sha1_rounds::K0)),
                                 _mm_set1_epi32(static_cast<int>(sha1_rounds::K1)),
                                 _mm_set1_epi32(static_cast<int>(sha1_rounds::K2)),
                                 _mm_set1_epi32(static_cast<int>(sha1_rounds::K3))}};
    std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
    block_schedule tables[2];
    __m128i w[8];
    checked_batch batches[Detect ? 2 : 1];
    sha1_dv_queue queue;  // the candidates of both batches
    checked_batch* filling = &batches[0];
    checked_batch* checking = &batches[Detect ? 1 : 0];
    int next_part = test_parts;  // of checking's test, still to run

    schedule_block(std::make_integer_sequence<int, 20>{}, w, tables[0], data, c);
    // Two tables in turn; after the last block the side schedule repeats that
    // block instead of reading past the end of the input.
    for (std::size_t done = 0; done < blocks;) {
        const block_schedule& schedule = tables[done % 2];
        const std::uint8_t* next = blocks - done > 1 ? data + 64 : data;
        sha1_dv_batch& batch = filling->batch;
        one_block(v, schedule, w, tables[(done + 1) % 2], next, batch.before60[batch.count], c);
        ++done;
        if constexpr (Detect) {
            add_columns(schedule, batch);
            for (int i = 0; i < 5; ++i) batch.out[batch.count][i] = v[i];
            batch.count_in(data);
            if (next_part < test_parts) {
                if (const std::size_t upto =
                        test_part(*checking, next_part++, queue, false, state)) {
                    return {upto, true};
                }
            }
            if (batch.count == sha1_dv_batch_size) {
                filling->done = done;
                std::swap(filling, checking);
                next_part = 0;
            }
        }
        data = next;
    }
    if constexpr (Detect) {
        // The rest of the last full batch's test, then the blocks after it.
        for (; next_part < test_parts; ++next_part) {
            if (const std::size_t upto = test_part(*checking, next_part, queue, false, state)) {
                return {upto, true};
            }
        }
        if (filling->batch.count != 0) {
            filling->done = blocks;
            for (int part = 0; part < test_parts; ++part) {
                if (const std::size_t upto =
                        test_part(*filling, part, queue, part == test_parts - 1, state)) {
                    return {upto, true};
                }
            }
        } else if (const std::size_t upto =
                       sha1_dv_drain_queue(queue, sha1_dv_confirm_ssse3, state)) {
            return {upto, true};
        }
    }

    for (int i = 0; i < 5; ++i) {
        state[i] = v[i];
    }
    return {blocks, false};
}

}  // namespace

TORVANIX_TARGET_SSSE3 void sha1_transform_ssse3(std::uint32_t state[5], const std::uint8_t* data,
                                                std::size_t blocks)
{
    run<false>(state, data, blocks);
}

TORVANIX_TARGET_SSSE3 sha1_blocks_done sha1_detect_ssse3(std::uint32_t state[5],
                                                         const std::uint8_t* data,
                                                         std::size_t blocks)
{
    return run<true>(state, data, blocks);
}

#endif
