// SHA-1 compression with the x86 SHA extensions. Each sha1rnds4 runs four
// rounds; sha1nexte derives the next four rounds' E from the state four
// rounds back; sha1msg1/sha1msg2 extend the message schedule four words at a
// time. Works in 32-bit and 64-bit mode.
#include "target.h"

#if defined(TORVANIX_SHA1_HAVE_SHANI)

#include <immintrin.h>

#include <utility>

#include "transform.h"

namespace {

// Message words live in a ring of four registers: group j (words 4j..4j+3,
// the first in the top lane) is in msg[j % 4]. While group j feeds the
// rounds, the schedule works on the next three groups: it finishes group
// j+1, adds group j into j+2 and starts j+3.
template <int J>
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void four_rounds(__m128i& abcd, __m128i& abcd_back,
                                                              __m128i& e_first, __m128i msg[4],
                                                              const std::uint8_t* data,
                                                              const __m128i& byte_swap)
{
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
    if constexpr (J >= 1 && J <= 16) {
        msg[(J + 3) % 4] = _mm_sha1msg1_epu32(msg[(J + 3) % 4], msg[J % 4]);
    }
    if constexpr (J >= 2 && J <= 17) {
        msg[(J + 2) % 4] = _mm_xor_si128(msg[(J + 2) % 4], msg[J % 4]);
    }
}

template <int... J>
TORVANIX_ALWAYS_INLINE TORVANIX_TARGET_SHANI void eighty_rounds(std::integer_sequence<int, J...>,
                                                                __m128i& abcd, __m128i& abcd_back,
                                                                __m128i& e_first, __m128i msg[4],
                                                                const std::uint8_t* data,
                                                                const __m128i& byte_swap)
{
    (four_rounds<J>(abcd, abcd_back, e_first, msg, data, byte_swap), ...);
}

}  // namespace

TORVANIX_TARGET_SHANI void sha1_transform_shani(std::uint32_t state[5], const std::uint8_t* data,
                                                std::size_t blocks)
{
    const __m128i byte_swap = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);

    // A in the top lane, D in the bottom; E alone in the top lane of its own
    // register, the other lanes zero so adding it to the first words is exact.
    __m128i abcd =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

    for (; blocks != 0; --blocks, data += 64) {
        const __m128i abcd_start = abcd;
        const __m128i e_start = e;
        __m128i abcd_back;
        __m128i msg[4];
        eighty_rounds(std::make_integer_sequence<int, 20>{}, abcd, abcd_back, e, msg, data,
                      byte_swap);
        // E after round 80 is A four rounds earlier, rotated by 30.
        e = _mm_sha1nexte_epu32(abcd_back, e_start);
        abcd = _mm_add_epi32(abcd, abcd_start);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e, 3));
}

sha1_blocks_done sha1_detect_shani(std::uint32_t state[5], const std::uint8_t* data,
                                   std::size_t blocks)
{
    return sha1_detect_each_block(sha1_transform_shani, state, data, blocks);
}

#endif
