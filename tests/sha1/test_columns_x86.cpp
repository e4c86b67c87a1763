// The x86 forms of the collision check's columns and the multi-block
// candidate tests agree with the plain one-block forms.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "sha1/collision/collision.h"
#include "sha1/cpu_features.h"
#include "sha1/expand.h"
#include "tests/support/columns_x86_entry.h"
#include "tests/support/crafted_blocks.h"
#include "tests/support/sha1_testing.h"

namespace {

using words36 = std::uint32_t[36];  // W[32..67] of one block

// The bits of each column the check reads.
constexpr std::uint32_t read_bits = (std::uint32_t{1} << sha1_dv::word_count) - 1;

struct Pattern {
    const char* name;
    std::vector<std::uint32_t> words;  // W[32..67]
};

// All-zero and all-ones words; each bit the columns read set alone in each
// word the columns read (and cleared alone from all-ones); the bits next to
// them; random words, and random words with few or with most bits set.
std::vector<Pattern> patterns()
{
    std::vector<Pattern> list;
    list.push_back({"zero", std::vector<std::uint32_t>(36, 0)});
    list.push_back({"ones", std::vector<std::uint32_t>(36, 0xFFFFFFFFu)});
    for (int k = 0; k < sha1_dv::word_count; ++k) {
        for (int bit = 0; bit < 32; ++bit) {
            std::vector<std::uint32_t> one(36, 0);
            std::vector<std::uint32_t> hole(36, 0xFFFFFFFFu);
            one[3 + k] = std::uint32_t{1} << bit;
            hole[3 + k] = ~(std::uint32_t{1} << bit);
            list.push_back({"single bit", one});
            list.push_back({"single hole", hole});
        }
    }
    // The words just outside W[35..64] set alone must not show.
    for (int k : {0, 1, 2, 33, 34, 35}) {
        std::vector<std::uint32_t> outside(36, 0);
        outside[k] = 0xFFFFFFFFu;
        list.push_back({"word outside", outside});
    }
    std::mt19937 random(35);
    for (int n = 0; n < 300; ++n) {
        std::vector<std::uint32_t> w(36);
        for (auto& x : w) {
            const auto r = static_cast<std::uint32_t>(random());
            const auto s = static_cast<std::uint32_t>(random());
            x = n % 3 == 0 ? r : n % 3 == 1 ? r & s : r | s;
        }
        list.push_back({"random", w});
    }
    return list;
}

void expected_columns(const std::vector<std::uint32_t>& words,
                      std::uint32_t (&columns)[sha1_dv::column_count])
{
    sha1_dv::columns_portable(words.data() + (sha1_dv::first_word - 32), columns);
}

// Columns of one block at `block`; every other block's columns untouched.
void expect_block_columns(const sha1_dv_batch_columns& batch, int block,
                          const std::uint32_t (&expected)[sha1_dv::column_count], int others)
{
    for (int c = 0; c < sha1_dv::column_count; ++c) {
        EXPECT_EQ(batch[c][block] & read_bits, expected[c]) << "column " << c;
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            if (b != block && (others < 0 || b != others)) {
                EXPECT_EQ(batch[c][b], 0xA5A5A5A5u) << "column " << c << " block " << b;
            }
        }
    }
}

void fill(sha1_dv_batch_columns& batch)
{
    for (auto& column : batch) {
        for (auto& c : column) c = 0xA5A5A5A5u;
    }
}

// The plain transposing forms (on 64-bit words, and on pairs of them where
// every processor of the target has vector registers) equal the gathered
// columns, at several places of the batch, the other places untouched.
TEST(ColumnsX86, PlainTransposingFormsEqualThePortableColumns)
{
    using form = void (*)(const std::uint32_t(&)[80], sha1_dv_batch_columns&, int);
    const form forms[] = {sha1_dv::columns_of_expanded, sha1_dv::columns_of_expanded_scalar};
    for (const Pattern& p : patterns()) {
        SCOPED_TRACE(p.name);
        std::uint32_t expected[sha1_dv::column_count];
        expected_columns(p.words, expected);
        std::uint32_t W[80] = {};
        std::copy(p.words.begin(), p.words.end(), W + 32);
        for (form f : forms) {
            for (int block : {0, 7, sha1_dv_batch_size - 1}) {
                sha1_dv_batch_columns batch;
                fill(batch);
                f(W, batch, block);
                expect_block_columns(batch, block, expected, -1);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
}

#if defined(TORVANIX_SHA1_X86)

void copy(const std::vector<std::uint32_t>& from, words36& to)
{
    std::memcpy(to, from.data(), sizeof to);
}

TEST(ColumnsX86, SseFormEqualsThePortableColumns)
{
    if (!(sha1_read_cpu_features() & sha1_cpu::ssse3)) GTEST_SKIP() << "no SSSE3";
    for (const Pattern& p : patterns()) {
        SCOPED_TRACE(p.name);
        std::uint32_t expected[sha1_dv::column_count];
        expected_columns(p.words, expected);
        words36 w;
        copy(p.words, w);
        for (bool reversed : {false, true}) {
            for (int block : {0, 7, sha1_dv_batch_size - 1}) {
                sha1_dv_batch_columns batch;
                fill(batch);
                sha1_dv_columns_sse(w, reversed, batch, block);
                SCOPED_TRACE(reversed ? "reversed" : "in order");
                expect_block_columns(batch, block, expected, -1);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
}

TEST(ColumnsX86, Avx2PairFormEqualsThePortableColumns)
{
    if (!(sha1_read_cpu_features() & sha1_cpu::avx2)) GTEST_SKIP() << "no AVX2";
    const std::vector<Pattern> list = patterns();
    for (std::size_t n = 0; n < list.size(); ++n) {
        // Each pattern beside another one, in either place of the pair.
        const Pattern& a = list[n];
        const Pattern& b = list[(n * 7 + 1) % list.size()];
        SCOPED_TRACE(a.name);
        std::uint32_t expected_a[sha1_dv::column_count];
        std::uint32_t expected_b[sha1_dv::column_count];
        expected_columns(a.words, expected_a);
        expected_columns(b.words, expected_b);
        words36 wa;
        words36 wb;
        copy(a.words, wa);
        copy(b.words, wb);
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(reversed ? "reversed" : "in order");
            for (int block : {0, 6, sha1_dv_batch_size - 2}) {
                sha1_dv_batch_columns batch;
                fill(batch);
                sha1_dv_columns_avx2_pair(wa, wb, reversed, batch, block);
                expect_block_columns(batch, block, expected_a, block + 1);
                expect_block_columns(batch, block + 1, expected_b, block);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
}

// Sixteen patterns at a time, each pattern in every lane in turn.
TEST(ColumnsX86, Gfni256FormEqualsThePortableColumns)
{
    if (!sha1_cpu_has(sha1_read_cpu_features(), sha1_cpu::avx2 | sha1_cpu::gfni)) {
        GTEST_SKIP() << "no GFNI with AVX2";
    }
    const std::vector<Pattern> list = patterns();
    for (std::size_t first = 0; first < list.size(); ++first) {
        std::uint32_t words[sha1_dv_batch_size][36];
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            copy(list[(first + b) % list.size()].words, words[b]);
        }
        sha1_dv_batch_columns batch;
        sha1_dv_columns_gfni256(words, batch);
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            SCOPED_TRACE(list[(first + b) % list.size()].name);
            std::uint32_t expected[sha1_dv::column_count];
            expected_columns(list[(first + b) % list.size()].words, expected);
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                ASSERT_EQ(batch[c][b] & read_bits, expected[c]) << "column " << c << " lane " << b;
            }
        }
    }
}

#endif

// Every lane of the batch tests equals the one-block test on 32-bit words,
// on random words, on words that meet one vector's conditions and on
// crafted blocks that meet 1 to 12 vectors' in every third lane, between
// random ones (the tests that stop early when every block has failed every
// vector both stop and go on): the batch forms on the words' columns (with
// junk in the unread bits 30 and 31), and the SHA-extension transform's own
// forms on the words, from the groups its rounds keep, in full and in short
// batches.
TEST(ColumnsX86, BatchCandidateTestsEqualTheOneBlockTest)
{
    const sha1_cpu_features cpu = sha1_read_cpu_features();
    std::vector<sha1_testing_spread_form> spread;
    int spread_count = 0;
    const sha1_testing_spread_form* spread_forms = sha1_testing_spread_forms(spread_count);
    for (const sha1_transform_entry& t : sha1_testing::usable_transforms()) {
        for (int f = 0; f < spread_count; ++f) {
            if (std::strcmp(t.name, spread_forms[f].transform) == 0)
                spread.push_back(spread_forms[f]);
        }
    }
    std::mt19937 random(8);
    std::mt19937_64 random64(8);
    std::vector<std::uint8_t> crafted_blocks;
    for (std::size_t k = 1; k <= 12; ++k) {
        const std::vector<std::uint8_t> some =
            crafted::blocks_meeting(crafted::random_compatible_set(random64, k), 4, random64);
        crafted_blocks.insert(crafted_blocks.end(), some.begin(), some.end());
    }
    std::uint32_t seen = 0;
    for (int round = 0; round < 6000; ++round) {
        sha1_dv_batch_columns batch;
        std::uint32_t words[sha1_dv_batch_size][36];
        std::uint32_t expected[sha1_dv_batch_size];
        for (int b = 0; b < sha1_dv_batch_size; ++b) {
            std::uint32_t W[80];
            if (round % 3 == 2 && (round + b) % 3 == 0) {
                const std::size_t n =
                    (static_cast<std::size_t>(round) + b) % (crafted_blocks.size() / 64);
                sha1_expand(&crafted_blocks[64 * n], W);
            } else {
                for (auto& w : W) w = static_cast<std::uint32_t>(random());
                // Words meeting the conditions of one vector: its mask bit
                // passes, and the others' often do too.
                if (round % 3 == 1) sha1_testing::meet_conditions((round + b) % sha1_dv_count, W);
            }
            std::memcpy(words[b], W + 32, sizeof words[b]);
            std::uint32_t one[sha1_dv::column_count];
            sha1_dv::columns_portable(W + sha1_dv::first_word, one);
            expected[b] = sha1_dv::candidates(one);
            seen |= expected[b];
            for (int c = 0; c < sha1_dv::column_count; ++c) {
                batch[c][b] = one[c] | (static_cast<std::uint32_t>(random()) & ~read_bits);
            }
        }
        for (const sha1_dv_check_entry& form : sha1_dv_check_forms) {
            if (!sha1_cpu_has(cpu, form.needs)) continue;
            std::uint32_t actual[sha1_dv_batch_size];
            form.check(batch, actual);
            for (int b = 0; b < sha1_dv_batch_size; ++b) {
                ASSERT_EQ(actual[b], expected[b])
                    << form.name << " round " << round << " lane " << b;
            }
        }
        // A batch cut short (an odd count among them) leaves lanes unread.
        const int count = sha1_dv_batch_size - round % 4;
        bool some = false;
        for (int b = 0; b < count; ++b) some = some || expected[b] != 0;
        for (const sha1_testing_spread_form& form : spread) {
            std::uint32_t actual[sha1_dv_batch_size];
            const bool any = form.candidates(words, count, actual);
            for (int b = 0; b < count; ++b) {
                ASSERT_EQ(actual[b], expected[b])
                    << form.transform << " round " << round << " lane " << b;
            }
            ASSERT_TRUE(any || !some) << form.transform << " round " << round;
        }
    }
    EXPECT_EQ(seen, 0xFFFFFFFFu);  // every vector passed somewhere
}

}  // namespace
