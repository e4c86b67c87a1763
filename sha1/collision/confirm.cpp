// Confirmation of collision-attack candidates in plain C++: rebuilds the
// partner block that a disturbance vector implies and tests whether the two
// collide.
#include "sha1/collision/collision.h"
#include "sha1/collision/differences.h"
#include "sha1/collision/disturbance_vectors.h"
#include "sha1/collision/steps.h"

#include <utility>

#include "sha1/expand.h"

namespace {

using state = sha1_dv::state<std::uint32_t>;
using sha1_dv::backwards;
using sha1_dv::forwards;

// Whether the partner block along vector `v` (whose check starts before step
// Testt, from the block's own state there) collides with the block.
template <int Testt>
bool partner_collides(const state& start, const std::uint32_t W[80], int v,
                      const std::uint32_t ihv_out[5])
{
    std::uint32_t partner[80];
    for (int t = 0; t < 80; ++t) partner[t] = W[t] ^ sha1_dv_differences.dm[v][t];
    const state out = {ihv_out[0], ihv_out[1], ihv_out[2], ihv_out[3], ihv_out[4]};
    return sha1_dv::final_differs<Testt>(start, partner, out) == 0;
}

constexpr bool checks_start_at_58_or_65()
{
    for (const sha1_disturbance_vector& dv : sha1_disturbance_vectors) {
        if (dv.testt != 58 && dv.testt != 65) return false;
    }
    return true;
}
static_assert(checks_start_at_58_or_65(), "the confirmation keeps the states before 58 and 65");

// Tries the candidates in vector order from the block's states before
// steps 58 and 65.
bool any_partner_collides(const state& before58, const state& before65, const std::uint32_t W[80],
                          std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    for (int v = 0; v < sha1_dv_count; ++v) {
        const sha1_disturbance_vector& dv = sha1_disturbance_vectors[v];
        if ((candidates >> dv.mask_bit & 1) == 0) continue;
        if (dv.testt == 58 ? partner_collides<58>(before58, W, v, ihv_out)
                           : partner_collides<65>(before65, W, v, ihv_out)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool sha1_dv_collides(const std::uint32_t ihv_in[5], const std::uint32_t W[80],
                      std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    state before58 = {ihv_in[0], ihv_in[1], ihv_in[2], ihv_in[3], ihv_in[4]};
    forwards<0>(before58, W, std::make_integer_sequence<int, 58>{});
    state before65 = before58;
    forwards<58>(before65, W, std::make_integer_sequence<int, 7>{});
    return any_partner_collides(before58, before65, W, candidates, ihv_out);
}

bool sha1_dv_collides_from_words(const std::uint32_t before60[5], const std::uint32_t W[80],
                                 std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    const state start = {before60[0], before60[1], before60[2], before60[3], before60[4]};
    state before58 = start;
    backwards<58>(before58, W, std::make_integer_sequence<int, 2>{});
    state before65 = start;
    forwards<60>(before65, W, std::make_integer_sequence<int, 5>{});
    return any_partner_collides(before58, before65, W, candidates, ihv_out);
}

bool sha1_dv_collides_from(const std::uint32_t before60[5], const std::uint8_t* block,
                           std::uint32_t candidates, const std::uint32_t ihv_out[5])
{
    std::uint32_t W[80];
    sha1_expand(block, W);
    return sha1_dv_collides_from_words(before60, W, candidates, ihv_out);
}

namespace {

// Whether the candidate in lane `l` of the queue collides, in plain C++.
bool lane_collides(const sha1_dv_queue& queue, int l)
{
    const std::uint32_t s = queue.slot[l];
    std::uint32_t W[80];
    sha1_expand(queue.block[s], W);
    const int v = static_cast<int>(queue.vector[l]);
    std::uint32_t out[5];
    for (int i = 0; i < 5; ++i) out[i] = queue.out[i][s];
    state start = {queue.before60[0][s], queue.before60[1][s], queue.before60[2][s],
                   queue.before60[3][s], queue.before60[4][s]};
    if (sha1_disturbance_vectors[v].testt == 58) {
        backwards<58>(start, W, std::make_integer_sequence<int, 2>{});
        return partner_collides<58>(start, W, v, out);
    }
    forwards<60>(start, W, std::make_integer_sequence<int, 5>{});
    return partner_collides<65>(start, W, v, out);
}

std::uint32_t confirm_scalar(sha1_dv_queue& queue, int count)
{
    std::uint32_t collide = 0;
    for (int l = 0; l < count; ++l) {
        if (lane_collides(queue, l)) collide |= std::uint32_t{1} << l;
    }
    return collide;
}

}  // namespace

const sha1_dv_confirm_form sha1_dv_confirm_scalar = {1, confirm_scalar};
