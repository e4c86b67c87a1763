// Internal to the collision check: the SHA-1 step run forwards and
// backwards over a working state, written once for the confirmation's
// plain form (a 32-bit word, one candidate) and its vector forms (a vector
// of 32-bit elements, one candidate per element).
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "sha1/rounds.h"
#include "sha1/target.h"

#if defined(TORVANIX_SHA1_ARM64) && defined(__GNUC__)
#include <arm_neon.h>
#endif

namespace sha1_dv {

// How many candidates a word of type V holds.
template <typename V>
constexpr int lanes_of = static_cast<int>(sizeof(V) / 4);

// Words go through memory unaligned: the 32-bit Windows build cannot count
// on the stack being aligned for vectors.
template <typename V>
TORVANIX_ALWAYS_INLINE V load(const std::uint32_t* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename V>
TORVANIX_ALWAYS_INLINE void store(std::uint32_t* p, const V& v)
{
    std::memcpy(p, &v, sizeof v);
}

template <int N, typename V>
TORVANIX_ALWAYS_INLINE V rotl(const V& x)
{
#if defined(TORVANIX_SHA1_ARM64) && defined(__GNUC__)
    // NEON has no rotation; a shift left and an insert of the bits shifted
    // right are one instruction fewer than two shifts and an OR.
    if constexpr (sizeof(V) == 16) {
        const uint32x4_t v = reinterpret_cast<uint32x4_t>(x);
        return reinterpret_cast<V>(vsriq_n_u32(vshlq_n_u32(v, N), v, 32 - N));
    } else {
        return (x << N) | (x >> (32 - N));
    }
#else
    return (x << N) | (x >> (32 - N));
#endif
}

// A working state (A, B, C, D, E) before some step.
template <typename V>
struct state {
    V a, b, c, d, e;
};

template <int T, typename V>
TORVANIX_ALWAYS_INLINE void step_forward(state<V>& s, const V& w)
{
    using sha1_rounds::bit_ops;
    // A, just found by the step before, is added last: the chain from one
    // step's A to the next is a rotation and an addition.
    const V temp = s.e + w + sha1_rounds::constant<T> +
                   sha1_rounds::round_function<T, bit_ops::fewest>(s.b, s.c, s.d) + rotl<5>(s.a);
    s = {temp, s.a, rotl<30>(s.b), s.c, s.d};
}

// From the state after step T back to the state before it.
template <int T, typename V>
TORVANIX_ALWAYS_INLINE void step_backward(state<V>& s, const V& w)
{
    // E, just found by the step before, enters the round function last, and
    // through one operation: choose and parity are one three-input logic
    // operation where the processor has it; majority too in 64-byte vectors
    // (only AVX-512 has them, and its three-input logic), elsewhere written
    // as the sum of a term of B and D alone and one with E (their bits never
    // both set). The chain from one step's E to the next is that and a
    // subtraction.
    using sha1_rounds::bit_ops;
    const V b = rotl<2>(s.c);
    const V rest = s.a - w - sha1_rounds::constant<T> - rotl<5>(s.b);
    V e;
    if constexpr (T >= 40 && T < 60 && sizeof(V) != 64) {
        e = rest - (b & s.d) - ((b ^ s.d) & s.e);
    } else {
        e = rest - sha1_rounds::round_function<T, bit_ops::fewest>(b, s.d, s.e);
    }
    s = {s.b, b, s.d, s.e, e};
}

// Steps From..From+N-1 forwards, or From+N-1 down to From backwards. Word t
// of every lane is at words[t * lanes_of<V>].
template <int From, typename V, int... N>
TORVANIX_ALWAYS_INLINE void forwards(state<V>& s, const std::uint32_t* words,
                                     std::integer_sequence<int, N...>)
{
    (step_forward<From + N>(s, load<V>(words + (From + N) * lanes_of<V>)), ...);
}

template <int From, typename V, int... N>
TORVANIX_ALWAYS_INLINE void backwards(state<V>& s, const std::uint32_t* words,
                                      std::integer_sequence<int, N...>)
{
    constexpr int last = From + static_cast<int>(sizeof...(N)) - 1;
    (step_backward<last - N>(s, load<V>(words + (last - N) * lanes_of<V>)), ...);
}

}  // namespace sha1_dv

namespace sha1_dv {

// Backward steps From+N-1 down to From on `back`, each written beside
// forward step Forward+n on `forward`: two independent chains side by side,
// so that the processor runs one's step while the other's waits.
template <int From, int Forward, typename V, int... N>
TORVANIX_ALWAYS_INLINE void side_by_side(state<V>& back, state<V>& forward,
                                         const std::uint32_t* words,
                                         std::integer_sequence<int, N...>)
{
    constexpr int last = From + static_cast<int>(sizeof...(N)) - 1;
    ((step_backward<last - N>(back, load<V>(words + (last - N) * lanes_of<V>)),
      step_forward<Forward + N>(forward, load<V>(words + (Forward + N) * lanes_of<V>))),
     ...);
}

// Whether a compression that passes state `start` before step Testt, with
// words `words`, ends in chaining value `out`: zero where it does, in each
// lane. The plain test runs back from Testt to the chaining input, forward
// to step 80 and adds the two: a chain of Testt dependent steps, each
// waiting for the one before. A step is a bijection of the state, so the
// test can meet in the middle instead: the chaining input the compression
// would need, `out` minus the forward run's last state, run forward to step
// Meet must equal the backward run stopped at Meet. Two chains of 40 steps,
// written side by side, in place of one of Testt; as many steps in all.
template <int Testt, typename V>
TORVANIX_ALWAYS_INLINE V final_differs(const state<V>& start, const std::uint32_t* words,
                                       const state<V>& out)
{
    constexpr int tail = 80 - Testt;
    constexpr int meet = Testt - 40;
    state<V> back = start;
    state<V> forward = start;
    side_by_side<Testt - tail, Testt>(back, forward, words,
                                      std::make_integer_sequence<int, tail>{});
    state<V> needed = {out.a - forward.a, out.b - forward.b, out.c - forward.c, out.d - forward.d,
                       out.e - forward.e};
    side_by_side<meet, 0>(back, needed, words, std::make_integer_sequence<int, Testt - 40>{});
    return (needed.a ^ back.a) | (needed.b ^ back.b) | (needed.c ^ back.c) | (needed.d ^ back.d) |
           (needed.e ^ back.e);
}

}  // namespace sha1_dv
