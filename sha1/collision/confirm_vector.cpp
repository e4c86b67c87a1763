// Confirmation of queued collision-attack candidates in vectors, one
// candidate per 32-bit element: eight in AVX2 vectors, sixteen in AVX-512,
// four in SSE and in NEON.
//
// Every lane runs the same steps whatever its vector. From the block's state
// before step 60, two steps back (with the block's own words) give the
// state before 58, and the partner's words from there the partner's state
// before 60, which a lane whose vector's check starts at 58 keeps; a lane
// whose check starts at 65 keeps the block's own state before 60. Steps 60
// to 64 then run in every lane, with the partner's words where the check
// starts at 58 and with the block's own where at 65: every lane ends with
// the partner's state before 65, from which sha1_dv::final_differs tests
// whether the partner's compression ends in the block's chaining value,
// meeting in the middle. (From 65 back to 58 that retraces, exactly, the
// steps just taken: a step is invertible.) Seven steps more than where the
// check starts at 58 needs, four more than where at 65, but no lane waits
// for another, and the five steps from 60 serve both.

// GCC and Clang warn that passing or returning 32- and 64-byte vectors
// between functions compiled without AVX would differ from passing them
// between functions with it; every function here that does so is inlined
// (forced) into a form that has AVX2 or AVX-512, so no such call remains.
// (GCC gives its note where the templates stand, so it is silenced for the
// whole file.)
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "sha1/collision/collision.h"
#include "sha1/target.h"

#if (defined(TORVANIX_SHA1_X86) || defined(TORVANIX_SHA1_ARM64)) && defined(__GNUC__)

#include <cstring>
#include <utility>

#if defined(TORVANIX_SHA1_ARM64)
#include <arm_neon.h>
#endif

#include "sha1/collision/differences.h"
#include "sha1/collision/steps.h"
#include "sha1/transform/shani_rounds.h"

namespace {

using sha1_dv::backwards;
using sha1_dv::lanes_of;
using sha1_dv::load;
using sha1_dv::rotl;
using sha1_dv::state;
using sha1_dv::step_backward;
using sha1_dv::step_forward;
using sha1_dv::store;

// What the lanes read of their blocks and vectors, a row per word, lane l
// of row r at [r * lanes + l]: rows 0..15 the partner's first words (the
// block's XOR the vector's difference), then the eight rows of
// sha1_dv_start_differences.
constexpr int word_rows = 24;

// Per vector, what turns the partner's words 58..64 into those a lane
// starts with: where the vector's check starts at 58, the difference in
// words 58 and 59 (the block's own words, for the steps back to 58), and
// zero where at 65 (that lane's steps back are dropped); then the
// difference in words 60..64 where the check starts at 65 (the block's own
// words again) and zero where at 58 (the partner's). Last, all ones where
// the check starts at 58 and zero where at 65: which state before step 60 a
// lane keeps.
struct start_differences {
    std::uint32_t dm[sha1_dv_count][8];
};

constexpr start_differences make_start_differences()
{
    start_differences d{};
    for (int v = 0; v < sha1_dv_count; ++v) {
        for (int i = 0; i < 7; ++i) {
            const bool own = (i < 2) == (sha1_disturbance_vectors[v].testt == 58);
            d.dm[v][i] = own ? sha1_dv_differences.dm[v][58 + i] : 0;
        }
        d.dm[v][7] = sha1_disturbance_vectors[v].testt == 58 ? ~std::uint32_t{0} : 0;
    }
    return d;
}

constexpr start_differences sha1_dv_start_differences = make_start_differences();

// The partner's words From..From+15 (From 16, 32, 48 or 64), into
// `partner`, from the sixteen before them (the first sixteen from `rows`,
// rows 0..15, copied). Unrolled, so that each word's newest input, three
// words back, comes from a register rather than through memory just
// written: the expansion is one long chain of such inputs, and a rolled
// loop made every link wait for a store to reach a load (half the
// confirmation's time).
template <typename V, int From, int... T>
TORVANIX_ALWAYS_INLINE void expand_sixteen(const std::uint32_t* rows, std::uint32_t* partner,
                                           std::integer_sequence<int, T...>)
{
    constexpr int lanes = lanes_of<V>;
    V w[32];
    const std::uint32_t* before = From == 16 ? rows : partner + (From - 16) * lanes;
    for (int t = 0; t < 16; ++t) {
        w[t] = load<V>(before + t * lanes);
        if constexpr (From == 16) store(partner + t * lanes, w[t]);
    }
    ((w[16 + T] = rotl<1>(w[13 + T] ^ (w[8 + T] ^ w[2 + T] ^ w[T])),
      store(partner + (From + T) * lanes, w[16 + T])),
     ...);
}

// The partner's 80 words from its first 16.
template <typename V>
TORVANIX_ALWAYS_INLINE void expand_partner(const std::uint32_t* rows, std::uint32_t* partner)
{
    constexpr auto sixteen = std::make_integer_sequence<int, 16>{};
    expand_sixteen<V, 16>(rows, partner, sixteen);
    expand_sixteen<V, 32>(rows, partner, sixteen);
    expand_sixteen<V, 48>(rows, partner, sixteen);
    expand_sixteen<V, 64>(rows, partner, sixteen);
}

// Whether any lane of x has a bit set.
template <typename V>
TORVANIX_ALWAYS_INLINE bool any_set(const V& x)
{
    std::uint32_t lane[lanes_of<V>];
    store(lane, x);
    std::uint32_t any = 0;
    for (const std::uint32_t l : lane) any |= l;
    return any != 0;
}

// Every lane's partner's state before step 65, from its block's state
// before step 60 (see the top of this file), with the word rows and the
// partners' 80 words.
template <typename V>
TORVANIX_ALWAYS_INLINE state<V> partner_before65(const std::uint32_t* rows,
                                                 const std::uint32_t* partner,
                                                 const state<V>& before60)
{
    constexpr int lanes = lanes_of<V>;
    // Words 58..64 as each lane runs them (see sha1_dv_start_differences).
    V start_words[7];
    for (int i = 0; i < 7; ++i) {
        start_words[i] = load<V>(partner + (58 + i) * lanes) ^ load<V>(rows + (16 + i) * lanes);
    }

    // A step back and the same step forward with the same word leave the
    // state as it was: where no lane's partner differs from its block in
    // word 58 (most vectors), or in 58 and 59, those steps are skipped.
    state<V> from58 = before60;
    const bool differ58 = any_set(load<V>(rows + 16 * lanes));
    if (differ58 || any_set(load<V>(rows + 17 * lanes))) {
        step_backward<59>(from58, start_words[1]);
        if (differ58) {
            step_backward<58>(from58, start_words[0]);
            step_forward<58>(from58, load<V>(partner + 58 * lanes));
        }
        step_forward<59>(from58, load<V>(partner + 59 * lanes));
    }
    const V use58 = load<V>(rows + 23 * lanes);
    state<V> start;
    start.a = (from58.a & use58) | (before60.a & ~use58);
    start.b = (from58.b & use58) | (before60.b & ~use58);
    start.c = (from58.c & use58) | (before60.c & ~use58);
    start.d = (from58.d & use58) | (before60.d & ~use58);
    start.e = (from58.e & use58) | (before60.e & ~use58);
    step_forward<60>(start, start_words[2]);
    step_forward<61>(start, start_words[3]);
    step_forward<62>(start, start_words[4]);
    step_forward<63>(start, start_words[5]);
    step_forward<64>(start, start_words[6]);
    return start;
}

// The lanes, of lanes_of<V> candidates with word rows `rows`, whose partner
// collides with their block, one bit each.
template <typename V>
TORVANIX_ALWAYS_INLINE std::uint32_t colliding_lanes(const std::uint32_t* rows,
                                                     const state<V>& before60, const state<V>& out)
{
    constexpr int lanes = lanes_of<V>;
    alignas(64) std::uint32_t partner[80 * lanes];
    expand_partner<V>(rows, partner);
    const state<V> start = partner_before65<V>(rows, partner, before60);
    const V differs = sha1_dv::final_differs<65>(start, partner, out);
    std::uint32_t lane_differs[lanes];
    store(lane_differs, differs);
    std::uint32_t collide = 0;
    for (int l = 0; l < lanes; ++l) {
        if (lane_differs[l] == 0) collide |= std::uint32_t{1} << l;
    }
    return collide;
}

// Fills lanes count..lanes-1 with lane 0, so that a vector reads only
// candidates the queue was given.
void pad(sha1_dv_queue& queue, int count, int lanes)
{
    const auto fill = [&](auto* row) {
        for (int l = count; l < lanes; ++l) row[l] = row[0];
    };
    fill(queue.vector);
    fill(queue.slot);
}

}  // namespace

#if defined(TORVANIX_SHA1_X86)

#include <immintrin.h>

namespace {

// The compiler turns rotations into vprold and three-input logic into
// vpternlogd where AVX-512 is enabled, and into shifts, ORs and plain logic
// with AVX2.
using eight_lanes = std::uint32_t __attribute__((vector_size(32)));
using sixteen_lanes = std::uint32_t __attribute__((vector_size(64)));

// Each lane's element of five rows kept by slot, through the lanes' slot
// numbers (below the lanes' count, so one permutation of a vector's
// elements).
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE eight_lanes by_slot(const std::uint32_t* row,
                                                                __m256i slots)
{
    return reinterpret_cast<eight_lanes>(_mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)), slots));
}

TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE sixteen_lanes by_slot(const std::uint32_t* row,
                                                                      __m512i slots)
{
    return reinterpret_cast<sixteen_lanes>(
        _mm512_maskz_permutexvar_epi32(0xFFFF, slots, _mm512_loadu_si512(row)));
}

// The same of five rows `stride` words apart.
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE state<sixteen_lanes> by_slot(
    const std::uint32_t* row, int stride, __m512i slots)
{
    return {by_slot(row, slots), by_slot(row + stride, slots), by_slot(row + 2 * stride, slots),
            by_slot(row + 3 * stride, slots), by_slot(row + 4 * stride, slots)};
}

TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE state<eight_lanes> by_slot(
    const std::uint32_t (&rows)[5][sha1_dv_queue_size], __m256i slots)
{
    return {by_slot(rows[0], slots), by_slot(rows[1], slots), by_slot(rows[2], slots),
            by_slot(rows[3], slots), by_slot(rows[4], slots)};
}

// Rows 0..7 of the eight inputs, each eight consecutive words of one lane,
// transposed: row k holds word k of every lane.
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void transpose_into(__m256i r0, __m256i r1, __m256i r2,
                                                                __m256i r3, __m256i r4, __m256i r5,
                                                                __m256i r6, __m256i r7,
                                                                std::uint32_t* rows, int stride,
                                                                int row_count)
{
    const __m256i t0 = _mm256_unpacklo_epi32(r0, r1);
    const __m256i t1 = _mm256_unpackhi_epi32(r0, r1);
    const __m256i t2 = _mm256_unpacklo_epi32(r2, r3);
    const __m256i t3 = _mm256_unpackhi_epi32(r2, r3);
    const __m256i t4 = _mm256_unpacklo_epi32(r4, r5);
    const __m256i t5 = _mm256_unpackhi_epi32(r4, r5);
    const __m256i t6 = _mm256_unpacklo_epi32(r6, r7);
    const __m256i t7 = _mm256_unpackhi_epi32(r6, r7);
    // Words k and k + 4 of lanes 0..3 (low and high half), and of lanes 4..7.
    const __m256i low[4] = {_mm256_unpacklo_epi64(t0, t2), _mm256_unpackhi_epi64(t0, t2),
                            _mm256_unpacklo_epi64(t1, t3), _mm256_unpackhi_epi64(t1, t3)};
    const __m256i high[4] = {_mm256_unpacklo_epi64(t4, t6), _mm256_unpackhi_epi64(t4, t6),
                             _mm256_unpacklo_epi64(t5, t7), _mm256_unpackhi_epi64(t5, t7)};
    for (int k = 0; k < 4; ++k) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rows + k * stride),
                            _mm256_permute2x128_si256(low[k], high[k], 0x20));
    }
    for (int k = 4; k < row_count; ++k) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rows + k * stride),
                            _mm256_permute2x128_si256(low[k - 4], high[k - 4], 0x31));
    }
}

// Eight words of lane `l`'s partner block from word `first` on: the block's
// big-endian words XOR the vector's difference.
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE __m256i partner_words(const sha1_dv_queue& queue, int l,
                                                                  int first, __m256i byte_swap)
{
    const __m256i words = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                                  queue.block[queue.slot[l]] + 4 * first)),
                                              byte_swap);
    const __m256i dm = _mm256_loadu_si256(
        reinterpret_cast<const __m256i*>(sha1_dv_differences.dm[queue.vector[l]] + first));
    return _mm256_xor_si256(words, dm);
}

TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE __m256i start_words(const sha1_dv_queue& queue, int l)
{
    return _mm256_loadu_si256(
        reinterpret_cast<const __m256i*>(sha1_dv_start_differences.dm[queue.vector[l]]));
}

// The word rows of lanes from..from+7, into `rows` with `stride` lanes.
TORVANIX_TARGET_AVX2 TORVANIX_ALWAYS_INLINE void eight_lanes_rows(const sha1_dv_queue& queue,
                                                                  int from, std::uint32_t* rows,
                                                                  int stride)
{
    const __m256i byte_swap = _mm256_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3,
                                              12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    for (int first = 0; first < 16; first += 8) {
        transpose_into(partner_words(queue, from, first, byte_swap),
                       partner_words(queue, from + 1, first, byte_swap),
                       partner_words(queue, from + 2, first, byte_swap),
                       partner_words(queue, from + 3, first, byte_swap),
                       partner_words(queue, from + 4, first, byte_swap),
                       partner_words(queue, from + 5, first, byte_swap),
                       partner_words(queue, from + 6, first, byte_swap),
                       partner_words(queue, from + 7, first, byte_swap),
                       rows + first * stride + from, stride, 8);
    }
    transpose_into(start_words(queue, from), start_words(queue, from + 1),
                   start_words(queue, from + 2), start_words(queue, from + 3),
                   start_words(queue, from + 4), start_words(queue, from + 5),
                   start_words(queue, from + 6), start_words(queue, from + 7),
                   rows + 16 * stride + from, stride, 8);
}

// Below this many candidates, the plain confirmation of each costs less than
// one vector confirmation of eight.
constexpr int fewest_for_vectors = 2;

TORVANIX_TARGET_AVX2 std::uint32_t confirm_avx2(sha1_dv_queue& queue, int count)
{
    if (count < fewest_for_vectors) return sha1_dv_confirm_scalar.confirm(queue, count);
    pad(queue, count, 8);
    std::uint32_t rows[word_rows * 8];
    eight_lanes_rows(queue, 0, rows, 8);
    const __m256i slots = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(queue.slot));
    return colliding_lanes<eight_lanes>(rows, by_slot(queue.before60, slots),
                                        by_slot(queue.out, slots)) &
           ((std::uint32_t{1} << count) - 1);
}

// Row r of a table of 32 words a row, one per vector: each lane's element
// for its vector.
struct by_vector_rows {
    std::uint32_t row[word_rows][sha1_dv_count];
};

constexpr by_vector_rows make_by_vector_rows()
{
    by_vector_rows t{};
    for (int v = 0; v < sha1_dv_count; ++v) {
        for (int r = 0; r < 16; ++r) t.row[r][v] = sha1_dv_differences.dm[v][r];
        for (int i = 0; i < 8; ++i) t.row[16 + i][v] = sha1_dv_start_differences.dm[v][i];
    }
    return t;
}

constexpr by_vector_rows vector_rows = make_by_vector_rows();

TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE __m512i by_vector(int r, __m512i vectors)
{
    return _mm512_permutex2var_epi32(_mm512_loadu_si512(vector_rows.row[r]), vectors,
                                     _mm512_loadu_si512(vector_rows.row[r] + 16));
}

// The word rows of sixteen lanes. The blocks' words are transposed once per
// slot, however many lanes share it (a block passes several vectors), and
// each lane picks its slot's words and its vector's differences by a
// permutation.
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE void sixteen_lanes_rows(
    const std::uint8_t* const* block, int slot_count, const std::uint32_t* lane_vectors,
    __m512i slots, std::uint32_t* rows)
{
    const __m512i byte_swap = _mm512_set4_epi32(0x0C0D0E0F, 0x08090A0B, 0x04050607, 0x00010203);
    // Slot s's words; past the queue's slots, slot 0's again (no lane reads them).
    __m512i r[16];
    for (int s = 0; s < 16; ++s) {
        r[s] = _mm512_shuffle_epi8(_mm512_loadu_si512(block[s < slot_count ? s : 0]), byte_swap);
    }
    // (The shuffles and permutations are written masked with every lane set:
    // GCC's unmasked forms read an undefined vector it warns about.)
    // Within each 128-bit lane j: words 4j..4j+3 of slot pairs, then of
    // slot quadruples: u[4k + m] holds word 4j + m of slots 4k..4k+3.
    __m512i t[16];
    for (int k = 0; k < 16; k += 2) {
        t[k] = _mm512_maskz_unpacklo_epi32(0xFFFF, r[k], r[k + 1]);
        t[k + 1] = _mm512_maskz_unpackhi_epi32(0xFFFF, r[k], r[k + 1]);
    }
    __m512i u[16];
    for (int k = 0; k < 16; k += 4) {
        u[k] = _mm512_maskz_unpacklo_epi64(0xFF, t[k], t[k + 2]);
        u[k + 1] = _mm512_maskz_unpackhi_epi64(0xFF, t[k], t[k + 2]);
        u[k + 2] = _mm512_maskz_unpacklo_epi64(0xFF, t[k + 1], t[k + 3]);
        u[k + 3] = _mm512_maskz_unpackhi_epi64(0xFF, t[k + 1], t[k + 3]);
    }
    // Then the 128-bit lanes: word 4j + m of every slot from lane j of
    // u[m], u[4 + m], u[8 + m], u[12 + m].
    for (int m = 0; m < 4; ++m) {
        const __m512i x0 = _mm512_maskz_shuffle_i32x4(0xFFFF, u[m], u[4 + m], 0x44);
        const __m512i x1 = _mm512_maskz_shuffle_i32x4(0xFFFF, u[m], u[4 + m], 0xEE);
        const __m512i y0 = _mm512_maskz_shuffle_i32x4(0xFFFF, u[8 + m], u[12 + m], 0x44);
        const __m512i y1 = _mm512_maskz_shuffle_i32x4(0xFFFF, u[8 + m], u[12 + m], 0xEE);
        const __m512i by_slot_row[4] = {_mm512_maskz_shuffle_i32x4(0xFFFF, x0, y0, 0x88),
                                        _mm512_maskz_shuffle_i32x4(0xFFFF, x0, y0, 0xDD),
                                        _mm512_maskz_shuffle_i32x4(0xFFFF, x1, y1, 0x88),
                                        _mm512_maskz_shuffle_i32x4(0xFFFF, x1, y1, 0xDD)};
        for (int j = 0; j < 4; ++j) {
            r[4 * j + m] = by_slot_row[j];
        }
    }
    const __m512i vectors = _mm512_loadu_si512(lane_vectors);
    for (int w = 0; w < 16; ++w) {
        _mm512_storeu_si512(rows + 16 * w,
                            _mm512_xor_si512(_mm512_maskz_permutexvar_epi32(0xFFFF, slots, r[w]),
                                             by_vector(w, vectors)));
    }
    for (int i = 16; i < word_rows; ++i) {
        _mm512_storeu_si512(rows + 16 * i, by_vector(i, vectors));
    }
}

TORVANIX_TARGET_AVX512VL std::uint32_t confirm_avx512(sha1_dv_queue& queue, int count)
{
    if (count < fewest_for_vectors) return sha1_dv_confirm_scalar.confirm(queue, count);
    if (count <= 8) {
        pad(queue, count, 8);
        std::uint32_t rows[word_rows * 8];
        eight_lanes_rows(queue, 0, rows, 8);
        const __m256i slots = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(queue.slot));
        return colliding_lanes<eight_lanes>(rows, by_slot(queue.before60, slots),
                                            by_slot(queue.out, slots)) &
               ((std::uint32_t{1} << count) - 1);
    }
    pad(queue, count, 16);
    sha1_dv_sixteen lanes = {queue.vector,      {},           queue.block,       queue.slots,
                             queue.before60[0], queue.out[0], sha1_dv_queue_size};
    std::memcpy(lanes.slot, queue.slot, sizeof lanes.slot);
    return sha1_dv_confirm_sixteen(lanes) & ((std::uint32_t{1} << count) - 1);
}

}  // namespace

#if defined(TORVANIX_SHA1_HAVE_SHANI)

namespace {

using sixteen_state = state<sixteen_lanes>;

// A confirmation of sixteen lanes, as sha1_dv_confirm_sixteen, in parts run
// after the groups of four rounds of a block (rounds_beside below), in one
// straight line of instructions with them, so that the parts fill the room
// the rounds' chain of latencies leaves:
// after group 0 the lanes' words and states are gathered, after groups 1
// to 4 the partners' words expanded, sixteen each, after group 5 the steps
// from 58 to 64 run (as in colliding_lanes), after groups 6 to 19 the
// forty pairs of steps of the meet in the middle, two or three each
// (sha1_dv::final_differs).
struct sixteen_beside {
    const sha1_dv_sixteen& lanes;
    alignas(64) std::uint32_t rows[word_rows * 16];
    alignas(64) std::uint32_t partner[80 * 16];
    sixteen_state back;
    sixteen_state forward;
    sixteen_state out;
    std::uint32_t collide = 0;

    explicit sixteen_beside(const sha1_dv_sixteen& of) : lanes(of) {}

    template <int J>
    TORVANIX_TARGET_SHANI_AVX512 TORVANIX_ALWAYS_INLINE void after()
    {
        if constexpr (J == 0) {
            const __m512i slots = _mm512_loadu_si512(lanes.slot);
            sixteen_lanes_rows(lanes.block, lanes.slots, lanes.vector, slots, rows);
            back = by_slot(lanes.before60, lanes.stride, slots);
            out = by_slot(lanes.out, lanes.stride, slots);
        } else if constexpr (J <= 4) {
            expand_sixteen<sixteen_lanes, 16 * J>(rows, partner,
                                                  std::make_integer_sequence<int, 16>{});
        } else if constexpr (J == 5) {
            start_steps();
        } else {
            constexpr int from = first_pair(J);
            meet<from>(std::make_integer_sequence<int, first_pair(J + 1) - from>{});
        }
    }

    // From the state before 60 in `back`, the state before 65 of every
    // lane's partner, in both halves of the meet.
    TORVANIX_TARGET_SHANI_AVX512 TORVANIX_ALWAYS_INLINE void start_steps()
    {
        back = partner_before65<sixteen_lanes>(rows, partner, back);
        forward = back;
    }

    // The first of the pairs of the meet after group J (6 to 19), spread
    // evenly.
    static constexpr int first_pair(int j) { return (j - 6) * 40 / 14; }

    // Pairs From.. of the meet: pair P is backward step 64 - P beside
    // forward step 65 + P, or, from P = 15 on, step P - 15 from the
    // chaining input the forward run needs. After the last, which lanes
    // meet.
    template <int From, int... N>
    TORVANIX_TARGET_SHANI_AVX512 TORVANIX_ALWAYS_INLINE void meet(std::integer_sequence<int, N...>)
    {
        (pair<From + N>(), ...);
        if constexpr (From + static_cast<int>(sizeof...(N)) == 40) {
            const sixteen_lanes differs = (forward.a ^ back.a) | (forward.b ^ back.b) |
                                          (forward.c ^ back.c) | (forward.d ^ back.d) |
                                          (forward.e ^ back.e);
            collide = _mm512_testn_epi32_mask(reinterpret_cast<__m512i>(differs),
                                              reinterpret_cast<__m512i>(differs));
        }
    }

    // (Plain vector code, as expand_sixteen, without the instruction sets'
    // attribute: Clang refuses a function that has AVX-512 a call to one
    // that has not, like load and rotl, when it returns a 64-byte vector.)
    template <int P>
    TORVANIX_ALWAYS_INLINE void pair()
    {
        constexpr int n = 16;
        if constexpr (P == 15) {
            forward = {out.a - forward.a, out.b - forward.b, out.c - forward.c, out.d - forward.d,
                       out.e - forward.e};
        }
        constexpr int t = P < 15 ? 65 + P : P - 15;
        step_backward<64 - P>(back, load<sixteen_lanes>(partner + (64 - P) * n));
        step_forward<t>(forward, load<sixteen_lanes>(partner + t * n));
    }
};

// The rounds of sha1_shani::compress<true, sha1_eight_vector_registers>,
// each group of four followed by its part of `beside`'s confirmation.
template <int... J>
TORVANIX_TARGET_SHANI_AVX512 TORVANIX_ALWAYS_INLINE void rounds_beside(
    std::integer_sequence<int, J...>, __m128i& abcd, __m128i& abcd_back, __m128i& e_first,
    __m128i msg[4], sha1_shani::kept_for_check& kept, const std::uint8_t* data,
    sixteen_beside& beside)
{
    const __m128i byte_swap = sha1_shani::byte_swap_mask();
    ((sha1_shani::four_rounds<true, sha1_eight_vector_registers, J>(abcd, abcd_back, e_first, msg,
                                                                    kept, data, byte_swap),
      beside.template after<J>()),
     ...);
}

}  // namespace

TORVANIX_TARGET_SHANI_AVX512 sha1_shani::compressed_beside sha1_shani::compress_confirming(
    __m128i abcd, __m128i e, const std::uint8_t* data, kept_for_check& kept,
    const sha1_dv_sixteen& lanes)
{
    sixteen_beside beside(lanes);
    const __m128i start[2] = {abcd, e};
    __m128i abcd_back;
    __m128i msg[4];
    rounds_beside(std::make_integer_sequence<int, 20>{}, abcd, abcd_back, e, msg, kept, data,
                  beside);
    // As compress: E after round 80 is A four rounds earlier, rotated by 30.
    e = _mm_sha1nexte_epu32(abcd_back, start[1]);
    abcd = _mm_add_epi32(abcd, start[0]);
    return {abcd, e, beside.collide};
}

#endif

TORVANIX_TARGET_AVX512VL std::uint32_t sha1_dv_confirm_sixteen(const sha1_dv_sixteen& lanes)
{
    alignas(64) std::uint32_t rows[word_rows * 16];
    const __m512i slots = _mm512_loadu_si512(lanes.slot);
    sixteen_lanes_rows(lanes.block, lanes.slots, lanes.vector, slots, rows);
    return colliding_lanes<sixteen_lanes>(rows, by_slot(lanes.before60, lanes.stride, slots),
                                          by_slot(lanes.out, lanes.stride, slots));
}

const sha1_dv_confirm_form sha1_dv_confirm_avx2 = {8, confirm_avx2};
const sha1_dv_confirm_form sha1_dv_confirm_avx512 = {16, confirm_avx512, true};

#endif

// Four lanes: NEON, or SSE where SSSE3 is the best the processor has.
#if defined(TORVANIX_SHA1_X86)
#define TORVANIX_FOUR_LANES_TARGET TORVANIX_TARGET_SSSE3
#else
#define TORVANIX_FOUR_LANES_TARGET
#endif

namespace {

using four_lanes = std::uint32_t __attribute__((vector_size(16)));

#if defined(TORVANIX_SHA1_X86)

// Each lane's element of five rows kept by slot.
TORVANIX_FOUR_LANES_TARGET TORVANIX_ALWAYS_INLINE state<four_lanes> by_slot(
    const std::uint32_t (&rows)[5][sha1_dv_queue_size], const sha1_dv_queue& queue)
{
    std::uint32_t lanes[5][4];
    for (int i = 0; i < 5; ++i) {
        for (int l = 0; l < 4; ++l) lanes[i][l] = rows[i][queue.slot[l]];
    }
    return {load<four_lanes>(lanes[0]), load<four_lanes>(lanes[1]), load<four_lanes>(lanes[2]),
            load<four_lanes>(lanes[3]), load<four_lanes>(lanes[4])};
}

// Four words of each of the four lanes, one vector per lane, transposed
// into rows first.. of `rows` (four lanes each); `count` rows are stored.
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void transpose_four(const __m128i (&lane)[4],
                                                                 std::uint32_t* rows, int count)
{
    const __m128i t0 = _mm_unpacklo_epi32(lane[0], lane[1]);
    const __m128i t1 = _mm_unpackhi_epi32(lane[0], lane[1]);
    const __m128i t2 = _mm_unpacklo_epi32(lane[2], lane[3]);
    const __m128i t3 = _mm_unpackhi_epi32(lane[2], lane[3]);
    const __m128i row[4] = {_mm_unpacklo_epi64(t0, t2), _mm_unpackhi_epi64(t0, t2),
                            _mm_unpacklo_epi64(t1, t3), _mm_unpackhi_epi64(t1, t3)};
    for (int k = 0; k < count; ++k) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rows + 4 * k), row[k]);
    }
}

// The word rows of the four lanes: the block's big-endian words, byte
// swapped four at a time, XOR the vector's difference.
TORVANIX_TARGET_SSSE3 TORVANIX_ALWAYS_INLINE void four_lanes_rows(const sha1_dv_queue& queue,
                                                                  std::uint32_t* rows)
{
    const __m128i byte_swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    for (int first = 0; first < 16; first += 4) {
        __m128i lane[4];
        for (int l = 0; l < 4; ++l) {
            const __m128i words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                                       queue.block[queue.slot[l]] + 4 * first)),
                                                   byte_swap);
            lane[l] = _mm_xor_si128(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                               sha1_dv_differences.dm[queue.vector[l]] + first)));
        }
        transpose_four(lane, rows + 4 * first, 4);
    }
    for (int first = 0; first < 8; first += 4) {
        __m128i lane[4];
        for (int l = 0; l < 4; ++l) {
            lane[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                sha1_dv_start_differences.dm[queue.vector[l]] + first));
        }
        transpose_four(lane, rows + 4 * (16 + first), 4);
    }
}

#else

// Each lane's element of five rows kept by slot: a row's sixteen slots are
// four registers, from which one table lookup picks each lane's four bytes.
TORVANIX_ALWAYS_INLINE state<four_lanes> by_slot(const std::uint32_t (&rows)[5][sha1_dv_queue_size],
                                                 const sha1_dv_queue& queue)
{
    // Bytes 4s..4s+3 for a lane of slot s.
    const uint8x16_t bytes = vreinterpretq_u8_u32(
        vmlaq_n_u32(vdupq_n_u32(0x03020100), vld1q_u32(queue.slot), 0x04040404));
    const auto row = [&](int i) {
        return reinterpret_cast<four_lanes>(
            vqtbl4q_u8(vld1q_u8_x4(reinterpret_cast<const std::uint8_t*>(rows[i])), bytes));
    };
    return {row(0), row(1), row(2), row(3), row(4)};
}

// The word rows of the four lanes: each lane's block words, byte swapped
// four at a time, XOR its vector's difference; four lanes' vectors of four
// words are stored interleaved, which transposes them into rows.
TORVANIX_ALWAYS_INLINE void four_lanes_rows(const sha1_dv_queue& queue, std::uint32_t* rows)
{
    const std::uint8_t* block[4];
    const std::uint32_t* dm[4];
    const std::uint32_t* start[4];
    for (int l = 0; l < 4; ++l) {
        block[l] = queue.block[queue.slot[l]];
        dm[l] = sha1_dv_differences.dm[queue.vector[l]];
        start[l] = sha1_dv_start_differences.dm[queue.vector[l]];
    }
    for (int first = 0; first < 16; first += 4) {
        uint32x4x4_t lanes;
        for (int l = 0; l < 4; ++l) {
            lanes.val[l] =
                veorq_u32(vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(block[l] + 4 * first))),
                          vld1q_u32(dm[l] + first));
        }
        vst4q_u32(rows + 4 * first, lanes);
    }
    for (int first = 0; first < 8; first += 4) {
        uint32x4x4_t lanes;
        for (int l = 0; l < 4; ++l) lanes.val[l] = vld1q_u32(start[l] + first);
        vst4q_u32(rows + 4 * (16 + first), lanes);
    }
}

#endif

TORVANIX_FOUR_LANES_TARGET std::uint32_t confirm_four(sha1_dv_queue& queue, int count)
{
    if (count < 2) return sha1_dv_confirm_scalar.confirm(queue, count);
    pad(queue, count, 4);
    std::uint32_t rows[word_rows * 4];
    four_lanes_rows(queue, rows);
    return colliding_lanes<four_lanes>(rows, by_slot(queue.before60, queue),
                                       by_slot(queue.out, queue)) &
           ((std::uint32_t{1} << count) - 1);
}

}  // namespace

#if defined(TORVANIX_SHA1_X86)
const sha1_dv_confirm_form sha1_dv_confirm_ssse3 = {4, confirm_four};
#else
const sha1_dv_confirm_form sha1_dv_confirm_neon = {4, confirm_four};
#endif

#endif

// Where the build has no vector form (other compilers and processors, or
// the x86 forms on Arm), the plain confirmation.
#if !defined(TORVANIX_SHA1_X86) || !defined(__GNUC__)
namespace {

std::uint32_t confirm_plain(sha1_dv_queue& queue, int count)
{
    return sha1_dv_confirm_scalar.confirm(queue, count);
}

}  // namespace

const sha1_dv_confirm_form sha1_dv_confirm_avx2 = {1, confirm_plain};
const sha1_dv_confirm_form sha1_dv_confirm_avx512 = {1, confirm_plain};
const sha1_dv_confirm_form sha1_dv_confirm_ssse3 = {1, confirm_plain};
#if defined(TORVANIX_SHA1_ARM64) && !defined(__GNUC__)
const sha1_dv_confirm_form sha1_dv_confirm_neon = {1, confirm_plain};
#endif
#endif
