// Internal to the SHA-1 engine: the round constants and round functions,
// for every transform and for the collision check's confirmation, and the
// scalar round step of the transforms that run rounds in general-purpose
// registers.
#pragma once

#include <bit>
#include <cstdint>

#include "sha1/target.h"

namespace sha1_rounds {

inline constexpr std::uint32_t K0 = 0x5A827999;  // rounds 0-19
inline constexpr std::uint32_t K1 = 0x6ED9EBA1;  // rounds 20-39
inline constexpr std::uint32_t K2 = 0x8F1BBCDC;  // rounds 40-59
inline constexpr std::uint32_t K3 = 0xCA62C1D6;  // rounds 60-79

// The constant of round T.
template <int T>
inline constexpr std::uint32_t constant = T < 20   ? K0
                                          : T < 40 ? K1
                                          : T < 60 ? K2
                                                   : K3;

// Which instructions the round step may count on. `bmi`: andn (BMI1) and rorx
// (BMI2), which write a third register. The round functions then read b, the
// value the previous round produced, last and through a two-operand
// instruction: b is dead after it, so the result lands in b's register and
// needs no copy, while rorx has already put rotl30(b), the next round's c, in
// a free register. The five working variables rotate through six registers.
// A round's result comes two operations (rotl5(a), add) after the previous
// one, so b, ready a round earlier, may pass through three operations, the
// last adding f to e + wk, without slowing the rounds down.
//
// `plain`: every rotation overwrites its operand, so copies are needed
// anyway; the textbook forms, with b rotated in place after the round
// function, give the compiler's best code there. The copy-saving forms cut 2-5%
// of the instructions of the SSSE3 and portable transforms but ran about 4%
// slower.
//
// `fewest`: the fewest operations, for code that runs many lanes at once
// (the confirmation's vectors) or too rarely for register copies to
// matter. These forms take any word type with the bitwise operators: a
// 32-bit word, or a vector of them.
enum class bit_ops { plain, bmi, fewest };

// choose. The two terms never have a bit set in common, so + and XOR equal
// the textbook's OR. With BMI: ~b & d (andn) first, then b & c; written with
// XOR it stays out of the round's sum, so the compiler keeps that order. As a
// sum, the plain form lets the compiler add one term before the other.
template <bit_ops Ops, typename V = std::uint32_t>
TORVANIX_ALWAYS_INLINE V f_choose(const V& b, const V& c, const V& d)
{
    if constexpr (Ops == bit_ops::fewest) {
        return d ^ (b & (c ^ d));
    } else if constexpr (Ops == bit_ops::bmi) {
        const std::uint32_t not_b_and_d = ~b & d;
        const std::uint32_t b_and_c = b & c;
        return b_and_c ^ not_b_and_d;
    } else {
        return (b & c) + (~b & d);
    }
}

// parity. Left to itself the compiler computes c ^ d first (both older
// values), which costs a copy since c and d live on; with BMI b ^ c is kept
// first instead. That puts three operations after b, as many as a round
// hides: 38 instructions fewer per block, for about 2% more time on a core
// that removes copies at register renaming and has nothing else to run.
template <bit_ops Ops, typename V = std::uint32_t>
TORVANIX_ALWAYS_INLINE V f_parity(const V& b, const V& c, const V& d)
{
    if constexpr (Ops == bit_ops::bmi) {
        std::uint32_t b_xor_c = b ^ c;
        TORVANIX_OPAQUE(b_xor_c);
        return b_xor_c ^ d;
    } else {
        return b ^ c ^ d;
    }
}

// majority: where c and d differ the result is b's bit, elsewhere their
// common bit; the two terms never overlap, and c & d, computed before b is
// ready, is added early. With BMI c & d is ~(c ^ d) & c (andn), so only c ^ d
// costs a copy (c and d live on) and b passes through a single AND. The
// copy-free ((b ^ c) & d) | (~(b ^ c) & c) puts four operations after b, one
// more than a round hides, and measured about 3% slower.
template <bit_ops Ops, typename V = std::uint32_t>
TORVANIX_ALWAYS_INLINE V f_majority(const V& b, const V& c, const V& d)
{
    if constexpr (Ops == bit_ops::fewest) {
        return (b & c) | (d & (b | c));
    } else if constexpr (Ops == bit_ops::bmi) {
        std::uint32_t c_xor_d = c ^ d;
        TORVANIX_OPAQUE(c_xor_d);
        const std::uint32_t c_and_d = ~c_xor_d & c;
        return (b & c_xor_d) + c_and_d;
    } else {
        return (c & d) + (b & (c ^ d));
    }
}

// The round function of round T.
template <int T, bit_ops Ops, typename V = std::uint32_t>
TORVANIX_ALWAYS_INLINE V round_function(const V& b, const V& c, const V& d)
{
    if constexpr (T < 20) {
        return f_choose<Ops>(b, c, d);
    } else if constexpr (T < 40 || T >= 60) {
        return f_parity<Ops>(b, c, d);
    } else {
        return f_majority<Ops>(b, c, d);
    }
}

// Round T over working variables that rename themselves every round instead
// of moving: A of round T is v[(5 - T % 5) % 5], B the next, and so on, so the
// new A is written where E was and rotl30(B) is the new C. `wk` is the
// message word plus the round constant.
template <int T, bit_ops Ops = bit_ops::plain>
TORVANIX_ALWAYS_INLINE void round(std::uint32_t (&v)[5], std::uint32_t wk)
{
    std::uint32_t& a = v[(100 - T) % 5];
    std::uint32_t& b = v[(101 - T) % 5];
    std::uint32_t& c = v[(102 - T) % 5];
    std::uint32_t& d = v[(103 - T) % 5];
    std::uint32_t& e = v[(104 - T) % 5];
    if constexpr (Ops == bit_ops::bmi) {
        // rorx first, so that the round function reads b last.
        const std::uint32_t b_rotated = std::rotl(b, 30);
        e += wk + round_function<T, Ops>(b, c, d) + std::rotl(a, 5);
        b = b_rotated;
    } else {
        // A rotation without rorx overwrites its operand: b is rotated in
        // place once the round function has read it.
        e += wk + round_function<T, Ops>(b, c, d) + std::rotl(a, 5);
        b = std::rotl(b, 30);
    }
}

}  // namespace sha1_rounds
