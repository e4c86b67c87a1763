// What the program does on Windows: text-mode output, the runtime's command
// line splitting, and file sharing.
#include <windows.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "expected_output.h"
#include "run_program.h"

namespace {

using WindowsProgram = ScratchDir;

TEST_F(WindowsProgram, EveryLineEndIsCrLfInPipesAndFiles)
{
    write_file("a.txt", "abc");
    const std::string expected =
        with_crlf(banner + line(abc, "a.txt") + line(missing("gone"), "gone", " [NO MATCH]"));
    for (OutputTo output : {OutputTo::pipe, OutputTo::file}) {
        ProgramRun run = run_torvanix({"a.txt", "gone"}, output);
        EXPECT_EQ(run.raw_out, expected);
        EXPECT_EQ(run.exit_code, 0);
    }
    EXPECT_EQ(run_torvanix({}, OutputTo::file).raw_out,
              with_crlf(banner + "torvanix <filename> [filename2]...\n"));
}

TEST_F(WindowsProgram, NamesAreSplitAsTheRuntimeSplitsTheCommandLine)
{
    write_file("a b.txt", "abc");
    std::filesystem::create_directory("sub");
    write_file("sub\\x.txt", "abd");
    struct Case {
        const char* command_line;
        std::string expected;
    };
    const Case cases[] = {
        // Quotes group and are dropped, wherever they stand in an argument.
        {"\"a b.txt\" a\" \"b.txt", line(abc, "a b.txt") + line(abc, "a b.txt", " [MATCH]")},
        // Spaces and tabs separate; "" is an empty name.
        {"a\tb.txt \"\"", line(missing("a"), "a") + line(missing("b.txt"), "b.txt", " [NO MATCH]") +
                              line(missing(""), "", " [NO MATCH]")},
        // Backslashes are literal unless a quote follows them.
        {"sub\\x.txt", line(abd, "sub\\x.txt")},
        // 2n backslashes and a quote: n backslashes, and the quote groups.
        {"\"sub\\\\\"", line(missing("sub\\"), "sub\\")},
        // 2n+1 backslashes and a quote: n backslashes and a literal quote.
        {"x\\\"y a\\\\\\\"b",
         line(missing("x\"y"), "x\"y") + line(missing("a\\\"b"), "a\\\"b", " [NO MATCH]")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command_line);
        ProgramRun run = run_torvanix_command_line(c.command_line);
        EXPECT_EQ(run.raw_out, with_crlf(banner + c.expected));
        EXPECT_EQ(run.exit_code, 0);
    }
}

TEST_F(WindowsProgram, WildcardsAndDirectoriesAreNotOpened)
{
    write_file("x1.txt", "abc");
    std::filesystem::create_directory("folder");
    ProgramRun run = run_torvanix_command_line("x*.txt x?.txt folder");
    EXPECT_EQ(run.out, banner + line(missing("x*.txt"), "x*.txt") +
                           line(missing("x?.txt"), "x?.txt", " [NO MATCH]") +
                           line(missing("folder"), "folder", " [NO MATCH]"));
}

// Another process holds each file open: one writing to it, one only reading.
TEST_F(WindowsProgram, FileBeingWrittenIsRefusedFileBeingReadIsDigested)
{
    write_file("writing.txt", "abc");
    write_file("reading.txt", "abc");
    HANDLE writer = CreateFileA("writing.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE reader = CreateFileA("reading.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ProgramRun run = run_torvanix({"writing.txt", "reading.txt"});
    CloseHandle(writer);
    CloseHandle(reader);
    EXPECT_EQ(run.out, banner + line(missing("writing.txt"), "writing.txt") +
                           line(abc, "reading.txt", " [NO MATCH]"));
    // Once the writer has gone, the file is digested.
    EXPECT_EQ(run_torvanix({"writing.txt"}).out, banner + line(abc, "writing.txt"));
}

}  // namespace
