#include "console_platform.h"

#include <cstdio>

#if defined(_WIN32)

#include <stdlib.h>
#include <windows.h>

#if defined(__MINGW32__)
// Tells the mingw-w64 start-up code not to expand wildcards in the command
// line: every argument is a file name, used as typed. (MSVC's start-up code
// never expands them.)
extern "C" {
int _dowildcard = 0;
}
#endif

// The runtime's split of the command line into UTF-16 arguments. A program
// with a narrow main has only the ANSI split until it asks for this one, by
// calls that MSVC's <corecrt_startup.h> declares but no mingw-w64 header
// does: for mingw-w64 they are declared here, as the runtime (UCRT or
// msvcrt.dll) exports them.
#if defined(_MSC_VER)
#include <corecrt_startup.h>
#elif defined(_UCRT)
extern "C" {
enum _crt_argv_mode {
    _crt_argv_no_arguments,
    _crt_argv_unexpanded_arguments,
    _crt_argv_expanded_arguments
};
errno_t __cdecl _configure_wide_argv(_crt_argv_mode mode);
}
#else
extern "C" {
struct _startupinfo {
    int newmode;
};
extern int _newmode;  // what the startup code gave the narrow split
int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand_wildcards,
                           _startupinfo* info);
}
#endif

namespace {

// The UTF-16 arguments, split from the same command line by the same
// runtime as main's argv, without wildcard expansion (as main's); null if
// the runtime cannot give them. The runtime builds them in storage of its
// own, which lasts as long as the process.
wchar_t** runtime_wide_arguments()
{
    if (__wargv != nullptr) {
        return __wargv;
    }
    // Building the wide split also sets __argc to its own count; main's
    // narrow count is put back.
    const int narrow_count = __argc;
    wchar_t** arguments = nullptr;
#if defined(_MSC_VER) || defined(_UCRT)
    if (_configure_wide_argv(_crt_argv_unexpanded_arguments) == 0) {
        arguments = __wargv;
    }
#else
    int count = 0;
    wchar_t** environment = nullptr;
    _startupinfo info = {_newmode};
    if (__wgetmainargs(&count, &arguments, &environment, 0, &info) != 0) {
        arguments = nullptr;
    }
#endif
    __argc = narrow_count;
    return arguments;
}

// Whether `wide` converted to the ANSI code page, with the best-fit mapping
// Windows uses for the ANSI command line, gives exactly the bytes of `ansi`.
// Converted a piece at a time into a small buffer; a piece never ends
// between the two halves of a surrogate pair.
bool converts_to(const wchar_t* wide, const char* ansi)
{
    constexpr int piece = 256;
    char converted[4 * piece];
    std::size_t done = 0;
    while (*wide != L'\0') {
        int n = 0;
        while (n < piece && wide[n] != L'\0') {
            ++n;
        }
        if (n == piece && wide[n] != L'\0' && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF) {
            --n;
        }
        const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, n, converted,
                                              static_cast<int>(sizeof converted), nullptr, nullptr);
        if (bytes <= 0) {
            return false;
        }
        // Byte by byte: the end of `ansi` stops the comparison, as a
        // converted piece holds no zero byte.
        for (int i = 0; i < bytes; ++i, ++done) {
            if (ansi[done] != converted[i]) {
                return false;
            }
        }
        wide += n;
    }
    return ansi[done] == '\0';
}

}  // namespace

// The two splits are made separately, and a best-fit conversion can turn a
// character of the wide command line into a quote or a backslash of the
// ANSI one, which splits differently: then no wide argument is known to
// stand for the ANSI one at its position.
bool splits_agree(const char* const* ansi, const wchar_t* const* wide)
{
    int i = 0;
    for (; ansi[i] != nullptr && wide[i] != nullptr; ++i) {
        if (i > 0 && !converts_to(wide[i], ansi[i])) {
            return false;
        }
    }
    return ansi[i] == nullptr && wide[i] == nullptr;
}

wchar_t* const* wide_arguments(char* const* argv)
{
    wchar_t* const* wide = runtime_wide_arguments();
    return wide != nullptr && splits_agree(argv, wide) ? wide : nullptr;
}

int console_text(unsigned code_page, const char* bytes, int n, wchar_t* out, int room)
{
    if (n == 0) {
        return 0;
    }
    const int converted = MultiByteToWideChar(code_page, 0, bytes, n, out, room);
    if (converted <= 0) {
        return -1;
    }
    int line_ends = 0;
    for (int i = 0; i < converted; ++i) {
        line_ends += out[i] == L'\n' ? 1 : 0;
    }
    if (converted + line_ends > room) {
        return -1;
    }
    // From the end, so each CR goes in without overwriting what is still
    // to be read.
    int to = converted + line_ends;
    for (int from = converted - 1; from >= 0; --from) {
        const wchar_t c = out[from];
        if (c == L'\n') {
            out[--to] = L'\n';
            out[--to] = L'\r';
        } else {
            out[--to] = c < 0x20 || (c >= 0x7F && c <= 0x9F) ? L'?' : c;
        }
    }
    return converted + line_ends;
}

namespace {

// The line being collected for the console: longer than any line the
// program writes (a result text of at most 1023 bytes, each byte giving
// at most one unit, or two for "\n", and the name column and marker).
constexpr int console_line_room = 2 * 1024 + 64;
wchar_t console_line[console_line_room];
int console_length = 0;

void write_console_line()
{
    // What the C library holds for standard output goes first, in order.
    std::fflush(stdout);
    DWORD written = 0;
    WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), console_line, static_cast<DWORD>(console_length),
                  &written, nullptr);
    console_length = 0;
}

}  // namespace

void write_text(const char* bytes, int n, bool on_terminal)
{
    if (!on_terminal) {
        std::fwrite(bytes, 1, static_cast<std::size_t>(n), stdout);
        return;
    }
    int units = console_text(CP_ACP, bytes, n, console_line + console_length,
                             console_line_room - console_length);
    if (units < 0 && console_length > 0) {
        write_console_line();
        units = console_text(CP_ACP, bytes, n, console_line, console_line_room);
    }
    if (units < 0) {
        // Should the conversion fail, the bytes go out through the stream.
        std::fflush(stdout);
        std::fwrite(bytes, 1, static_cast<std::size_t>(n), stdout);
        return;
    }
    console_length += units;
    if (n > 0 && bytes[n - 1] == '\n') {
        write_console_line();
    }
}

void prepare_console()
{
    // Nothing to do: a broken pipe only makes writes fail, and standard
    // output stays a text stream so each "\n" goes out as CR LF.
}

bool output_is_terminal()
{
    // Only a console has a console mode; pipes and files do not.
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

#else

#include <unistd.h>

#include <csignal>

void prepare_console()
{
    // By default a write to a pipe whose reader has gone kills the process.
    std::signal(SIGPIPE, SIG_IGN);
}

bool output_is_terminal() { return isatty(STDOUT_FILENO) != 0; }

void write_text(const char* bytes, int n, bool)
{
    std::fwrite(bytes, 1, static_cast<std::size_t>(n), stdout);
}

wchar_t* const* wide_arguments(char* const*) { return nullptr; }

#endif
