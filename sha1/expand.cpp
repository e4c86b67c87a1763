// The message expansion in plain C++ (built without auto-vectorization; see
// CMakeLists.txt).
#include "sha1/expand.h"

#include <bit>

namespace {

inline std::uint32_t load_be32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

}  // namespace

void sha1_expand(const std::uint8_t* data, std::uint32_t (&W)[80])
{
    for (int t = 0; t < 16; ++t) {
        W[t] = load_be32(data + 4 * t);
    }
    for (int t = 16; t < 80; ++t) {
        W[t] = std::rotl(W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16], 1);
    }
}
