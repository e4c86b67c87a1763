// The confirmation of collision-attack candidates, in every form this
// processor runs, against a word-level model of SHA-1 written here: a block
// whose output is what its partner along a vector gives must be found, and
// only that block.
#include <algorithm>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "sha1/collision/disturbance_vectors.h"
#include "sha1/collision/queue.h"
#include "sha1/cpu_features.h"

namespace {

std::uint32_t rotl(std::uint32_t x, int n) { return n == 0 ? x : x << n | x >> (32 - n); }

std::uint32_t f(int t, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    if (t < 20) return (b & c) | (~b & d);
    if (t >= 40 && t < 60) return (b & c) | (b & d) | (c & d);
    return b ^ c ^ d;
}

const std::uint32_t K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};

void expand(const std::uint32_t* first16, std::uint32_t (&W)[80])
{
    for (int t = 0; t < 80; ++t) {
        W[t] = t < 16 ? first16[t] : rotl(W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16], 1);
    }
}

// A candidate: a block, its state before step 60 and the output handed in.
struct Candidate {
    std::uint8_t bytes[64];
    std::uint32_t before60[5];
    std::uint32_t out[5];
    int v;
};

// A random block along vector v from a random chaining value; with
// `forged`, its output is the one its partner along v gives: the partner's
// chaining input is the shared state before the vector's step run back with
// the partner's words, and its output that input compressed.
Candidate make_candidate(std::mt19937& random, int v, bool forged)
{
    Candidate c{};
    c.v = v;
    std::uint32_t M[16];
    std::uint32_t s[81][5];  // s[t]: state (A..E) before step t
    for (auto& m : M) m = static_cast<std::uint32_t>(random());
    for (auto& x : s[0]) x = static_cast<std::uint32_t>(random());
    for (int t = 0; t < 64; ++t)
        c.bytes[t] = static_cast<std::uint8_t>(M[t / 4] >> (24 - t % 4 * 8));
    const auto compress = [&](const std::uint32_t(&W)[80]) {
        for (int t = 0; t < 80; ++t) {
            const std::uint32_t* p = s[t];
            const std::uint32_t a =
                rotl(p[0], 5) + f(t, p[1], p[2], p[3]) + p[4] + W[t] + K[t / 20];
            const std::uint32_t next[5] = {a, p[0], rotl(p[1], 30), p[2], p[3]};
            std::memcpy(s[t + 1], next, sizeof next);
        }
        for (int i = 0; i < 5; ++i) c.out[i] = s[0][i] + s[80][i];
    };
    std::uint32_t W[80];
    std::uint32_t dm[80];
    std::uint32_t partner[80];
    expand(M, W);
    expand(sha1_disturbance_vectors[v].dm, dm);
    for (int t = 0; t < 80; ++t) partner[t] = W[t] ^ dm[t];
    compress(W);
    std::memcpy(c.before60, s[60], sizeof c.before60);
    if (forged) {
        std::uint32_t back[5];
        std::memcpy(back, s[sha1_disturbance_vectors[v].testt], sizeof back);
        for (int t = sha1_disturbance_vectors[v].testt - 1; t >= 0; --t) {
            const std::uint32_t b = rotl(back[2], 2);
            const std::uint32_t e =
                back[0] - rotl(back[1], 5) - f(t, b, back[3], back[4]) - K[t / 20] - partner[t];
            const std::uint32_t before[5] = {back[1], b, back[3], back[4], e};
            std::memcpy(back, before, sizeof back);
        }
        std::memcpy(s[0], back, sizeof back);
        compress(partner);
    }
    return c;
}

struct Form {
    const char* name;
    const sha1_dv_confirm_form* form;
    int lanes;
};

std::vector<Form> usable_forms()
{
    // The plain form is given several candidates at once too.
    std::vector<Form> forms;
    for (const sha1_dv_confirm_entry& e : sha1_dv_confirm_forms) {
        if (sha1_cpu_has(sha1_read_cpu_features(), e.needs)) {
            forms.push_back({e.name, e.form, std::max(3, e.form->lanes)});
        }
    }
    return forms;
}

// Every vector, in every lane of full and partial queues, among candidates
// along other vectors (starting at 58 and at 65) that do not collide; the
// queue keeps earlier rounds' forged candidates past `count`, which must go
// unreported. With `shared`, lane 1 holds lane 0's block again along another
// vector, in the same slot, and the lanes after it sit one slot lower.
TEST(Confirmation, FindsThePartnerOfEveryVectorInEveryLane)
{
    std::mt19937 random(11);
    for (const Form& form : usable_forms()) {
        SCOPED_TRACE(form.name);
        sha1_dv_queue queue;
        std::vector<Candidate> kept(sha1_dv_queue_size);  // the queue points into their blocks
        for (int count : {1, 2, form.lanes / 2 + 1, form.lanes}) {
            for (int v = 0; v < sha1_dv_count; ++v) {
                for (int lane = 0; lane < count; ++lane) {
                    for (const auto& [forged, shared] :
                         {std::pair{true, false}, std::pair{false, false}, std::pair{true, true}}) {
                        queue.count = 0;
                        for (int l = 0; l < count; ++l) {
                            const int other = (v + 1 + l * 7) % sha1_dv_count;
                            const bool again = shared && l == 1 && lane != 1;
                            Candidate& c = kept[static_cast<std::size_t>(again ? 0 : l)];
                            if (!again) {
                                c = make_candidate(random, l == lane ? v : other,
                                                   l == lane && forged);
                            }
                            // (Never v itself, along which the block does collide.)
                            const int along = again ? (v + 1 + l) % sha1_dv_count : c.v;
                            sha1_dv_queue_push(queue, c.before60, c.bytes, along, c.out,
                                               static_cast<std::size_t>(again ? 0 : l));
                        }
                        const std::uint32_t found = form.form->confirm(queue, count);
                        ASSERT_EQ(found, forged ? std::uint32_t{1} << lane : 0)
                            << "vector " << v << " lane " << lane << " of " << count;
                    }
                }
            }
        }
    }
}

std::uint32_t batch_candidates[sha1_dv_batch_size];

void given_candidates(const sha1_dv_batch_columns&, std::uint32_t (&candidates)[sha1_dv_batch_size])
{
    std::memcpy(candidates, batch_candidates, sizeof batch_candidates);
}

// Two forged blocks of one call, among blocks with several candidates each:
// the check reports the first, with its output, however the queue splits
// them (same drain, different drains, different batches). Where `crowded`
// is 1 the forged blocks pass every vector: their lanes fill the queue more
// than once, and the forged lane comes after a drain, in the block's slot
// made again; where 2, every block passes 0 to 32 vectors. The sixteen-lane
// form's batches go through the backlog too, one confirmation after each
// batch, the rest at the end: lanes wait there across batches.
TEST(Confirmation, StopsAtTheFirstAttackedBlock)
{
    std::mt19937 random(12);
    const int blocks = 40;
    for (const Form& form : usable_forms()) {
        SCOPED_TRACE(form.name);
#if defined(TORVANIX_SHA1_BACKLOG)
        const bool backlog_too = form.form == &sha1_dv_confirm_avx512 && form.lanes == 16;
#else
        const bool backlog_too = false;
#endif
        for (const auto& [attacked, crowded] :
             {std::pair{std::pair{3, 4}, 0}, std::pair{std::pair{5, 9}, 0},
              std::pair{std::pair{15, 16}, 0}, std::pair{std::pair{17, 38}, 0},
              std::pair{std::pair{39, 39}, 0}, std::pair{std::pair{30, 31}, 1},
              std::pair{std::pair{31, 35}, 1}, std::pair{std::pair{7, 30}, 2},
              std::pair{std::pair{22, 23}, 2}, std::pair{std::pair{36, 39}, 2},
              std::pair{std::pair{39, 39}, 2}}) {
            for (const bool through_backlog : {false, backlog_too}) {
                std::vector<Candidate> kept(blocks);
                sha1_dv_batch batch;
                sha1_dv_backlog backlog;
                std::size_t found = 0;
                std::uint32_t state[5] = {};
                for (int b = 0; b < blocks && found == 0; ++b) {
                    const int slot = batch.count;
                    batch_candidates[slot] = 0;
                    for (int n = 0; n < (crowded == 2 ? b * 13 % 33 : b % 4); ++n) {
                        batch_candidates[slot] |= 1u << ((b * 5 + n * 11) % 32);
                    }
                    const bool forged = b == attacked.first || b == attacked.second;
                    if (forged && crowded == 1) batch_candidates[slot] = ~std::uint32_t{0};
                    const int v = forged ? b % sha1_dv_count : 0;
                    kept[b] = make_candidate(random, v, forged);
                    if (forged)
                        batch_candidates[slot] |= 1u << sha1_disturbance_vectors[v].mask_bit;
                    std::memcpy(batch.before60[slot], kept[b].before60, sizeof kept[b].before60);
                    std::memcpy(batch.out[slot], kept[b].out, sizeof kept[b].out);
                    batch.count_in(kept[b].bytes);
                    const auto done = static_cast<std::size_t>(b + 1);
                    if (batch.count != sha1_dv_batch_size && b + 1 != blocks) continue;
                    if (!through_backlog) {
                        found = sha1_dv_check_batch(batch, given_candidates, *form.form, done,
                                                    b + 1 == blocks, state);
                        continue;
                    }
#if defined(TORVANIX_SHA1_BACKLOG)
                    found =
                        sha1_dv_backlog_candidates(backlog, batch, batch_candidates, done, state);
                    if (found == 0) found = sha1_dv_backlog_run(backlog, 1, state);
                    if (found == 0 && b + 1 == blocks)
                        found = sha1_dv_backlog_run(backlog, -1, state);
#endif
                }
                const int first = attacked.first;
                ASSERT_EQ(found, static_cast<std::size_t>(first + 1)) << first << through_backlog;
                EXPECT_EQ(std::memcmp(state, kept[first].out, sizeof state), 0);
            }
        }
    }
}

}  // namespace
