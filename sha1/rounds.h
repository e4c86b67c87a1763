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

}  // namespace sha1_rounds

// One round, written so that five consecutive rounds rename the working
// variables instead of moving them: after the round, `e` holds the new A and
// `b` has been rotated into the new C. `wk` is the message word plus the
// round constant.
#define SHA1_ROUND(a, b, c, d, e, f, wk)                       \
    do {                                                       \
        e += (wk) + sha1_rounds::f(b, c, d) + std::rotl(a, 5); \
        b = std::rotl(b, 30);                                  \
    } while (0)

// Rounds t..t+4; `WK(i)` yields message word i plus the round constant.
#define SHA1_FIVE_ROUNDS(t, f, WK)                 \
    do {                                           \
        SHA1_ROUND(a, b, c, d, e, f, WK((t) + 0)); \
        SHA1_ROUND(e, a, b, c, d, f, WK((t) + 1)); \
        SHA1_ROUND(d, e, a, b, c, f, WK((t) + 2)); \
        SHA1_ROUND(c, d, e, a, b, f, WK((t) + 3)); \
        SHA1_ROUND(b, c, d, e, a, f, WK((t) + 4)); \
    } while (0)

// All 80 rounds over the working variables a..e.
#define SHA1_EIGHTY_ROUNDS(WK0, WK1, WK2, WK3)                                 \
    do {                                                                       \
        for (int t = 0; t < 20; t += 5) SHA1_FIVE_ROUNDS(t, f_choose, WK0);    \
        for (int t = 20; t < 40; t += 5) SHA1_FIVE_ROUNDS(t, f_parity, WK1);   \
        for (int t = 40; t < 60; t += 5) SHA1_FIVE_ROUNDS(t, f_majority, WK2); \
        for (int t = 60; t < 80; t += 5) SHA1_FIVE_ROUNDS(t, f_parity, WK3);   \
    } while (0)

namespace sha1_rounds {

// Round T over working variables that rename themselves every round: A of
// round T is v[(5 - T % 5) % 5], B the next, and so on. `wk` is the message
// word plus the round constant.
template <int T>
TORVANIX_ALWAYS_INLINE void round(std::uint32_t (&v)[5], std::uint32_t wk)
{
    std::uint32_t& a = v[(100 - T) % 5];
    std::uint32_t& b = v[(101 - T) % 5];
    std::uint32_t& c = v[(102 - T) % 5];
    std::uint32_t& d = v[(103 - T) % 5];
    std::uint32_t& e = v[(104 - T) % 5];
    if constexpr (T < 20) {
        SHA1_ROUND(a, b, c, d, e, f_choose, wk);
    } else if constexpr (T < 40 || T >= 60) {
        SHA1_ROUND(a, b, c, d, e, f_parity, wk);
    } else {
        SHA1_ROUND(a, b, c, d, e, f_majority, wk);
    }
}

}  // namespace sha1_rounds
