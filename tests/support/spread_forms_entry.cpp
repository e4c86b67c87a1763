// The SHA-extension transform's detecting forms as plain functions (see
// columns_x86_entry.h), running the form's own column and slice code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include <utility>

#include "tests/support/columns_x86_entry.h"

#if defined(TORVANIX_SHA1_HAVE_SHANI) && defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)

#include "sha1/transform/spread_forms.h"

namespace {

using words_batch = std::uint32_t[sha1_dv_batch_size][36];
using candidates_batch = std::uint32_t[sha1_dv_batch_size];

// As the detecting loop does: each block's groups, the first word of each
// group in the top lane, added as the block is compressed; then the
// slices. (A macro, not a template: GCC inlines the forms' code only into
// a function compiled for their instruction sets, which each function
// below names.)
#define TORVANIX_RUN_FORM(Form, FUNCTION, TARGET)                                           \
    template <int... K>                                                                     \
    TARGET TORVANIX_ALWAYS_INLINE bool FUNCTION##_slices(                                   \
        sha1_dv_batch& batch, Form::scratch& scratch, candidates_batch& candidates,         \
        std::integer_sequence<int, K...>)                                                   \
    {                                                                                       \
        bool any = false;                                                                   \
        ((any = Form::slice<K>(batch, scratch, candidates)), ...);                          \
        return any;                                                                         \
    }                                                                                       \
    TARGET bool FUNCTION(const words_batch& words, int count, candidates_batch& candidates) \
    {                                                                                       \
        sha1_dv_batch batch;                                                                \
        Form::scratch scratch{};                                                            \
        for (int b = 0; b < count; ++b) {                                                   \
            __m128i groups[9];                                                              \
            for (int g = 0; g < 9; ++g) {                                                   \
                const std::uint32_t* w = words[b] + 4 * g;                                  \
                groups[g] = _mm_setr_epi32(static_cast<int>(w[3]), static_cast<int>(w[2]),  \
                                           static_cast<int>(w[1]), static_cast<int>(w[0])); \
            }                                                                               \
            Form::add_columns(groups, batch, scratch);                                      \
            batch.count_in(nullptr);                                                        \
        }                                                                                   \
        Form::finish_columns(batch, scratch);                                               \
        return FUNCTION##_slices(batch, scratch, candidates,                                \
                                 std::make_integer_sequence<int, Form::slices>{});          \
    }

TORVANIX_RUN_FORM(sha1_spread::form_avx512, with_avx512, TORVANIX_TARGET_SHANI_AVX512)
TORVANIX_RUN_FORM(sha1_spread::form_gfni256, with_gfni256, TORVANIX_TARGET_SHANI_GFNI256)
TORVANIX_RUN_FORM(sha1_spread::form_avx2, with_avx2, TORVANIX_TARGET_SHANI_AVX2)
TORVANIX_RUN_FORM(sha1_spread::form_sse, with_sse, TORVANIX_TARGET_SHANI)

constexpr sha1_testing_spread_form forms[] = {
    {"x86-sha-avx512", with_avx512},
    {"x86-sha-gfni", with_gfni256},
    {"x86-sha", with_avx2},
    {"x86-sha-sse", with_sse},
};

}  // namespace

const sha1_testing_spread_form* sha1_testing_spread_forms(int& count)
{
    count = static_cast<int>(std::size(forms));
    return forms;
}

#else

const sha1_testing_spread_form* sha1_testing_spread_forms(int& count)
{
    count = 0;
    return nullptr;
}

#endif
