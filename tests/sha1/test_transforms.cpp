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

#include "sha1/sha1.h"
#include "sha1/transform.h"
#include "sha1/rounds.h"
#include "tests/support/random_bytes.h"

namespace {

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
                t.plain(actual, buffer.data() + offset, blocks);
                ASSERT_EQ(std::memcmp(expected, actual, sizeof actual), 0)
                    << blocks << " blocks at offset " << offset;
            }
        }
        // Zero blocks leave the state alone.
        std::uint32_t state[5] = {1, 2, 3, 4, 5};
        t.plain(state, nullptr, 0);
        EXPECT_EQ(state[0] + state[1] + state[2] + state[3] + state[4], 15u);
    }
}

// The round functions are rearranged to save register copies or
// operations; every form must equal the textbook definitions on every bit.
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
        EXPECT_EQ(sha1_rounds::f_choose<bit_ops::fewest>(b, c, d), choose);
        EXPECT_EQ(sha1_rounds::f_majority<bit_ops::fewest>(b, c, d), majority);
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
            t.plain(actual, buffer.data(), 4);
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
    ::testing::Test::RecordProperty("chosen_transform", sha1_chosen_transform().name);

#if defined(TORVANIX_EXPECTED_TRANSFORM)
    EXPECT_STREQ(sha1_chosen_transform().name, TORVANIX_EXPECTED_TRANSFORM);
#elif defined(TORVANIX_EXPECT_FROM_CPUINFO)
    const std::set<std::string> flags = cpu_flags();
    const bool avx2 = flags.count("avx2") && flags.count("bmi1") && flags.count("bmi2");
    std::string expected = "portable";
    const bool sha = TORVANIX_HW_SHA1_BUILT && flags.count("sha_ni");
    const bool avx512 = avx2 && flags.count("avx512f") && flags.count("avx512vl") &&
                        flags.count("avx512bw") && flags.count("avx512vbmi") && flags.count("gfni");
    if (sha) {
        expected = avx512 ? "x86-sha-avx512" : avx2 ? "x86-sha" : "x86-sha-sse";
    } else if (avx2) {
        expected =
            flags.count("avx512f") && flags.count("avx512vl") ? "x86-avx2-avx512vl" : "x86-avx2";
    } else if (flags.count("ssse3")) {
        expected = "x86-ssse3";
    }
    EXPECT_EQ(sha1_chosen_transform().name, expected);
    // Slower transforms the processor can also run are usable too.
    std::set<std::string> names;
    for (const auto& t : list) names.insert(t.name);
    EXPECT_EQ(names.count("x86-sha-avx512"), sha && avx512 ? 1u : 0u);
    EXPECT_EQ(names.count("x86-sha"), sha && avx2 ? 1u : 0u);
    EXPECT_EQ(names.count("x86-sha-sse"), sha ? 1u : 0u);
    EXPECT_EQ(names.count("x86-avx2-avx512vl"),
              avx2 && flags.count("avx512f") && flags.count("avx512vl") ? 1u : 0u);
    EXPECT_EQ(names.count("x86-avx2"), avx2 ? 1u : 0u);
    EXPECT_EQ(names.count("x86-ssse3"), flags.count("ssse3"));
#else
    GTEST_SKIP() << "no expectation for this platform";
#endif
}

}  // namespace
