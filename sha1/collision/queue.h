// Internal to the collision check: adding a candidate to the confirmation's
// queue.
#pragma once

#include "sha1/collision/collision.h"
#include "sha1/collision/disturbance_vectors.h"

// A slot for block `block` (64 bytes), compressed with working state
// `before60` before step 60 to `out`; `done` is its 1-based count in the
// call. The lanes pushed after it share it. An empty queue (count 0) starts
// its slots afresh.
inline int sha1_dv_queue_slot(sha1_dv_queue& queue, const std::uint32_t before60[5],
                              const std::uint8_t* block, const std::uint32_t out[5],
                              std::size_t done)
{
    if (queue.count == 0) queue.slots = 0;
    const int s = queue.slots++;
    queue.block[s] = block;
    for (int i = 0; i < 5; ++i) {
        queue.before60[i][s] = before60[i];
        queue.out[i][s] = out[i];
    }
    queue.done[s] = done;
    return s;
}

// Queues the block as a candidate along vector `v` (an index into
// sha1_disturbance_vectors), in the slot of the lane before it where that
// holds the same block.
inline void sha1_dv_queue_push(sha1_dv_queue& queue, const std::uint32_t before60[5],
                               const std::uint8_t* block, int v, const std::uint32_t out[5],
                               std::size_t done)
{
    int s = queue.slots - 1;
    if (queue.count == 0 || queue.block[s] != block || queue.done[s] != done) {
        s = sha1_dv_queue_slot(queue, before60, block, out, done);
    }
    const int l = queue.count++;
    queue.slot[l] = static_cast<std::uint32_t>(s);
    queue.vector[l] = static_cast<std::uint32_t>(v);
}
