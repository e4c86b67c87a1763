// Internal to the collision check on aarch64: the candidate test of four
// blocks in NEON registers (one block per 32-bit lane), in passes that stop
// as soon as the answer is known.
//
// The terms of one shift group that share a mask are one class: their
// parities are combined first (OR, ORN, AND as their expected values ask),
// then masked once. The first pass runs the classes that rule out most
// (block, vector) pairs on random data; when every lane of every vector has
// failed by then, the test ends. Otherwise the remaining classes run in
// chunks, each only where a vector it tests is still open in some lane. A
// skipped chunk tests only vectors that have failed in all four lanes
// already, so the candidates are those of the whole test, bit for bit.
#pragma once

#include <arm_neon.h>

#include <cstdint>
#include <utility>

#include "sha1/collision/candidates.h"
#include "sha1/target.h"

namespace sha1_dv::neon {

// Classes that run after the first pass, by their shift and vector mask,
// and the chunk each belongs to: chosen by estimating, over random blocks,
// the instructions the test takes with them, and confirmed by counting
// them. A class not listed runs in the first pass, which is only slower,
// never wrong.
struct later_class {
    int shift;
    std::uint32_t mask;
    int chunk;  // 1 .. chunk_count
};
inline constexpr int chunk_count = 5;
inline constexpr later_class later_classes[] = {
    {-28, 0xe0000000, 1}, {-28, 0xc0000000, 1}, {-28, 0x80000000, 1}, {-22, 0xf0400000, 1},
    {-22, 0xffc00000, 1}, {-6, 0xe0000000, 1},  {-5, 0x00000040, 2},  {20, 0x00000040, 2},
    {26, 0x00000007, 2},  {-18, 0x00040000, 3}, {-16, 0x000e0000, 3}, {-15, 0x00018000, 3},
    {-12, 0x000ff000, 3}, {-12, 0x000fc000, 3}, {-12, 0x000f8000, 3}, {13, 0x0000fc00, 3},
    {13, 0x00000c00, 3},  {16, 0x00001c00, 3},  {-6, 0x00000380, 4},  {8, 0x00100380, 4},
    {-26, 0x18000000, 5}, {-26, 0x10000000, 5}, {-23, 0x0f800000, 5}, {-8, 0x1ff00000, 5},
    {-5, 0x00000020, 5},  {-3, 0x00000020, 5},  {5, 0x00f00000, 5},
};

struct test_class {
    int group;
    std::uint32_t mask;  // the vectors it tests
    int first;           // its terms: term_list[first .. first + count)
    int count;
};

// Classes of one group that run in the same pass.
struct group_run {
    int group;
    int first;  // its classes
    int count;
};

struct staged_plan {
    test_class classes[96];  // pass by pass, group by group
    int class_count;
    int term_list[96];
    int term_count;
    group_run runs[96];
    int run_count;
    int pass_first_run[chunk_count + 2];        // runs of pass p: [first[p], first[p + 1])
    std::uint32_t chunk_mask[chunk_count + 1];  // vectors each chunk tests
};

constexpr int pass_of(int shift, std::uint32_t mask)
{
    for (const later_class& c : later_classes) {
        if (c.shift == shift && c.mask == mask) return c.chunk;
    }
    return 0;
}

constexpr staged_plan make_staged_plan()
{
    staged_plan p{};
    for (int pass = 0; pass <= chunk_count; ++pass) {
        p.pass_first_run[pass] = p.run_count;
        for (int g = 0; g < plan.group_count; ++g) {
            const shift_group& group = plan.groups[g];
            const int first_class = p.class_count;
            for (int t = group.first; t < group.first + group.count; ++t) {
                const std::uint32_t mask = plan.terms[t].mask;
                if (pass_of(group.shift, mask) != pass) continue;
                bool seen = false;
                for (int c = first_class; c < p.class_count; ++c)
                    seen = seen || p.classes[c].mask == mask;
                if (seen) continue;
                test_class& c = p.classes[p.class_count++];
                c = {g, mask, p.term_count, 0};
                for (int u = t; u < group.first + group.count; ++u) {
                    if (plan.terms[u].mask != mask) continue;
                    p.term_list[p.term_count++] = u;
                    ++c.count;
                }
                if (pass != 0) p.chunk_mask[pass] |= mask;
            }
            if (p.class_count != first_class) {
                p.runs[p.run_count++] = {g, first_class, p.class_count - first_class};
            }
        }
    }
    p.pass_first_run[chunk_count + 1] = p.run_count;
    return p;
}

inline constexpr staged_plan staged = make_staged_plan();

constexpr bool every_later_class_exists()
{
    for (const later_class& l : later_classes) {
        bool found = false;
        for (int c = 0; c < staged.class_count; ++c) {
            found = found || (staged.classes[c].mask == l.mask &&
                              plan.groups[staged.classes[c].group].shift == l.shift);
        }
        if (!found) return false;
    }
    return true;
}
static_assert(every_later_class_exists(), "each listed class is one of the test's");
static_assert(staged.class_count <= 96 && staged.run_count <= 96);

// Each class's mask before its group's shift, in all four lanes, in class
// order.
struct class_masks {
    alignas(16) std::uint32_t lanes[96][4];
};

constexpr class_masks make_class_masks()
{
    class_masks m{};
    for (int c = 0; c < staged.class_count; ++c) {
        const int shift = plan.groups[staged.classes[c].group].shift;
        const std::uint32_t mask = staged.classes[c].mask;
        for (std::uint32_t& lane : m.lanes[c]) lane = shift >= 0 ? mask << shift : mask >> -shift;
    }
    return m;
}

inline constexpr class_masks stored_class_masks = make_class_masks();

template <int F>
TORVANIX_ALWAYS_INLINE uint32x4_t parity(const uint32x4_t (&columns)[column_count])
{
    constexpr family f = plan.families[F];
    const uint32x4_t second = columns[column_of(f.j)];
    if constexpr (f.delta == 0) {
        return veorq_u32(columns[column_of(f.i)], second);
    } else {
        return veorq_u32(columns[column_of(f.i)], vshrq_n_u32(second, f.delta));
    }
}

// Class C's terms K.. OR-ed into `value`, which is ~value when `Negated`;
// then masked: the class's failures before the group's shift.
template <int C, int K, bool Negated>
TORVANIX_ALWAYS_INLINE uint32x4_t class_rest(const uint32x4_t (&columns)[column_count],
                                             const uint32x4_t mask, uint32x4_t value)
{
    constexpr test_class c = staged.classes[C];
    if constexpr (K == c.count) {
        return Negated ? vbicq_u32(mask, value) : vandq_u32(mask, value);
    } else {
        constexpr term t = plan.terms[staged.term_list[c.first + K]];
        const uint32x4_t p = parity<t.family>(columns);
        // value | p, value | ~p; with value negated, ~value | p or ~(value & p).
        if constexpr (!Negated) {
            return class_rest<C, K + 1, false>(
                columns, mask, t.v != 0 ? vornq_u32(value, p) : vorrq_u32(value, p));
        } else if constexpr (t.v == 0) {
            return class_rest<C, K + 1, false>(columns, mask, vornq_u32(p, value));
        } else {
            return class_rest<C, K + 1, true>(columns, mask, vandq_u32(value, p));
        }
    }
}

template <int C>
TORVANIX_ALWAYS_INLINE uint32x4_t class_failures(const uint32x4_t (&columns)[column_count],
                                                 const std::uint32_t (*masks)[4])
{
    constexpr term first = plan.terms[staged.term_list[staged.classes[C].first]];
    return class_rest<C, 1, first.v != 0>(columns, vld1q_u32(masks[C]),
                                          parity<first.family>(columns));
}

template <int R, int... K>
TORVANIX_ALWAYS_INLINE uint32x4_t run_failures(const uint32x4_t (&columns)[column_count],
                                               const std::uint32_t (*masks)[4],
                                               std::integer_sequence<int, K...>)
{
    constexpr group_run r = staged.runs[R];
    uint32x4_t failures = class_failures<r.first>(columns, masks);
    ((failures = vorrq_u32(failures, class_failures<r.first + 1 + K>(columns, masks))), ...);
    constexpr int shift = plan.groups[r.group].shift;
    if constexpr (shift > 0) {
        return vshrq_n_u32(failures, shift);
    } else if constexpr (shift < 0) {
        return vshlq_n_u32(failures, -shift);
    } else {
        return failures;
    }
}

template <int R>
TORVANIX_ALWAYS_INLINE uint32x4_t run_failures(const uint32x4_t (&columns)[column_count],
                                               const std::uint32_t (*masks)[4])
{
    return run_failures<R>(columns, masks,
                           std::make_integer_sequence<int, staged.runs[R].count - 1>{});
}

template <int Pass, int... R>
TORVANIX_ALWAYS_INLINE uint32x4_t pass_failures(const uint32x4_t (&columns)[column_count],
                                                const std::uint32_t (*masks)[4],
                                                std::integer_sequence<int, R...>)
{
    constexpr int first = staged.pass_first_run[Pass];
    uint32x4_t failures = run_failures<first>(columns, masks);
    ((failures = vorrq_u32(failures, run_failures<first + 1 + R>(columns, masks))), ...);
    return failures;
}

template <int Pass>
TORVANIX_ALWAYS_INLINE uint32x4_t pass_failures(const uint32x4_t (&columns)[column_count],
                                                const std::uint32_t (*masks)[4])
{
    constexpr int runs = staged.pass_first_run[Pass + 1] - staged.pass_first_run[Pass];
    static_assert(runs > 0, "every pass tests something");
    return pass_failures<Pass>(columns, masks, std::make_integer_sequence<int, runs - 1>{});
}

// Chunk Pass (1 ..) added to `failures` where `open`, the vectors still
// open in some lane after the first pass, asks for it.
template <int Pass>
TORVANIX_ALWAYS_INLINE void add_chunk(const uint32x4_t (&columns)[column_count],
                                      const std::uint32_t (*masks)[4], std::uint32_t open,
                                      uint32x4_t& failures)
{
    // (Hidden from the optimizer, a chunk's vectors stay in a register
    // from one call to the next in a caller's loop, where most of them
    // would be built again, for lack of an immediate form, every time.)
    std::uint32_t chunk = staged.chunk_mask[Pass];
    TORVANIX_OPAQUE(chunk);
    if ((open & chunk) != 0) {
        failures = vorrq_u32(failures, pass_failures<Pass>(columns, masks));
    }
}

template <int... Pass>
TORVANIX_ALWAYS_INLINE void add_chunks(const uint32x4_t (&columns)[column_count],
                                       const std::uint32_t (*masks)[4], std::uint32_t open,
                                       uint32x4_t& failures, std::integer_sequence<int, Pass...>)
{
    (add_chunk<Pass + 1>(columns, masks, open, failures), ...);
}

// The columns pass P reads, bit c for column c.
constexpr std::uint32_t columns_read(int pass)
{
    std::uint32_t read = 0;
    for (int r = staged.pass_first_run[pass]; r < staged.pass_first_run[pass + 1]; ++r) {
        for (int c = staged.runs[r].first; c < staged.runs[r].first + staged.runs[r].count; ++c) {
            for (int k = 0; k < staged.classes[c].count; ++k) {
                const family f =
                    plan.families[plan.terms[staged.term_list[staged.classes[c].first + k]].family];
                read |= 1u << column_of(f.i) | 1u << column_of(f.j);
            }
        }
    }
    return read;
}

// The candidate masks of four blocks from their columns (lane b: block b),
// into out[0..3]; returns the lanes whose mask is not zero, bit b for lane b.
// Without `Always`, out is left as it was when every mask is zero (for a
// caller that reads only the lanes returned). The columns the first pass
// reads (columns_read(0)) must be there at the start; `other_columns()` is
// called to make the rest only if the first pass leaves some vector open.
template <bool Always = true, typename Rest>
TORVANIX_ALWAYS_INLINE unsigned candidates_of_four(const uint32x4_t (&columns)[column_count],
                                                   std::uint32_t* out, Rest other_columns)
{
    const std::uint32_t(*masks)[4] = stored_class_masks.lanes;
    TORVANIX_OPAQUE(masks);
    uint32x4_t failures = pass_failures<0>(columns, masks);
    if (vminvq_u32(failures) == 0xFFFFFFFF) {
        if constexpr (Always) vst1q_u32(out, vdupq_n_u32(0));
        return 0;
    }
    other_columns();
    // The vectors open in some lane: the complement of the lanes' AND.
    const uint32x2_t halves = vand_u32(vget_low_u32(failures), vget_high_u32(failures));
    const std::uint64_t both = vget_lane_u64(vreinterpret_u64_u32(halves), 0);
    const std::uint32_t open = ~static_cast<std::uint32_t>(both & (both >> 32));
    add_chunks(columns, masks, open, failures, std::make_integer_sequence<int, chunk_count>{});
    const uint32x4_t candidates = vmvnq_u32(failures);
    vst1q_u32(out, candidates);
    alignas(16) static constexpr std::uint32_t lane_bits[4] = {1, 2, 4, 8};
    // (The table's address, hidden, stays in a register the same way.)
    const std::uint32_t* bits = lane_bits;
    TORVANIX_OPAQUE(bits);
    return vaddvq_u32(vandq_u32(vtstq_u32(candidates, candidates), vld1q_u32(bits)));
}

// The same with every column there at the start.
template <bool Always = true>
TORVANIX_ALWAYS_INLINE unsigned candidates_of_four(const uint32x4_t (&columns)[column_count],
                                                   std::uint32_t* out)
{
    return candidates_of_four<Always>(columns, out, [] {});
}

}  // namespace sha1_dv::neon
