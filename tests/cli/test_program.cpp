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
TEST_F(Program, ControlBytesOfNamesReachOnlyPipesAndFiles)
{
    // A name that would move the cursor up, erase that line and return.
    const std::string forger = "a\x1b[1A\x1b[2K\r";
    write_file(forger, "abc");
    std::vector<std::string> names = {forger};
    std::string as_is = banner + line(abc, forger), shown = banner + line(abc, "a?[1A?[2K?");
    // Missing files: each name, as a terminal shows it ("": as it is), and
    // its column there where that is not the start of it.
    const std::string cut(18, 'x');
    const std::string rows[][3] = {
        {"gone\t\a", "gone??", ""},
        {"gone\t\x7f", "gone??", ""},
        {"line\nend-and-twenty-bytes\x01", "line?end-and-twenty-bytes?", ""},
        {"line\nend-and-twenty-bytes\x01", "line?end-and-twenty-bytes?", ""},
        {"csi\xC2\x9B.2J", "csi??.2J", ""},  // the 8-bit CSI in UTF-8 (U+009B)
        {"csi\x9B.2J", "csi?.2J", ""},       // and as a raw byte
        // Continuation bytes 0x80 to 0x9F (U+0100, U+4E00, U+1F600) stay.
        {"\xC3\xA9\xC4\x80\xE4\xB8\x80\xF0\x9F\x98\x80\xE9", "", ""},
        // U+201C cut by the column: there its 0x80 is part of no character.
        {cut + "\xE2\x80\x9C", "", cut + "\xE2?"},
    };
    for (const auto& [name, shown_name, shown_column] : rows) {
        const std::string s = shown_name.empty() ? name : shown_name;
        const char* marker = name == names.back() ? " [MATCH]" : " [NO MATCH]";
        as_is += line(missing(name), name, marker);
        shown += line(missing(s), shown_column.empty() ? s : shown_column, marker);
        names.push_back(name);
    }
    for (OutputTo output : {OutputTo::pipe, OutputTo::file}) {
        EXPECT_EQ(run_torvanix(names, output).raw_out, as_is);
    }
    ProgramRun on_terminal = run_torvanix(names, OutputTo::terminal);
    EXPECT_EQ(on_terminal.raw_out, shown);
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
