// Which name a Windows open uses: the UTF-16 form of a name when the caller
// has one, the ANSI name otherwise.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "digest/sha1file.h"
#include "tests/support/scratch_dir.h"

namespace {

const std::string abc = "A9993E364706816ABA3E25717850C26C9CD0D89D";
const std::string abd = "CB4CC28DF0FDBE0ECF9D9662E294B118092A5735";

class WideNames : public ScratchDir {
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

// `Ωmega.txt` shows as `Omega.txt` in the code page 1252, the name of
// another file. Given its wide form the open finds the file named; without
// one it opens the ANSI name. Error texts show the ANSI name either way.
TEST_F(WideNames, TheWideFormIsOpenedWhenThereIsOne)
{
    EXPECT_EQ(SHA1File("Omega.txt", L"\u03A9mega.txt"), abc);
    EXPECT_EQ(SHA1File("Omega.txt", nullptr), abd);
    EXPECT_EQ(SHA1File("Omega.txt"), abd);
    EXPECT_STREQ(SHA1File("Omega.txt", L"\u03A9mega-gone.txt"), "couldn't open file 'Omega.txt'\n");
}

}  // namespace
