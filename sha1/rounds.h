// Internal to the SHA-1 engine: the scalar round step shared by the
// transforms that run rounds in general-purpose registers.
#pragma once

#include <bit>
#include <cstdint>

#include "target.h"

namespace sha1_rounds {

inline constexpr std::uint32_t K0 = 0x5A827999;  // rounds 0-19
inline constexpr std::uint32_t K1 = 0x6ED9EBA1;  // rounds 20-39
inline constexpr std::uint32_t K2 = 0x8F1BBCDC;  // rounds 40-59
inline constexpr std::uint32_t K3 = 0xCA62C1D6;  // rounds 60-79

// The round functions. The two terms of choose and of majority never have a
// bit set in common, so adding them equals the textbook's OR; written as sums
// they let the compiler add the term that does not depend on b (the value
// the previous round just produced) early, which shortens the chain from one
// round to the next.
TORVANIX_ALWAYS_INLINE std::uint32_t f_choose(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return (b & c) + (~b & d);
}
TORVANIX_ALWAYS_INLINE std::uint32_t f_parity(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return b ^ c ^ d;
}
TORVANIX_ALWAYS_INLINE std::uint32_t f_majority(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return (c & d) + (b & (c ^ d));
}

// Round T over working variables that rename themselves every round instead
// of moving: A of round T is v[(5 - T % 5) % 5], B the next, and so on, so the
// new A is written where E was and B is rotated in place into the new C.
// `wk` is the message word plus the round constant.
template <int T>
TORVANIX_ALWAYS_INLINE void round(std::uint32_t (&v)[5], std::uint32_t wk)
{
    std::uint32_t& a = v[(100 - T) % 5];
    std::uint32_t& b = v[(101 - T) % 5];
    std::uint32_t& c = v[(102 - T) % 5];
    std::uint32_t& d = v[(103 - T) % 5];
    std::uint32_t& e = v[(104 - T) % 5];
    std::uint32_t f;
    if constexpr (T < 20) {
        f = f_choose(b, c, d);
    } else if constexpr (T < 40 || T >= 60) {
        f = f_parity(b, c, d);
    } else {
        f = f_majority(b, c, d);
    }
    e += wk + f + std::rotl(a, 5);
    b = std::rotl(b, 30);
}

}  // namespace sha1_rounds
