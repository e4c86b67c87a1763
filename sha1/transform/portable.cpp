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

}  // namespace

void sha1_transform_portable(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t W[80];
        compress(state, data, W);
    }
}

// Blocks are checked in batches of sixteen, two blocks per 64-bit word;
// each block's expanded message is kept until then, for its confirmation.
sha1_blocks_done sha1_detect_portable(std::uint32_t state[5], const std::uint8_t* data,
                                      std::size_t blocks)
{
    std::uint32_t words[sha1_dv_batch_size][80];
    sha1_dv_batch batch;
    for (std::size_t done = 0; done < blocks; data += 64) {
        const int k = batch.count;
        compress(state, data, words[k], batch.before60[k]);
        sha1_dv::columns_of_expanded(words[k], batch.columns, k);
        for (int i = 0; i < 5; ++i) batch.out[k][i] = state[i];
        batch.count_in(data);
        ++done;
        if (batch.count == sha1_dv_batch_size || done == blocks) {
            std::uint32_t candidates[sha1_dv_batch_size];
            sha1_dv_candidates_batch_portable(batch.columns, candidates);
            const int count = batch.count;
            batch.count = 0;
            for (int b = 0; b < count; ++b) {
                if (candidates[b] != 0 &&
                    sha1_dv_collides_from_words(batch.before60[b], words[b], candidates[b],
                                                batch.out[b])) {
                    for (int i = 0; i < 5; ++i) state[i] = batch.out[b][i];
                    return {done - static_cast<std::size_t>(count - 1 - b), true};
                }
            }
        }
    }
    return {blocks, false};
}
