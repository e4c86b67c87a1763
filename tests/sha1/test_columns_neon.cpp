// The NEON columns and candidate test against the plain C++ ones. Built for
// aarch64 only; the ARMv8 transform itself is compared with the portable one
// by the transform and collision tests.
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "sha1/collision/candidates_neon.h"
#include "sha1/transform/columns_neon.h"
#include "tests/support/sha1_testing.h"

namespace {

using schedule_words = std::array<std::uint32_t, 36>;  // W[32..67]: groups 8 to 16
constexpr std::uint32_t read_bits = 0x3FFFFFFF;        // of a column, by the check

// Puts the blocks through the NEON columns, `count` of every four at a time
// (the other lanes keep what earlier blocks left), and compares every read
// bit of their columns with the portable columns.
void expect_columns_match(const std::vector<schedule_words>& blocks, int count)
{
    sha1_dv::neon_four_blocks four = {};
    for (std::size_t first = 0; first < blocks.size(); first += count) {
        const int n = static_cast<int>(std::min<std::size_t>(count, blocks.size() - first));
        for (int b = 0; b < n; ++b) {
            for (int j = 9; j <= 16; ++j) {
                std::memcpy(four.group(four.blocks[b], j), &blocks[first + b][4 * (j - 8)], 16);
            }
            std::memcpy(four.group8[b], &blocks[first + b][0], 16);
        }
        sha1_dv::split_bytes(four);
        uint32x4_t vectors[sha1_dv::column_count];
        sha1_dv::columns_of_four(four, vectors);
        std::uint32_t columns[sha1_dv::column_count][4];
        for (int c = 0; c < sha1_dv::column_count; ++c) vst1q_u32(columns[c], vectors[c]);
        for (int b = 0; b < n; ++b) {
            std::uint32_t expected[sha1_dv::column_count];
            sha1_dv::columns_portable(&blocks[first + b][sha1_dv::first_word - 32], expected);
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                ASSERT_EQ(columns[c][b] & read_bits, expected[c])
                    << "block " << first + b << " of " << n << ", column " << c;
            }
        }
    }
}

// Read bits all clear or all set, alone with one of them flipped, under
// unread bits (of read and unread words) all clear or all set; then sparse,
// dense and random words. Four blocks at a time and fewer.
TEST(NeonColumns, EqualPortableColumns)
{
    std::vector<schedule_words> blocks;
    for (std::uint32_t fill : {0u, ~0u}) {
        for (std::uint32_t unread : {0u, ~0u}) {
            for (int k = -1; k < sha1_dv::word_count; ++k) {
                for (int c = 0; c < (k < 0 ? 1 : sha1_dv::column_count); ++c) {
                    schedule_words w;
                    for (int t = 32; t < 68; ++t) {
                        const bool read = t >= sha1_dv::first_word &&
                                          t < sha1_dv::first_word + sha1_dv::word_count;
                        const std::uint32_t mask = read ? 0x700000FFu : 0;
                        w[t - 32] = (fill & mask) | (unread & ~mask);
                    }
                    if (k >= 0) w[sha1_dv::first_word - 32 + k] ^= 1u << sha1_dv::column_bit(c);
                    blocks.push_back(w);
                }
            }
        }
    }
    std::mt19937 random(31);
    for (int i = 0; i < 900; ++i) {
        schedule_words w;
        for (auto& x : w) {
            const std::uint32_t a = random(), b = random(), c = random();
            x = i % 3 == 0 ? a & b & c : i % 3 == 1 ? a | b | c : a;
        }
        blocks.push_back(w);
    }
    for (int count : {4, 1, 2, 3}) {
        SCOPED_TRACE(count);
        expect_columns_match(blocks, count);
    }
}

// Four blocks per vector give every block its one-block mask, whatever the
// unread top bits of its columns hold. Most blocks are made to meet one
// vector's conditions (flipping for each a bit no earlier one has set), so
// that every vector is seen passing.
TEST(NeonCandidates, EqualOneBlockTestInEveryLane)
{
    std::mt19937 random(5);
    std::uint32_t seen = 0;
    for (int round = 0; round < 400; ++round) {
        sha1_dv_batch_columns columns;
        std::uint32_t expected[sha1_dv_batch_size];
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            std::uint32_t W[80];
            for (auto& w : W) w = static_cast<std::uint32_t>(random());
            if ((round + b) % 5 != 0) sha1_testing::meet_conditions((round * 16 + b) % 32, W);
            std::uint32_t one[sha1_dv::column_count];
            sha1_dv::columns_portable(W + sha1_dv::first_word, one);
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                columns[c][b] = one[c] | (static_cast<std::uint32_t>(random()) & ~read_bits);
            }
            expected[b] = sha1_dv::candidates(one);
            seen |= expected[b];
        }
        std::uint32_t actual[sha1_dv_batch_size];
        sha1_dv_candidates_batch_neon(columns, actual);
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            ASSERT_EQ(actual[b], expected[b]) << "round " << round << ", block " << b;
        }
        // The ARMv8 transform's form: the lanes with candidates, and only
        // their masks, which it reads.
        for (int first = 0; first < sha1_dv_batch_size; first += 4) {
            uint32x4_t vectors[sha1_dv::column_count];
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                vectors[c] = vld1q_u32(&columns[c][first]);
            }
            std::uint32_t masks[4];
            const unsigned lanes = sha1_dv::neon::candidates_of_four<false>(vectors, masks);
            // And with the columns past the first pass's made only when it
            // asks for them (junk until then), as the transform makes them.
            uint32x4_t early[sha1_dv::column_count];
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                early[c] =
                    (sha1_dv::early_columns >> c & 1) != 0 ? vectors[c] : vdupq_n_u32(0xA5C3);
            }
            std::uint32_t late_masks[4];
            const unsigned late_lanes =
                sha1_dv::neon::candidates_of_four<false>(early, late_masks, [&] {
                    for (int c = 0; c < sha1_dv::column_count; ++c) early[c] = vectors[c];
                });
            ASSERT_EQ(late_lanes, lanes) << "block " << first;
            for (int b = 0; b < 4; ++b) {
                ASSERT_EQ((lanes >> b & 1) != 0, expected[first + b] != 0) << "block " << first + b;
                if ((lanes >> b & 1) != 0) {
                    ASSERT_EQ(masks[b], expected[first + b]);
                    ASSERT_EQ(late_masks[b], expected[first + b]);
                }
            }
        }
    }
    EXPECT_EQ(seen, 0xFFFFFFFFu);
}

// The passes hold every term of the test once, each in a class of its own
// group and mask, and a chunk runs wherever one of its vectors is open:
// a term left out or a chunk skipped too early would pass blocks that
// rarely come up at random.
TEST(NeonCandidates, PassesHoldEveryTermOnce)
{
    using sha1_dv::plan;
    using sha1_dv::neon::staged;
    int seen[96] = {};
    for (int pass = 0; pass <= sha1_dv::neon::chunk_count; ++pass) {
        std::uint32_t tested = 0;
        for (int r = staged.pass_first_run[pass]; r < staged.pass_first_run[pass + 1]; ++r) {
            for (int c = staged.runs[r].first; c < staged.runs[r].first + staged.runs[r].count;
                 ++c) {
                const sha1_dv::neon::test_class& k = staged.classes[c];
                EXPECT_EQ(k.group, staged.runs[r].group);
                tested |= k.mask;
                for (int i = k.first; i < k.first + k.count; ++i) {
                    const int t = staged.term_list[i];
                    ++seen[t];
                    EXPECT_EQ(plan.terms[t].mask, k.mask) << "term " << t;
                    EXPECT_GE(t, plan.groups[k.group].first) << "term " << t;
                    EXPECT_LT(t, plan.groups[k.group].first + plan.groups[k.group].count);
                }
            }
        }
        if (pass != 0) {
            EXPECT_EQ(staged.chunk_mask[pass], tested) << "chunk " << pass;
        }
    }
    for (int t = 0; t < plan.term_count; ++t) EXPECT_EQ(seen[t], 1) << "term " << t;
}

}  // namespace
