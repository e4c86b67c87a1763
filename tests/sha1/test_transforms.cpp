#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sha1/cpu_features.h"
#include "sha1/rounds.h"
#include "sha1/sha1.h"
#include "sha1/transform.h"
#include "tests/support/random_bytes.h"
#include "tests/support/sha1_model.h"
#include "tests/support/sha1_testing.h"

namespace {

using sha1_testing::usable_transforms;

// Every transform this machine runs, the portable one too, must agree with
// the model on random chaining values, block counts and alignments,
// including runs long enough that a transform keeping state in registers
// across blocks is exercised.
TEST(Sha1Transforms, AgreeWithTheModel)
{
    std::mt19937 random(2026);
    for (const sha1_transform_entry& t : usable_transforms()) {
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
                sha1_model::compress(expected, buffer.data() + offset, blocks);
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
    for (const sha1_transform_entry& t : usable_transforms()) {
        SCOPED_TRACE(t.name);
        for (std::uint8_t fill : {0x00, 0xFF, 0x80, 0x01}) {
            std::vector<std::uint8_t> buffer(64 * 4, fill);
            std::uint32_t expected[5] = {0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0x80000000};
            std::uint32_t actual[5];
            std::memcpy(actual, expected, sizeof actual);
            sha1_model::compress(expected, buffer.data(), 4);
            t.plain(actual, buffer.data(), 4);
            EXPECT_EQ(std::memcmp(expected, actual, sizeof actual), 0) << int{fill};
        }
    }
}

// On x86 Linux the features follow, too, from the processor's flags as the
// kernel reports them.
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

// The dispatcher picks the first transform of the table that the processor
// runs (the test library lists them apart from the dispatcher), the portable
// one last; on x86 Linux the kernel's flags give the same features as
// CPUID. The build can name the transform it expects (cross builds under an
// emulator, whose /proc/cpuinfo is the host's).
TEST(Sha1Transforms, DispatcherChoosesTheFastestUsable)
{
    const std::vector<sha1_transform_entry> list = usable_transforms();
    ASSERT_FALSE(list.empty());
    EXPECT_STREQ(list.back().name, "portable");
    EXPECT_STREQ(sha1_chosen_transform().name, list.front().name);
    ::testing::Test::RecordProperty("chosen_transform", sha1_chosen_transform().name);

#if defined(TORVANIX_EXPECTED_TRANSFORM)
    EXPECT_STREQ(sha1_chosen_transform().name, TORVANIX_EXPECTED_TRANSFORM);
#elif defined(TORVANIX_EXPECT_FROM_CPUINFO)
    const std::set<std::string> flags = cpu_flags();
    const auto has = [&](const char* flag) { return flags.count(flag) != 0; };
    sha1_cpu_features f = 0;
    if (has("ssse3")) f |= sha1_cpu::ssse3;
    if (has("avx2") && has("bmi1") && has("bmi2")) f |= sha1_cpu::avx2;
    if (has("sha_ni") && has("ssse3") && has("sse4_1")) f |= sha1_cpu::shani;
    if (has("avx512f") && has("avx512vl") && has("avx512bw")) f |= sha1_cpu::avx512vl;
    if (has("avx512f") && has("avx512vl") && has("avx512bw") && has("avx512vbmi")) {
        f |= sha1_cpu::avx512;
    }
    if (has("gfni")) f |= sha1_cpu::gfni;
    // The same features: the same choice, and the same slower transforms usable.
    EXPECT_EQ(sha1_read_cpu_features(), f);
#else
    GTEST_SKIP() << "no expectation for this platform";
#endif
}

}  // namespace
