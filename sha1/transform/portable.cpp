// Portable SHA-1 compression function: the full 80-word message schedule is
// built first, then the 80 rounds run over it.
#include <utility>

#include "sha1/collision/collision.h"
#include "sha1/expand.h"
#include "sha1/rounds.h"
#include "sha1/transform.h"

namespace {

template <int First, int... T>
inline void rounds(std::integer_sequence<int, T...>, std::uint32_t (&v)[5],
                   const std::uint32_t (&W)[80])
{
    (sha1_rounds::round<First + T>(v, W[First + T] + sha1_rounds::constant<First + T>), ...);
}

// Expands the block at `data` into W and compresses it into `state`; with
// `before60`, keeps the working state before step 60 there.
inline void compress(std::uint32_t state[5], const std::uint8_t* data, std::uint32_t (&W)[80],
                     std::uint32_t* before60 = nullptr)
{
    sha1_expand(data, W);

    std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
    rounds<0>(std::make_integer_sequence<int, 60>{}, v, W);
    if (before60 != nullptr) {
        for (int i = 0; i < 5; ++i) before60[i] = v[i];  // A is v[0] in round 60
    }
    rounds<60>(std::make_integer_sequence<int, 20>{}, v, W);
    for (int i = 0; i < 5; ++i) {
        state[i] += v[i];
    }
}

// A batch of blocks, with each block's expanded message kept for its
// confirmation. Its check runs while the next batch fills, a quarter after
// each of that batch's first four blocks, where the processor overlaps it
// with their rounds; at the end of a batch it would wait for the rounds and
// they for it.
struct checked_batch {
    sha1_dv_batch batch;
    std::uint32_t words[sha1_dv_batch_size][80];
    std::uint32_t candidates[sha1_dv_batch_size];
    std::size_t done;  // blocks of the call up to the batch's last one
};
constexpr int check_parts = 4;

// Part `part` of the check of `b`: the candidate test of blocks 4 * part to
// 4 * part + 3 (where every processor of the target has vector registers,
// four blocks per vector of 32-bit words, with the early exit; else the
// whole batch's, two blocks per 64-bit word, in part 0) and the confirmation of those with
// candidates. If one completes a collision attack, writes the chaining
// value after it into `state` and returns its count in the call, else 0.
inline std::size_t check_part(checked_batch& b, int part, std::uint32_t state[5])
{
#if defined(TORVANIX_SHA1_BASELINE_VECTORS)
    sha1_dv::candidates_of_four(b.batch.columns, 4 * part, b.candidates + 4 * part);
#else
    if (part == 0) sha1_dv_candidates_batch_portable(b.batch.columns, b.candidates);
#endif
    const int count = b.batch.count;
    for (int k = 4 * part; k < 4 * part + 4 && k < count; ++k) {
        if (b.candidates[k] != 0 && sha1_dv_collides_from_words(b.batch.before60[k], b.words[k],
                                                                b.candidates[k], b.batch.out[k])) {
            for (int i = 0; i < 5; ++i) state[i] = b.batch.out[k][i];
            return b.done - static_cast<std::size_t>(count - 1 - k);
        }
    }
    return 0;
}

}  // namespace

void sha1_transform_portable(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t W[80];
        compress(state, data, W);
    }
}

// Blocks are checked in batches of sixteen (see checked_batch).
sha1_blocks_done sha1_detect_portable(std::uint32_t state[5], const std::uint8_t* data,
                                      std::size_t blocks)
{
    checked_batch batches[2];
    checked_batch* filling = &batches[0];
    checked_batch* checking = &batches[1];
    int next_part = check_parts;  // of checking's check, still to run
    for (std::size_t done = 0; done < blocks; data += 64) {
        sha1_dv_batch& batch = filling->batch;
        const int k = batch.count;
        compress(state, data, filling->words[k], batch.before60[k]);
        sha1_dv::columns_of_expanded(filling->words[k], batch.columns, k);
        for (int i = 0; i < 5; ++i) batch.out[k][i] = state[i];
        batch.count_in(data);
        ++done;
        if (next_part < check_parts) {
            if (const std::size_t upto = check_part(*checking, next_part++, state)) {
                return {upto, true};
            }
        }
        if (batch.count == sha1_dv_batch_size) {
            filling->done = done;
            std::swap(filling, checking);
            filling->batch.count = 0;
            next_part = 0;
        }
    }
    // The rest of the last full batch's check, then the blocks after it.
    for (; next_part < check_parts; ++next_part) {
        if (const std::size_t upto = check_part(*checking, next_part, state)) return {upto, true};
    }
    if (filling->batch.count != 0) {
        filling->done = blocks;
        for (int part = 0; part < check_parts; ++part) {
            if (const std::size_t upto = check_part(*filling, part, state)) return {upto, true};
        }
    }
    return {blocks, false};
}
