// Which name a Windows open uses for one of the program's arguments: the
// UTF-16 argument at the same position of the runtime's wide split, or the
// ANSI name where the runtime's two splits of the command line differ. The
// runtime's argument vectors are replaced by made-up ones. The program looks
// at them once per process, so each case runs in a process of its own.
#include <stdlib.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "digest/sha1file.h"
#include "tests/support/scratch_dir.h"

namespace {

const std::string abc = "A9993E364706816ABA3E25717850C26C9CD0D89D";
const std::string abd = "CB4CC28DF0FDBE0ECF9D9662E294B118092A5735";

class MadeUpArguments : public ScratchDir {
protected:
    void SetUp() override
    {
        ScratchDir::SetUp();
        ASSERT_EQ(GetACP(), 1252u) << "the Greek capital omega must show as 'O'";
        write(L"\u03A9mega.txt", "abc");
        write(L"Omega.txt", "abd");
    }

    static void write(const wchar_t* name, const char* contents)
    {
        HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, contents, static_cast<DWORD>(std::strlen(contents)), &written, nullptr);
        CloseHandle(file);
    }
};

// Collects the differences between what SHA1File gives and what is expected.
struct Report {
    std::string text;
    void expect(const char* path, const std::string& expected)
    {
        const std::string got = SHA1File(path);
        if (got != expected)
            text += std::string(path) + ": " + got + " instead of " + expected + "\n";
    }
};

// Runs `check` with the runtime's arguments made up as `ansi` and `wide`, in
// a process of its own, and expects no differences.
void expect_in_own_process(char** ansi, wchar_t** wide, void (*check)(Report&))
{
    EXPECT_EXIT(
        {
            __argv = ansi;
            __wargv = wide;
            Report report;
            check(report);
            std::fputs(report.text.c_str(), stderr);
            std::exit(report.text.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "^$");
}

char exe[] = "t.exe", omega[] = "Omega.txt", also_omega[] = "Omega.txt";
wchar_t wide_exe[] = L"t.exe", wide_omega[] = L"\u03A9mega.txt", wide_latin[] = L"Omega.txt";

// The command line `t.exe Ωmega.txt Omega.txt`, whose ANSI form (code page
// 1252) is `t.exe Omega.txt Omega.txt`.
TEST_F(MadeUpArguments, SplitsThatAgreeOpenTheWideArgumentAtTheSamePosition)
{
    char* ansi[] = {exe, omega, also_omega, nullptr};
    wchar_t* wide[] = {wide_exe, wide_omega, wide_latin, nullptr};
    expect_in_own_process(ansi, wide, [](Report& r) {
        // main's argv may hold copies of the runtime's strings: equal bytes,
        // other addresses, taken in argument order.
        const std::string first = omega, second = also_omega;
        r.expect(first.c_str(), abc);
        r.expect(second.c_str(), abd);
        // The runtime's own strings are known by their address, in any order.
        r.expect(also_omega, abd);
        r.expect(omega, abc);
        // A name that is no argument is opened as it is.
        r.expect(".\\Omega.txt", abd);
    });
}

// `t.exe ＂Ωmega.txt Omega.txt＂` (full-width quotes): the ANSI command line
// `t.exe "Omega.txt Omega.txt"` holds one argument, the wide one two.
TEST_F(MadeUpArguments, SplitsOfDifferentLengthsOpenTheAnsiName)
{
    char both[] = "Omega.txt Omega.txt";
    write(L"Omega.txt Omega.txt", "abc");
    wchar_t quoted_omega[] = L"\uFF02\u03A9mega.txt", quoted_latin[] = L"Omega.txt\uFF02";
    char* ansi[] = {exe, both, nullptr};
    wchar_t* wide[] = {wide_exe, quoted_omega, quoted_latin, nullptr};
    expect_in_own_process(ansi, wide, [](Report& r) {
        const std::string copy = "Omega.txt Omega.txt";
        r.expect(copy.c_str(), abc);
    });
}

// `t.exe Ωmega.txt＂`: the ANSI command line `t.exe Omega.txt"` splits into
// as many arguments, but the wide one ends in a full-width quote that the
// ANSI split drops. The ANSI name is opened, as without the wide split.
TEST_F(MadeUpArguments, SplitsWithDifferentArgumentsOpenTheAnsiName)
{
    wchar_t quoted_omega[] = L"\u03A9mega.txt\uFF02";
    char* ansi[] = {exe, omega, nullptr};
    wchar_t* wide[] = {wide_exe, quoted_omega, nullptr};
    expect_in_own_process(ansi, wide, [](Report& r) {
        const std::string copy = omega;
        r.expect(copy.c_str(), abd);
    });
}

}  // namespace
