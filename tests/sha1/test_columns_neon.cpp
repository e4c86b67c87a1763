// The NEON columns and candidate test of the ARMv8 transform against the
// plain C++ ones, and the ARMv8 detecting transform wherever the attacked
// block falls in its batches. Built for aarch64 only.
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "collision_files.h"
#include "sha1/collision/columns_neon.h"
#include "sha1/transform.h"

namespace {

// Words 32..67 of a block's schedule, the ones its groups 8 to 16 hold.
struct words {
    std::uint32_t w[36];
    std::uint32_t& at(int t) { return w[t - 32]; }
};

// The check reads bits 0..29 of each column.
constexpr std::uint32_t read_bits = 0x3FFFFFFF;

// Puts the blocks through the NEON columns, `count` at a time, and compares
// every read bit of every block's columns with the portable columns.
void expect_columns_match(const std::vector<words>& blocks, int count)
{
    const sha1_dv::neon_row_indices index = sha1_dv::row_indices();
    for (std::size_t first = 0; first < blocks.size(); first += count) {
        sha1_dv::neon_batch_rows rows;
        sha1_dv_batch_columns columns = {};
        const int n = static_cast<int>(std::min<std::size_t>(count, blocks.size() - first));
        for (int b = 0; b < n; ++b) {
            sha1_dv::neon_kept_groups groups;
            for (int g = 0; g < 9; ++g) {
                std::memcpy(groups.words[sha1_dv::neon_kept_groups::slot(8 + g)],
                            blocks[first + b].w + 4 * g, 16);
            }
            sha1_dv::keep_rows(groups, index, rows, b);
        }
        sha1_dv::columns_of_batch(rows, n, columns);
        for (int b = 0; b < n; ++b) {
            std::uint32_t expected[sha1_dv::column_count];
            sha1_dv::columns_portable(blocks[first + b].w + (sha1_dv::first_word - 32), expected);
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                ASSERT_EQ(columns[c][b] & read_bits, expected[c])
                    << "block " << first + b << " of " << n << ", column " << c;
            }
        }
    }
}

// Every read bit alone, all zero, all ones, sparse, dense and random words;
// the words and bits the check does not read are set where the read ones are
// clear and the other way round, so that nothing leaks from them.
TEST(NeonColumns, EqualPortableColumns)
{
    std::mt19937 random(31);
    std::vector<words> blocks;
    auto with_unread = [](words w, std::uint32_t unread) {
        for (int t = 32; t < 67 + 1; ++t) {
            const bool word_read =
                t >= sha1_dv::first_word && t < sha1_dv::first_word + sha1_dv::word_count;
            const std::uint32_t read_mask = word_read ? 0x700000FFu : 0;
            w.at(t) = (w.at(t) & read_mask) | (unread & ~read_mask);
        }
        return w;
    };
    for (std::uint32_t unread : {0u, 0xFFFFFFFFu}) {
        words zero = {};
        blocks.push_back(with_unread(zero, unread));
        words ones;
        for (auto& x : ones.w) x = 0xFFFFFFFF;
        blocks.push_back(with_unread(ones, unread));
        for (int k = 0; k < sha1_dv::word_count; ++k) {
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                words single = {};
                single.at(sha1_dv::first_word + k) = std::uint32_t{1} << sha1_dv::column_bit(c);
                blocks.push_back(with_unread(single, unread));
                words hole;
                for (auto& x : hole.w) x = 0xFFFFFFFF;
                hole.at(sha1_dv::first_word + k) ^= std::uint32_t{1} << sha1_dv::column_bit(c);
                blocks.push_back(with_unread(hole, unread));
            }
        }
    }
    for (int i = 0; i < 300; ++i) {
        words sparse;
        words dense;
        words any;
        for (int n = 0; n < 36; ++n) {
            const std::uint32_t a = random(), b = random(), c = random();
            sparse.w[n] = a & b & c;
            dense.w[n] = a | b | c;
            any.w[n] = a;
        }
        blocks.push_back(sparse);
        blocks.push_back(dense);
        blocks.push_back(any);
    }
    // Full batches, and short ones whose last four are rounded up.
    for (int count : {sha1_dv_batch_size, 1, 3, 5, 6, 7, 13}) {
        SCOPED_TRACE(count);
        expect_columns_match(blocks, count);
    }
}

// A schedule's W[35..64] made to meet every condition of one vector, by
// flipping for each condition a bit that no earlier one has set.
void meet_conditions(std::uint32_t W[80], const sha1_disturbance_vector& dv)
{
    std::uint32_t fixed[80] = {};
    for (int n = 0; n < dv.condition_count; ++n) {
        const sha1_dv_condition& c = sha1_dv_conditions[dv.first_condition + n];
        const std::uint32_t wrong = (((W[c.a] >> c.i) ^ (W[c.b] >> c.j)) & 1) ^ c.v;
        if ((fixed[c.b] >> c.j & 1) == 0) {
            W[c.b] ^= wrong << c.j;
        } else {
            W[c.a] ^= wrong << c.i;
        }
        fixed[c.a] |= std::uint32_t{1} << c.i;
        fixed[c.b] |= std::uint32_t{1} << c.j;
    }
}

// Four blocks per vector give every block the one-block mask, whatever the
// unread top bits of its columns hold, with every vector seen passing.
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
            // Most blocks meet some vector's conditions; the rest are random.
            if ((round + b) % 5 != 0) {
                meet_conditions(W, sha1_disturbance_vectors[(round * 16 + b) % sha1_dv_count]);
            }
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
    }
    EXPECT_EQ(seen, 0xFFFFFFFFu);
}

#if TORVANIX_HW_SHA1_BUILT

template <std::size_t N>
std::vector<std::uint8_t> bytes_of(const unsigned char (&file)[N])
{
    return {file, file + N};
}

// Starting the detecting transform at every block of a collision file (the
// blocks before it compressed plainly) moves the attacked block to every
// place its batch can hold it up to there; the run must stop where the
// portable one stops, with the same chaining value, and the blocks after
// the attacked one must run on in the next call.
TEST(Armv8Detecting, StopsAtTheAttackedBlockWhereverItFalls)
{
    bool armv8_usable = false;
    const sha1_transform_list list = sha1_usable_transforms();
    for (int i = 0; i < list.count; ++i) {
        armv8_usable = armv8_usable || list.entries[i].detecting == sha1_detect_armv8;
    }
    if (!armv8_usable) GTEST_SKIP() << "no ARMv8 SHA1 instructions";

    std::mt19937 random(77);
    for (std::vector<std::uint8_t> file : {bytes_of(shattered_1), bytes_of(shattered_2),
                                           bytes_of(sha_mbles_1), bytes_of(sha_mbles_2)}) {
        // Random blocks after the file: batches go on past the attacked one.
        for (int i = 0; i < 64 * 21; ++i) file.push_back(static_cast<std::uint8_t>(random()));
        const std::size_t total = file.size() / 64;
        int attacks = 0;
        for (std::size_t start = 0; start < total; ++start) {
            std::uint32_t expected[5];
            std::memcpy(expected, sha1_initial_hash, sizeof expected);
            sha1_transform_portable(expected, file.data(), start);
            std::uint32_t actual[5];
            std::memcpy(actual, expected, sizeof actual);
            std::size_t at = start;
            while (at < total) {
                const sha1_blocks_done e =
                    sha1_detect_portable(expected, &file[64 * at], total - at);
                const sha1_blocks_done a = sha1_detect_armv8(actual, &file[64 * at], total - at);
                ASSERT_EQ(a.blocks, e.blocks) << "from block " << start;
                ASSERT_EQ(a.attacked, e.attacked) << "from block " << start;
                ASSERT_EQ(std::memcmp(actual, expected, sizeof actual), 0)
                    << "from block " << start;
                attacks += e.attacked ? 1 : 0;
                at += e.blocks;
            }
        }
        // The file's attacked block, seen from every start before it.
        EXPECT_GT(attacks, 2);
    }
}

#endif

}  // namespace
