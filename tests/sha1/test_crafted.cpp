// Blocks built to pass the collision check's candidate test for many
// vectors at once: the solver that makes them, and every transform and the
// engine on them, where each such block sends the check into its
// confirmations.
#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "collision_files.h"
#include "sha1/collision/candidates.h"
#include "sha1/collision/collision.h"
#include "sha1/cpu_features.h"
#include "sha1/expand.h"
#include "sha1/sha1.h"
#include "sha1/transform.h"
#include "tests/support/crafted_blocks.h"
#include "tests/support/digest_text.h"
#include "tests/support/random_bytes.h"
#include "tests/support/sha1_model.h"
#include "tests/support/sha1_testing.h"

namespace {

using bytes = std::vector<std::uint8_t>;

TEST(CraftedBlocks, MeetTheRequestedVectors)
{
    std::mt19937_64 random(1);
    std::vector<std::vector<int>> sets;
    for (int d = 0; d < sha1_dv_count; ++d) sets.push_back({d});
    const std::vector<int> largest = crafted::largest_compatible_set(random);
    EXPECT_EQ(largest.size(), 12u);
    for (std::size_t k = 2; k <= 12; ++k) sets.push_back(crafted::random_compatible_set(random, k));
    sets.push_back(largest);

    std::set<bytes> seen;
    for (const std::vector<int>& set : sets) {
        const crafted::system s = crafted::solve(set);
        SCOPED_TRACE(::testing::Message() << "vectors " << std::hex << s.vectors);
        ASSERT_FALSE(set.empty());
        ASSERT_TRUE(s.consistent);
        // The table-driven maker makes the same block from the same bits.
        const crafted::block_maker maker(s);
        for (int n = 0; n < 4; ++n) {
            const crafted::bits512 free = crafted::random_bits(random);
            std::uint8_t slow[64];
            std::uint8_t fast[64];
            crafted::make_block(s, free, slow);
            maker.make(free, fast);
            EXPECT_EQ(std::memcmp(slow, fast, 64), 0);
        }
        const bytes blocks = crafted::blocks_meeting(set, 16, random);
        ASSERT_EQ(blocks.size(), 16u * 64);
        for (std::size_t b = 0; b < blocks.size(); b += 64) {
            EXPECT_EQ(crafted::candidate_mask(&blocks[b]) & s.vectors, s.vectors);
            EXPECT_TRUE(seen.insert(bytes(&blocks[b], &blocks[b] + 64)).second);
        }
    }
}

// Blocks meeting 1 to 12 vectors, four of each.
bytes crafted_pool()
{
    std::mt19937_64 random(3);
    bytes pool;
    for (std::size_t k = 1; k <= 12; ++k) {
        const bytes blocks =
            crafted::blocks_meeting(crafted::random_compatible_set(random, k), 4, random);
        pool.insert(pool.end(), blocks.begin(), blocks.end());
    }
    return pool;
}

// Runs `input` (whole blocks) from the initial chaining value through every
// transform's detecting form and the portable one, starting `offset` bytes
// into a buffer; each call must stop at the same block with the same
// verdict and chaining value. Returns the portable calls' results.
std::vector<sha1_blocks_done> expect_all_agree(const bytes& input, std::size_t offset)
{
    bytes buffer(offset);
    buffer.insert(buffer.end(), input.begin(), input.end());
    std::vector<sha1_blocks_done> calls;
    for (const sha1_transform_entry& t : sha1_testing::usable_transforms()) {
        SCOPED_TRACE(t.name);
        calls.clear();
        std::uint32_t expected[5];
        std::uint32_t actual[5];
        std::memcpy(expected, sha1_initial_hash, sizeof expected);
        std::memcpy(actual, sha1_initial_hash, sizeof actual);
        const std::uint8_t* data = buffer.data() + offset;
        std::size_t blocks = input.size() / 64;
        while (blocks != 0) {
            const sha1_blocks_done e = sha1_detect_portable(expected, data, blocks);
            const sha1_blocks_done a = t.detecting(actual, data, blocks);
            EXPECT_EQ(a.blocks, e.blocks);
            EXPECT_EQ(a.attacked, e.attacked);
            EXPECT_EQ(std::memcmp(actual, expected, sizeof actual), 0);
            if (a.blocks != e.blocks || e.blocks == 0) return calls;
            calls.push_back(e);
            data += 64 * e.blocks;
            blocks -= e.blocks;
        }
    }
    return calls;
}

// Random blocks with crafted ones at `positions`, drawn from the pool in
// turn.
bytes with_crafted(std::size_t total, const std::vector<std::size_t>& positions, const bytes& pool,
                   std::size_t& next, std::mt19937& random)
{
    bytes input = random_bytes(random, 64 * total);
    for (std::size_t p : positions) {
        std::memcpy(&input[64 * p], &pool[64 * (next++ % (pool.size() / 64))], 64);
    }
    return input;
}

void expect_no_attack(const std::vector<sha1_blocks_done>& calls, std::size_t blocks)
{
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].blocks, blocks);
    EXPECT_FALSE(calls[0].attacked);
}

// A crafted block in every lane of a batch, in the batch after it and as
// the last block; runs of crafted blocks that fill batches and span them.
TEST(CraftedBlocks, EveryTransformAgreesWithPortable)
{
    const bytes pool = crafted_pool();
    std::mt19937 random(4);
    std::size_t next = 0;
    for (std::size_t offset : {0, 1}) {
        SCOPED_TRACE(::testing::Message() << "offset " << offset);
        for (std::size_t p = 0; p < 34; ++p) {
            SCOPED_TRACE(::testing::Message() << "crafted block at " << p);
            expect_no_attack(expect_all_agree(with_crafted(40, {p}, pool, next, random), offset),
                             40);
            // The crafted block last.
            expect_no_attack(expect_all_agree(with_crafted(p + 1, {p}, pool, next, random), offset),
                             p + 1);
        }
        for (std::size_t run = 1; run <= 40; ++run) {
            for (std::size_t start : {0, 7}) {
                SCOPED_TRACE(::testing::Message() << run << " crafted blocks from " << start);
                std::vector<std::size_t> positions;
                for (std::size_t n = 0; n < run; ++n) positions.push_back(start + n);
                // From the start, followed by random blocks; later, ending the
                // input.
                const std::size_t total = start + run + (start == 0 ? 3 : 0);
                expect_no_attack(
                    expect_all_agree(with_crafted(total, positions, pool, next, random), offset),
                    total);
            }
        }
    }
}

// A block that completes an attack, followed in its batch by crafted
// blocks, or by random blocks to the end of its batch and then crafted
// ones (its few candidates then wait for the next batch's): every
// transform stops right after it.
TEST(CraftedBlocks, AttackBeforeCraftedBlocksStopsThere)
{
    const bytes pool = crafted_pool();
    const bytes prefix(shattered_1, shattered_1 + 320);  // the attack ends in block 4
    std::mt19937 random(5);
    for (std::size_t gap : {0, 11}) {
        for (std::size_t crafted_count : {1, 12, 20, 40}) {
            SCOPED_TRACE(::testing::Message() << gap << " random, " << crafted_count);
            bytes input = prefix;
            const bytes between = random_bytes(random, 64 * gap);
            input.insert(input.end(), between.begin(), between.end());
            input.insert(input.end(), pool.begin(),
                         pool.begin() + static_cast<std::ptrdiff_t>(64 * crafted_count));
            for (std::size_t offset : {0, 1}) {
                const std::vector<sha1_blocks_done> calls = expect_all_agree(input, offset);
                ASSERT_GE(calls.size(), 2u);
                EXPECT_EQ(calls[0].blocks, 5u);
                EXPECT_TRUE(calls[0].attacked);
                EXPECT_EQ(calls[1].blocks, gap + crafted_count);
                EXPECT_FALSE(calls[1].attacked);
            }
        }
    }
}

// The engine on crafted input, in pieces of several sizes: the SHA-1
// digest, and the safe digest equal to it, since crafted blocks meet the
// conditions without colliding.
TEST(CraftedBlocks, EngineFindsNoAttack)
{
    const bytes pool = crafted_pool();
    std::mt19937 random(5);
    // Crafted blocks, a random one, the crafted ones again, and a part block.
    bytes message = pool;
    const bytes between = random_bytes(random, 64);
    message.insert(message.end(), between.begin(), between.end());
    message.insert(message.end(), pool.begin(), pool.end());
    const bytes tail = random_bytes(random, 29);
    message.insert(message.end(), tail.begin(), tail.end());

    Sha1Model model;
    for (std::uint8_t byte : message) model.add(byte);
    std::uint8_t expected[SHA1HashSize];
    model.digest(expected);

    for (std::size_t piece : {1, 63, 64, 1000, 100000}) {
        SCOPED_TRACE(piece);
        SHA1Context context;
        SHA1Reset(&context);
        for (std::size_t done = 0; done < message.size(); done += piece) {
            const std::size_t n = std::min(piece, message.size() - done);
            ASSERT_EQ(SHA1Input(&context, &message[done], static_cast<unsigned>(n)), shaSuccess);
        }
        std::uint8_t safe[SHA1HashSize];
        std::uint8_t digest[SHA1HashSize];
        ASSERT_EQ(SHA1SafeResult(&context, safe), shaSuccess);
        ASSERT_EQ(SHA1Result(&context, digest), shaSuccess);
        EXPECT_EQ(hex(digest), hex(expected));
        EXPECT_EQ(hex(safe), hex(digest));
        EXPECT_EQ(context.Attack_Detected, 0);
    }
}

}  // namespace
