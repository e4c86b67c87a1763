// The collision check's AVX-512 forms against the plain ones they replace:
// the columns taken with GFNI, the transposition of a batch's rows, and the
// sixteen-block candidate test.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "sha1/collision/collision.h"
#include "sha1/cpu_features.h"
#include "tests/support/columns_x86_entry.h"

namespace {

bool avx512_usable()
{
    return sha1_cpu_has(sha1_read_cpu_features(), sha1_cpu::avx512 | sha1_cpu::gfni);
}

// Messages whose read bits are random, all clear, all set, one bit set or
// one bit clear (each bit the check reads in turn), or alternating.
std::vector<std::vector<std::uint32_t>> message_patterns()
{
    std::vector<std::vector<std::uint32_t>> patterns;
    std::mt19937 random(11);
    for (int n = 0; n < 200; ++n) {
        std::vector<std::uint32_t> W(80);
        for (auto& w : W) w = static_cast<std::uint32_t>(random());
        patterns.push_back(W);
    }
    patterns.emplace_back(80, 0u);
    patterns.emplace_back(80, ~0u);
    patterns.emplace_back(80, 0x55555555u);
    patterns.emplace_back(80, 0xAAAAAAAAu);
    for (int word = sha1_dv::first_word; word < sha1_dv::first_word + sha1_dv::word_count; ++word) {
        for (int c = 0; c < sha1_dv::column_count; ++c) {
            const std::uint32_t bit = std::uint32_t{1} << sha1_dv::column_bit(c);
            std::vector<std::uint32_t> sparse(80, 0u);
            sparse[word] = bit;
            patterns.push_back(sparse);
            std::vector<std::uint32_t> dense(80, ~0u);
            dense[word] = ~bit;
            patterns.push_back(dense);
        }
    }
    return patterns;
}

TEST(CollisionColumnsAvx512, GfniColumnsEqualThePlainOnes)
{
    if (!avx512_usable()) GTEST_SKIP() << "no AVX-512 with GFNI here";
    for (const std::vector<std::uint32_t>& W : message_patterns()) {
        std::uint32_t expected[sha1_dv::column_count];
        std::uint32_t actual[sha1_dv::column_count];
        sha1_dv::columns_portable(W.data() + sha1_dv::first_word, expected);
        sha1_dv_columns_avx512(W.data(), actual);
        for (int c = 0; c < sha1_dv::column_count; ++c) {
            // Bits 30 and 31 of a column are not read.
            ASSERT_EQ(actual[c] & 0x3FFFFFFFu, expected[c] & 0x3FFFFFFFu) << "column " << c;
        }
    }
}

// Random rows, transposed; then the sixteen-block test on the columns equals
// the one-block test of each lane, whatever the unread top bits hold.
TEST(CollisionColumnsAvx512, BatchTestEqualsTheOneBlockTestInEveryLane)
{
    if (!avx512_usable()) GTEST_SKIP() << "no AVX-512 with GFNI here";
    std::mt19937 random(5);
    const std::vector<std::vector<std::uint32_t>> patterns = message_patterns();
    std::size_t next = 0;
    for (int round = 0; round < 100; ++round) {
        sha1_testing_batch_rows rows;
        std::uint32_t expected[sha1_dv_batch_size];
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            const std::vector<std::uint32_t>& W = patterns[next++ % patterns.size()];
            std::uint32_t one[sha1_dv::column_count];
            sha1_dv::columns_portable(W.data() + sha1_dv::first_word, one);
            expected[b] = sha1_dv::candidates(one);
            for (int c = 0; c < 16; ++c) {
                const std::uint32_t junk = static_cast<std::uint32_t>(random());
                rows[b][c] = c < sha1_dv::column_count ? one[c] | (junk & 0xC0000000u) : junk;
            }
        }
        sha1_dv_batch_columns columns;
        sha1_dv_transpose_rows_avx512(rows, columns);
        for (int c = 0; c < sha1_dv::column_count; ++c) {
            for (int b = 0; b < sha1_dv_batch_size; ++b) {
                ASSERT_EQ(columns[c][b], rows[b][c]) << "column " << c << ", block " << b;
            }
        }
        std::uint32_t candidates[sha1_dv_batch_size];
        sha1_dv_candidates_batch_avx512(columns, candidates);
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            ASSERT_EQ(candidates[b], expected[b]) << "round " << round << ", lane " << b;
        }
    }
}

}  // namespace
