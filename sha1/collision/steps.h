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
    return (x << N) | (x >> (32 - N));
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
    const V temp = rotl<5>(s.a) + sha1_rounds::round_function<T, bit_ops::fewest>(s.b, s.c, s.d) +
                   s.e + w + sha1_rounds::constant<T>;
    s = {temp, s.a, rotl<30>(s.b), s.c, s.d};
}

// From the state after step T back to the state before it.
template <int T, typename V>
TORVANIX_ALWAYS_INLINE void step_backward(state<V>& s, const V& w)
{
    using sha1_rounds::bit_ops;
    const V b = rotl<2>(s.c);
    const V e = s.a - rotl<5>(s.b) - sha1_rounds::round_function<T, bit_ops::fewest>(b, s.d, s.e) -
                sha1_rounds::constant<T> - w;
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
