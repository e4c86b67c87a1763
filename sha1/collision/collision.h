// Internal to the SHA-1 engine: detection of SHA-1 collision attacks in the
// blocks the engine compresses (counter-cryptanalysis). The transforms reach
// the check through this header alone: they hand it each block's columns
// (taken from their own registers, by the column forms beside them in
// transform/), working state before step 60 and chaining value, in a batch.
//
// Every known collision attack on SHA-1 ends in a near-collision block pair
// built along one of a few disturbance vectors. For one block alone the
// detector asks, per vector: could this block be the second block of such a
// pair (its expanded message meets the vector's bit conditions), and if so,
// does the partner block that the vector implies really collide with it?
//
// The first question costs a few hundred simple operations and rules out
// about 95% of blocks; it is evaluated for all 32 vectors at once, one bit
// per vector, and by the transforms on batches of up to sixteen blocks (in
// vectors of four, eight or sixteen blocks where the processor has them).
// Most transforms spread it over the rounds of the next batch's first
// blocks (the SHA-extension ones in slices, test_slice below and
// transform/spread_loop.h), and the plain and four-block forms stop early
// when every block has failed every vector. The second runs only for the
// vectors that pass it, from the block's working state before step 60,
// which the transforms keep; where the processor has vectors, such
// candidates wait in a queue and are confirmed four, eight or sixteen at
// once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sha1/cpu_features.h"
#include "sha1/target.h"

// The check reads bits {0-7, 28-30} of W[35..64] of a block, as 11 "columns"
// of 30 bits: bit k of column c is bit `column_bit(c)` of W[35 + k].
namespace sha1_dv {
inline constexpr int first_word = 35;
inline constexpr int word_count = 30;
inline constexpr int column_count = 11;
constexpr int column_of(int bit) { return bit < 8 ? bit : bit - 20; }
constexpr int column_bit(int column) { return column < 8 ? column : column + 20; }
}  // namespace sha1_dv

// The candidate mask of an expanded message W[0..79], in plain C++.
std::uint32_t sha1_dv_candidates_portable(const std::uint32_t W[80]);

// Confirms the candidates of a block compressed from `ihv_in` to `ihv_out`
// with expanded message W: true when, along one of them, the partner block
// collides with it, i.e. the block completes a collision attack.
bool sha1_dv_collides(const std::uint32_t ihv_in[5], const std::uint32_t W[80],
                      std::uint32_t candidates, const std::uint32_t ihv_out[5]);

// The same from the block's own working state (A, B, C, D, E) before step
// 60, for transforms that have it at hand.
bool sha1_dv_collides_from(const std::uint32_t before60[5], const std::uint8_t* block,
                           std::uint32_t candidates, const std::uint32_t ihv_out[5]);
// The same with the block's expanded message W at hand.
bool sha1_dv_collides_from_words(const std::uint32_t before60[5], const std::uint32_t W[80],
                                 std::uint32_t candidates, const std::uint32_t ihv_out[5]);

// The most blocks one batch check takes.
inline constexpr int sha1_dv_batch_size = 16;
using sha1_dv_batch_columns = std::uint32_t[sha1_dv::column_count][sha1_dv_batch_size];

// The candidate masks of a batch's blocks, from their columns (columns[c][b]
// is column c of block b): with AVX2, eight blocks in one vector; in plain
// C++, two blocks per 64-bit word or one per 32-bit word.
using sha1_dv_batch_check = void (*)(const sha1_dv_batch_columns& columns,
                                     std::uint32_t (&candidates)[sha1_dv_batch_size]);
void sha1_dv_candidates_batch_portable(const sha1_dv_batch_columns& columns,
                                       std::uint32_t (&candidates)[sha1_dv_batch_size]);
// With SSSE3, four blocks per vector.
void sha1_dv_candidates_batch_ssse3(const sha1_dv_batch_columns& columns,
                                    std::uint32_t (&candidates)[sha1_dv_batch_size]);
void sha1_dv_candidates_batch_avx2(const sha1_dv_batch_columns& columns,
                                   std::uint32_t (&candidates)[sha1_dv_batch_size]);
// With AVX-512 F and VL, eight blocks in a 256-bit vector.
void sha1_dv_candidates_batch_avx512vl(const sha1_dv_batch_columns& columns,
                                       std::uint32_t (&candidates)[sha1_dv_batch_size]);
// With NEON (aarch64), four blocks per vector.
void sha1_dv_candidates_batch_neon(const sha1_dv_batch_columns& columns,
                                   std::uint32_t (&candidates)[sha1_dv_batch_size]);

// Candidates waiting for confirmation, across the batches of one transform
// call, so that a vector form confirms a full vector of them at once. Each
// lane is one (block, vector) pair, in the order the blocks ran; the lanes of
// one block share a slot, which holds what the batch kept of the block (the
// block itself stays where the transform read it), copied once however many
// vectors the block passes, so the batch's places can be reused. Lane or
// slot l of a row is element [row][l].
inline constexpr int sha1_dv_queue_size = 16;
// Room for lanes past a full queue: a block's lanes are written all at once
// where the processor has AVX-512, up to 32 of them after up to 15 others,
// before the first sixteen are confirmed.
inline constexpr int sha1_dv_queue_room = sha1_dv_queue_size + 32;
struct sha1_dv_queue {
    std::uint32_t vector[sha1_dv_queue_room];       // index into sha1_disturbance_vectors
    std::uint32_t slot[sha1_dv_queue_room];         // the lane's block's slot
    const std::uint8_t* block[sha1_dv_queue_size];  // by slot
    std::uint32_t before60[5][sha1_dv_queue_size];  // block's working state before step 60
    std::uint32_t out[5][sha1_dv_queue_size];       // chaining value after the block
    std::size_t done[sha1_dv_queue_size];           // the block's 1-based count in the call
    int count = 0;                                  // lanes
    int slots = 0;
};

// Confirms lanes 0..count-1 of the queue (count at most the form's `lanes`):
// bit l of the result is set when lane l's partner block collides with its
// block. May overwrite lanes count.. with copies of lane 0, as vector
// padding; lanes below count are left as they are.
using sha1_dv_confirm_fn = std::uint32_t (*)(sha1_dv_queue& queue, int count);

// A form of the confirmation: `lanes` candidates (at most
// sha1_dv_queue_size) are queued before a confirmation runs; with one lane, each block's candidates
// are confirmed as they are found, without the queue. Chosen by each transform, at compile time, as
// it chooses the candidate test.
struct sha1_dv_confirm_form {
    int lanes;
    sha1_dv_confirm_fn confirm;
    // Whether a block's lanes are queued all at once with AVX-512 (needs it,
    // and sixteen lanes).
    bool queue_with_avx512 = false;
};
// Plain C++, one candidate at a time.
extern const sha1_dv_confirm_form sha1_dv_confirm_scalar;
// Eight candidates in AVX2 vectors (needs AVX2); sixteen in AVX-512 vectors
// (needs sha1_cpu::avx512vl: F, VL and BW). A queue of a few runs the plain
// confirmation instead. Where the build has no vector form, the plain one.
extern const sha1_dv_confirm_form sha1_dv_confirm_avx2;
extern const sha1_dv_confirm_form sha1_dv_confirm_avx512;
// Four candidates in SSE vectors (needs SSSE3).
extern const sha1_dv_confirm_form sha1_dv_confirm_ssse3;
#if defined(TORVANIX_SHA1_ARM64)
// Four candidates in NEON vectors.
extern const sha1_dv_confirm_form sha1_dv_confirm_neon;
#endif

// Every form of the candidate test and of the confirmation, with the
// processor features it needs (sha1_cpu), for the tests to compare with
// the plain ones. A new form is its file, its declaration above and its row
// here; the transform that uses it names it.
struct sha1_dv_check_entry {
    const char* name;
    unsigned needs;
    sha1_dv_batch_check check;
};
inline constexpr sha1_dv_check_entry sha1_dv_check_forms[] = {
    {"portable", 0, sha1_dv_candidates_batch_portable},
    {"ssse3", sha1_cpu::ssse3, sha1_dv_candidates_batch_ssse3},
    {"avx2", sha1_cpu::avx2, sha1_dv_candidates_batch_avx2},
    {"avx512vl", sha1_cpu::avx512vl, sha1_dv_candidates_batch_avx512vl},
#if defined(TORVANIX_SHA1_ARM64)
    {"neon", 0, sha1_dv_candidates_batch_neon},
#endif
};
struct sha1_dv_confirm_entry {
    const char* name;
    unsigned needs;
    const sha1_dv_confirm_form* form;
};
inline constexpr sha1_dv_confirm_entry sha1_dv_confirm_forms[] = {
    {"scalar", 0, &sha1_dv_confirm_scalar},
    {"ssse3", sha1_cpu::ssse3, &sha1_dv_confirm_ssse3},
    {"avx2", sha1_cpu::avx2, &sha1_dv_confirm_avx2},
    {"avx512", sha1_cpu::avx512vl, &sha1_dv_confirm_avx512},
#if defined(TORVANIX_SHA1_ARM64)
    {"neon", 0, &sha1_dv_confirm_neon},
#endif
};

// Blocks compressed but not yet checked, up to sha1_dv_batch_size: what the batch check
// and the confirmation need of each. A transform writes block `count`'s
// columns, state before step 60 and chaining value straight into place, then
// counts the block in; it checks the batch when it is full or its input ends.
// One batch serves a whole transform call: its queue holds the candidates
// not confirmed yet.
struct sha1_dv_batch {
    sha1_dv_batch_columns columns = {};             // [c][b]: column c of block b
    std::uint32_t before60[sha1_dv_batch_size][5];  // working state before step 60
    std::uint32_t out[sha1_dv_batch_size][5];       // chaining value after the block
    const std::uint8_t* block[sha1_dv_batch_size];
    int count = 0;
    sha1_dv_queue queue;

    void count_in(const std::uint8_t* data) { block[count++] = data; }
};

// Candidates waiting for confirmation while later blocks are compressed,
// where the processor has AVX-512: lanes in the order their blocks ran,
// each block a slot as in sha1_dv_queue. A transform confirms sixteen of
// them beside the rounds of each block it compresses after them, rather
// than all of a batch's at once between two blocks: the rounds, a chain of
// latencies, then overlap with the confirmations. Fewer than sixteen wait
// for the next batch's lanes or the end of the call, as in the queue. Room
// for those and for a batch whose every block passes every vector, and for
// the padding of the last confirmation; slot rows are read sixteen at a
// time from any slot.
// (The functions below are built for x86 with GCC or Clang.)
#if defined(TORVANIX_SHA1_X86) && defined(__GNUC__)
#define TORVANIX_SHA1_BACKLOG 1
#endif
inline constexpr int sha1_dv_backlog_room = 32 * sha1_dv_batch_size + 2 * sha1_dv_queue_size;
inline constexpr int sha1_dv_backlog_slots = sha1_dv_batch_size + sha1_dv_queue_size;
inline constexpr int sha1_dv_backlog_row = sha1_dv_backlog_slots + sha1_dv_queue_size;
struct sha1_dv_backlog {
    std::uint32_t vector[sha1_dv_backlog_room];
    std::uint32_t slot[sha1_dv_backlog_room];
    const std::uint8_t* block[sha1_dv_backlog_row];
    std::uint32_t before60[5][sha1_dv_backlog_row];
    std::uint32_t out[5][sha1_dv_backlog_row];
    std::size_t done[sha1_dv_backlog_slots];
    int count = 0;  // lanes
    int head = 0;   // the first lane not confirmed yet
    int slots = 0;

    // Confirmations of sixteen lanes waiting.
    int full() const { return (count - head) / sha1_dv_queue_size; }
};

// Sixteen lanes to confirm at once: their vectors and slots (below
// sixteen); slot s's block is block[s], its states column s of the five
// rows of `before60` and `out`, `stride` words apart (sixteen words are read
// from each row).
struct sha1_dv_sixteen {
    const std::uint32_t* vector;
    std::uint32_t slot[sha1_dv_queue_size];
    const std::uint8_t* const* block;
    int slots;
    const std::uint32_t* before60;
    const std::uint32_t* out;
    int stride;
};

// Confirms them with AVX-512 (x86 builds with GCC or Clang; needs
// sha1_cpu::avx512vl), as sha1_dv_confirm_avx512 confirms a full queue: bit l
// of the result is set when lane l's partner collides with its block.
std::uint32_t sha1_dv_confirm_sixteen(const sha1_dv_sixteen& lanes);

// The backlog's next sixteen lanes (when full() is not 0), then counted as
// confirmed.
sha1_dv_sixteen sha1_dv_backlog_next(sha1_dv_backlog& backlog);
// What their confirmation found, `collide` a bit per lane: returns and
// writes as sha1_dv_check_batch.
std::size_t sha1_dv_backlog_found(sha1_dv_backlog& backlog, std::uint32_t collide,
                                  std::uint32_t state[5]);

// Adds the candidates of `batch` (as sha1_dv_queue_candidates) to the
// backlog; any full confirmations still waiting are run first. Returns and
// writes as sha1_dv_check_batch for what had to be confirmed now.
std::size_t sha1_dv_backlog_candidates(sha1_dv_backlog& backlog, sha1_dv_batch& batch,
                                       const std::uint32_t (&candidates)[sha1_dv_batch_size],
                                       std::size_t done, std::uint32_t state[5]);
// Runs up to `confirmations` confirmations of sixteen lanes; when negative,
// confirms every lane, as at the end of a call. Returns and writes as
// sha1_dv_check_batch. (A transform may run them itself, beside its
// rounds, through sha1_dv_backlog_next and sha1_dv_backlog_found.)
std::size_t sha1_dv_backlog_run(sha1_dv_backlog& backlog, int confirmations,
                                std::uint32_t state[5]);

// Checks and empties the batch, whose last block is the `done`-th block a
// transform has run in this call, and confirms its candidates with the form
// `confirm`: those that fill the queue at once, the rest when the queue is
// full or, with `last` (the call's input ends with this batch), now. If a
// block completes a collision attack, writes the chaining value after the
// first such block of the call into `state` and returns how many blocks of
// the call that is; otherwise returns 0. Blocks after it have run already;
// their results are dropped.
// Lanes past `count` are checked on whatever columns an earlier batch left
// there, and their results unread.
std::size_t sha1_dv_check_batch(sha1_dv_batch& batch, sha1_dv_batch_check check,
                                const sha1_dv_confirm_form& confirm, std::size_t done, bool last,
                                std::uint32_t state[5]);

// The same for a transform that has run the batch check itself, with the
// batch's candidates, through `queue` (the batch's own or one the transform
// keeps for the call).
std::size_t sha1_dv_queue_candidates(sha1_dv_queue& queue, sha1_dv_batch& batch,
                                     const std::uint32_t (&candidates)[sha1_dv_batch_size],
                                     const sha1_dv_confirm_form& confirm, std::size_t done,
                                     bool last, std::uint32_t state[5]);

// The same given `with`, whose bit b is set where block b has candidates
// (and is below the batch's count): the blocks without are not looked at.
std::size_t sha1_dv_queue_blocks(sha1_dv_queue& queue, sha1_dv_batch& batch,
                                 const std::uint32_t (&candidates)[sha1_dv_batch_size],
                                 unsigned with, const sha1_dv_confirm_form& confirm,
                                 std::size_t done, bool last, std::uint32_t state[5]);

// Confirms what `queue` holds now, as at the end of a call; returns and
// writes as sha1_dv_check_batch.
std::size_t sha1_dv_drain_queue(sha1_dv_queue& queue, const sha1_dv_confirm_form& confirm,
                                std::uint32_t state[5]);

// For transforms that spread a batch's candidate test over the rounds of
// the next batch, on vectors of 32-bit elements (one block per element):
// the test in sha1_dv::test_slices slices, sha1_dv::test_slice<Word, S>;
// the first sha1_dv::family_slices read the columns. Templates, to be
// inlined into the transform, so defined with the test itself.
#include "sha1/collision/candidates.h"
