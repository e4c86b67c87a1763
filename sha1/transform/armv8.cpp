// SHA-1 compression with the ARMv8 SHA1 instructions. sha1c/sha1p/sha1m run
// four rounds of the choose, parity and majority kinds, sha1h gives the next
// E, and sha1su0/sha1su1 extend the message schedule four words at a time.
#include "sha1/target.h"

#if defined(TORVANIX_SHA1_HAVE_ARMV8)

#include <arm_neon.h>

#include "sha1/collision/candidates.h"
#include "sha1/transform.h"

namespace {

// Runs blocks; with `Detect`, keeps W[32..67] of each block, checks it and
// stops after the first block that completes a collision attack.
template <bool Detect>
sha1_blocks_done run(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    const uint32x4_t k0 = vdupq_n_u32(0x5A827999);
    const uint32x4_t k1 = vdupq_n_u32(0x6ED9EBA1);
    const uint32x4_t k2 = vdupq_n_u32(0x8F1BBCDC);
    const uint32x4_t k3 = vdupq_n_u32(0xCA62C1D6);

    uint32x4_t abcd = vld1q_u32(state);
    std::uint32_t e = state[4];

    for (std::size_t done = 0; done < blocks; data += 64) {
        const uint32x4_t abcd_start = abcd;
        const std::uint32_t e_start = e;
        std::uint32_t kept[36];  // W[32..67]

        // w[i % 4] holds message words 4i..4i+3 while groups i..i+3 are live.
        uint32x4_t w[4];
        for (int i = 0; i < 4; ++i) {
            w[i] = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(data + 16 * i)));
        }

        for (int i = 0; i < 20; ++i) {
            if (Detect && i >= 8 && i <= 16) {
                vst1q_u32(kept + 4 * (i - 8), w[i % 4]);
            }
            const uint32x4_t k = i < 5 ? k0 : i < 10 ? k1 : i < 15 ? k2 : k3;
            const uint32x4_t wk = vaddq_u32(w[i % 4], k);
            const std::uint32_t e_next = vsha1h_u32(vgetq_lane_u32(abcd, 0));
            if (i < 5) {
                abcd = vsha1cq_u32(abcd, e, wk);
            } else if (i < 10 || i >= 15) {
                abcd = vsha1pq_u32(abcd, e, wk);
            } else {
                abcd = vsha1mq_u32(abcd, e, wk);
            }
            e = e_next;
            if (i < 16) {
                // Words 4(i+4).. from the four groups before them.
                w[i % 4] = vsha1su1q_u32(vsha1su0q_u32(w[i % 4], w[(i + 1) % 4], w[(i + 2) % 4]),
                                         w[(i + 3) % 4]);
            }
        }

        abcd = vaddq_u32(abcd, abcd_start);
        e += e_start;
        ++done;

        if constexpr (Detect) {
            std::uint32_t columns[sha1_dv::column_count];
            sha1_dv::columns_portable(kept + sha1_dv::first_word - 32, columns);
            const std::uint32_t candidates = sha1_dv::candidates(columns);
            if (candidates != 0) {
                std::uint32_t in[5];
                std::uint32_t out[5];
                vst1q_u32(in, abcd_start);
                in[4] = e_start;
                vst1q_u32(out, abcd);
                out[4] = e;
                if (sha1_dv_collides_block(in, data, candidates, out)) {
                    vst1q_u32(state, abcd);
                    state[4] = e;
                    return {done, true};
                }
            }
        }
    }

    vst1q_u32(state, abcd);
    state[4] = e;
    return {blocks, false};
}

}  // namespace

void sha1_transform_armv8(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    run<false>(state, data, blocks);
}

sha1_blocks_done sha1_detect_armv8(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks)
{
    return run<true>(state, data, blocks);
}

#endif
