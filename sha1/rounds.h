// Internal to the SHA-1 engine: the scalar round step shared by the
// transforms that run rounds in general-purpose registers.
#pragma once

#include <bit>
#include <cstdint>

#include "platform.h"

namespace sha1_rounds {

inline constexpr std::uint32_t K0 = 0x5A827999;  // rounds 0-19
inline constexpr std::uint32_t K1 = 0x6ED9EBA1;  // rounds 20-39
inline constexpr std::uint32_t K2 = 0x8F1BBCDC;  // rounds 40-59
inline constexpr std::uint32_t K3 = 0xCA62C1D6;  // rounds 60-79

// Hides how `x` was computed from the optimizer at this point, without
// emitting an instruction: the operations that produced it are not
// reassociated with the ones that use it. MSVC has no such barrier and gets
// the plain expression.
#if defined(_MSC_VER) && !defined(__clang__)
#define TORVANIX_KEEP_ORDER(x) ((void)0)
#else
#define TORVANIX_KEEP_ORDER(x) __asm__("" : "+r"(x))
#endif

// The round functions are written so that b, the value the previous round
// produced, is read last by a two-operand instruction: b is dead after it, so
// the result lands in b's register and needs no copy. rotl30(b), the next
// round's c, is taken before, into a free register (rorx, where BMI2 is
// available): the five working variables rotate through six registers.
// A round's result comes two operations (rotl5(a), add) after the previous
// one, so b, ready a round earlier, may pass through three operations, the
// last adding f to e + wk, without slowing the rounds down.

// Whether the instruction set has andn (BMI1), which writes ~x & y to a third
// register; choose and majority are written differently with and without it.
enum class bit_ops { plain, andn };

// choose: with andn, ~b & d then b & c. The two terms never have a bit set in
// common, so XOR equals the textbook's OR; written with XOR (not +) it stays
// out of the round's sum, and the compiler keeps andn first. Without andn,
// d ^ (b & (c ^ d)) takes one copy (of c) where ~b needs a copy and a NOT.
template <bit_ops Ops>
TORVANIX_ALWAYS_INLINE std::uint32_t f_choose(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    if constexpr (Ops == bit_ops::andn) {
        const std::uint32_t not_b_and_d = ~b & d;
        const std::uint32_t b_and_c = b & c;
        return b_and_c ^ not_b_and_d;
    } else {
        return d ^ (b & (c ^ d));
    }
}

// parity: left to itself the compiler computes c ^ d first (both older
// values, so b's path is one operation shorter), which costs a copy since c
// and d live on; b ^ c is kept first instead.
TORVANIX_ALWAYS_INLINE std::uint32_t f_parity(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    std::uint32_t b_xor_c = b ^ c;
    TORVANIX_KEEP_ORDER(b_xor_c);
    return b_xor_c ^ d;
}

// majority: where c and d differ the result is b's bit, elsewhere their
// common bit. With andn: (b & (c ^ d)) + (c & d), c & d being ~(c ^ d) & c.
// c ^ d costs one copy (c and d live on) but is ready before b, which then
// passes through a single AND. The copy-free form used without andn,
// ((b ^ c) & d) | (~(b ^ c) & c), puts four operations after b (one more than
// a round can hide) and measured about 3% slower with andn.
template <bit_ops Ops>
TORVANIX_ALWAYS_INLINE std::uint32_t f_majority(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    if constexpr (Ops == bit_ops::andn) {
        std::uint32_t c_xor_d = c ^ d;
        TORVANIX_KEEP_ORDER(c_xor_d);
        const std::uint32_t c_and_d = ~c_xor_d & c;
        return (b & c_xor_d) + c_and_d;
    } else {
        std::uint32_t b_xor_c = b ^ c;
        TORVANIX_KEEP_ORDER(b_xor_c);
        const std::uint32_t b_and_c = ~b_xor_c & c;
        return (b_xor_c & d) | b_and_c;
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
    // Taken before the round function, which then reads b for the last time.
    const std::uint32_t b_rotated = std::rotl(b, 30);
    std::uint32_t f;
    if constexpr (T < 20) {
        f = f_choose<Ops>(b, c, d);
    } else if constexpr (T < 40 || T >= 60) {
        f = f_parity(b, c, d);
    } else {
        f = f_majority<Ops>(b, c, d);
    }
    e += wk + f + std::rotl(a, 5);
    b = b_rotated;
}

}  // namespace sha1_rounds
