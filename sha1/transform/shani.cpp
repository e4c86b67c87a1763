// SHA-1 compression with the x86 SHA extensions. Each sha1rnds4 runs four
// rounds; sha1nexte derives the next four rounds' E from the state four
// rounds back; sha1msg1/sha1msg2 extend the message schedule four words at a
// time. Works in 32-bit and 64-bit mode.
//
// The detecting form also keeps, of each block, the message groups the
// collision check reads and A..D after rounds 56 and 60, and checks eight
// blocks at a time.
#include "sha1/target.h"

#if defined(TORVANIX_SHA1_HAVE_SHANI)

// GCC notes that passing 64-byte vectors between functions compiled without
// AVX-512 would differ; the vector check's functions are all inlined into
// the AVX-512 transform.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include <immintrin.h>

#include <bit>
#include <cstring>
#include <type_traits>
#include <utility>

#include "sha1/collision/collision.h"
#include "sha1/transform.h"
#include "sha1/transform/columns_avx512.h"
#include "sha1/transform/columns_gfni256.h"
#include "sha1/transform/columns_x86.h"
#include "sha1/transform/shani_rounds.h"
#include "sha1/transform/spread_forms.h"

namespace {

using sha1_shani::byte_swap_mask;
using sha1_shani::compress;
using sha1_shani::kept_for_check;
using sha1_shani::load;
using sha1_shani::store;

// The columns of a batch's blocks from their kept groups, taken once the
// batch is full: out of the rounds' loop, whose long chain of latencies
// leaves the processor room for little else. With AVX2, two blocks at once.
using batch_groups = __m128i[sha1_dv_batch_size][9];

TORVANIX_TARGET_SHANI void columns_of_batch_sse(const batch_groups& groups, int count,
                                                sha1_dv_batch_columns& columns)
{
    for (int b = 0; b < count; ++b) {
        sha1_dv::columns_from_groups<true>(groups[b], columns, b);
    }
}

#if !defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
TORVANIX_TARGET_AVX2 void columns_of_batch_avx2(const batch_groups& groups, int count,
                                                sha1_dv_batch_columns& columns)
{
    for (int b = 0; b < count; b += 2) {
        __m256i pair[9];
        for (int i = 0; i < 9; ++i) {
            pair[i] =
                _mm256_inserti128_si256(_mm256_castsi128_si256(groups[b][i]), groups[b + 1][i], 1);
        }
        sha1_dv::columns_from_pair_groups<true>(pair, columns, b);
    }
}
#endif

using batch_columns_fn = void (*)(const batch_groups&, int, sha1_dv_batch_columns&);

// Adds the block just compressed to the batch, but for its columns. E
// before a step is A four steps earlier, rotated by 30.
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void add_states_to_batch(sha1_dv_batch& batch,
                                                                      const kept_for_check& kept,
                                                                      __m128i abcd_out,
                                                                      __m128i e_out,
                                                                      const std::uint8_t* data)
{
    std::uint32_t(&before60)[5] = batch.before60[batch.count];
    std::uint32_t before56[5];
    store(before60, kept.abcd[1], e_out);
    store(before56, kept.abcd[0], e_out);
    before60[4] = std::rotl(before56[0], 30);
    store(batch.out[batch.count], abcd_out, e_out);
    batch.count_in(data);
}

// Adds the block just compressed to the batch, keeping its message groups
// for the columns. (Where the build has vector types, every detecting form
// takes the spread loop instead.)
[[maybe_unused]] TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void add_to_batch(
    sha1_dv_batch& batch, batch_groups& groups, const kept_for_check& kept, __m128i abcd_out,
    __m128i e_out, const std::uint8_t* data)
{
    for (int i = 0; i < 9; ++i) groups[batch.count][i] = kept.groups[i];
    add_states_to_batch(batch, kept, abcd_out, e_out, data);
}

// Runs blocks; with `Detect`, checks each block and stops after the first
// that completes a collision attack. The check runs on a batch at once
// through `Check`, and confirms candidates with `Confirm`.
template <bool Detect, batch_columns_fn Columns, sha1_dv_batch_check Check,
          const sha1_dv_confirm_form* Confirm>
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI sha1_blocks_done run(std::uint32_t state[5],
                                                                  const std::uint8_t* data,
                                                                  std::size_t blocks)
{
    const __m128i byte_swap = byte_swap_mask();
    __m128i abcd;
    __m128i e;
    load(state, abcd, e);
    kept_for_check kept;

    if constexpr (!Detect) {
        for (; blocks != 0; --blocks, data += 64) {
            compress<false>(abcd, e, data, kept, byte_swap);
        }
    } else {
        sha1_dv_batch batch;
        // Lanes past the last block of a short batch hold earlier groups.
        batch_groups groups = {};
        for (std::size_t done = 0; done < blocks; ++done, data += 64) {
            compress<true, true>(abcd, e, data, kept, byte_swap);
            add_to_batch(batch, groups, kept, abcd, e, data);
            if (batch.count == sha1_dv_batch_size || done + 1 == blocks) {
                Columns(groups, batch.count, batch.columns);
                if (const std::size_t upto = sha1_dv_check_batch(batch, Check, *Confirm, done + 1,
                                                                 done + 1 == blocks, state)) {
                    return {upto, true};
                }
            }
        }
    }

    store(state, abcd, e);
    return {blocks, false};
}

// The detecting forms with vectors take each block's columns as soon as it
// is compressed, in instructions the processor runs beside the next block's
// rounds, and check a batch of sixteen blocks in slices, one after each of
// the first blocks of the next batch, so that the check too finds room
// beside their rounds instead of making the rounds wait for it. Each form
// says how it takes the columns and what its slices do (spread_forms.h); the
// loop that runs them is compiled once for each form's instruction sets
// (spread_loop.h).

#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
using sha1_spread::form_avx2;
using sha1_spread::form_avx512;
using sha1_spread::form_gfni256;
using sha1_spread::form_sse;

namespace with_avx512 {
using form = form_avx512;
#define TORVANIX_SPREAD_TARGET TORVANIX_TARGET_SHANI_AVX512
#include "sha1/transform/spread_loop.h"
#undef TORVANIX_SPREAD_TARGET
}  // namespace with_avx512

namespace with_gfni256 {
using form = form_gfni256;
#define TORVANIX_SPREAD_TARGET TORVANIX_TARGET_SHANI_GFNI256
#include "sha1/transform/spread_loop.h"
#undef TORVANIX_SPREAD_TARGET
}  // namespace with_gfni256

namespace with_sse {
using form = form_sse;
#define TORVANIX_SPREAD_TARGET TORVANIX_TARGET_SHANI
#include "sha1/transform/spread_loop.h"
#undef TORVANIX_SPREAD_TARGET
}  // namespace with_sse

namespace with_avx2 {
using form = form_avx2;
#define TORVANIX_SPREAD_TARGET TORVANIX_TARGET_SHANI_AVX2
#include "sha1/transform/spread_loop.h"
#undef TORVANIX_SPREAD_TARGET
}  // namespace with_avx2

#endif

}  // namespace

TORVANIX_TARGET_SHANI void sha1_transform_shani(std::uint32_t state[5], const std::uint8_t* data,
                                                std::size_t blocks)
{
    run<false, columns_of_batch_sse, sha1_dv_candidates_batch_portable, &sha1_dv_confirm_scalar>(
        state, data, blocks);
}

// Where AVX2 is there too, the check runs in its vectors.
TORVANIX_TARGET_SHANI_AVX2 sha1_blocks_done sha1_detect_shani_avx2(std::uint32_t state[5],
                                                                   const std::uint8_t* data,
                                                                   std::size_t blocks)
{
#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
    return with_avx2::run(state, data, blocks);
#else
    return run<true, columns_of_batch_avx2, sha1_dv_candidates_batch_avx2, &sha1_dv_confirm_avx2>(
        state, data, blocks);
#endif
}

TORVANIX_TARGET_SHANI sha1_blocks_done sha1_detect_shani_no_avx2(std::uint32_t state[5],
                                                                 const std::uint8_t* data,
                                                                 std::size_t blocks)
{
#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
    return with_sse::run(state, data, blocks);
#else
    return run<true, columns_of_batch_sse, sha1_dv_candidates_batch_portable,
               &sha1_dv_confirm_scalar>(state, data, blocks);
#endif
}

#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
// Where GFNI is there too, on 256-bit registers.
TORVANIX_TARGET_SHANI_GFNI256 sha1_blocks_done sha1_detect_shani_gfni256(std::uint32_t state[5],
                                                                         const std::uint8_t* data,
                                                                         std::size_t blocks)
{
    return with_gfni256::run(state, data, blocks);
}

// Where AVX-512 and GFNI are there too.
TORVANIX_TARGET_SHANI_AVX512 sha1_blocks_done sha1_detect_shani_avx512(std::uint32_t state[5],
                                                                       const std::uint8_t* data,
                                                                       std::size_t blocks)
{
    return with_avx512::run(state, data, blocks);
}

#endif

#endif
