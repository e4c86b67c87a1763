// Internal to the SHA-extension transform: the detecting loop that spreads
// each batch's collision check over the next batch's blocks. Included once
// per vector form, inside a namespace that names the form `form`, with
// TORVANIX_SPREAD_TARGET set to the form's instruction sets: GCC and Clang
// inline a function only into one compiled for at least its instruction
// sets, and the loop must inline both the rounds and the form's work.
//
// `form` gives: `slices`, the number of slices of a batch's check;
// `scratch`, what the slices keep between them; `add_columns`, which takes
// a block's columns from its message groups (or, with `finish_columns`,
// later); `slice<K>`, which runs slice K and, the last, writes the
// candidates and says whether there are any; `confirm`, the confirmation's
// form; `kept_at_once`, whether the rounds store the values the check keeps
// as soon as they are made; `overlap`, whether candidates wait in a backlog
// (sha1_dv_backlog), confirmed a few at a time after each block rather than
// all of a batch's at once.
// (No include guard: meant to be included more than once.)

// A batch, and its check while it runs. The states the confirmation starts
// from are kept as the registers held them and written out only for
// batches that have candidates.
struct spread_batch {
    sha1_dv_batch batch;
    form::scratch scratch;
    __m128i abcd56[sha1_dv_batch_size];  // A..D after rounds 56 and 60
    __m128i abcd60[sha1_dv_batch_size];
    __m128i abcd_out[sha1_dv_batch_size];  // the chaining value after the block
    __m128i e_out[sha1_dv_batch_size];
    std::uint32_t candidates[sha1_dv_batch_size];
    std::size_t done;  // blocks of the call compressed up to its last one
};

// For the forms without a backlog: nothing waits there.
struct no_backlog {
    int full() const { return 0; }
};
inline std::size_t sha1_dv_backlog_run(no_backlog&, int, std::uint32_t*) { return 0; }
inline sha1_dv_sixteen sha1_dv_backlog_next(no_backlog&) { return {}; }
inline std::size_t sha1_dv_backlog_found(no_backlog&, std::uint32_t, std::uint32_t*) { return 0; }
inline std::size_t sha1_dv_backlog_candidates(no_backlog&, sha1_dv_batch&,
                                              const std::uint32_t (&)[sha1_dv_batch_size],
                                              std::size_t, std::uint32_t*)
{
    return 0;
}
using backlog_type = std::conditional_t<form::overlap, sha1_dv_backlog, no_backlog>;

// Slice K of `b`'s check; the last one queues the candidates, confirming
// them when the queue is full (or adds them to the backlog), and returns
// what sha1_dv_queue_candidates returns.
template <int K>
TORVANIX_ALWAYS_INLINE TORVANIX_SPREAD_TARGET std::size_t run_slice(spread_batch& b,
                                                                    sha1_dv_queue& queue,
                                                                    backlog_type& backlog,
                                                                    std::uint32_t state[5])
{
    if (!form::template slice<K>(b.batch, b.scratch, b.candidates)) {
        if constexpr (K == form::slices - 1) b.batch.count = 0;
        return 0;
    }
    for (int k = 0; k < b.batch.count; ++k) {
        if (b.candidates[k] == 0) continue;
        // E before a step is A four steps earlier, rotated by 30.
        std::uint32_t before56[5];
        store(before56, b.abcd56[k], b.e_out[k]);
        store(b.batch.before60[k], b.abcd60[k], b.e_out[k]);
        b.batch.before60[k][4] = std::rotl(before56[0], 30);
        store(b.batch.out[k], b.abcd_out[k], b.e_out[k]);
    }
    if constexpr (form::overlap) {
        return sha1_dv_backlog_candidates(backlog, b.batch, b.candidates, b.done, state);
    } else {
        return sha1_dv_queue_candidates(queue, b.batch, b.candidates, form::confirm, b.done, false,
                                        state);
    }
}

// Slice K of `b`'s check, for K known only at run time.
template <int... K>
TORVANIX_ALWAYS_INLINE TORVANIX_SPREAD_TARGET std::size_t check_slice_at(
    int k, spread_batch& b, sha1_dv_queue& queue, backlog_type& backlog, std::uint32_t state[5],
    std::integer_sequence<int, K...>)
{
    std::size_t upto = 0;
    (void)((k == K ? (upto = run_slice<K>(b, queue, backlog, state), true) : false) || ...);
    return upto;
}

// Adds the block just compressed to `filling`.
TORVANIX_ALWAYS_INLINE TORVANIX_SPREAD_TARGET void add_block(__m128i abcd, __m128i e,
                                                             kept_for_check& kept,
                                                             spread_batch& filling,
                                                             const std::uint8_t* data)
{
    form::add_columns(kept.groups, filling.batch, filling.scratch);
    const int k = filling.batch.count;
    filling.abcd56[k] = kept.abcd[0];
    filling.abcd60[k] = kept.abcd[1];
    filling.abcd_out[k] = abcd;
    filling.e_out[k] = e;
    filling.batch.count_in(data);
}

TORVANIX_SPREAD_TARGET sha1_blocks_done run(std::uint32_t state[5], const std::uint8_t* data,
                                            std::size_t blocks)
{
    const __m128i byte_swap = byte_swap_mask();
    __m128i abcd;
    __m128i e;
    load(state, abcd, e);
    kept_for_check kept;
    spread_batch batches[2];
    // Candidates of both batches wait here for a vector's worth.
    sha1_dv_queue queue;
    backlog_type backlog;
    spread_batch* filling = &batches[0];
    spread_batch* checking = &batches[1];
    // Slices of `checking`'s check still to run: from `next_slice` on.
    int next_slice = form::slices;
    constexpr auto all_slices = std::make_integer_sequence<int, form::slices>{};
    static_assert(form::slices <= sha1_dv_batch_size, "a check ends within the next batch");
    for (std::size_t done = 0; done < blocks; ++done) {
        // Where the backlog holds sixteen lanes, they are confirmed beside
        // the block's rounds.
        if (backlog.full() != 0) {
            const auto c = sha1_shani::compress_confirming(abcd, e, data + 64 * done, kept,
                                                           sha1_dv_backlog_next(backlog));
            abcd = c.abcd;
            e = c.e;
            add_block(abcd, e, kept, *filling, data + 64 * done);
            if (const std::size_t attacked = sha1_dv_backlog_found(backlog, c.collide, state)) {
                return {attacked, true};
            }
        } else {
            compress<true, form::kept_at_once>(abcd, e, data + 64 * done, kept, byte_swap);
            add_block(abcd, e, kept, *filling, data + 64 * done);
        }
        if (next_slice < form::slices) {
            if (const std::size_t attacked =
                    check_slice_at(next_slice++, *checking, queue, backlog, state, all_slices)) {
                return {attacked, true};
            }
        }
        if (filling->batch.count == sha1_dv_batch_size) {
            filling->done = done + 1;
            spread_batch* full = filling;
            filling = checking;
            checking = full;
            next_slice = 0;
        }
    }
    // What is left of the last full batch's check, then the blocks after it.
    for (; next_slice < form::slices; ++next_slice) {
        if (const std::size_t attacked =
                check_slice_at(next_slice, *checking, queue, backlog, state, all_slices)) {
            return {attacked, true};
        }
    }
    if (filling->batch.count != 0) {
        form::finish_columns(filling->batch, filling->scratch);
        filling->done = blocks;
        for (int k = 0; k < form::slices; ++k) {
            if (const std::size_t attacked =
                    check_slice_at(k, *filling, queue, backlog, state, all_slices)) {
                return {attacked, true};
            }
        }
    }
    if (const std::size_t attacked = sha1_dv_backlog_run(backlog, -1, state)) {
        return {attacked, true};
    }
    if (const std::size_t attacked = sha1_dv_drain_queue(queue, form::confirm, state)) {
        return {attacked, true};
    }
    store(state, abcd, e);
    return {blocks, false};
}
