// What the program does on Windows: text-mode output, the runtime's command
// line splitting, file sharing, names outside the ANSI code page, device
// names, and the resources built into the program.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/console_platform.h"
#include "expected_output.h"
#include "run_program.h"

namespace {

using WindowsProgram = ScratchDir;

void write_wide_file(const wchar_t* name, const std::string& contents)
{
    HANDLE file =
        CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, contents.size());
}

// `name` in the ANSI code page, as the program's argv holds it.
std::string ansi(const std::wstring& name)
{
    char bytes[256];
    int n = WideCharToMultiByte(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()), bytes,
                                sizeof bytes, nullptr, nullptr);
    return std::string(bytes, n > 0 ? n : 0);
}

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

// Names outside the ANSI code page reach main as '?' or as a look-alike
// ("Omega.txt" for the Greek capital omega, "a.txt" for the full-width a),
// which may name another file; each is digested as the file named, and
// printed as main's argument.
TEST_F(WindowsProgram, NamesOutsideTheAnsiCodePageDigestTheFileNamed)
{
    ASSERT_EQ(GetACP(), 1252u) << "the look-alike names are those of the code page 1252";
    const std::wstring photo = L"\u5199\u771F.txt", omega = L"\u03A9mega.txt",
                       fullwidth_a = L"\uFF41.txt";
    ASSERT_EQ(ansi(photo), "??.txt");
    ASSERT_EQ(ansi(omega), "Omega.txt");
    ASSERT_EQ(ansi(fullwidth_a), "a.txt");
    write_wide_file(photo.c_str(), "abc");
    write_wide_file(omega.c_str(), "abc");
    write_wide_file(L"Omega.txt", "abd");
    write_wide_file(fullwidth_a.c_str(), "abd");
    write_wide_file(L"a.txt", "abc");

    ProgramRun run = run_torvanix_wide_command_line(photo + L" " + omega + L" Omega.txt " +
                                                    fullwidth_a + L" a.txt \"" + omega + L"\"");
    EXPECT_EQ(run.raw_out,
              with_crlf(banner + line(abc, "??.txt") + line(abc, "Omega.txt", " [MATCH]") +
                        line(abd, "Omega.txt", " [NO MATCH]") + line(abd, "a.txt", " [MATCH]") +
                        line(abc, "a.txt", " [NO MATCH]") + line(abc, "Omega.txt", " [MATCH]")));
    EXPECT_EQ(run.exit_code, 0);

    // A look-alike of a file that does not exist is not opened as the other.
    std::filesystem::remove(omega);
    EXPECT_EQ(run_torvanix_wide_command_line(omega).out,
              banner + line(missing("Omega.txt"), "Omega.txt"));
}

// Windows converts the wide command line to the ANSI one before splitting
// it, so full-width quotes (U+FF02) split it otherwise (wine does not).
TEST(WindowsArguments, WideArgumentsAreUsedOnlyWhereTheSplitsAgree)
{
    ASSERT_EQ(GetACP(), 1252u) << "the Greek capital omega must show as 'O'";
    const char* ansi[] = {"t.exe", "Omega.txt", "Omega.txt", nullptr};
    const wchar_t* wide[] = {L"t.exe", L"\u03A9mega.txt", L"Omega.txt", nullptr};
    EXPECT_TRUE(splits_agree(ansi, wide));
    // `t.exe ＂Ωmega.txt Omega.txt＂`: one ANSI argument, two wide ones.
    const char* one[] = {"t.exe", "Omega.txt Omega.txt", nullptr};
    const wchar_t* two[] = {L"t.exe", L"\uFF02\u03A9mega.txt", L"Omega.txt\uFF02", nullptr};
    EXPECT_FALSE(splits_agree(one, two));
    // `t.exe Ωmega.txt Omega.txt＂`: the ANSI split drops the quote.
    wide[2] = L"Omega.txt\uFF02";
    EXPECT_FALSE(splits_agree(ansi, wide));
}

// Windows opens a name whose full path is longer than MAX_PATH in its `\\?\`
// form only, unless long paths are switched on (wine opens it either way).
TEST_F(WindowsProgram, NamesLongerThanMaxPathAreOpened)
{
    wchar_t here[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, here), 0u);
    const std::string folder(250, 'd'), name = folder + "\\f.txt";
    const std::wstring full = std::wstring(L"\\\\?\\") + here + L"\\" + std::wstring(250, L'd');
    ASSERT_TRUE(CreateDirectoryW(full.c_str(), nullptr));
    write_wide_file((full + L"\\f.txt").c_str(), "abc");
    EXPECT_EQ(run_torvanix({name}).out, banner + line(abc, name));
}

// A 32-bit program on 64-bit Windows (or wine's 64-bit prefix) that opens a
// name under System32 is given its namesake under SysWOW64, unless it turns
// the redirector off. The file named must be digested.
TEST_F(WindowsProgram, System32NamesAreOpenedAsNamedUnderWow64)
{
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) {
        GTEST_SKIP() << "not a 32-bit program under WoW64: nothing is redirected";
    }
    char folder[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(folder, MAX_PATH), 0u);
    const auto path = [&](const char* in) { return std::string(folder) + in + "\\torvanix.t"; };
    // Sysnative is System32 to a 32-bit program; writing there needs an
    // administrator on Windows (not under wine).
    if (!std::ofstream(path("\\Sysnative"), std::ios::binary)) {
        GTEST_SKIP() << "System32 cannot be written: run as an administrator";
    }
    write_file(path("\\Sysnative"), "abc");
    write_file(path("\\SysWOW64"), "abd");
    const ProgramRun run = run_torvanix({path("\\System32"), path("\\SysWOW64")});
    DeleteFileA(path("\\Sysnative").c_str());
    DeleteFileA(path("\\SysWOW64").c_str());
    EXPECT_EQ(run.out, banner + line(abc, path("\\System32")) +
                           line(abd, path("\\SysWOW64"), " [NO MATCH]"));
}

// The console, serial and printer ports and NUL are not files: their names
// give the open-failure text at once instead of waiting for input. The names
// are looked up with an extension and in any case, as Windows does. Run once
// without a console and once (TORVANIX_TEST_CONSOLE set) with one attached.
TEST_F(WindowsProgram, DeviceNamesGiveTheOpenFailureTextWithoutReading)
{
    if (std::getenv("TORVANIX_TEST_CONSOLE") != nullptr) {
        HANDLE console = CreateFileA("CONIN$", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(console, INVALID_HANDLE_VALUE) << "no console attached";
        CloseHandle(console);
    }
    write_file("a.txt", "abc");
    const std::vector<std::string> devices = {"CON", "con.txt", "CONIN$", "aux.txt", "Aux",
                                              "NUL", "nul.md",  "COM1",   "lpt1.txt"};
    std::vector<std::string> names = devices;
    names.push_back("a.txt");
    ProgramRun run = run_torvanix(names, OutputTo::file);
    std::string expected = banner;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const char* marker = i == 0 ? "" : " [NO MATCH]";
        expected += line(missing(devices[i]), devices[i], marker);
    }
    expected += line(abc, "a.txt", " [NO MATCH]");
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.exit_code, 0);  // -1 when it hung and was ended
}

// `name` with each control byte as '?', as the console is to show it.
std::string shown(std::string name)
{
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return name;
}

// What a console screen buffer shows (in ANSI): its rows down to the cursor,
// each without the spaces that fill it to the buffer's width, joined by "\n".
std::string screen_text(HANDLE buffer)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(buffer, &info)) return "(no screen buffer)";
    std::string text;
    std::vector<wchar_t> row(static_cast<std::size_t>(info.dwSize.X));
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(buffer, row.data(), static_cast<DWORD>(row.size()), {0, y},
                                    &read);
        std::string line = ansi(std::wstring(row.data(), read));
        line.erase(line.find_last_not_of(' ') + 1);
        text += line;
        if (y < info.dwCursorPosition.Y) text += '\n';
    }
    return text;
}

// `text` as screen_text shows it once written to a console: no spaces at
// the ends of its lines.
std::string as_on_screen(const std::string& text)
{
    std::string out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + '\n';
    }
    return out + text.substr(start);
}

// Runs torvanix with `arguments` on its command line and a console screen
// buffer of its own as its standard output, and returns what the buffer then
// shows; the buffer is wide enough that no result line wraps.
std::string run_torvanix_on_console(const std::string& arguments)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE buffer =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (buffer == INVALID_HANDLE_VALUE) return "(no screen buffer)";
    SetConsoleScreenBufferSize(buffer, {120, 100});

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = buffer;
    const std::string program = torvanix_exe_path();
    std::string command_line = "\"" + program + "\" " + arguments;
    PROCESS_INFORMATION process = {};
    std::string text = "(not started)";
    if (CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &process)) {
        const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
        if (!ended) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        text = ended ? screen_text(buffer) : "(hung)";
    }
    CloseHandle(buffer);
    return text;
}

// A name that would move the cursor up and erase that line, and a name that
// would clear the screen, each holding ESC. The first names an existing file
// (Windows resolves ".." before it looks at the folder with the control
// bytes, whose name no Windows file system allows); the second cannot be
// opened, so it appears in the error text too.
const std::string forger = "\x1b[1A\x1b[2K\\..\\a.txt";
const std::string clearer = "gone\x1b[2J\x1b[H";

std::string control_byte_names_output(std::string (*show)(std::string))
{
    return banner + line(abc, show(forger)) +
           line(missing(show(clearer)), show(clearer), " [NO MATCH]") +
           line(abc, "a.txt", " [NO MATCH]");
}

// In pipes and files, names keep every byte, control bytes too.
TEST_F(WindowsProgram, ControlBytesOfNamesReachPipesAndFilesAsTheyAre)
{
    write_file("a.txt", "abc");
    const auto as_is = [](std::string name) { return name; };
    for (OutputTo output : {OutputTo::pipe, OutputTo::file}) {
        ProgramRun run = run_torvanix({forger, clearer, "a.txt"}, output);
        EXPECT_EQ(run.raw_out, with_crlf(control_byte_names_output(as_is)));
        EXPECT_EQ(run.exit_code, 0);
    }
}

// On a console each control byte of a name shows as '?', in the error text
// and in the 20-byte name column alike. Needs a console, which the test
// test_cli_console gives it (TORVANIX_TEST_CONSOLE set); elsewhere it runs
// only where the tests themselves were started on one.
TEST_F(WindowsProgram, ControlBytesOfNamesShowAsQuestionMarksOnTheConsole)
{
    HANDLE console =
        CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        ASSERT_EQ(std::getenv("TORVANIX_TEST_CONSOLE"), nullptr) << "no console attached";
        GTEST_SKIP() << "no console attached; test_cli_console runs this on one";
    }
    CloseHandle(console);
    write_file("a.txt", "abc");
    // 0xE9 is `é` in the ANSI code page 1252, `Ú` in 850; 0x81 is U+0081.
    const UINT code_page = GetConsoleOutputCP();
    ASSERT_TRUE(SetConsoleOutputCP(850));
    const std::string screen =
        run_torvanix_on_console("\"" + forger + "\" \"" + clearer + "\" a.txt caf\xE9.txt\x81");
    SetConsoleOutputCP(code_page);
    EXPECT_EQ(screen, as_on_screen(control_byte_names_output(shown) +
                                   line(missing("caf\xE9.txt?"), "caf\xE9.txt?", " [NO MATCH]")));
}

// The conversion of the bytes the program prints to the console's UTF-16.
TEST(WindowsConsole, TextIsConvertedFromItsCodePage)
{
    const struct {
        unsigned code_page;
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {1252, "caf\xE9 M\xFCller \x80", L"caf\u00E9 M\u00FCller \u20AC"},
        {1252, "a\x81z\x9D", L"a?z?"},                      // unassigned in 1252: C1 controls
        {1252, "\x1B[2J\x7F\t\r\n\n", L"?[2J???\r\n\r\n"},  // C0 and DEL; line ends
        {932, "\x93\xFA\x96\x7B.txt", L"\u65E5\u672C.txt"},
        {932, "\x80", L"?"},
        {932, " [MATCH]\n", L" [MATCH]\r\n"},
    };
    wchar_t out[64];
    for (const auto& c : cases) {
        const int n =
            console_text(c.code_page, c.bytes.data(), static_cast<int>(c.bytes.size()), out, 64);
        EXPECT_TRUE(std::wstring(out, n > 0 ? n : 0) == c.text) << c.code_page << " " << c.bytes;
    }
    // A double-byte character cut by the name column gives at most one.
    const int n = console_text(932, (std::string(19, 'm') + "\x93").data(), 20, out, 64);
    EXPECT_TRUE((n == 19 || n == 20) && std::wstring(out, 19) == std::wstring(19, L'm')) << n;
}

// The manifest and the version information are in the program's resources.
TEST(WindowsResources, ManifestAndVersionInformationAreBuiltIn)
{
    const std::string exe = torvanix_exe_path();
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                               SizeofResource(module, found));
    FreeLibrary(module);
    for (const char* part :
         {"<requestedExecutionLevel level=\"asInvoker\"",
          "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true<",
          "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
    // An active code page would change the bytes of names printed today.
    EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version information";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(TORVANIX_VERSION_MINOR, TORVANIX_VERSION_MAJOR));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, TORVANIX_VERSION_PATCH));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    struct Text {
        const char* name;
        std::string expected;
    };
    const Text texts[] = {{"ProductName", "Torvanix"},
                          {"ProductVersion", TORVANIX_VERSION},
                          {"FileVersion", TORVANIX_VERSION},
                          {"FileDescription", TORVANIX_DESCRIPTION},
                          {"OriginalFilename", "torvanix.exe"},
                          {"LegalCopyright", "Copyright (c) 2026 The Torvanix Authors"}};
    for (const Text& text : texts) {
        const std::string key = std::string("\\StringFileInfo\\040904B0\\") + text.name;
        ASSERT_TRUE(VerQueryValueA(info.data(), key.c_str(), &value, &length)) << text.name;
        EXPECT_EQ(static_cast<const char*>(value), text.expected) << text.name;
    }
}

}  // namespace
