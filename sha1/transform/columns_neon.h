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
// is lane 3 of group 8, which is kept whole, the four blocks' side by side
// (one store for the rounds, one de-interleaving load of words for the
// columns, where lane 3 alone would cost a store and its address a
// register). Two de-interleaving loads take the
// rows apart: one (ld4 of bytes) splits a run's words into their low bytes
// and their top bytes, byte 4g + r for row r + 1 of eighth g; with those of
// four blocks side by side, a second one gives each row its register.
#pragma once

#include <arm_neon.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sha1/collision/collision.h"
#include "sha1/target.h"

namespace sha1_dv {

// The row bytes are picked by their place in the 32-bit lanes, low byte
// first, as a little-endian processor lays the lanes out.
static_assert(std::endian::native == std::endian::little,
              "NEON columns assume little-endian lanes");

// Stores at constant offsets from a base register, each made where it
// stands among the code around it, where the compiler has them; plain C++
// stores elsewhere. V is a 128-bit vector type.
template <std::size_t Offset, typename V>
TORVANIX_ALWAYS_INLINE void store_q(void* base, V a)
{
#if defined(TORVANIX_STORE_Q)
    TORVANIX_STORE_Q(base, Offset, a);
#else
    std::memcpy(static_cast<std::uint8_t*>(base) + Offset, &a, sizeof a);
#endif
}

template <std::size_t Offset, typename V>
TORVANIX_ALWAYS_INLINE void store_q_pair(void* base, V a, V b)
{
#if defined(TORVANIX_STORE_Q_PAIR)
    TORVANIX_STORE_Q_PAIR(base, Offset, a, b);
#else
    store_q<Offset>(base, a);
    store_q<Offset + 16>(base, b);
#endif
}

template <std::size_t Offset>
TORVANIX_ALWAYS_INLINE void store_s_pair(void* base, std::uint32_t a, std::uint32_t b)
{
#if defined(TORVANIX_STORE_S_PAIR)
    TORVANIX_STORE_S_PAIR(base, Offset, a, b);
#else
    const std::uint32_t pair[2] = {a, b};
    std::memcpy(static_cast<std::uint8_t*>(base) + Offset, pair, sizeof pair);
#endif
}

// What four blocks keep for their columns: each block's odd and even
// message groups (groups 9, 11, 13, 15 and 10, 12, 14, 16, W[36..67],
// group j holding W[4j..4j+3] from the bottom lane up) and group 8 (W[35]
// in lane 3); then, for the columns, the low and top bytes of those runs,
// block by block.
struct neon_four_blocks {
    struct groups {
        alignas(16) std::uint32_t odd[16];
        alignas(16) std::uint32_t even[16];
    };
    enum kind { low_1to4, top_1to4, low_5to8, top_5to8, kinds };
    groups blocks[4];
    alignas(16) std::uint32_t group8[4][4];
    alignas(16) std::uint8_t bytes[kinds][4][16];

    // Where block b's group j goes, for j = 9..16.
    static std::uint32_t* group(groups& g, int j)
    {
        return j % 2 == 1 ? &g.odd[4 * ((j - 9) / 2)] : &g.even[4 * ((j - 10) / 2)];
    }
};

// The runs of groups of blocks B and B + 1, from `run` on, split into their
// low and top bytes (byte 4g + r for row r + 1 of eighth g of the odd run,
// row r + 5 of the even run, with row 8 for row 0 of the next eighth). The
// two blocks' bytes of each kind lie side by side and go out in one paired
// store. The runs are read in the order they lie in, from one pointer
// stepped past each (the de-interleaving load takes no offset).
template <int B>
TORVANIX_ALWAYS_INLINE void split_two(neon_four_blocks& four, const std::uint8_t*& run)
{
    using kind = neon_four_blocks;
    const auto next_run = [&run] {
        const uint8x16x4_t bytes = vld4q_u8(run);
        run += 64;
        TORVANIX_STEPPED(run);
        return bytes;
    };
    const uint8x16x4_t odd = next_run();
    const uint8x16x4_t even = next_run();
    const uint8x16x4_t next_odd = next_run();
    const uint8x16x4_t next_even = next_run();
    constexpr std::size_t at = offsetof(kind, bytes) + 16 * B;
    store_q_pair<at + 64 * kind::low_1to4>(&four, odd.val[0], next_odd.val[0]);
    store_q_pair<at + 64 * kind::top_1to4>(&four, odd.val[3], next_odd.val[3]);
    store_q_pair<at + 64 * kind::low_5to8>(&four, even.val[0], next_even.val[0]);
    store_q_pair<at + 64 * kind::top_5to8>(&four, even.val[3], next_even.val[3]);
}

// The same for the four blocks.
TORVANIX_ALWAYS_INLINE void split_bytes(neon_four_blocks& four)
{
    static_assert(sizeof(four.blocks) == 4 * 128 && offsetof(neon_four_blocks::groups, even) == 64,
                  "the four blocks' runs of groups side by side, odd run first");
    const std::uint8_t* run = reinterpret_cast<const std::uint8_t*>(four.blocks);
    split_two<0>(four, run);
    split_two<2>(four, run);
}

// One transposition stage between rows a and b = a + Distance, one side at
// a time: a's new value keeps a's bits under `mask` and takes b's matching
// bits into the rest; b's new value keeps b's bits outside `mask` and takes
// a's matching bits into the rest.
template <int Distance>
TORVANIX_ALWAYS_INLINE uint8x16_t new_a(uint8x16_t a, uint8x16_t b, uint8x16_t mask)
{
    return vbslq_u8(mask, a, vshlq_n_u8(b, Distance));
}

template <int Distance>
TORVANIX_ALWAYS_INLINE uint8x16_t new_b(uint8x16_t a, uint8x16_t b, uint8x16_t mask)
{
    return vbslq_u8(mask, vshrq_n_u8(a, Distance), b);
}

// The columns the candidate test's first pass reads; the transposition
// makes them first, and the others only if a later chunk runs.
inline constexpr std::uint32_t early_columns = 1u << 1 | 1u << 4 | 1u << 6 | 1u << 9;

// The transposition between the two: the rows after the stage between
// nibbles (the low bytes' rows 0..7 and the top bytes' rows 4..7) and the
// low bytes' rows 1 and 3 after the stage between single bits.
struct neon_transposition {
    uint8x16_t low[8];
    uint8x16_t top[4];
    uint8x16_t low1, low3;
};

// Three stages, between nibbles of rows four apart, single bits of rows one
// apart and bit pairs of rows two apart, transpose each 8x8 bit matrix (in
// any order: each swaps one bit of the row number with the same bit of the
// column number). The first pass's columns 1, 4 and 6 (rows 1, 4 and 6 of
// the low bytes) need the single-bit stage only for rows 1, 3, 4 and 6;
// column 9 (row 5 of the top bytes) needs it for rows 5 and 7.
TORVANIX_ALWAYS_INLINE void early_columns_of_four(const neon_four_blocks& four,
                                                  neon_transposition& t,
                                                  uint32x4_t (&columns)[column_count])
{
    using kind = neon_four_blocks;
    const uint32x4_t w35 = vld4q_u32(four.group8[0]).val[3];
    // Row 0: the next eighth's row 0 moved up one eighth, under W[35].
    const auto row0 = [](uint32x4_t below, uint8x16_t next) {
        return vreinterpretq_u8_u32(vsliq_n_u32(below, vreinterpretq_u32_u8(next), 8));
    };
    {
        const uint8x16x4_t low_a = vld4q_u8(four.bytes[kind::low_1to4][0]);
        const uint8x16x4_t low_b = vld4q_u8(four.bytes[kind::low_5to8][0]);
        const uint8x16_t low[8] = {row0(w35, low_b.val[3]),
                                   low_a.val[0],
                                   low_a.val[1],
                                   low_a.val[2],
                                   low_a.val[3],
                                   low_b.val[0],
                                   low_b.val[1],
                                   low_b.val[2]};
        for (int i = 0; i < 4; ++i) {
            t.low[i] = vsliq_n_u8(low[i], low[i + 4], 4);
            t.low[i + 4] = vsriq_n_u8(low[i + 4], low[i], 4);
        }
    }
    TORVANIX_SEQUENCE_8(t.low);
    {
        const uint8x16x4_t top_a = vld4q_u8(four.bytes[kind::top_1to4][0]);
        const uint8x16x4_t top_b = vld4q_u8(four.bytes[kind::top_5to8][0]);
        const uint8x16_t top[8] = {row0(vshrq_n_u32(w35, 24), top_b.val[3]),
                                   top_a.val[0],
                                   top_a.val[1],
                                   top_a.val[2],
                                   top_a.val[3],
                                   top_b.val[0],
                                   top_b.val[1],
                                   top_b.val[2]};
        // Of the top bytes only rows 4..7 (bits 28..31) count.
        for (int i = 0; i < 4; ++i) t.top[i] = vsriq_n_u8(top[i + 4], top[i], 4);
    }
    const uint8x16_t pairs = vdupq_n_u8(0x33);
    const uint8x16_t singles = vdupq_n_u8(0x55);
    t.low1 = new_b<1>(t.low[0], t.low[1], singles);
    t.low3 = new_b<1>(t.low[2], t.low[3], singles);
    const uint8x16_t low4 = new_a<1>(t.low[4], t.low[5], singles);
    const uint8x16_t low6 = new_a<1>(t.low[6], t.low[7], singles);
    columns[1] = vreinterpretq_u32_u8(new_a<2>(t.low1, t.low3, pairs));
    columns[4] = vreinterpretq_u32_u8(new_a<2>(low4, low6, pairs));
    columns[6] = vreinterpretq_u32_u8(new_b<2>(low4, low6, pairs));
    const uint8x16_t top5 = new_b<1>(t.top[0], t.top[1], singles);
    const uint8x16_t top7 = new_b<1>(t.top[2], t.top[3], singles);
    columns[9] = vreinterpretq_u32_u8(new_a<2>(top5, top7, pairs));
}

// The other columns, from where early_columns_of_four left the
// transposition.
TORVANIX_ALWAYS_INLINE void other_columns_of_four(const neon_transposition& t,
                                                  uint32x4_t (&columns)[column_count])
{
    const uint8x16_t pairs = vdupq_n_u8(0x33);
    const uint8x16_t singles = vdupq_n_u8(0x55);
    const uint8x16_t low0 = new_a<1>(t.low[0], t.low[1], singles);
    const uint8x16_t low2 = new_a<1>(t.low[2], t.low[3], singles);
    const uint8x16_t low5 = new_b<1>(t.low[4], t.low[5], singles);
    const uint8x16_t low7 = new_b<1>(t.low[6], t.low[7], singles);
    columns[0] = vreinterpretq_u32_u8(new_a<2>(low0, low2, pairs));
    columns[2] = vreinterpretq_u32_u8(new_b<2>(low0, low2, pairs));
    columns[3] = vreinterpretq_u32_u8(new_b<2>(t.low1, t.low3, pairs));
    columns[5] = vreinterpretq_u32_u8(new_a<2>(low5, low7, pairs));
    columns[7] = vreinterpretq_u32_u8(new_b<2>(low5, low7, pairs));
    const uint8x16_t top4 = new_a<1>(t.top[0], t.top[1], singles);
    const uint8x16_t top6 = new_a<1>(t.top[2], t.top[3], singles);
    columns[8] = vreinterpretq_u32_u8(new_a<2>(top4, top6, pairs));
    columns[10] = vreinterpretq_u32_u8(new_b<2>(top4, top6, pairs));
}

// All the columns of the four blocks, block b in lane b, once split_bytes
// has run (bits 30 and 31 hold words past W[64]).
TORVANIX_ALWAYS_INLINE void columns_of_four(const neon_four_blocks& four,
                                            uint32x4_t (&columns)[column_count])
{
    neon_transposition t;
    early_columns_of_four(four, t, columns);
    other_columns_of_four(t, columns);
}

}  // namespace sha1_dv
