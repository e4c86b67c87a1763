// The batch check's driver: runs a batch's candidate test, queues its
// candidates and has them confirmed when the queue is full or the input
// ends, reporting the first block that completes a collision attack.
#include "sha1/collision/queue.h"

#include <bit>

// Where the backlog is built (x86 with GCC or Clang), so is the AVX-512
// queueing.
#if defined(TORVANIX_SHA1_BACKLOG)
#include <immintrin.h>
#endif

namespace {

// The vector whose candidate bit is bit k of the mask.
struct vector_by_mask_bit {
    std::uint8_t v[32];
    constexpr std::uint8_t operator[](int bit) const { return v[bit]; }
};

constexpr vector_by_mask_bit make_vector_by_mask_bit()
{
    vector_by_mask_bit table{};
    for (int v = 0; v < sha1_dv_count; ++v) {
        table.v[sha1_disturbance_vectors[v].mask_bit] = static_cast<std::uint8_t>(v);
    }
    return table;
}

constexpr vector_by_mask_bit mask_bit_vector = make_vector_by_mask_bit();

// The same as 32-bit words, for vector loads.
struct vector_words_by_mask_bit {
    std::uint32_t v[32];
};

constexpr vector_words_by_mask_bit make_vector_words_by_mask_bit()
{
    vector_words_by_mask_bit table{};
    for (int bit = 0; bit < 32; ++bit) table.v[bit] = mask_bit_vector[bit];
    return table;
}

constexpr vector_words_by_mask_bit mask_bit_vector_words = make_vector_words_by_mask_bit();

// Confirms the queue's candidates; if one collides, writes the chaining
// value after the first one's block into `state` and returns its count.
std::size_t drain(sha1_dv_queue& queue, const sha1_dv_confirm_form& form, std::uint32_t state[5])
{
    const int count = queue.count;
    queue.count = 0;
    const std::uint32_t collide = form.confirm(queue, count);
    if (collide == 0) return 0;
    const std::uint32_t s = queue.slot[std::countr_zero(collide)];
    for (int i = 0; i < 5; ++i) state[i] = queue.out[i][s];
    return queue.done[s];
}

#if defined(TORVANIX_SHA1_BACKLOG)

// Writes a block's lanes, one per bit of `left`, from lane `l` on, with two
// compressions of the vectors by mask bit and two stores of its slot `s`
// (up to 32 lanes past `l`); returns the lane after them. (The compression
// into memory is far slower than into a register here.)
TORVANIX_TARGET_AVX512VL TORVANIX_ALWAYS_INLINE int write_lanes(std::uint32_t* vector,
                                                                std::uint32_t* slot, int l,
                                                                std::uint32_t left, int s)
{
    const __m512i low = _mm512_loadu_si512(mask_bit_vector_words.v);
    const __m512i high = _mm512_loadu_si512(mask_bit_vector_words.v + 16);
    const auto low_bits = static_cast<__mmask16>(left);
    const auto high_bits = static_cast<__mmask16>(left >> 16);
    _mm512_storeu_si512(vector + l, _mm512_maskz_compress_epi32(low_bits, low));
    _mm512_storeu_si512(vector + l + std::popcount(low_bits),
                        _mm512_maskz_compress_epi32(high_bits, high));
    const __m512i slots = _mm512_set1_epi32(s);
    _mm512_storeu_si512(slot + l, slots);
    _mm512_storeu_si512(slot + l + 16, slots);
    return l + std::popcount(left);
}

// sha1_dv_queue_blocks for the sixteen-lane AVX-512 form: each block's
// lanes are written with two compressions of the vectors by mask bit and
// two stores of its slot, up to 32 lanes past the queue's count (the
// queue's room); whole queues of them are then confirmed, and the block's
// lanes left over move to the front, in a slot of their own.
TORVANIX_TARGET_AVX512VL std::size_t queue_blocks_avx512(
    sha1_dv_queue& queue, sha1_dv_batch& batch,
    const std::uint32_t (&candidates)[sha1_dv_batch_size], unsigned with,
    const sha1_dv_confirm_form& confirm, std::size_t first, bool last, std::uint32_t state[5])
{
    constexpr int lanes = sha1_dv_queue_size;
    for (; with != 0; with &= with - 1) {
        const int b = std::countr_zero(with);
        const std::uint32_t left = candidates[b];
        const std::size_t block_done = first + static_cast<std::size_t>(b);
        const int s =
            sha1_dv_queue_slot(queue, batch.before60[b], batch.block[b], batch.out[b], block_done);
        int l = write_lanes(queue.vector, queue.slot, queue.count, left, s);
        while (l >= lanes) {
            queue.count = lanes;
            if (const std::size_t upto = drain(queue, confirm, state)) return upto;
            l -= lanes;
            if (l == 0) break;
            const int again = sha1_dv_queue_slot(queue, batch.before60[b], batch.block[b],
                                                 batch.out[b], block_done);
            _mm512_storeu_si512(queue.vector, _mm512_loadu_si512(queue.vector + lanes));
            _mm512_storeu_si512(queue.vector + 16, _mm512_loadu_si512(queue.vector + lanes + 16));
            _mm512_storeu_si512(queue.slot, _mm512_set1_epi32(again));
            _mm512_storeu_si512(queue.slot + 16, _mm512_set1_epi32(again));
        }
        queue.count = l;
    }
    if (last && queue.count != 0) return drain(queue, confirm, state);
    return 0;
}

// Appends a batch's blocks' lanes and slots to the backlog, as
// queue_blocks_avx512 does to a queue.
TORVANIX_TARGET_AVX512VL void backlog_blocks_avx512(
    sha1_dv_backlog& backlog, sha1_dv_batch& batch,
    const std::uint32_t (&candidates)[sha1_dv_batch_size], unsigned with, std::size_t first)
{
    int l = backlog.count;
    int s = backlog.slots;
    for (; with != 0; with &= with - 1, ++s) {
        const int b = std::countr_zero(with);
        const std::uint32_t left = candidates[b];
        backlog.block[s] = batch.block[b];
        for (int i = 0; i < 5; ++i) {
            backlog.before60[i][s] = batch.before60[b][i];
            backlog.out[i][s] = batch.out[b][i];
        }
        backlog.done[s] = first + static_cast<std::size_t>(b);
        l = write_lanes(backlog.vector, backlog.slot, l, left, s);
    }
    backlog.count = l;
    backlog.slots = s;
}

#endif

}  // namespace

#if defined(TORVANIX_SHA1_BACKLOG)

std::size_t sha1_dv_backlog_candidates(sha1_dv_backlog& backlog, sha1_dv_batch& batch,
                                       const std::uint32_t (&candidates)[sha1_dv_batch_size],
                                       std::size_t done, std::uint32_t state[5])
{
    const int count = batch.count;
    batch.count = 0;
    unsigned with = 0;
    for (int b = 0; b < count; ++b) {
        if (candidates[b] != 0) with |= 1u << b;
    }
    if (with == 0) return 0;
    if (const int full = backlog.full()) {
        if (const std::size_t upto = sha1_dv_backlog_run(backlog, full, state)) return upto;
    }
    // The lanes left, fewer than sixteen, and their slots to the front,
    // once sixteen have been confirmed since the last time: before, the
    // lanes and slots waiting are fewer than sixteen and the batch's fit
    // after them.
    if (const int h = backlog.head; h != 0) {
        const int left = backlog.count - h;
        const int s0 = left != 0 ? static_cast<int>(backlog.slot[h]) : backlog.slots;
        for (int l = 0; l < left; ++l) {
            backlog.vector[l] = backlog.vector[h + l];
            backlog.slot[l] = backlog.slot[h + l] - static_cast<std::uint32_t>(s0);
        }
        for (int s = s0; s < backlog.slots; ++s) {
            backlog.block[s - s0] = backlog.block[s];
            for (int i = 0; i < 5; ++i) {
                backlog.before60[i][s - s0] = backlog.before60[i][s];
                backlog.out[i][s - s0] = backlog.out[i][s];
            }
            backlog.done[s - s0] = backlog.done[s];
        }
        backlog.slots -= s0;
        backlog.count = left;
        backlog.head = 0;
    }
    backlog_blocks_avx512(backlog, batch, candidates, with,
                          done + 1 - static_cast<std::size_t>(count));
    return 0;
}

sha1_dv_sixteen sha1_dv_backlog_next(sha1_dv_backlog& backlog)
{
    // The lanes' slots span at most sixteen from the first one's.
    const int h = backlog.head;
    const int s0 = static_cast<int>(backlog.slot[h]);
    sha1_dv_sixteen lanes;
    lanes.vector = backlog.vector + h;
    for (int l = 0; l < sha1_dv_queue_size; ++l) {
        lanes.slot[l] = backlog.slot[h + l] - static_cast<std::uint32_t>(s0);
    }
    lanes.block = backlog.block + s0;
    lanes.slots = backlog.slots - s0;
    lanes.before60 = backlog.before60[0] + s0;
    lanes.out = backlog.out[0] + s0;
    lanes.stride = sha1_dv_backlog_row;
    backlog.head = h + sha1_dv_queue_size;
    return lanes;
}

std::size_t sha1_dv_backlog_found(sha1_dv_backlog& backlog, std::uint32_t collide,
                                  std::uint32_t state[5])
{
    if (collide == 0) return 0;
    // The first attacked lane's block: the chaining value after it, and its
    // count in the call. Nothing after it is confirmed.
    const std::uint32_t s =
        backlog.slot[backlog.head - sha1_dv_queue_size + std::countr_zero(collide)];
    for (int i = 0; i < 5; ++i) state[i] = backlog.out[i][s];
    backlog.head = backlog.count;
    return backlog.done[s];
}

std::size_t sha1_dv_backlog_run(sha1_dv_backlog& backlog, int confirmations, std::uint32_t state[5])
{
    for (; confirmations != 0 && backlog.full() != 0; --confirmations) {
        const std::uint32_t collide = sha1_dv_confirm_sixteen(sha1_dv_backlog_next(backlog));
        if (const std::size_t upto = sha1_dv_backlog_found(backlog, collide, state)) return upto;
    }
    const int h = backlog.head;
    const int n = backlog.count - h;
    if (confirmations >= 0 || n == 0) return 0;
    // The last few, at the end of the call, made sixteen with copies of the
    // first of them (the backlog has room for that padding).
    for (int l = n; l < sha1_dv_queue_size; ++l) {
        backlog.vector[h + l] = backlog.vector[h];
        backlog.slot[h + l] = backlog.slot[h];
    }
    backlog.count = h + sha1_dv_queue_size;
    const std::uint32_t collide = sha1_dv_confirm_sixteen(sha1_dv_backlog_next(backlog));
    return sha1_dv_backlog_found(backlog, collide & ((std::uint32_t{1} << n) - 1), state);
}

#endif

std::size_t sha1_dv_check_batch(sha1_dv_batch& batch, sha1_dv_batch_check check,
                                const sha1_dv_confirm_form& confirm, std::size_t done, bool last,
                                std::uint32_t state[5])
{
    std::uint32_t candidates[sha1_dv_batch_size];
    check(batch.columns, candidates);
    return sha1_dv_queue_candidates(batch.queue, batch, candidates, confirm, done, last, state);
}

std::size_t sha1_dv_queue_candidates(sha1_dv_queue& queue, sha1_dv_batch& batch,
                                     const std::uint32_t (&candidates)[sha1_dv_batch_size],
                                     const sha1_dv_confirm_form& confirm, std::size_t done,
                                     bool last, std::uint32_t state[5])
{
    unsigned with = 0;
    const int count = batch.count;
    for (int b = 0; b < count; ++b) {
        if (candidates[b] != 0) with |= 1u << b;
    }
    return sha1_dv_queue_blocks(queue, batch, candidates, with, confirm, done, last, state);
}

std::size_t sha1_dv_queue_blocks(sha1_dv_queue& queue, sha1_dv_batch& batch,
                                 const std::uint32_t (&candidates)[sha1_dv_batch_size],
                                 unsigned with, const sha1_dv_confirm_form& confirm,
                                 std::size_t done, bool last, std::uint32_t state[5])
{
    // Block b is the call's (first + b)-th.
    const std::size_t first = done + 1 - static_cast<std::size_t>(batch.count);
    batch.count = 0;
    if (confirm.lanes <= 1) {
        // One block at a time: its words expanded once for all its candidates.
        for (; with != 0; with &= with - 1) {
            const int b = std::countr_zero(with);
            if (sha1_dv_collides_from(batch.before60[b], batch.block[b], candidates[b],
                                      batch.out[b])) {
                for (int i = 0; i < 5; ++i) state[i] = batch.out[b][i];
                return first + static_cast<std::size_t>(b);
            }
        }
        return 0;
    }
#if defined(TORVANIX_SHA1_BACKLOG)
    if (confirm.queue_with_avx512) {
        return queue_blocks_avx512(queue, batch, candidates, with, confirm, first, last, state);
    }
#endif
    const int lanes = confirm.lanes < sha1_dv_queue_size ? confirm.lanes : sha1_dv_queue_size;
    for (; with != 0; with &= with - 1) {
        const int b = std::countr_zero(with);
        std::uint32_t left = candidates[b];
        // The block's slot once, then a lane per vector; the lane count kept
        // here, where the stores into the queue cannot change it.
        const std::size_t block_done = first + static_cast<std::size_t>(b);
        int s =
            sha1_dv_queue_slot(queue, batch.before60[b], batch.block[b], batch.out[b], block_done);
        int l = queue.count;
        do {
            const int bit = std::countr_zero(left);
            left &= left - 1;
            queue.vector[l] = mask_bit_vector[bit];
            queue.slot[l] = static_cast<std::uint32_t>(s);
            if (++l == lanes) {
                queue.count = l;
                if (const std::size_t upto = drain(queue, confirm, state)) return upto;
                l = 0;
                if (left != 0) {
                    s = sha1_dv_queue_slot(queue, batch.before60[b], batch.block[b], batch.out[b],
                                           block_done);
                }
            }
        } while (left != 0);
        queue.count = l;
    }
    if (last && queue.count != 0) return drain(queue, confirm, state);
    return 0;
}

std::size_t sha1_dv_drain_queue(sha1_dv_queue& queue, const sha1_dv_confirm_form& confirm,
                                std::uint32_t state[5])
{
    return queue.count != 0 ? drain(queue, confirm, state) : 0;
}
