// Which name a Windows open uses: the UTF-16 form of a name when the caller
// has one, the ANSI name otherwise; the `\\?\` form of a long name.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "digest/file_platform.h"
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

// The `\\?\` forms of names, relative to the scratch folder (the current
// one) and its drive.
TEST_F(WideNames, LongNamesHaveTheirFullPathBehindTheLongPathPrefix)
{
    wchar_t here[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, here), 3u);
    const std::wstring folder = here, drive = folder.substr(0, 2);  // "C:"
    const std::wstring parent = folder.substr(0, folder.find_last_of(L'\\'));
    struct Case {
        std::wstring name, form;  // no form: ""
    };
    const Case cases[] = {
        {L"a\\b.txt", L"\\\\?\\" + folder + L"\\a\\b.txt"},
        {drive + L"b.txt", L"\\\\?\\" + folder + L"\\b.txt"},  // drive-relative
        {L"\\b.txt", L"\\\\?\\" + drive + L"\\b.txt"},         // rooted
        {L"a\\..\\..\\b.txt", L"\\\\?\\" + parent + L"\\b.txt"},
        {L"a/./b.txt.", L"\\\\?\\" + folder + L"\\a\\b.txt"},  // '/', ".", a trailing dot
        {L"\\\\server\\share\\dir\\..\\b.txt", L"\\\\?\\UNC\\server\\share\\b.txt"},
        {L"\\\\?\\" + drive + L"\\b.txt", L""},  // already in that form
        {L"\\\\.\\COM1", L""},                   // devices
        {L"con", L""},
    };
    for (const Case& c : cases) {
        wchar_t out[MAX_PATH];
        const int length = long_path_name(c.name.c_str(), out, MAX_PATH);
        const std::wstring form = length > 0 ? out : L"";
        EXPECT_TRUE(form == c.form) << std::string(c.name.begin(), c.name.end());
        // The length of the full path, which the plain open measures.
        const std::size_t prefix = form.rfind(L"\\\\?\\UNC\\", 0) == 0 ? 6 : 4;
        EXPECT_EQ(length, length > 0 ? static_cast<int>(form.size() - prefix) : 0);
    }
}

}  // namespace
