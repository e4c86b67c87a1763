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
// one register, stored as it is into the batch.
//
// Per block, four table lookups gather those row bytes from the message
// groups, as the rounds store them: row i of eighth g for i = 1..4 is word
// lane i - 1 of group 9 + 2g, and rows 5..7 with row 0 of eighth g + 1 are
// the lanes of group 10 + 2g. A block's row bytes go to memory lane by lane
// in rows order, so one de-interleaving load (ld4) per kind takes the rows
// of four blocks apart into one register per row. Row 0 of eighth 0, W[35],
// is lane 3 of group 8, kept on its own.
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

// What the batch keeps of each block for its columns: four kinds of row bytes
// (low or top bytes of rows 1-4, or of rows 5-7 and the next eighth's row 0),
// each 16 bytes per block with the blocks side by side, and W[35].
struct neon_batch_rows {
    enum kind { low_1to4, top_1to4, low_5to8, top_5to8, kinds };
    alignas(16) std::uint8_t bytes[kinds][sha1_dv_batch_size][16];
    alignas(16) std::uint32_t w35[sha1_dv_batch_size];
};

// Table indices of one kind's bytes in four groups: byte 4r + g (row r of
// the kind, eighth g) is lane r of group g, its low byte (0) or top byte (3).
struct neon_row_indices {
    uint8x16_t low;
    uint8x16_t top;
};

TORVANIX_ALWAYS_INLINE neon_row_indices row_indices()
{
    alignas(16) static constexpr std::uint8_t low[16] = {0, 16, 32, 48, 4,  20, 36, 52,
                                                         8, 24, 40, 56, 12, 28, 44, 60};
    alignas(16) static constexpr std::uint8_t top[16] = {3,  19, 35, 51, 7,  23, 39, 55,
                                                         11, 27, 43, 59, 15, 31, 47, 63};
    return {vld1q_u8(low), vld1q_u8(top)};
}

// A block's message groups 8 to 16 (W[32..67], group j holding W[4j..4j+3]
// from the bottom lane up), as the rounds store them for keep_rows: the
// groups each table lookup reads side by side, so that one load brings them
// back as its table.
struct neon_kept_groups {
    alignas(16) std::uint32_t words[9][4];

    // Where group j goes: groups 9, 11, 13, 15, then 10, 12, 14, 16, then 8.
    static constexpr int slot(int group)
    {
        return group == 8 ? 8 : group % 2 == 1 ? (group - 9) / 2 : 4 + (group - 10) / 2;
    }
};

// Keeps block `block`'s row bytes from its groups.
TORVANIX_ALWAYS_INLINE void keep_rows(const neon_kept_groups& groups, const neon_row_indices& index,
                                      neon_batch_rows& rows, int block)
{
    // Loads the tables as stored, instead of letting the compiler build them
    // out of the registers the groups came from, through memory anyway.
    TORVANIX_FROM_MEMORY(groups.words);
    const uint8x16x4_t odd = vld1q_u8_x4(reinterpret_cast<const std::uint8_t*>(groups.words[0]));
    const uint8x16x4_t even = vld1q_u8_x4(reinterpret_cast<const std::uint8_t*>(groups.words[4]));
    vst1q_u8(rows.bytes[neon_batch_rows::low_1to4][block], vqtbl4q_u8(odd, index.low));
    vst1q_u8(rows.bytes[neon_batch_rows::top_1to4][block], vqtbl4q_u8(odd, index.top));
    vst1q_u8(rows.bytes[neon_batch_rows::low_5to8][block], vqtbl4q_u8(even, index.low));
    vst1q_u8(rows.bytes[neon_batch_rows::top_5to8][block], vqtbl4q_u8(even, index.top));
    rows.w35[block] = groups.words[8][3];
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

// The columns of blocks `first` to `first + 3` (bits 30 and 31 hold words
// past W[64]).
TORVANIX_ALWAYS_INLINE void columns_of_four(const neon_batch_rows& rows, int first,
                                            sha1_dv_batch_columns& columns)
{
    using rows_kind = neon_batch_rows;
    const uint32x4x4_t low_a =
        vld4q_u32(reinterpret_cast<const std::uint32_t*>(rows.bytes[rows_kind::low_1to4][first]));
    const uint32x4x4_t low_b =
        vld4q_u32(reinterpret_cast<const std::uint32_t*>(rows.bytes[rows_kind::low_5to8][first]));
    const uint32x4x4_t top_a =
        vld4q_u32(reinterpret_cast<const std::uint32_t*>(rows.bytes[rows_kind::top_1to4][first]));
    const uint32x4x4_t top_b =
        vld4q_u32(reinterpret_cast<const std::uint32_t*>(rows.bytes[rows_kind::top_5to8][first]));
    const uint32x4_t w35 = vld1q_u32(&rows.w35[first]);

    // Row 0: the next eighth's row 0 moved up one eighth, under W[35].
    uint8x16_t low[8] = {vreinterpretq_u8_u32(vsliq_n_u32(w35, low_b.val[3], 8)),
                         vreinterpretq_u8_u32(low_a.val[0]),
                         vreinterpretq_u8_u32(low_a.val[1]),
                         vreinterpretq_u8_u32(low_a.val[2]),
                         vreinterpretq_u8_u32(low_a.val[3]),
                         vreinterpretq_u8_u32(low_b.val[0]),
                         vreinterpretq_u8_u32(low_b.val[1]),
                         vreinterpretq_u8_u32(low_b.val[2])};
    uint8x16_t top[8] = {vreinterpretq_u8_u32(vsliq_n_u32(vshrq_n_u32(w35, 24), top_b.val[3], 8)),
                         vreinterpretq_u8_u32(top_a.val[0]),
                         vreinterpretq_u8_u32(top_a.val[1]),
                         vreinterpretq_u8_u32(top_a.val[2]),
                         vreinterpretq_u8_u32(top_a.val[3]),
                         vreinterpretq_u8_u32(top_b.val[0]),
                         vreinterpretq_u8_u32(top_b.val[1]),
                         vreinterpretq_u8_u32(top_b.val[2])};

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
    for (int c = 0; c < 8; ++c) vst1q_u32(&columns[c][first], vreinterpretq_u32_u8(low[c]));

    // Top bytes: only what ends in bytes 4..6 (bits 28..30).
    for (int i = 0; i < 4; ++i) top[i + 4] = vsriq_n_u8(top[i + 4], top[i], 4);
    swap_bits<2>(top[4], top[6], pairs);
    swap_bits<2>(top[5], top[7], pairs);
    swap_bits<1>(top[4], top[5], singles);
    top[6] = vbslq_u8(singles, top[6], vshlq_n_u8(top[7], 1));
    for (int c = 8; c < column_count; ++c) {
        vst1q_u32(&columns[c][first], vreinterpretq_u32_u8(top[c - 4]));
    }
}

// The columns of a batch's first `count` blocks, four at a time; the blocks
// that round the last four up are taken as zero.
TORVANIX_ALWAYS_INLINE void columns_of_batch(neon_batch_rows& rows, int count,
                                             sha1_dv_batch_columns& columns)
{
    for (int b = count; b % 4 != 0; ++b) {
        for (auto& kind : rows.bytes) vst1q_u8(kind[b], vdupq_n_u8(0));
        rows.w35[b] = 0;
    }
    for (int first = 0; first < count; first += 4) columns_of_four(rows, first, columns);
}

}  // namespace sha1_dv
