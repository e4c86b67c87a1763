// Internal to the SHA-1 engine: the collision check's columns in a few
// AVX-512 instructions, for processors with VBMI and GFNI (Ice Lake and
// later Intel cores, Zen 4 and later), from the message groups the
// SHA-extension transform keeps.
//
// A block's words are laid out in a slot by the transform (see
// `message_slot`). One two-register byte permutation gathers the low bytes
// of W[35..66] into bytes 0-31 and their top bytes into bytes 32-63, eight
// words to a 64-bit lane in reverse order; one GF(2) affine transformation
// per lane then transposes each 8x8 bit matrix, so that byte k of a lane
// holds bit k of its eight words; a last byte permutation assembles each
// column's four bytes into one 32-bit element. The columns of a block end
// up in elements 0-10 of one register.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "sha1/collision.h"
#include "sha1/target.h"

namespace sha1_dv {

// Where a block's message groups 8 to 16 (W[32..67], each group's first word
// in its top lane, as the SHA extensions keep them) are stored so that the
// words the check reads, W[35..64], lie in the 128 bytes from `words`:
// group 16 first, so that W[64] (its top lane) lands at byte 0 and the rest
// of it before `words`; then groups 9 to 15 from byte 4; then group 8, whose
// bottom lane W[35] lands at byte 116 and the rest past byte 120, unread.
struct message_slot {
    alignas(16) std::uint8_t bytes[16 + 128 + 16];
    static constexpr int words = 16;

    // The byte offset in `bytes` where group G (8..16) is stored.
    static constexpr int group_offset(int g)
    {
        return g == 16 ? words - 12 : g == 8 ? words + 116 : words + 4 + 16 * (g - 9);
    }
    // The offset from `words` of the lowest byte of W[w], 35 <= w <= 64.
    static constexpr int word_offset(int w)
    {
        return group_offset(w / 4) - words + 4 * (3 - w % 4);
    }
};

// The first permutation's indices: the low byte of W[35 + i] at byte
// 8 * (i / 8) + 7 - i % 8, its top byte 32 bytes further. W[65] and W[66]
// fill the two unused places with copies of W[64], bits the check does not
// read.
struct gather_indices {
    std::uint8_t index[64];
};

constexpr gather_indices make_gather_indices()
{
    gather_indices g{};
    for (int i = 0; i < 32; ++i) {
        const int w = first_word + (i < word_count ? i : word_count - 1);
        const int place = 8 * (i / 8) + 7 - i % 8;
        g.index[place] = static_cast<std::uint8_t>(message_slot::word_offset(w));
        g.index[32 + place] = static_cast<std::uint8_t>(message_slot::word_offset(w) + 3);
    }
    return g;
}

// The last permutation's indices: column c < 8 from byte c of lanes 0-3
// (the low bytes' transposes), column 8 + k from byte 4 + k of lanes 4-7
// (bits 28-30 are bits 4-6 of the top byte).
constexpr gather_indices make_column_indices()
{
    gather_indices g{};
    for (int c = 0; c < 16; ++c) {
        for (int lane = 0; lane < 4; ++lane) {
            const int k = c < column_count ? column_bit(c) % 8 : 0;
            const int source_lane = c < 8 ? lane : 4 + lane;
            g.index[4 * c + lane] = static_cast<std::uint8_t>(8 * source_lane + k);
        }
    }
    return g;
}

alignas(64) inline constexpr gather_indices gather_bytes = make_gather_indices();
alignas(64) inline constexpr gather_indices assemble_columns = make_column_indices();

// The 11 columns of the block in `slot`, in elements 0-10 (the others hold
// copies of column 0's bytes and are not read).
TORVANIX_TARGET_AVX512 TORVANIX_ALWAYS_INLINE __m512i columns_from_slot(const message_slot& slot)
{
    const std::uint8_t* words = slot.bytes + message_slot::words;
    const __m512i first = _mm512_loadu_si512(words);
    const __m512i second = _mm512_loadu_si512(words + 64);
    const __m512i bytes =
        _mm512_permutex2var_epi8(first, _mm512_load_si512(gather_bytes.index), second);
    // Byte k of every lane selects bit k of each of the lane's eight bytes.
    const __m512i select = _mm512_set1_epi64(0x8040201008040201LL);
    const __m512i transposed = _mm512_gf2p8affine_epi64_epi8(select, bytes, 0);
    // (The zero-masking form with every element kept is the same
    // instruction; GCC's header for the plain form reads an undefined
    // register, which its own warnings flag.)
    return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_load_si512(assemble_columns.index),
                                         transposed);
}

}  // namespace sha1_dv
