// Portable SHA-1 compression function: the full 80-word message schedule is
// built first, then the 80 rounds run over it.
#include "rounds.h"
#include "transform.h"

namespace {

inline std::uint32_t load_be32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

}  // namespace

void sha1_transform_portable(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    using namespace sha1_rounds;
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

#define WK0(i) (K0 + W[i])
#define WK1(i) (K1 + W[i])
#define WK2(i) (K2 + W[i])
#define WK3(i) (K3 + W[i])
        SHA1_EIGHTY_ROUNDS(WK0, WK1, WK2, WK3);
#undef WK0
#undef WK1
#undef WK2
#undef WK3

        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}
