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
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// The test with an exact early exit. A block's failures only gain bits as
// groups are added, so once every vector has failed in every block of the
// word, the other groups cannot change the candidates (none). The groups
// tried first are those whose shifts are listed here, with the families
// they read: 56% of the test's operations, after which, on random data, a
// block has failed every vector 85% of the time, all four blocks of an
// SSE vector 53% of the time and all eight of an AVX2 vector 27%; the rest
// run only when some block may still pass. (The plain check's loop over the
// batch, which compilers turn into vector code as it is, gains nothing from
// the branch.)
inline constexpr int early_shifts[] = {-19, -14, -8, -3, 0, 2, 4, 6, 8};

constexpr bool group_is_early(int g)
{
    for (int shift : early_shifts) {
        if (plan.groups[g].shift == shift) return true;
    }
    return false;
}

constexpr bool early_shifts_name_groups()
{
    int found = 0;
    for (int g = 0; g < plan.group_count; ++g) found += group_is_early(g) ? 1 : 0;
    return found == static_cast<int>(std::size(early_shifts));
}
static_assert(early_shifts_name_groups(), "every shift tried first is a group's");

constexpr bool family_is_early(int f)
{
    for (int n = 0; n < plan.term_count; ++n) {
        if (plan.terms[n].family != f) continue;
        for (int g = 0; g < plan.group_count; ++g) {
            const shift_group group = plan.groups[g];
            if (n >= group.first && n < group.first + group.count && group_is_early(g)) return true;
        }
    }
    return false;
}

template <typename Word, bool Early, int F>
TORVANIX_ALWAYS_INLINE void set_family_parities_if(const Word (&columns)[column_count],
                                                   Word (&parities)[32])
{
    if constexpr (family_is_early(F) == Early) set_family_parities<Word, F>(columns, parities);
}

template <typename Word, bool Early, int G>
TORVANIX_ALWAYS_INLINE void add_group_failures_if(const Word (&parities)[32], const Word* masks,
                                                  Word& failures)
{
    if constexpr (group_is_early(G) == Early) {
        add_group_failures<Word, G>(parities, masks, failures,
                                    std::make_integer_sequence<int, plan.groups[G].count>{});
    }
}

template <typename Word, typename AllFailed, int... F, int... G>
TORVANIX_ALWAYS_INLINE void candidates_exiting_from(const Word (&columns)[column_count],
                                                    Word& candidates, const AllFailed& all_failed,
                                                    std::integer_sequence<int, F...>,
                                                    std::integer_sequence<int, G...>)
{
    Word parities[32];
    const Word* masks = nullptr;
    if constexpr (sizeof(Word) > 8) {
        masks = stored_masks<Word>.data();
        TORVANIX_OPAQUE(masks);
    }
    Word failures{};
    (set_family_parities_if<Word, true, F>(columns, parities), ...);
    (add_group_failures_if<Word, true, G>(parities, masks, failures), ...);
    if (!all_failed(failures)) {
        (set_family_parities_if<Word, false, F>(columns, parities), ...);
        (add_group_failures_if<Word, false, G>(parities, masks, failures), ...);
    }
    candidates = ~failures;
}

// The candidates, as candidates_into gives them, with the early exit;
// `all_failed(failures)` tells whether every bit of the word is set.
template <typename Word, typename AllFailed>
TORVANIX_ALWAYS_INLINE void candidates_exiting_into(const Word (&columns)[column_count],
                                                    Word& candidates, const AllFailed& all_failed)
{
    candidates_exiting_from(columns, candidates, all_failed,
                            std::make_integer_sequence<int, plan.family_count>{},
                            std::make_integer_sequence<int, plan.group_count>{});
}

#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)

using four_words = std::uint32_t __attribute__((vector_size(16)));

// Whether all four blocks of a vector have failed every vector: both 64-bit
// halves all ones.
struct all_failed_four {
    TORVANIX_ALWAYS_INLINE bool operator()(const four_words& failures) const
    {
        using halves = std::uint64_t __attribute__((vector_size(16)));
        const halves h = reinterpret_cast<halves>(failures);
        return (h[0] & h[1]) == ~std::uint64_t{0};
    }
};

// The candidates of blocks first .. first + 3 of a batch, in one vector of
// four 32-bit words, with the early exit. (A template, compiled only where
// it is used: in functions with vector instructions.)
template <int = 0>
TORVANIX_ALWAYS_INLINE void candidates_of_four(const sha1_dv_batch_columns& columns, int first,
                                               std::uint32_t* candidates)
{
    four_words vectors[column_count];
    for (int c = 0; c < column_count; ++c) {
        std::memcpy(&vectors[c], &columns[c][first], sizeof vectors[c]);
    }
    four_words masks;
    candidates_exiting_into(vectors, masks, all_failed_four{});
    std::memcpy(candidates, &masks, sizeof masks);
}

#endif

// The SSSE3 form's test of blocks first .. first + 3 of a batch (needs
// SSSE3), for transforms that spread the test over their rounds.
void candidates_of_four_ssse3(const sha1_dv_batch_columns& columns, int first,
                              std::uint32_t* candidates);

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

// Bit permutations for columns_of_expanded. A bit's place in a 64-bit word
// is read as six index bits P5..P0; swapping two of them, or one of them and
// the bit that tells two words apart, is a delta swap: the bits that differ
// in the two places are exchanged, in six operations.

// The places of a 64-bit word whose index has bit `a` clear and, unless `b`
// is negative, bit `b` set.
constexpr std::uint64_t places_with(int a, int b)
{
    std::uint64_t mask = 0;
    for (int p = 0; p < 64; ++p) {
        if ((p >> a & 1) == 0 && (b < 0 || (p >> b & 1) == 1)) mask |= std::uint64_t{1} << p;
    }
    return mask;
}

// Index bits A and B (A > B) of the places in `x` swapped; on a 64-bit word,
// or on each element of a vector of them.
template <int A, int B, typename Word>
TORVANIX_ALWAYS_INLINE void swap_index_bits(Word& x)
{
    constexpr int shift = (1 << A) - (1 << B);
    const Word t = (x ^ (x >> shift)) & places_with(A, B);
    x ^= t ^ (t << shift);
}

// Index bit A swapped with the one that tells `low` from `high`: bits whose
// bit A is set in `low` trade places with those whose bit A is clear in
// `high`.
template <int A, typename Word>
TORVANIX_ALWAYS_INLINE void swap_index_bit_across(Word& low, Word& high)
{
    constexpr int shift = 1 << A;
    const Word t = ((low >> shift) ^ high) & places_with(A, -1);
    high ^= t;
    low ^= t << shift;
}

// Two consecutive words as one 64-bit word, the first in the low half.
TORVANIX_ALWAYS_INLINE std::uint64_t word_pair(const std::uint32_t* words)
{
    std::uint64_t x;
    std::memcpy(&x, words, sizeof x);
    if constexpr (std::endian::native == std::endian::big) x = x >> 32 | x << 32;
    return x;
}

// The low bytes (`low`) and top bytes (`top`) of four pairs of words x[q],
// the pair's bytes of x[q] at bytes q and q + 4; on 64-bit words, or on each
// element of a vector of them.
template <typename Word>
TORVANIX_ALWAYS_INLINE void bytes_of_pairs(const Word (&x)[4], Word& low, Word& top)
{
    constexpr std::uint64_t low_bytes = 0x000000FF000000FF;
    constexpr std::uint64_t top_bytes = 0xFF000000FF000000;
    low = (x[0] & low_bytes) | (x[1] & low_bytes) << 8 | (x[2] & low_bytes) << 16 |
          (x[3] & low_bytes) << 24;
    top = (x[0] & top_bytes) >> 24 | (x[1] & top_bytes) >> 16 | (x[2] & top_bytes) >> 8 |
          (x[3] & top_bytes);
}

// The columns of an expanded message W, into columns[c][block], in plain
// C++ on 64-bit words, read as a bit matrix of 32 rows (W[35..66]; bits 30 and 31 of the
// columns hold W[65] and W[66]) and transposed by index-bit swaps. Row r
// of the low bytes, gathered from pairs of words, starts in word r / 8 at
// byte (r % 2) * 4 + (r % 8) / 2: bit c of it at places r0 r2 r1 c2 c1 c0
// (P5..P0) of word r4 r3. Five swaps bring it to place c0 r4 r3 r2 r1 r0 of
// word c2 c1, so word g holds columns 2g and 2g + 1 in its halves. The top
// bytes' bits 4-7 (W bits 28-31) of two groups of eight rows share a word,
// at places r0 r2 r1 r3 d1 d0 of word r4; five swaps make that d0 r4 r3 r2
// r1 r0 of word d1.
TORVANIX_ALWAYS_INLINE void columns_of_expanded_scalar(const std::uint32_t (&W)[80],
                                                       sha1_dv_batch_columns& columns, int block)
{
    constexpr std::uint64_t high_nibbles = 0xF0F0F0F0F0F0F0F0;
    std::uint64_t low[4];
    std::uint64_t top[4];
    for (int g = 0; g < 4; ++g) {
        std::uint64_t x[4];
        for (int q = 0; q < 4; ++q) x[q] = word_pair(W + first_word + 8 * g + 2 * q);
        bytes_of_pairs(x, low[g], top[g]);
    }
    std::uint64_t tops[2];
    for (int h = 0; h < 2; ++h) {
        tops[h] = (top[2 * h + 1] & high_nibbles) | (top[2 * h] >> 4 & ~high_nibbles);
    }
    for (std::uint64_t& x : low) {
        swap_index_bits<5, 0>(x);
        swap_index_bits<3, 1>(x);
        swap_index_bits<4, 2>(x);
    }
    swap_index_bit_across<4>(low[0], low[2]);
    swap_index_bit_across<4>(low[1], low[3]);
    swap_index_bit_across<3>(low[0], low[1]);
    swap_index_bit_across<3>(low[2], low[3]);
    for (std::uint64_t& x : tops) {
        swap_index_bits<5, 0>(x);
        swap_index_bits<3, 1>(x);
        swap_index_bits<3, 2>(x);
        swap_index_bits<4, 2>(x);
    }
    swap_index_bit_across<4>(tops[0], tops[1]);
    for (int g = 0; g < 4; ++g) {
        columns[2 * g][block] = static_cast<std::uint32_t>(low[g]);
        columns[2 * g + 1][block] = static_cast<std::uint32_t>(low[g] >> 32);
    }
    columns[8][block] = static_cast<std::uint32_t>(tops[0]);
    columns[9][block] = static_cast<std::uint32_t>(tops[0] >> 32);
    columns[10][block] = static_cast<std::uint32_t>(tops[1]);
}

#if defined(TORVANIX_SHA1_BASELINE_VECTORS)

// The same on pairs of 64-bit words, which SSE2 and NEON hold in one
// register (where every processor of the target has them): the four low-byte words in two pairs
// (words g and g + 1 of the scalar form, so the pair's element is row bit r3), the two top-byte
// words in one, and the same swaps, the one across words of a pair by exchanging its elements.
using word_pairs = std::uint64_t __attribute__((vector_size(16)));

TORVANIX_ALWAYS_INLINE void swap_elements(const word_pairs& x, word_pairs& swapped)
{
    swapped = __builtin_shufflevector(x, x, 1, 0);
}

// Index bit A swapped with the element's.
template <int A>
TORVANIX_ALWAYS_INLINE void swap_index_bit_within(word_pairs& x)
{
    constexpr int shift = 1 << A;
    const word_pairs in_high = {0, places_with(A, -1)};
    word_pairs other;
    swap_elements(x, other);
    const word_pairs t = ((other >> shift) ^ x) & in_high;  // {0, t} of the scalar form
    word_pairs moved;
    swap_elements(t << shift, moved);
    x ^= t ^ moved;
}

TORVANIX_ALWAYS_INLINE void columns_of_expanded(const std::uint32_t (&W)[80],
                                                sha1_dv_batch_columns& columns, int block)
{
    constexpr std::uint64_t high_nibbles = 0xF0F0F0F0F0F0F0F0;
    word_pairs low[2];  // {low[2h], low[2h + 1]} of the scalar form
    word_pairs top[2];
    for (int h = 0; h < 2; ++h) {
        word_pairs x[4];
        for (int q = 0; q < 4; ++q) {
            const std::uint32_t* pair = W + first_word + 16 * h + 2 * q;
            x[q] = word_pairs{word_pair(pair), word_pair(pair + 8)};
        }
        bytes_of_pairs(x, low[h], top[h]);
    }
    const word_pairs odd = __builtin_shufflevector(top[0], top[1], 1, 3);
    const word_pairs even = __builtin_shufflevector(top[0], top[1], 0, 2);
    word_pairs tops = (odd & high_nibbles) | (even >> 4 & ~high_nibbles);
    for (word_pairs& x : low) {
        swap_index_bits<5, 0>(x);
        swap_index_bits<3, 1>(x);
        swap_index_bits<4, 2>(x);
    }
    swap_index_bit_across<4>(low[0], low[1]);
    swap_index_bit_within<3>(low[0]);
    swap_index_bit_within<3>(low[1]);
    swap_index_bits<5, 0>(tops);
    swap_index_bits<3, 1>(tops);
    swap_index_bits<3, 2>(tops);
    swap_index_bits<4, 2>(tops);
    swap_index_bit_within<4>(tops);
    for (int h = 0; h < 2; ++h) {
        for (int e = 0; e < 2; ++e) {
            columns[4 * h + 2 * e][block] = static_cast<std::uint32_t>(low[h][e]);
            columns[4 * h + 2 * e + 1][block] = static_cast<std::uint32_t>(low[h][e] >> 32);
        }
    }
    columns[8][block] = static_cast<std::uint32_t>(tops[0]);
    columns[9][block] = static_cast<std::uint32_t>(tops[0] >> 32);
    columns[10][block] = static_cast<std::uint32_t>(tops[1]);
}

#else

TORVANIX_ALWAYS_INLINE void columns_of_expanded(const std::uint32_t (&W)[80],
                                                sha1_dv_batch_columns& columns, int block)
{
    columns_of_expanded_scalar(W, columns, block);
}

#endif

}  // namespace sha1_dv
