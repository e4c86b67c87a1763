// Portable SHA-1 compression function: the full 80-word message schedule is
// built first, then the 80 rounds run over it.
#include <bit>

#include "transform.h"

namespace {

inline std::uint32_t load_be32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
           (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

constexpr std::uint32_t K0 = 0x5A827999;
constexpr std::uint32_t K1 = 0x6ED9EBA1;
constexpr std::uint32_t K2 = 0x8F1BBCDC;
constexpr std::uint32_t K3 = 0xCA62C1D6;

// The round functions, in forms with fewer operations than the textbook ones
// but equal values: choose = (b & c) | (~b & d), majority = (b & c) | (b & d) | (c & d).
inline std::uint32_t f_choose(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return d ^ (b & (c ^ d));
}
inline std::uint32_t f_parity(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return b ^ c ^ d;
}
inline std::uint32_t f_majority(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return (b & c) | (d & (b | c));
}

}  // namespace

// One round, written so that five consecutive rounds rename the working
// variables instead of moving them: after the round, `e` holds the new A and
// `b` has been rotated into the new C.
#define SHA1_ROUND(a, b, c, d, e, f, k, w)                     \
    do {                                                       \
        e += std::rotl(a, 5) + f(b, c, d) + (k) + (w);         \
        b = std::rotl(b, 30);                                  \
    } while (0)

#define SHA1_FIVE_ROUNDS(t, f, k)                              \
    do {                                                       \
        SHA1_ROUND(a, b, c, d, e, f, k, W[(t) + 0]);           \
        SHA1_ROUND(e, a, b, c, d, f, k, W[(t) + 1]);           \
        SHA1_ROUND(d, e, a, b, c, f, k, W[(t) + 2]);           \
        SHA1_ROUND(c, d, e, a, b, f, k, W[(t) + 3]);           \
        SHA1_ROUND(b, c, d, e, a, f, k, W[(t) + 4]);           \
    } while (0)

void sha1_transform_portable(std::uint32_t state[5], const std::uint8_t* data,
                             std::size_t blocks)
{
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t W[80];
        for (int t = 0; t < 16; ++t) {
            W[t] = load_be32(data + 4 * t);
        }
        for (int t = 16; t < 80; ++t) {
            W[t] = std::rotl(W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16], 1);
        }

        std::uint32_t a = state[0];
        std::uint32_t b = state[1];
        std::uint32_t c = state[2];
        std::uint32_t d = state[3];
        std::uint32_t e = state[4];

        for (int t = 0; t < 20; t += 5) {
            SHA1_FIVE_ROUNDS(t, f_choose, K0);
        }
        for (int t = 20; t < 40; t += 5) {
            SHA1_FIVE_ROUNDS(t, f_parity, K1);
        }
        for (int t = 40; t < 60; t += 5) {
            SHA1_FIVE_ROUNDS(t, f_majority, K2);
        }
        for (int t = 60; t < 80; t += 5) {
            SHA1_FIVE_ROUNDS(t, f_parity, K3);
        }

        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}
