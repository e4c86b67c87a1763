#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "digest/file_platform.h"
#include "digest/sha1file.h"
#include "sha1/sha1.h"
#include "tests/support/scratch_dir.h"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#endif

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
// The digest text of `contents`, computed here without SHA1File.
std::string digest_of(const std::string& contents)
{
    SHA1Context context;
    SHA1Reset(&context);
    SHA1Input(&context, reinterpret_cast<const std::uint8_t*>(contents.data()),
              static_cast<unsigned int>(contents.size()));
    std::uint8_t digest[SHA1HashSize];
    SHA1Result(&context, digest);
    std::string text;
    for (std::uint8_t byte : digest) {
        text += "0123456789ABCDEF"[byte >> 4];
        text += "0123456789ABCDEF"[byte & 15];
    }
    return text;
}

std::string contents_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST_F(FileDigest, TerminalInputEndsAtItsFirstEndOfFile)
{
    // A terminal in line mode: "abc\n", an end of file (Ctrl-D), then more
    // input with ends of file of its own.
    int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const std::string device = ptsname(terminal);
    int input = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(input, 0);
    termios mode;
    ASSERT_EQ(tcgetattr(input, &mode), 0);
    mode.c_lflag |= ICANON;
    mode.c_lflag &= ~(ECHO | ECHONL);
    mode.c_cc[VEOF] = 4;
    ASSERT_EQ(tcsetattr(input, TCSANOW, &mode), 0);
    const std::string typed = "abc\n\4def\4\4\4";
    ASSERT_EQ(write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));

    EXPECT_EQ(SHA1File(device.c_str()), digest_of("abc\n"));
    // The file ended at its first empty read: what was typed after that
    // end of file is still there for the next reader.
    fcntl(input, F_SETFL, O_NONBLOCK);
    char rest[16] = {};
    EXPECT_EQ(read(input, rest, sizeof rest), 3);
    EXPECT_EQ(std::string(rest, 3), "def");
    close(input);
    close(terminal);
}

TEST_F(FileDigest, SpecialFilesAreReadAsTheyAre)
{
    // /proc files have size 0 and /sys files size 4096, whatever they hold.
    for (const char* path :
         {"/proc/self/cmdline", "/proc/version", "/sys/devices/system/cpu/online",
          "/sys/kernel/mm/transparent_hugepage/enabled"}) {
        if (!std::filesystem::exists(path)) continue;
        EXPECT_EQ(SHA1File(path), digest_of(contents_of(path))) << path;
    }

    // A FIFO written in two bursts: its time changes as it is written, and
    // the pause between the bursts does not end it.
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    std::thread writer([] {
        int fifo = open("fifo", O_WRONLY);
        EXPECT_EQ(write(fifo, "first burst,", 12), 12);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(write(fifo, " second burst", 13), 13);
        close(fifo);
    });
    EXPECT_EQ(SHA1File("fifo"), digest_of("first burst, second burst"));
    writer.join();
}

// Waits until this process has `path` open and has read past its start, or
// until `given_up` is set. Returns whether the read was seen.
bool wait_until_reading(const std::filesystem::path& path, const std::atomic<bool>& given_up)
{
    while (!given_up) {
        std::error_code ignored;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
            if (std::filesystem::read_symlink(fd.path(), ignored) != path) continue;
            std::string info = contents_of("/proc/self/fdinfo/" + fd.path().filename().string());
            if (info.rfind("pos:\t0\n", 0) != 0) return true;
        }
        std::this_thread::yield();
    }
    return false;
}

TEST_F(FileDigest, FileCutShortWhileReadIsNotADigest)
{
    // 64 GiB of holes take far longer to read than the cut takes to come.
    write_file("big", "");
    std::filesystem::resize_file("big", 64ull << 30);
    std::atomic<bool> digest_done = false;
    std::thread cutter([path = dir_ / "big", &digest_done] {
        if (wait_until_reading(path, digest_done)) {
            std::filesystem::resize_file(path, 1000);
        }
    });
    EXPECT_STREQ(SHA1File("big"), "couldn't read file 'big'\n");
    digest_done = true;
    cutter.join();
}

TEST_F(FileDigest, ChangeSinceOpenIsSeenInSizeAndTime)
{
    // Each file's time is set far back first, so that any write gives it a
    // new one whatever the clock's granularity.
    struct Case {
        const char* name;
        void (*change)(int fd);
        bool changed;
    };
    const Case cases[] = {
        {"untouched", [](int) {}, false},
        {"rewritten-in-place", [](int fd) { EXPECT_EQ(pwrite(fd, "X", 1, 5), 1); }, true},
        {"grown", [](int fd) { EXPECT_EQ(pwrite(fd, "X", 1, 100), 1); }, true},
        {"cut", [](int fd) { EXPECT_EQ(ftruncate(fd, 3), 0); }, true},
    };
    const timespec long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const Case& c : cases) {
        write_file(c.name, "0123456789");
        ASSERT_EQ(utimensat(AT_FDCWD, c.name, long_ago, 0), 0);
        std::FILE* stream = open_for_digest(c.name);
        ASSERT_NE(stream, nullptr);
        int writer = open(c.name, O_WRONLY);
        c.change(writer);
        close(writer);
        EXPECT_EQ(changed_since_open(stream), c.changed) << c.name;
        std::fclose(stream);
    }
}

TEST_F(FileDigest, ReadErrorIsNotADigest)
{
    // The first read of this file fails with EIO: no digest must come of it.
    EXPECT_STREQ(SHA1File("/proc/self/mem"), "couldn't read file '/proc/self/mem'\n");

    std::string long_way = "/proc/";
    for (int i = 0; i < 600; ++i) {
        long_way += "./";
    }
    long_way += "self/mem";
    EXPECT_EQ(SHA1File(long_way.c_str()),
              "couldn't read file '" + long_way.substr(0, 1001) + "'\n");
}
#endif

}  // namespace
