// Internal to the SHA-extension transforms: one block's 80 rounds with
// the x86 SHA extensions, written once for the transform and for the
// confirmation that runs beside the rounds (collision/confirm_vector.cpp).
// Each sha1rnds4 runs four rounds; sha1nexte derives the next four rounds'
// E from the state four rounds back; sha1msg1/sha1msg2 extend the message
// schedule four words at a time.
#pragma once

#include "sha1/target.h"

#if defined(TORVANIX_SHA1_HAVE_SHANI)

#include <immintrin.h>

#include <cstdint>
#include <utility>

#include "sha1/collision/collision.h"

namespace sha1_shani {

// Message words live in a ring of four registers: group j (words 4j..4j+3,
// the first in the top lane) is in msg[j % 4]. While group j feeds the
// rounds, the schedule works on the next three groups: it finishes group
// j+1, adds group j into j+2 and starts j+3.
// What the collision check keeps of one block: the message groups it reads
// (W[32..67], groups 8 to 16) and A..D after rounds 56 and 60.
// With `AtOnce`, each is stored as soon as it is made: left in registers,
// the values crowd the rounds' own, which the compiler then spills in the
// middle of their chain of latencies.
struct kept_for_check {
    __m128i groups[9];
    __m128i abcd[2];
};

template <bool Keep, bool AtOnce, int J>
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void four_rounds(__m128i& abcd, __m128i& abcd_back,
                                                              __m128i& e_first, __m128i msg[4],
                                                              kept_for_check& kept,
                                                              const std::uint8_t* data,
                                                              const __m128i& byte_swap)
{
    if constexpr (Keep && J >= 8 && J <= 16) {
        kept.groups[J - 8] = msg[J % 4];
        if constexpr (AtOnce) TORVANIX_FROM_MEMORY(kept.groups);
    }
    if constexpr (J < 4) {
        msg[J] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * J)),
                                  byte_swap);
    }
    __m128i e_plus_w;
    if constexpr (J == 0) {
        e_plus_w = _mm_add_epi32(e_first, msg[0]);
    } else {
        e_plus_w = _mm_sha1nexte_epu32(abcd_back, msg[J % 4]);
    }
    if constexpr (J >= 3 && J <= 18) {
        msg[(J + 1) % 4] = _mm_sha1msg2_epu32(msg[(J + 1) % 4], msg[J % 4]);
    }
    abcd_back = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e_plus_w, J / 5);
    if constexpr (Keep && (J == 13 || J == 14)) {
        kept.abcd[J - 13] = abcd;
        if constexpr (AtOnce) TORVANIX_FROM_MEMORY(kept.abcd);
    }
    if constexpr (J >= 1 && J <= 16) {
        msg[(J + 3) % 4] = _mm_sha1msg1_epu32(msg[(J + 3) % 4], msg[J % 4]);
    }
    if constexpr (J >= 2 && J <= 17) {
        msg[(J + 2) % 4] = _mm_xor_si128(msg[(J + 2) % 4], msg[J % 4]);
    }
}

template <bool Keep, bool AtOnce, int... J>
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void eighty_rounds(
    std::integer_sequence<int, J...>, __m128i& abcd, __m128i& abcd_back, __m128i& e_first,
    __m128i msg[4], kept_for_check& kept, const std::uint8_t* data, const __m128i& byte_swap)
{
    (four_rounds<Keep, AtOnce, J>(abcd, abcd_back, e_first, msg, kept, data, byte_swap), ...);
}

// Writes the chaining value held as A..D (A in the top lane) and E (top lane).
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void store(std::uint32_t out[5], __m128i abcd,
                                                        __m128i e)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi32(abcd, 0x1B));
    out[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e, 3));
}

// Reads the chaining value into A..D (A in the top lane, D in the bottom)
// and E, alone in the top lane of its own register, the other lanes zero so
// adding it to the first words is exact.
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void load(const std::uint32_t state[5], __m128i& abcd,
                                                       __m128i& e)
{
    abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
}

// Big-endian words, the first in the top lane.
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI __m128i byte_swap_mask()
{
    return _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
}

// Compresses one block into A..D (A in the top lane) and E (top lane);
// with `Keep`, keeps the groups the collision check reads (with `AtOnce`,
// stored as soon as they are made).
template <bool Keep, bool AtOnce = false>
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void compress(__m128i& abcd, __m128i& e,
                                                           const std::uint8_t* data,
                                                           kept_for_check& kept,
                                                           const __m128i& byte_swap)
{
    const __m128i abcd_start = abcd;
    const __m128i e_start = e;
    __m128i abcd_back;
    __m128i msg[4];
    eighty_rounds<Keep, AtOnce>(std::make_integer_sequence<int, 20>{}, abcd, abcd_back, e, msg,
                                kept, data, byte_swap);
    // E after round 80 is A four rounds earlier, rotated by 30.
    e = _mm_sha1nexte_epu32(abcd_back, e_start);
    abcd = _mm_add_epi32(abcd, abcd_start);
}

// The chaining value after a block, and which of the sixteen lanes
// confirmed beside its rounds collide.
struct compressed_beside {
    __m128i abcd;
    __m128i e;
    std::uint32_t collide;
};

// Compresses one block as compress<true, sha1_eight_vector_registers> does
// and confirms `lanes` beside its rounds, as sha1_dv_confirm_sixteen would
// (needs AVX-512; defined with the confirmation, in
// collision/confirm_vector.cpp, for x86 builds with GCC or Clang).
compressed_beside compress_confirming(__m128i abcd, __m128i e, const std::uint8_t* data,
                                      kept_for_check& kept, const sha1_dv_sixteen& lanes);

}  // namespace sha1_shani

#endif
