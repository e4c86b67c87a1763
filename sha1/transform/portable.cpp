// Portable SHA-1 compression function: the full 80-word message schedule is
// built first, then the 80 rounds run over it.
#include <utility>

#include "sha1/collision/collision.h"
#include "sha1/expand.h"
#include "sha1/rounds.h"
#include "sha1/transform.h"

namespace {

template <int... T>
inline void eighty_rounds(std::integer_sequence<int, T...>, std::uint32_t (&v)[5],
                          const std::uint32_t (&W)[80])
{
    (sha1_rounds::round<T>(v, W[T] + sha1_rounds::constant<T>), ...);
}

}  // namespace

namespace {

// Expands the block at `data` into W and compresses it into `state`.
inline void compress(std::uint32_t state[5], const std::uint8_t* data, std::uint32_t (&W)[80])
{
    sha1_expand(data, W);

    std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
    eighty_rounds(std::make_integer_sequence<int, 80>{}, v, W);
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

sha1_blocks_done sha1_detect_portable(std::uint32_t state[5], const std::uint8_t* data,
                                      std::size_t blocks)
{
    for (std::size_t done = 0; done < blocks; data += 64) {
        const std::uint32_t in[5] = {state[0], state[1], state[2], state[3], state[4]};
        std::uint32_t W[80];
        compress(state, data, W);
        ++done;
        const std::uint32_t candidates = sha1_dv_candidates_portable(W);
        if (candidates != 0 && sha1_dv_collides(in, W, candidates, state)) {
            return {done, true};
        }
    }
    return {blocks, false};
}
