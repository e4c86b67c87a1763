// The `\\?\` form in which Windows opens a name too long for the plain open.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "digest/file_platform.h"
#include "tests/support/scratch_dir.h"

namespace {

using LongNames = ScratchDir;

// Names relative to the scratch folder (the current one) and its drive.
TEST_F(LongNames, HaveTheirFullPathBehindTheLongPathPrefix)
{
    wchar_t here[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, here), 3u);
    const std::wstring folder = here, drive = folder.substr(0, 2);  // "C:"
    struct Case {
        std::wstring name, form;  // no form: ""
    };
    const Case cases[] = {
        {L"a\\b.txt", L"\\\\?\\" + folder + L"\\a\\b.txt"},
        {drive + L"b.txt", L"\\\\?\\" + folder + L"\\b.txt"},  // drive-relative
        {L"\\b.txt", L"\\\\?\\" + drive + L"\\b.txt"},         // rooted
        {L"a\\..\\b.txt", L"\\\\?\\" + folder + L"\\b.txt"},
        {L"a/./b.txt.", L"\\\\?\\" + folder + L"\\a\\b.txt"},  // '/', ".", a trailing dot
        {L"\\\\server\\share\\dir\\..\\b.txt", L"\\\\?\\UNC\\server\\share\\b.txt"},
        {L"\\\\?\\" + drive + L"\\b.txt", L""},  // already in that form
        {L"con", L""},                           // a device: \\.\con
    };
    for (const Case& c : cases) {
        wchar_t out[MAX_PATH];
        const std::wstring form = long_path_name(c.name.c_str(), out, MAX_PATH) > 0 ? out : L"";
        EXPECT_TRUE(form == c.form) << std::string(c.name.begin(), c.name.end());
    }
}

}  // namespace
