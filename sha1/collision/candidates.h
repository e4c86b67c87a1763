// Internal to the collision check: the candidate test itself, as templates
// over the word that holds the blocks (one 32-bit word per block, two blocks
// in a 64-bit word, or one block per element of a vector), and the columns
// it reads, in plain C++.
//
// The conditions of all 32 vectors are grouped, at compile time, into
// families (bit i of W[a] XOR bit j of W[a + delta], for every a) and
// shifted, masked tests over the families' parities; every vector is one
// bit of the candidate mask.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "sha1/collision/collision.h"
#include "sha1/collision/disturbance_vectors.h"
#include "sha1/target.h"

namespace sha1_dv {

// A family: the parity bit i of W[a] XOR bit j of W[a + delta], for every a.
struct family {
    int delta, i, j;
};

// One shifted test: the family's parities, shifted so that the parity of word
// a lands on the mask bit of each vector in `mask` that has a condition on
// it, must all equal `v`.
struct term {
    int family;
    int shift;  // right shift; negative shifts left
    int v;
    std::uint32_t mask;
};

// The tests that share a shift are masked first and shifted once.
struct shift_group {
    int shift;
    int first;  // index of its first term
    int count;
};

struct plan_tables {
    family families[32];
    int family_count;
    term terms[96];  // ordered by shift
    int term_count;
    shift_group groups[64];
    int group_count;
};

// Groups the conditions of all vectors into families and shifted tests, at
// compile time.
constexpr plan_tables make_plan()
{
    plan_tables p{};
    for (const sha1_disturbance_vector& dv : sha1_disturbance_vectors) {
        for (int n = 0; n < dv.condition_count; ++n) {
            const sha1_dv_condition& c = sha1_dv_conditions[dv.first_condition + n];
            const family f{c.b - c.a, c.i, c.j};
            int fi = 0;
            while (fi < p.family_count && (p.families[fi].delta != f.delta ||
                                           p.families[fi].i != f.i || p.families[fi].j != f.j)) {
                ++fi;
            }
            if (fi == p.family_count) p.families[p.family_count++] = f;
            const int shift = (c.a - first_word) - dv.mask_bit;
            int ti = 0;
            while (ti < p.term_count && (p.terms[ti].family != fi || p.terms[ti].shift != shift ||
                                         p.terms[ti].v != c.v)) {
                ++ti;
            }
            if (ti == p.term_count) p.terms[p.term_count++] = {fi, shift, c.v, 0};
            p.terms[ti].mask |= std::uint32_t{1} << dv.mask_bit;
        }
    }
    for (int i = 1; i < p.term_count; ++i) {
        for (int k = i; k > 0 && p.terms[k - 1].shift > p.terms[k].shift; --k) {
            const term t = p.terms[k];
            p.terms[k] = p.terms[k - 1];
            p.terms[k - 1] = t;
        }
    }
    for (int i = 0; i < p.term_count; ++i) {
        if (p.group_count == 0 || p.groups[p.group_count - 1].shift != p.terms[i].shift) {
            p.groups[p.group_count++] = {p.terms[i].shift, i, 0};
        }
        ++p.groups[p.group_count - 1].count;
    }
    return p;
}

inline constexpr plan_tables plan = make_plan();

// The check works on 32-bit words, one block per word; on 64-bit words
// holding two blocks' columns side by side (the first block in the low
// half); or on vectors of 32-bit words, one block per element. No bit
// crosses from one half to the other where it is read: every test masks
// before it shifts, and a family reads its second column only at positions
// below 30 - delta, which its own half's bits fill.
template <typename Word, std::size_t... Element>
constexpr Word in_every_element(std::uint32_t bits, std::index_sequence<Element...>)
{
    return Word{((void)Element, bits)...};
}

template <typename Word>
constexpr Word in_every_half(std::uint32_t bits)
{
    if constexpr (sizeof(Word) == 8) {
        return Word{bits} | Word{bits} << 32;
    } else if constexpr (sizeof(Word) == 4) {
        return bits;
    } else {
        return in_every_element<Word>(bits, std::make_index_sequence<sizeof(Word) / 4>{});
    }
}

// Term N's mask, moved against its group's shift so it applies before it.
constexpr std::uint32_t term_mask(int n)
{
    const term t = plan.terms[n];
    return t.shift >= 0 ? t.mask << t.shift : t.mask >> -t.shift;
}

// Every term's mask in every element of a vector word.
template <typename Word, int... N>
constexpr std::array<Word, sizeof...(N)> vector_masks(std::integer_sequence<int, N...>)
{
    return {in_every_half<Word>(term_mask(N))...};
}

template <typename Word>
alignas(sizeof(Word)) inline constexpr std::array<Word, plan.term_count> stored_masks =
    vector_masks<Word>(std::make_integer_sequence<int, plan.term_count>{});

// The failures of term N before its group's shift, added to `failures`:
// the parities that differ from `v`, where the mask selects them. Scalar
// masks are immediates; vector masks are read from `masks`, as operands of
// the AND. (Results go out through references: a function returning a
// 32-byte vector by value is refused where AVX is not enabled for it.)
template <typename Word, int N>
TORVANIX_ALWAYS_INLINE void add_term_failures(const Word (&parities)[32], const Word* masks,
                                              Word& failures)
{
    constexpr term t = plan.terms[N];
    Word mask;
    if constexpr (sizeof(Word) <= 8) {
        mask = in_every_half<Word>(term_mask(N));
    } else {
        mask = masks[N];
    }
    if constexpr (t.v != 0) {
        failures |= ~parities[t.family] & mask;
    } else {
        failures |= parities[t.family] & mask;
    }
}

template <typename Word, int G, int... K>
TORVANIX_ALWAYS_INLINE void add_group_failures(const Word (&parities)[32], const Word* masks,
                                               Word& all_failures, std::integer_sequence<int, K...>)
{
    constexpr shift_group g = plan.groups[G];
    Word failures{};
    (add_term_failures<Word, g.first + K>(parities, masks, failures), ...);
    if constexpr (g.shift >= 0) {
        all_failures |= failures >> g.shift;
    } else {
        all_failures |= failures << -g.shift;
    }
}

template <typename Word, int F>
TORVANIX_ALWAYS_INLINE void set_family_parities(const Word (&columns)[column_count],
                                                Word (&parities)[32])
{
    constexpr family f = plan.families[F];
    parities[F] = columns[column_of(f.i)] ^ (columns[column_of(f.j)] >> f.delta);
}

template <typename Word, int... F, int... G>
TORVANIX_ALWAYS_INLINE void candidates_from(const Word (&columns)[column_count], Word& candidates,
                                            std::integer_sequence<int, F...>,
                                            std::integer_sequence<int, G...>)
{
    Word parities[32];
    (set_family_parities<Word, F>(columns, parities), ...);
    const Word* masks = nullptr;
    if constexpr (sizeof(Word) > 8) {
        // Left to itself the compiler builds each vector mask in registers,
        // with three more instructions; hiding where the table is makes it
        // read them.
        masks = stored_masks<Word>.data();
        TORVANIX_OPAQUE(masks);
    }
    Word failures{};
    (add_group_failures<Word, G>(parities, masks, failures,
                                 std::make_integer_sequence<int, plan.groups[G].count>{}),
     ...);
    candidates = ~failures;
}

// The same in slices, for transforms that spread the check of one batch
// over the rounds of the next: families [First, First + Count) into
// `parities`, then the failures of groups [First, First + Count) added to
// `failures` (which starts at zero); the candidates are ~failures.
template <typename Word, int First, int... F>
TORVANIX_ALWAYS_INLINE void families_slice(const Word (&columns)[column_count],
                                           Word (&parities)[32], std::integer_sequence<int, F...>)
{
    (set_family_parities<Word, First + F>(columns, parities), ...);
}

template <typename Word, int First, int... G>
TORVANIX_ALWAYS_INLINE void groups_slice(const Word (&parities)[32], Word& failures,
                                         std::integer_sequence<int, G...>)
{
    static_assert(sizeof(Word) > 8, "for vectors");
    const Word* masks = stored_masks<Word>.data();
    TORVANIX_OPAQUE(masks);
    (add_group_failures<Word, First + G>(
         parities, masks, failures,
         std::make_integer_sequence<int, plan.groups[First + G].count>{}),
     ...);
}

// Slice S of N of the family parities, or of the groups.
template <typename Word, int S, int N>
TORVANIX_ALWAYS_INLINE void families_part(const Word (&columns)[column_count], Word (&parities)[32])
{
    constexpr int first = plan.family_count * S / N;
    constexpr int end = plan.family_count * (S + 1) / N;
    families_slice<Word, first>(columns, parities, std::make_integer_sequence<int, end - first>{});
}

template <typename Word, int S, int N>
TORVANIX_ALWAYS_INLINE void groups_part(const Word (&parities)[32], Word& failures)
{
    constexpr int first = plan.group_count * S / N;
    constexpr int end = plan.group_count * (S + 1) / N;
    groups_slice<Word, first>(parities, failures, std::make_integer_sequence<int, end - first>{});
}

// How a transform that spreads the test divides it: the family parities in
// two slices, then the groups in four.
inline constexpr int family_slices = 2;
inline constexpr int group_slices = 4;
inline constexpr int test_slices = family_slices + group_slices;

// Slice S (0 .. test_slices - 1) of the test; slice 0 clears `failures`, and
// after the last the candidates are ~failures.
template <typename Word, int S>
TORVANIX_ALWAYS_INLINE void test_slice(const Word (&columns)[column_count], Word (&parities)[32],
                                       Word& failures)
{
    if constexpr (S < family_slices) {
        if constexpr (S == 0) failures = Word{};
        families_part<Word, S, family_slices>(columns, parities);
    } else {
        groups_part<Word, S - family_slices, group_slices>(parities, failures);
    }
}

// All the slices in order, as such a transform runs them.
template <typename Word, int... S>
TORVANIX_ALWAYS_INLINE void candidates_by_slices(const Word (&columns)[column_count],
                                                 Word& candidates, std::integer_sequence<int, S...>)
{
    Word parities[32];
    Word failures;
    (test_slice<Word, S>(columns, parities, failures), ...);
    candidates = ~failures;
}

// The vectors (bit `mask_bit` each) whose conditions the message meets, given
// the columns: bit k of columns[c] is bit column_bit(c) of W[first_word + k]
// (bits 30 and 31 are not read). With 64-bit words, two blocks at once; with
// vectors, one block per element.
template <typename Word>
TORVANIX_ALWAYS_INLINE void candidates_into(const Word (&columns)[column_count], Word& candidates)
{
    candidates_from(columns, candidates, std::make_integer_sequence<int, plan.family_count>{},
                    std::make_integer_sequence<int, plan.group_count>{});
}

template <typename Word>
TORVANIX_ALWAYS_INLINE Word candidates(const Word (&columns)[column_count])
{
    static_assert(sizeof(Word) <= 8, "vectors go through candidates_into");
    Word result;
    candidates_into(columns, result);
    return result;
}

// The columns of W[35..64], given from W[35] on, in plain C++: eight words' low or top bytes are
// gathered into a 64-bit word, and one multiplication collects a bit of all
// eight bytes into one byte.
TORVANIX_ALWAYS_INLINE void columns_portable(const std::uint32_t* from35,
                                             std::uint32_t (&columns)[column_count])
{
    for (std::uint32_t& c : columns) c = 0;
    for (int group = 0; group < 4; ++group) {
        std::uint64_t low = 0;
        std::uint64_t top = 0;
        const int words = group < 3 ? 8 : word_count - 24;
        for (int k = 0; k < words; ++k) {
            const std::uint32_t w = from35[8 * group + k];
            low |= std::uint64_t{w & 0xFF} << (8 * k);
            top |= std::uint64_t{w >> 24} << (8 * k);
        }
        for (int c = 0; c < column_count; ++c) {
            const std::uint64_t bytes = c < 8 ? low : top;
            const int bit = c < 8 ? c : column_bit(c) - 24;
            const std::uint64_t spread = (bytes >> bit) & 0x0101010101010101;
            columns[c] |= static_cast<std::uint32_t>((spread * 0x0102040810204080) >> 56)
                          << (8 * group);
        }
    }
}


// Transposes the 8x8 bit matrix in `x` whose row k is byte k: bit c of
// byte k goes to bit k of byte c.
constexpr std::uint64_t transposed_bytes(std::uint64_t x)
{
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AA;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCC;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0;
    return x ^ t ^ (t << 28);
}

// The low bytes (`low`) and top bytes (`top`) of W[first + k], k = 0..7,
// each in byte k of a 64-bit word: words k and k + 4 side by side in a
// 64-bit word, bytes then 16-bit halves swapped between two such words.
TORVANIX_ALWAYS_INLINE void low_and_top_bytes(const std::uint32_t* first, std::uint64_t& low,
                                         std::uint64_t& top)
{
    constexpr std::uint64_t bytes_02 = 0x00FF00FF00FF00FF;
    constexpr std::uint64_t lanes_02 = 0x0000FFFF0000FFFF;
    std::uint64_t x[4];
    for (int k = 0; k < 4; ++k) x[k] = first[k] | std::uint64_t{first[k + 4]} << 32;
    // Bytes 0 and 2 (a, c) or 1 and 3 (b, d) of words k, k + 1.
    const std::uint64_t a = (x[0] & bytes_02) | (x[1] << 8 & ~bytes_02);
    const std::uint64_t b = (x[0] >> 8 & bytes_02) | (x[1] & ~bytes_02);
    const std::uint64_t c = (x[2] & bytes_02) | (x[3] << 8 & ~bytes_02);
    const std::uint64_t d = (x[2] >> 8 & bytes_02) | (x[3] & ~bytes_02);
    low = (a & lanes_02) | (c << 16 & ~lanes_02);
    top = (b >> 16 & lanes_02) | (d & ~lanes_02);
}

// The columns of an expanded message W, into columns[c][block], in plain
// C++ with an eighth fewer operations than columns_portable: the low bytes of
// eight words at a time (and, packed two groups to a word, bits 28-30 of
// their top bytes) are gathered into a 64-bit word and transposed as a bit
// matrix, which gives a byte of every column at once; the bytes are then
// interleaved into the column words. Reads W[35..66]: bits 30 and 31 of the
// columns hold W[65] and W[66].
TORVANIX_ALWAYS_INLINE void columns_of_expanded(const std::uint32_t (&W)[80],
                                                sha1_dv_batch_columns& columns, int block)
{
    std::uint64_t low[4];  // byte c: column c's bits of words 8g..8g+7
    std::uint64_t top[4];
    for (int g = 0; g < 4; ++g) {
        low_and_top_bytes(W + first_word + 8 * g, low[g], top[g]);
        low[g] = transposed_bytes(low[g]);
    }
    // Bytes 4-6: columns 8-10 of group 2h; bytes 0-2: of group 2h + 1.
    std::uint64_t tops[2];
    for (int h = 0; h < 2; ++h) {
        tops[h] = transposed_bytes((top[2 * h] & 0x7070707070707070) |
                                   (top[2 * h + 1] >> 4 & 0x0707070707070707));
    }
    // Bytes c of low[0..3] side by side: columns 0, 2, 4, 6 in the 16-bit
    // lanes of `even`, the odd ones in `odd`, for groups 0-1 and 2-3; then
    // the two halves joined into 32-bit lanes.
    constexpr std::uint64_t bytes_02 = 0x00FF00FF00FF00FF;
    constexpr std::uint64_t lanes_02 = 0x0000FFFF0000FFFF;
    std::uint64_t even[2];
    std::uint64_t odd[2];
    for (int h = 0; h < 2; ++h) {
        even[h] = (low[2 * h] & bytes_02) | (low[2 * h + 1] & bytes_02) << 8;
        odd[h] = (low[2 * h] >> 8 & bytes_02) | (low[2 * h + 1] & ~bytes_02);
    }
    const std::uint64_t joined[4] = {
        (even[0] & lanes_02) | (even[1] & lanes_02) << 16,   // columns 0, 4
        (odd[0] & lanes_02) | (odd[1] & lanes_02) << 16,     // 1, 5
        (even[0] >> 16 & lanes_02) | (even[1] & ~lanes_02),  // 2, 6
        (odd[0] >> 16 & lanes_02) | (odd[1] & ~lanes_02),    // 3, 7
    };
    for (int c = 0; c < 4; ++c) {
        columns[c][block] = static_cast<std::uint32_t>(joined[c]);
        columns[c + 4][block] = static_cast<std::uint32_t>(joined[c] >> 32);
    }
    for (int c = 0; c < 3; ++c) {
        const auto byte = [c](std::uint64_t x, int at) {
            return static_cast<std::uint32_t>(x >> (8 * (at + c)) & 0xFF);
        };
        columns[8 + c][block] = byte(tops[0], 4) | byte(tops[0], 0) << 8 |
                                byte(tops[1], 4) << 16 | byte(tops[1], 0) << 24;
    }
}

}  // namespace sha1_dv
