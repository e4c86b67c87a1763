#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sha1/rounds.h"
#include "sha1/sha1.h"
#include "sha1/transform.h"

namespace {

std::vector<std::uint8_t> random_bytes(std::mt19937& random, std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (auto& byte : v) {
        byte = static_cast<std::uint8_t>(random());
    }
    return v;
}

std::vector<sha1_transform_entry> usable()
{
    const sha1_transform_list list = sha1_usable_transforms();
    return {list.entries, list.entries + list.count};
}

// Every transform this machine runs must agree with the portable one on
// random chaining values, block counts and alignments, including runs long
// enough that a transform keeping state in registers across blocks is
// exercised.
TEST(Sha1Transforms, AgreeWithPortable)
{
    std::mt19937 random(2026);
    for (const sha1_transform_entry& t : usable()) {
        SCOPED_TRACE(t.name);
        for (std::size_t blocks : {1, 2, 3, 5, 16, 67}) {
            for (std::size_t offset : {0, 1, 3, 8, 15}) {
                std::vector<std::uint8_t> buffer = random_bytes(random, offset + 64 * blocks);
                std::uint32_t expected[5];
                for (auto& word : expected) {
                    word = static_cast<std::uint32_t>(random());
                }
                std::uint32_t actual[5];
                std::memcpy(actual, expected, sizeof actual);
                sha1_transform_portable(expected, buffer.data() + offset, blocks);
                t.fn(actual, buffer.data() + offset, blocks);
                ASSERT_EQ(std::memcmp(expected, actual, sizeof actual), 0)
                    << blocks << " blocks at offset " << offset;
            }
        }
        // Zero blocks leave the state alone.
        std::uint32_t state[5] = {1, 2, 3, 4, 5};
        t.fn(state, nullptr, 0);
        EXPECT_EQ(state[0] + state[1] + state[2] + state[3] + state[4], 15u);
    }
}

// The round functions are rearranged to save register copies; both forms
// (plain and BMI) must equal the textbook definitions on every bit.
TEST(Sha1Rounds, FunctionsMatchTheirDefinitions)
{
    using sha1_rounds::bit_ops;
    std::mt19937 random(12);
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t b = random(), c = random(), d = random();
        const std::uint32_t choose = (b & c) | (~b & d);
        const std::uint32_t majority = (b & c) | (b & d) | (c & d);
        EXPECT_EQ(sha1_rounds::f_choose<bit_ops::plain>(b, c, d), choose);
        EXPECT_EQ(sha1_rounds::f_choose<bit_ops::bmi>(b, c, d), choose);
        EXPECT_EQ(sha1_rounds::f_parity<bit_ops::plain>(b, c, d), b ^ c ^ d);
        EXPECT_EQ(sha1_rounds::f_parity<bit_ops::bmi>(b, c, d), b ^ c ^ d);
        EXPECT_EQ(sha1_rounds::f_majority<bit_ops::plain>(b, c, d), majority);
        EXPECT_EQ(sha1_rounds::f_majority<bit_ops::bmi>(b, c, d), majority);
    }
}

// Blocks of all-zero and all-one bytes catch carries and rotations that
// random data can hide.
TEST(Sha1Transforms, AgreeOnExtremeBlocks)
{
    for (const sha1_transform_entry& t : usable()) {
        SCOPED_TRACE(t.name);
        for (std::uint8_t fill : {0x00, 0xFF, 0x80, 0x01}) {
            std::vector<std::uint8_t> buffer(64 * 4, fill);
            std::uint32_t expected[5] = {0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0x80000000};
            std::uint32_t actual[5];
            std::memcpy(actual, expected, sizeof actual);
            sha1_transform_portable(expected, buffer.data(), 4);
            t.fn(actual, buffer.data(), 4);
            EXPECT_EQ(std::memcmp(expected, actual, sizeof actual), 0) << int{fill};
        }
    }
}

// On x86 Linux the expected choice follows from the processor's flags.
#if !defined(TORVANIX_EXPECTED_TRANSFORM) && defined(__linux__) && \
    (defined(__x86_64__) || defined(__i386__))
#define TORVANIX_EXPECT_FROM_CPUINFO 1
std::set<std::string> cpu_flags()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("flags", 0) == 0) {
            std::istringstream words(line.substr(line.find(':') + 1));
            return {std::istream_iterator<std::string>(words), {}};
        }
    }
    return {};
}

#endif

// The dispatcher picks the first usable transform, and the list matches what
// the processor reports. The build can name the transform it expects (cross
// builds under an emulator, whose /proc/cpuinfo is the host's).
TEST(Sha1Transforms, DispatcherChoosesTheFastestUsable)
{
    const std::vector<sha1_transform_entry> list = usable();
    ASSERT_FALSE(list.empty());
    EXPECT_STREQ(list.back().name, "portable");
    EXPECT_STREQ(sha1_chosen_transform().name, list.front().name);
    std::printf("chosen transform: %s\n", sha1_chosen_transform().name);

#if defined(TORVANIX_EXPECTED_TRANSFORM)
    EXPECT_STREQ(sha1_chosen_transform().name, TORVANIX_EXPECTED_TRANSFORM);
#elif defined(TORVANIX_EXPECT_FROM_CPUINFO)
    const std::set<std::string> flags = cpu_flags();
    const bool avx2 = flags.count("avx2") && flags.count("bmi1") && flags.count("bmi2");
    std::string expected = "portable";
    if (TORVANIX_HW_SHA1_BUILT && flags.count("sha_ni")) {
        expected = "x86-sha";
    } else if (avx2) {
        expected = "x86-avx2";
    } else if (flags.count("ssse3")) {
        expected = "x86-ssse3";
    }
    EXPECT_EQ(sha1_chosen_transform().name, expected);
    // Slower transforms the processor can also run are usable too.
    std::set<std::string> names;
    for (const auto& t : list) names.insert(t.name);
    EXPECT_EQ(names.count("x86-avx2"), avx2 ? 1u : 0u);
    EXPECT_EQ(names.count("x86-ssse3"), flags.count("ssse3"));
#else
    GTEST_SKIP() << "no expectation for this platform";
#endif
}

// A context fed in one call (whole blocks straight from the buffer) must end
// in the same state, field by field, as one fed a byte per call.
void expect_same_context(const SHA1Context& a, const SHA1Context& b)
{
    EXPECT_EQ(std::memcmp(a.Intermediate_Hash, b.Intermediate_Hash, sizeof a.Intermediate_Hash), 0);
    EXPECT_EQ(a.Length_Low, b.Length_Low);
    EXPECT_EQ(a.Length_High, b.Length_High);
    EXPECT_EQ(a.Message_Block_Index, b.Message_Block_Index);
    EXPECT_EQ(std::memcmp(a.Message_Block, b.Message_Block, a.Message_Block_Index), 0);
    EXPECT_EQ(a.Computed, b.Computed);
    EXPECT_EQ(a.Corrupted, b.Corrupted);
}

TEST(Sha1BulkInput, RandomSplitsMatchSingleBytes)
{
    std::mt19937 random(77);
    const std::vector<std::uint8_t> data = random_bytes(random, 5000);
    for (int round = 0; round < 30; ++round) {
        SHA1Context split;
        SHA1Context single;
        SHA1Reset(&split);
        SHA1Reset(&single);
        std::size_t done = 0;
        std::uniform_int_distribution<std::size_t> size(0, round < 15 ? 70 : 1500);
        while (done < data.size()) {
            const std::size_t piece = std::min(size(random), data.size() - done);
            ASSERT_EQ(SHA1Input(&split, data.data() + done, static_cast<unsigned>(piece)),
                      shaSuccess);
            for (std::size_t i = 0; i < piece; ++i) {
                ASSERT_EQ(SHA1Input(&single, data.data() + done + i, 1), shaSuccess);
            }
            done += piece;
            expect_same_context(split, single);
        }
    }
}

// Near 2^64 bits the call that would wrap the count takes the byte loop. With
// `room` bytes left before the wrap, a call of `length` bytes from a block
// holding `held` bytes must match byte-per-call input exactly: below the
// wrap nothing changes, at it the wrapping byte is stored and the rest refused.
TEST(Sha1BulkInput, OverflowFallbackMatchesSingleBytes)
{
    std::mt19937 random(5);
    const std::vector<std::uint8_t> data = random_bytes(random, 300);
    for (unsigned held : {0u, 1u, 40u, 63u}) {
        for (unsigned room : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 200u}) {
            for (unsigned length : {1u, 63u, 64u, 65u, 128u, 129u, 200u, 201u, 260u}) {
                SCOPED_TRACE(std::to_string(held) + " held, " + std::to_string(room) + " room, " +
                             std::to_string(length) + " bytes");
                SHA1Context bulk;
                SHA1Reset(&bulk);
                ASSERT_EQ(SHA1Input(&bulk, data.data(), held), shaSuccess);
                // The count of bits that leaves `room` more bytes (the last
                // of them the wrapping one).
                const std::uint64_t bits = 0 - 8 * (std::uint64_t{room} + 1);
                bulk.Length_Low = static_cast<std::uint32_t>(bits);
                bulk.Length_High = static_cast<std::uint32_t>(bits >> 32);
                SHA1Context single = bulk;

                ASSERT_EQ(SHA1Input(&bulk, data.data() + 20, length), shaSuccess);
                for (unsigned i = 0; i < length && single.Corrupted == 0; ++i) {
                    ASSERT_EQ(SHA1Input(&single, data.data() + 20 + i, 1), shaSuccess);
                }
                expect_same_context(bulk, single);
                EXPECT_EQ(bulk.Corrupted, length > room ? shaNull : 0);
            }
        }
    }
}

}  // namespace
