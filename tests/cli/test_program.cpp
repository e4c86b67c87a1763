#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collision_files.h"
#include "expected_output.h"
#include "run_program.h"
#include "tests/support/scratch_dir.h"

namespace {

ProgramRun expect_clean_run(const std::vector<std::string>& args)
{
    ProgramRun run = run_torvanix(args);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
#if defined(_WIN32)
    EXPECT_EQ(run.raw_out, with_crlf(run.out));  // every line end, not just some
#endif
    return run;
}

TEST_F(Program, WithoutNamesPrintsUsage)
{
    EXPECT_EQ(expect_clean_run({}).out, banner + "torvanix <filename> [filename2]...\n");
}

TEST_F(Program, OneLinePerFileComparedWithThePreviousName)
{
    write_file("a.txt", "abc");
    write_file("b.txt", "abd");
    write_file("copy-of-a", "abc");

    EXPECT_EQ(expect_clean_run({"a.txt"}).out, banner + line(abc, "a.txt"));
    EXPECT_EQ(expect_clean_run({"a.txt", "a.txt"}).out,
              banner + line(abc, "a.txt") + line(abc, "a.txt", " [MATCH]"));
    EXPECT_EQ(expect_clean_run({"a.txt", "copy-of-a", "b.txt"}).out,
              banner + line(abc, "a.txt") + line(abc, "copy-of-a", " [MATCH]") +
                  line(abd, "b.txt", " [NO MATCH]"));
    // The third name is compared with the second, not the first.
    EXPECT_EQ(expect_clean_run({"a.txt", "b.txt", "a.txt"}).out,
              banner + line(abc, "a.txt") + line(abd, "b.txt", " [NO MATCH]") +
                  line(abc, "a.txt", " [NO MATCH]"));
}

TEST_F(Program, NameColumnIsTwentyBytes)
{
    const std::string twenty = "exactly-twenty-bytes";
    const std::string twenty_one = "twenty-one-bytes-long";
    // 19 ASCII bytes, then a two-byte UTF-8 letter that the column splits.
    const std::string multibyte = std::string(19, 'm') + "\xC3\xA9";
    write_file(twenty, "abc");
    write_file(twenty_one, "abc");
    write_file(multibyte, "abc");
    EXPECT_EQ(expect_clean_run({twenty, twenty_one, multibyte}).out,
              banner + "SHA1=" + abc + " exactly-twenty-bytes\n" + "SHA1=" + abc +
                  " twenty-one-bytes-lon [MATCH]\n" + "SHA1=" + abc + " " + std::string(19, 'm') +
                  "\xC3" + " [MATCH]\n");
}

TEST_F(Program, ErrorTextsAreComparedLikeDigests)
{
    write_file("a.txt", "abc");
    // An error text spans two lines: its own newline comes before the name.
    EXPECT_EQ(expect_clean_run({"gone", "gone", "GONE", "a.txt", "a.txt", "gone"}).out,
              banner + line(missing("gone"), "gone") + line(missing("gone"), "gone", " [MATCH]") +
                  line(missing("GONE"), "GONE", " [MATCH]") + line(abc, "a.txt", " [NO MATCH]") +
                  line(abc, "a.txt", " [MATCH]") + line(missing("gone"), "gone", " [NO MATCH]"));
}

TEST_F(Program, OddNamesAreUsedAsTyped)
{
    write_file("x.txt", "abc");
    EXPECT_EQ(expect_clean_run({"", "*.txt", "x?txt", "."}).out,
              banner + line(missing(""), "") + line(missing("*.txt"), "*.txt", " [NO MATCH]") +
                  line(missing("x?txt"), "x?txt", " [NO MATCH]") +
                  line(missing("."), ".", " [NO MATCH]"));
}

TEST_F(Program, LongNamesDoNotOverflow)
{
    std::string long_name(3000, 'n');
    std::string shown = "couldn't open file '" + long_name.substr(0, 1001) + "'\n";
    EXPECT_EQ(expect_clean_run({long_name, long_name}).out,
              banner + line(shown, long_name) + line(shown, long_name, " [MATCH]"));
}

std::string contents(const unsigned char* bytes, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

// Two different files made to share a SHA-1 digest print that digest twice
// but do not match; copies of one of them do.
TEST_F(Program, CollisionAttackIsNotAMatch)
{
    const std::string shattered = "F92D74E3874587AAF443D1DB961D4E26DDE13E9C";
    const std::string mbles = "8AC60BA76F1999A1AB70223F225AEFDC78D4DDC0";
    const std::string one = contents(shattered_1, sizeof shattered_1);
    const std::string two = contents(shattered_2, sizeof shattered_2);
    write_file("one.bin", one);
    write_file("two.bin", two);
    write_file("copy.bin", one);
    write_file("m1.bin", contents(sha_mbles_1, sizeof sha_mbles_1));
    write_file("m2.bin", contents(sha_mbles_2, sizeof sha_mbles_2));
    EXPECT_EQ(
        expect_clean_run({"one.bin", "two.bin", "one.bin", "copy.bin", "m1.bin", "m2.bin"}).out,
        banner + line(shattered, "one.bin") + line(shattered, "two.bin", " [NO MATCH]") +
            line(shattered, "one.bin", " [NO MATCH]") + line(shattered, "copy.bin", " [MATCH]") +
            line(mbles, "m1.bin", " [NO MATCH]") + line(mbles, "m2.bin", " [NO MATCH]"));

    // A common suffix keeps the digests equal and the files apart.
    const std::string suffix(5000, 'z');
    write_file("one-long.bin", one + suffix);
    write_file("two-long.bin", two + suffix);
    const std::string out = expect_clean_run({"one-long.bin", "two-long.bin"}).out;
    const std::size_t first = out.find("SHA1=");
    const std::size_t second = out.find("SHA1=", first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(out.substr(first, 45), out.substr(second, 45));  // "SHA1=" and the digest
    EXPECT_NE(out.find("two-long.bin         [NO MATCH]"), std::string::npos) << out;
}

#if !defined(_WIN32)
// `name` with each control byte as '?', as a terminal is to show it.
std::string shown(std::string name)
{
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return name;
}

TEST_F(Program, ControlBytesOfNamesReachOnlyPipesAndFiles)
{
    // A name that would move the cursor up, erase that line and return.
    const std::string forger = "a\x1b[1A\x1b[2K\r";
    write_file(forger, "abc");
    // Missing files: the names appear inside the error texts too. The two
    // look alike on a terminal but are different names, so no match.
    const std::string tab_bell = "gone\t\a";
    const std::string tab_del = "gone\t\x7f";
    const std::string line_end = "line\nend-and-twenty-bytes\x01";
    const std::vector<std::string> names = {forger, tab_bell, tab_del, line_end, line_end};

    const auto expected = [&](auto show) {
        return banner + line(abc, show(forger)) +
               line(missing(show(tab_bell)), show(tab_bell), " [NO MATCH]") +
               line(missing(show(tab_del)), show(tab_del), " [NO MATCH]") +
               line(missing(show(line_end)), show(line_end), " [NO MATCH]") +
               line(missing(show(line_end)), show(line_end), " [MATCH]");
    };
    const auto as_is = [](const std::string& name) { return name; };
    for (OutputTo output : {OutputTo::pipe, OutputTo::file}) {
        EXPECT_EQ(run_torvanix(names, output).raw_out, expected(as_is));
    }
    ProgramRun on_terminal = run_torvanix(names, OutputTo::terminal);
    EXPECT_EQ(on_terminal.raw_out, expected(shown));
    EXPECT_EQ(on_terminal.exit_code, 0);
}
#endif

TEST_F(Program, OutputThatCannotBeWrittenIsNotAnError)
{
    write_file("a.txt", "abc");
    for (OutputTo output : {OutputTo::closed, OutputTo::broken_pipe}) {
        ProgramRun run = run_torvanix({"a.txt", "a.txt"}, output);
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.err, "");
    }
}

}  // namespace
