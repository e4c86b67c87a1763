// Blocks made to pass the collision check's candidate test for many
// disturbance vectors at once: the worst case for the check's speed, and
// input on which every transform must run its confirmations.
//
// A vector's conditions ("bit i of W[a] XOR bit j of W[b] equals v") are
// linear over GF(2) in the block's 512 bits, since the message expansion is.
// A set of vectors is solved as one linear system, kept in reduced echelon
// form: every row has a pivot bit that no other row has. A random block
// meeting the system is then random bits everywhere, with each pivot bit set
// so that its row holds.
//
// Bits are numbered in the block's byte order read as eight big-endian
// 64-bit words: word m holds W[2m] in its high half and W[2m + 1] in its low
// half, so bit k of W[w] is bit 64 * (w / 2) + (w % 2 ? 0 : 32) + k.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "sha1/collision/collision.h"
#include "sha1/collision/disturbance_vectors.h"
#include "sha1/expand.h"

namespace crafted {

using bits512 = std::array<std::uint64_t, 8>;

inline constexpr int condition_total =
    static_cast<int>(sizeof sha1_dv_conditions / sizeof sha1_dv_conditions[0]);
// Which of sha1_dv_conditions a row was summed from.
using condition_set = std::bitset<condition_total>;

inline int bit_of(int word, int k) { return 64 * (word / 2) + (word % 2 ? 0 : 32) + k; }

inline bool test_bit(const bits512& x, int n) { return (x[n / 64] >> (n % 64)) & 1; }
inline void flip_bit(bits512& x, int n) { x[n / 64] ^= std::uint64_t{1} << (n % 64); }

inline void xor_into(bits512& to, const bits512& from)
{
    for (int m = 0; m < 8; ++m) to[m] ^= from[m];
}

inline int parity(const bits512& x, const bits512& y)
{
    std::uint64_t sum = 0;
    for (int m = 0; m < 8; ++m) sum ^= x[m] & y[m];
    return static_cast<int>(std::popcount(sum) & 1);
}

// The words the conditions read, W[0..64], bit by bit as sums of block bits.
inline constexpr int expanded_words = 65;
using expansion_table = std::array<std::array<bits512, 32>, expanded_words>;

constexpr bool conditions_within_table()
{
    for (const sha1_dv_condition& c : sha1_dv_conditions) {
        if (c.a >= expanded_words || c.b >= expanded_words) return false;
    }
    return true;
}
static_assert(conditions_within_table());

inline const expansion_table& expansion()
{
    // 130 KiB: built on the heap once, not on the stack.
    static const std::unique_ptr<const expansion_table> table = [] {
        auto t = std::make_unique<expansion_table>();
        for (int w = 0; w < 16; ++w) {
            for (int k = 0; k < 32; ++k) flip_bit((*t)[w][k], bit_of(w, k));
        }
        for (int w = 16; w < expanded_words; ++w) {
            for (int k = 0; k < 32; ++k) {
                const int from = (k + 31) % 32;  // rotation left by one
                for (int back : {3, 8, 14, 16}) xor_into((*t)[w][k], (*t)[w - back][from]);
            }
        }
        return std::unique_ptr<const expansion_table>(std::move(t));
    }();
    return *table;
}

// One equation: the block bits in `bits` sum to `rhs`.
struct row {
    bits512 bits;
    int rhs;
    int pivot;
    condition_set sources;
};

// The conditions of some vectors, solved. `rows` has one row per pivot, each
// zero at every other row's pivot. When `consistent` is false, `conflict`
// names conditions whose left sides add up to nothing while their right
// sides add up to 1: no block meets them all.
struct system {
    std::uint32_t vectors = 0;  // mask bits of the vectors added
    std::vector<row> rows;
    bits512 pivots{};
    bool consistent = true;
    condition_set conflict;
};

// Adds one condition; false (and `s` marked inconsistent) when it
// contradicts the ones before it.
inline bool add_condition(system& s, int index)
{
    const sha1_dv_condition& c = sha1_dv_conditions[index];
    const expansion_table& x = expansion();
    row r{x[c.a][c.i], c.v, -1, {}};
    xor_into(r.bits, x[c.b][c.j]);
    r.sources.set(static_cast<std::size_t>(index));
    for (const row& p : s.rows) {
        if (test_bit(r.bits, p.pivot)) {
            xor_into(r.bits, p.bits);
            r.rhs ^= p.rhs;
            r.sources ^= p.sources;
        }
    }
    // The lowest bit left is the pivot: low words of the block first, so the
    // last words stay free as long as the rest can take the pivots.
    for (int m = 0; m < 8 && r.pivot < 0; ++m) {
        if (r.bits[m] != 0) r.pivot = 64 * m + std::countr_zero(r.bits[m]);
    }
    if (r.pivot < 0) {
        if (r.rhs == 0) return true;  // implied by the others
        s.consistent = false;
        s.conflict = r.sources;
        return false;
    }
    for (row& p : s.rows) {
        if (test_bit(p.bits, r.pivot)) {
            xor_into(p.bits, r.bits);
            p.rhs ^= r.rhs;
            p.sources ^= r.sources;
        }
    }
    flip_bit(s.pivots, r.pivot);
    s.rows.push_back(r);
    return true;
}

// Adds a vector's conditions (by its index in sha1_disturbance_vectors).
inline bool add_vector(system& s, int dv_index)
{
    const sha1_disturbance_vector& dv = sha1_disturbance_vectors[dv_index];
    s.vectors |= std::uint32_t{1} << dv.mask_bit;
    for (int n = 0; n < dv.condition_count; ++n) {
        if (!add_condition(s, dv.first_condition + n)) return false;
    }
    return true;
}

inline system solve(const std::vector<int>& dv_indices)
{
    system s;
    for (int d : dv_indices) {
        if (!add_vector(s, d)) break;
    }
    return s;
}

// The candidate mask of a 64-byte block, by the portable check.
inline std::uint32_t candidate_mask(const std::uint8_t* block)
{
    std::uint32_t W[80];
    sha1_expand(block, W);
    return sha1_dv_candidates_portable(W);
}

// The block meeting consistent system `s` whose non-pivot bits are those of
// `free` (its pivot bits are ignored), as 64 bytes.
inline void make_block(const system& s, const bits512& free, std::uint8_t out[64])
{
    bits512 x;
    for (int m = 0; m < 8; ++m) x[m] = free[m] & ~s.pivots[m];
    for (const row& r : s.rows) {
        if (parity(r.bits, x) != r.rhs) flip_bit(x, r.pivot);
    }
    for (int m = 0; m < 8; ++m) {
        for (int b = 0; b < 8; ++b)
            out[8 * m + b] = static_cast<std::uint8_t>(x[m] >> (56 - 8 * b));
    }
}

// make_block for many blocks of one system, by table lookups instead of a
// parity per row: the rows' parities over the free bits (the syndrome) are
// the sum of one table entry per byte of the block, and the pivot bits to
// set are the sum of one entry per byte of the syndrome that disagrees with
// the right sides.
struct block_maker {
    int stride;                            // 64-bit words per syndrome
    std::vector<std::uint64_t> syndromes;  // [byte][value][stride]
    std::vector<std::uint64_t> rhs;        // [stride]
    std::vector<bits512> corrections;      // [syndrome byte][value]
    bits512 pivots;

    explicit block_maker(const system& s)
        : stride(static_cast<int>(s.rows.size() + 63) / 64),
          syndromes(64 * 256 * static_cast<std::size_t>(stride)),
          rhs(static_cast<std::size_t>(stride)),
          corrections(8 * static_cast<std::size_t>(stride) * 256),
          pivots(s.pivots)
    {
        const std::size_t words = static_cast<std::size_t>(stride);
        // Column j of the rows: which rows read block bit j.
        std::vector<std::uint64_t> columns(512 * words);
        for (std::size_t i = 0; i < s.rows.size(); ++i) {
            const std::uint64_t row_bit = std::uint64_t{1} << (i % 64);
            for (int j = 0; j < 512; ++j) {
                if (test_bit(s.rows[i].bits, j)) columns[j * words + i / 64] ^= row_bit;
            }
            if (s.rows[i].rhs) rhs[i / 64] ^= row_bit;
        }
        // Each table entry is the one for the value without its lowest bit,
        // plus that bit's column (or pivot).
        for (std::size_t byte = 0; byte < 64; ++byte) {
            for (std::size_t v = 1; v < 256; ++v) {
                const std::size_t low = static_cast<std::size_t>(std::countr_zero(v));
                const std::uint64_t* from = &syndromes[((byte * 256) + (v & (v - 1))) * words];
                const std::uint64_t* column = &columns[(8 * byte + low) * words];
                std::uint64_t* to = &syndromes[(byte * 256 + v) * words];
                for (std::size_t w = 0; w < words; ++w) to[w] = from[w] ^ column[w];
            }
        }
        for (std::size_t byte = 0; byte < 8 * words; ++byte) {
            for (std::size_t v = 1; v < 256; ++v) {
                const std::size_t row_index =
                    8 * byte + static_cast<std::size_t>(std::countr_zero(v));
                bits512& to = corrections[byte * 256 + v];
                to = corrections[byte * 256 + (v & (v - 1))];
                if (row_index < s.rows.size()) flip_bit(to, s.rows[row_index].pivot);
            }
        }
    }

    void make(const bits512& free, std::uint8_t out[64]) const
    {
        const std::size_t words = static_cast<std::size_t>(stride);
        bits512 x;
        std::uint64_t syndrome[8] = {};  // room for 512 rows
        for (std::size_t m = 0; m < 8; ++m) {
            x[m] = free[m] & ~pivots[m];
            for (std::size_t b = 0; b < 8; ++b) {
                const std::size_t value = (x[m] >> (8 * b)) & 0xFF;
                const std::uint64_t* entry = &syndromes[((8 * m + b) * 256 + value) * words];
                for (std::size_t w = 0; w < words; ++w) syndrome[w] ^= entry[w];
            }
        }
        for (std::size_t w = 0; w < words; ++w) {
            const std::uint64_t wrong = syndrome[w] ^ rhs[w];
            for (std::size_t b = 0; b < 8; ++b) {
                xor_into(x, corrections[(8 * w + b) * 256 + ((wrong >> (8 * b)) & 0xFF)]);
            }
        }
        for (std::size_t m = 0; m < 8; ++m) {
            for (std::size_t b = 0; b < 8; ++b) {
                out[8 * m + b] = static_cast<std::uint8_t>(x[m] >> (56 - 8 * b));
            }
        }
    }
};

inline bits512 random_bits(std::mt19937_64& random)
{
    bits512 x;
    for (auto& w : x) w = random();
    return x;
}

// `count` random blocks meeting the conditions of the vectors in
// `dv_indices`, which must be compatible. Other vectors may pass by chance
// as well (about one in twenty blocks has one on random data). Every block
// is checked with the portable candidate test; an empty result means a
// block failed it.
inline std::vector<std::uint8_t> blocks_meeting(const std::vector<int>& dv_indices,
                                                std::size_t count, std::mt19937_64& random)
{
    const system s = solve(dv_indices);
    if (!s.consistent) return {};
    std::vector<std::uint8_t> out(64 * count);
    for (std::size_t n = 0; n < count; ++n) {
        std::uint8_t* block = out.data() + 64 * n;
        make_block(s, random_bits(random), block);
        if ((candidate_mask(block) & s.vectors) != s.vectors) return {};
    }
    return out;
}

// The largest set of compatible vectors found by adding them greedily in
// `tries` random orders, as indices into sha1_disturbance_vectors (sorted).
inline std::vector<int> largest_compatible_set(std::mt19937_64& random, int tries = 64)
{
    std::vector<int> best;
    std::vector<int> order(sha1_dv_count);
    for (int d = 0; d < sha1_dv_count; ++d) order[static_cast<std::size_t>(d)] = d;
    for (int t = 0; t < tries; ++t) {
        std::shuffle(order.begin(), order.end(), random);
        system s;
        std::vector<int> set;
        for (int d : order) {
            system next = s;
            if (add_vector(next, d)) {
                s = std::move(next);
                set.push_back(d);
            }
        }
        if (set.size() > best.size()) best = set;
    }
    std::sort(best.begin(), best.end());
    return best;
}

// `k` compatible vectors, sorted: part of a set found greedily in a random
// order. Empty when a thousand orders gave no set that large.
inline std::vector<int> random_compatible_set(std::mt19937_64& random, std::size_t k)
{
    std::vector<int> set;
    for (int t = 0; t < 1000 && set.size() < k; ++t) set = largest_compatible_set(random, 1);
    if (set.size() < k) return {};
    std::shuffle(set.begin(), set.end(), random);
    set.resize(k);
    std::sort(set.begin(), set.end());
    return set;
}

}  // namespace crafted
