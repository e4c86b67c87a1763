// Internal to the ARMv8 transform: the collision check's columns in NEON,
// from the message groups its rounds compute.
//
// The columns are a bit transposition. Cut W[35..66] into four eighths of
// eight words (eighth g holds W[35 + 8g + i] as its row i); the low bytes of
// an eighth's rows are an 8x8 bit matrix whose transpose has in its byte j
// bits 8g..8g+7 of column j, and the top bytes' transpose has columns 8..10
// in its bytes 4..6. Four blocks make sixteen matrices: row i of all of them
// sits in one register, byte 4b + g for block b's eighth g, so that three
// stages of shifts and bit selects between registers transpose all sixteen
// at once and leave column j of the four blocks in the four 32-bit lanes of
// one register.
//
// The rounds store each block's message groups 9 to 16 as they make them,
// odd groups and even groups in two runs of sixteen words: row i of eighth g
// for i = 1..4 is word lane i - 1 of group 9 + 2g, and rows 5..7 with row 0
// of eighth g + 1 are the lanes of group 10 + 2g. Row 0 of eighth 0, W[35],
// is lane 3 of group 8, kept on its own. Two de-interleaving loads take the
// rows apart: one (ld4 of bytes) splits a run's words into their low bytes
// and their top bytes, byte 4g + r for row r + 1 of eighth g; with those of
// four blocks side by side, a second one gives each row its register.
#pragma once

#include <arm_neon.h>

#include <bit>
#include <cstdint>

#include "sha1/collision/collision.h"
#include "sha1/target.h"

namespace sha1_dv {

// The row bytes are picked by their place in the 32-bit lanes, low byte
// first, as a little-endian processor lays the lanes out.
static_assert(std::endian::native == std::endian::little,
              "NEON columns assume little-endian lanes");

// What four blocks keep for their columns: each block's odd and even
// message groups (groups 9, 11, 13, 15 and 10, 12, 14, 16, W[36..67],
// group j holding W[4j..4j+3] from the bottom lane up) and W[35]; then, for
// the columns, the low and top bytes of those runs, block by block.
struct neon_four_blocks {
    struct groups {
        alignas(16) std::uint32_t odd[16];
        alignas(16) std::uint32_t even[16];
    };
    enum kind { low_1to4, top_1to4, low_5to8, top_5to8, kinds };
    groups blocks[4];
    alignas(16) std::uint32_t w35[4];
    alignas(16) std::uint8_t bytes[kinds][4][16];

    // Where block b's group j goes, for j = 9..16.
    static std::uint32_t* group(groups& g, int j)
    {
        return j % 2 == 1 ? &g.odd[4 * ((j - 9) / 2)] : &g.even[4 * ((j - 10) / 2)];
    }
};

// The low and top bytes of block b's runs of groups, byte 4g + r for row
// r + 1 of eighth g (odd run) or row r + 5 (even run, with row 8 for row 0
// of the next eighth).
TORVANIX_ALWAYS_INLINE void split_bytes(neon_four_blocks& four, int b)
{
    using kind = neon_four_blocks;
    const uint8x16x4_t odd = vld4q_u8(reinterpret_cast<const std::uint8_t*>(four.blocks[b].odd));
    const uint8x16x4_t even = vld4q_u8(reinterpret_cast<const std::uint8_t*>(four.blocks[b].even));
    vst1q_u8(four.bytes[kind::low_1to4][b], odd.val[0]);
    vst1q_u8(four.bytes[kind::top_1to4][b], odd.val[3]);
    vst1q_u8(four.bytes[kind::low_5to8][b], even.val[0]);
    vst1q_u8(four.bytes[kind::top_5to8][b], even.val[3]);
}

// One transposition stage between rows a and b = a + distance: a's bits
// under `mask` stay and b's matching bits move into the rest, and the other
// way round.
template <int Distance>
TORVANIX_ALWAYS_INLINE void swap_bits(uint8x16_t& a, uint8x16_t& b, uint8x16_t mask)
{
    const uint8x16_t new_a = vbslq_u8(mask, a, vshlq_n_u8(b, Distance));
    b = vbslq_u8(mask, vshrq_n_u8(a, Distance), b);
    a = new_a;
}

// The columns of the four blocks, block b in lane b, once split_bytes has
// run for each (bits 30 and 31 hold words past W[64]).
TORVANIX_ALWAYS_INLINE void columns_of_four(const neon_four_blocks& four,
                                            uint32x4_t (&columns)[column_count])
{
    using kind = neon_four_blocks;
    const uint8x16x4_t low_a = vld4q_u8(four.bytes[kind::low_1to4][0]);
    const uint8x16x4_t low_b = vld4q_u8(four.bytes[kind::low_5to8][0]);
    const uint8x16x4_t top_a = vld4q_u8(four.bytes[kind::top_1to4][0]);
    const uint8x16x4_t top_b = vld4q_u8(four.bytes[kind::top_5to8][0]);
    const uint32x4_t w35 = vld1q_u32(four.w35);

    // Row 0: the next eighth's row 0 moved up one eighth, under W[35].
    const auto row0 = [](uint32x4_t below, uint8x16_t next) {
        return vreinterpretq_u8_u32(vsliq_n_u32(below, vreinterpretq_u32_u8(next), 8));
    };
    uint8x16_t low[8] = {row0(w35, low_b.val[3]),
                         low_a.val[0],
                         low_a.val[1],
                         low_a.val[2],
                         low_a.val[3],
                         low_b.val[0],
                         low_b.val[1],
                         low_b.val[2]};
    uint8x16_t top[8] = {row0(vshrq_n_u32(w35, 24), top_b.val[3]),
                         top_a.val[0],
                         top_a.val[1],
                         top_a.val[2],
                         top_a.val[3],
                         top_b.val[0],
                         top_b.val[1],
                         top_b.val[2]};

    const uint8x16_t pairs = vdupq_n_u8(0x33);
    const uint8x16_t singles = vdupq_n_u8(0x55);

    // Low bytes, the whole transposition: nibbles between rows four apart,
    // bit pairs two apart, single bits one apart.
    for (int i = 0; i < 4; ++i) {
        const uint8x16_t a = low[i];
        low[i] = vsliq_n_u8(a, low[i + 4], 4);
        low[i + 4] = vsriq_n_u8(low[i + 4], a, 4);
    }
    for (int i : {0, 1, 4, 5}) swap_bits<2>(low[i], low[i + 2], pairs);
    for (int i : {0, 2, 4, 6}) swap_bits<1>(low[i], low[i + 1], singles);
    for (int c = 0; c < 8; ++c) columns[c] = vreinterpretq_u32_u8(low[c]);

    // Top bytes: only what ends in bytes 4..6 (bits 28..30).
    for (int i = 0; i < 4; ++i) top[i + 4] = vsriq_n_u8(top[i + 4], top[i], 4);
    swap_bits<2>(top[4], top[6], pairs);
    swap_bits<2>(top[5], top[7], pairs);
    swap_bits<1>(top[4], top[5], singles);
    top[6] = vbslq_u8(singles, top[6], vshlq_n_u8(top[7], 1));
    for (int c = 8; c < column_count; ++c) columns[c] = vreinterpretq_u32_u8(top[c - 4]);
}

}  // namespace sha1_dv
