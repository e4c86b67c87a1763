#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "digest/sha1file.h"
#include "tests/support/scratch_dir.h"

namespace {

using FileDigest = ScratchDir;

std::string pattern(std::size_t size)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>((i * 7 + 1) & 255);
    }
    return s;
}

TEST_F(FileDigest, ContentsAroundTheReadSize)
{
    EXPECT_STREQ(SHA1File(write_file("empty", "").c_str()),
                 "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_STREQ(SHA1File(write_file("one-chunk", pattern(16384)).c_str()),
                 "3A861685AAABC9A02AA646C8CD87DE63C9C3CA71");
    EXPECT_STREQ(SHA1File(write_file("chunk-and-byte", pattern(16385)).c_str()),
                 "A53609DE1FA8AFB002E806F44AC00D8F801B0D38");
    EXPECT_STREQ(SHA1File(write_file("three-chunks", pattern(3 * 16384 + 100)).c_str()),
                 "0CFD42556BD0B7D114C2D65A9CE6A07E7D7E7540");
    // Binary bytes are read unchanged: no line-end or end-of-file translation.
    EXPECT_STREQ(SHA1File(write_file("binary", std::string("a\r\nb\x1A\n\0c", 8)).c_str()),
                 "FA2ED10DB3EA0FBA82C611F8C47722D8E4CBA37F");
}

TEST_F(FileDigest, NamesThatCannotBeOpened)
{
    EXPECT_STREQ(SHA1File("no-such-file"), "couldn't open file 'no-such-file'\n");
    EXPECT_STREQ(SHA1File(""), "couldn't open file ''\n");
    std::filesystem::create_directory("folder");
    EXPECT_STREQ(SHA1File("folder"), "couldn't open file 'folder'\n");
    EXPECT_STREQ(SHA1File("."), "couldn't open file '.'\n");
}

TEST_F(FileDigest, LongPathsAreCutToFitTheText)
{
    std::string fits(1001, 'p');
    EXPECT_EQ(SHA1File(fits.c_str()), "couldn't open file '" + fits + "'\n");

    std::string too_long(1500, 'q');
    too_long[1000] = 'E';  // the last byte that is kept
    too_long[1001] = 'X';  // the first byte that is cut
    const char* text = SHA1File(too_long.c_str());
    EXPECT_EQ(text, "couldn't open file '" + too_long.substr(0, 1001) + "'\n");
    EXPECT_EQ(std::strlen(text), 1023u);
}

#if defined(__linux__)
TEST_F(FileDigest, ReadErrorIsNotADigest)
{
    // The first read of this file fails with EIO: no digest must come of it.
    EXPECT_STREQ(SHA1File("/proc/self/mem"), "couldn't read file '/proc/self/mem'\n");

    std::string long_way = "/proc/";
    for (int i = 0; i < 600; ++i) {
        long_way += "./";
    }
    long_way += "self/mem";
    EXPECT_EQ(SHA1File(long_way.c_str()), "couldn't read file '" + long_way.substr(0, 1001) + "'\n");
}
#endif

}  // namespace
