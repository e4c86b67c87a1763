#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collision_files.h"
#include "sha1/collision/candidates.h"
#include "sha1/expand.h"
#include "sha1/sha1.h"
#include "sha1/transform.h"
#include "tests/support/digest_text.h"
#include "tests/support/random_bytes.h"
#include "tests/support/sha1_testing.h"

namespace {

struct Digests {
    std::string sha1;
    std::string safe;
    bool attacked;
};

// Feeds `message` in pieces of at most `piece` bytes.
Digests digests_of(const std::vector<std::uint8_t>& message, std::size_t piece)
{
    SHA1Context context;
    SHA1Reset(&context);
    for (std::size_t done = 0; done < message.size(); done += piece) {
        const std::size_t n = std::min(piece, message.size() - done);
        EXPECT_EQ(SHA1Input(&context, message.data() + done, static_cast<unsigned>(n)), shaSuccess);
    }
    std::uint8_t digest[SHA1HashSize];
    std::uint8_t safe[SHA1HashSize];
    EXPECT_EQ(SHA1SafeResult(&context, safe), shaSuccess);
    EXPECT_EQ(SHA1Result(&context, digest), shaSuccess);
    return {hex(digest), hex(safe), context.Attack_Detected != 0};
}

template <std::size_t N>
std::vector<std::uint8_t> bytes_of(const unsigned char (&file)[N])
{
    return {file, file + N};
}

struct CollisionFile {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* sha1;
    const char* safe;
};

std::vector<CollisionFile> collision_files()
{
    return {
        {"shattered-1", bytes_of(shattered_1), "F92D74E3874587AAF443D1DB961D4E26DDE13E9C",
         "7117B3CB9225AAF0D8EF1A40E493957B0BF8693D"},
        {"shattered-2", bytes_of(shattered_2), "F92D74E3874587AAF443D1DB961D4E26DDE13E9C",
         "29F38AE9FD98E2931120FA0BF213E024250D3F6A"},
        {"sha-mbles-1", bytes_of(sha_mbles_1), "8AC60BA76F1999A1AB70223F225AEFDC78D4DDC0",
         "4F3D9BE4A472C4DAE83C6314AA6C36A064C1FD14"},
        {"sha-mbles-2", bytes_of(sha_mbles_2), "8AC60BA76F1999A1AB70223F225AEFDC78D4DDC0",
         "9ED5D77A4F48BE1DBF3E9E15650733EB850897F2"},
    };
}

TEST(CollisionDetection, PublishedCollisionsAreDetected)
{
    for (const CollisionFile& file : collision_files()) {
        SCOPED_TRACE(file.name);
        for (std::size_t piece :
             {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{640}}) {
            const Digests d = digests_of(file.bytes, piece);
            EXPECT_EQ(d.sha1, file.sha1);
            EXPECT_EQ(d.safe, file.safe);
            EXPECT_TRUE(d.attacked);
        }
    }
}

TEST(CollisionDetection, CommonSuffixKeepsThePairApart)
{
    const std::vector<CollisionFile> files = collision_files();
    for (std::size_t pair = 0; pair < files.size(); pair += 2) {
        for (std::size_t suffix_length : {1, 55, 64, 1000}) {
            std::vector<std::uint8_t> first = files[pair].bytes;
            std::vector<std::uint8_t> second = files[pair + 1].bytes;
            for (std::size_t i = 0; i < suffix_length; ++i) {
                first.push_back(static_cast<std::uint8_t>(i * 37));
                second.push_back(static_cast<std::uint8_t>(i * 37));
            }
            const Digests a = digests_of(first, 100);
            const Digests b = digests_of(second, 100);
            EXPECT_EQ(a.sha1, b.sha1);
            EXPECT_NE(a.safe, b.safe);
            // The same file twice: equal safe digests.
            EXPECT_EQ(digests_of(first, 3).safe, a.safe);
        }
    }
}

TEST(CollisionDetection, RandomDataIsNeverDetected)
{
    std::mt19937 random(4242);
    for (std::size_t length : {0, 1, 55, 56, 64, 1000, 100000}) {
        const Digests d = digests_of(random_bytes(random, length), 4096);
        EXPECT_FALSE(d.attacked) << length;
        EXPECT_EQ(d.safe, d.sha1) << length;
    }
}

// The portable detecting form's answer, found one block at a time from each
// block's expanded message: the first block that completes an attack and
// the chaining value after it, or all blocks.
sha1_blocks_done one_block_at_a_time(std::uint32_t state[5], const std::uint8_t* data,
                                     std::size_t blocks)
{
    for (std::size_t b = 0; b < blocks; ++b) {
        std::uint32_t W[80];
        sha1_expand(data + 64 * b, W);
        const std::uint32_t in[5] = {state[0], state[1], state[2], state[3], state[4]};
        sha1_transform_portable(state, data + 64 * b, 1);
        const std::uint32_t candidates = sha1_dv_candidates_portable(W);
        if (candidates != 0 && sha1_dv_collides(in, W, candidates, state)) return {b + 1, true};
    }
    return {blocks, false};
}

// Every transform's detecting form stops at the same block, with the same
// chaining value, as the portable one, which checks blocks in batches as a
// check of one block at a time would; on random blocks they run them all.
TEST(CollisionDetection, EveryTransformDetectsTheSameBlocks)
{
    std::mt19937 random(99);
    std::vector<std::vector<std::uint8_t>> inputs;
    for (const CollisionFile& file : collision_files()) {
        inputs.push_back(file.bytes);
        // Random blocks after the attacked one, in its batch and beyond:
        // each count up to twenty ends the call at another point of the
        // attacked block's batch check, which runs while the next batch fills.
        for (std::size_t tail = 1; tail <= 20; ++tail) {
            inputs.push_back(file.bytes);
            const std::vector<std::uint8_t> after = random_bytes(random, 64 * tail);
            inputs.back().insert(inputs.back().end(), after.begin(), after.end());
        }
    }
    inputs.push_back(random_bytes(random, 64 * 37 + 3));

    for (const sha1_transform_entry& t : sha1_testing::usable_transforms()) {
        SCOPED_TRACE(t.name);
        for (const std::vector<std::uint8_t>& input : inputs) {
            // A byte offset tests unaligned loads; starting a block later
            // moves the attacked block to the other place of a pair, and
            // four blocks later the shattered files' (their block 4) to
            // the first place of a batch.
            for (std::size_t offset : {0, 1, 4}) {
                std::vector<std::uint8_t> buffer(offset);
                buffer.insert(buffer.end(), input.begin(), input.end());
                const std::uint8_t* data = buffer.data() + offset;
                std::size_t blocks = input.size() / 64;
                std::uint32_t expected[5];
                std::memcpy(expected, sha1_initial_hash, sizeof expected);
                sha1_transform_portable(expected, data, offset);
                data += 64 * offset;
                blocks -= offset;
                std::uint32_t actual[5];
                std::memcpy(actual, expected, sizeof actual);
                std::uint32_t single[5];
                std::memcpy(single, expected, sizeof single);
                while (blocks != 0) {
                    const sha1_blocks_done e = sha1_detect_portable(expected, data, blocks);
                    const sha1_blocks_done s = one_block_at_a_time(single, data, blocks);
                    ASSERT_EQ(e.blocks, s.blocks);
                    ASSERT_EQ(e.attacked, s.attacked);
                    ASSERT_EQ(std::memcmp(single, expected, sizeof single), 0);
                    const sha1_blocks_done a = t.detecting(actual, data, blocks);
                    ASSERT_EQ(a.blocks, e.blocks);
                    ASSERT_EQ(a.attacked, e.attacked);
                    ASSERT_EQ(std::memcmp(actual, expected, sizeof actual), 0);
                    data += 64 * e.blocks;
                    blocks -= e.blocks;
                }
            }
        }
    }
}

// The conditions as listed, evaluated one by one.
std::uint32_t reference_candidates(const std::uint32_t W[80])
{
    std::uint32_t mask = 0;
    for (const sha1_disturbance_vector& dv : sha1_disturbance_vectors) {
        bool pass = true;
        for (int n = 0; n < dv.condition_count; ++n) {
            const sha1_dv_condition& c = sha1_dv_conditions[dv.first_condition + n];
            pass = pass && (((W[c.a] >> c.i) ^ (W[c.b] >> c.j)) & 1) == c.v;
        }
        if (pass) mask |= std::uint32_t{1} << dv.mask_bit;
    }
    return mask;
}

// The grouped evaluation equals the listed conditions, on random words and
// on words made to meet one vector's conditions (with the others at chance).
TEST(CollisionDetection, CandidateMaskMatchesTheConditions)
{
    std::mt19937 random(7);
    std::uint32_t seen = 0;
    std::uint32_t previous_columns[sha1_dv::column_count] = {};
    std::uint32_t previous_expected = sha1_dv::candidates(previous_columns);
    for (int round = 0; round < 20000; ++round) {
        std::uint32_t W[80];
        for (auto& w : W) w = static_cast<std::uint32_t>(random());
        if (round % 2 == 0) sha1_testing::meet_conditions((round / 2) % sha1_dv_count, W);
        const std::uint32_t expected = reference_candidates(W);
        seen |= expected;
        ASSERT_EQ(sha1_dv_candidates_portable(W), expected) << round;

        // Two blocks side by side in 64-bit words give both masks, whatever
        // the unread top bits of the columns hold.
        std::uint32_t columns[sha1_dv::column_count];
        sha1_dv::columns_portable(W + sha1_dv::first_word, columns);
        // The transposing forms give the same columns, up to the unread bits.
        sha1_dv_batch_columns transposed;
        sha1_dv_batch_columns scalar;
        sha1_dv::columns_of_expanded(W, transposed, round % sha1_dv_batch_size);
        sha1_dv::columns_of_expanded_scalar(W, scalar, round % sha1_dv_batch_size);
        for (int c = 0; c < sha1_dv::column_count; ++c) {
            ASSERT_EQ(transposed[c][round % sha1_dv_batch_size] & 0x3FFFFFFFu, columns[c]) << c;
            ASSERT_EQ(scalar[c][round % sha1_dv_batch_size] & 0x3FFFFFFFu, columns[c]) << c;
        }
        std::uint64_t both[sha1_dv::column_count];
        for (int c = 0; c < sha1_dv::column_count; ++c) {
            const std::uint32_t junk = static_cast<std::uint32_t>(random()) & 0xC0000000u;
            both[c] = (previous_columns[c] | junk) | std::uint64_t{columns[c] | junk} << 32;
            previous_columns[c] = columns[c];
        }
        ASSERT_EQ(sha1_dv::candidates(both), previous_expected | std::uint64_t{expected} << 32);
        previous_expected = expected;
    }
    EXPECT_EQ(seen, 0xFFFFFFFFu);  // every vector was seen passing
}

}  // namespace
