#include "file_platform.h"

#if defined(_WIN32)

#include <io.h>
#include <share.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

// The runtime's split of the command line into UTF-16 arguments. A program
// with a narrow main has only the ANSI split until it asks for this one.
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
// the runtime cannot give them. Asked for once: the runtime builds them in
// storage of its own.
wchar_t** wide_arguments()
{
    static bool asked = false;
    static wchar_t** arguments = nullptr;
    if (asked) {
        return arguments;
    }
    asked = true;
    arguments = __wargv;
    if (arguments == nullptr) {
        // Building the wide split also sets __argc to its own count; main's
        // narrow count is put back.
        const int narrow_count = __argc;
#if defined(_MSC_VER) || defined(_UCRT)
        if (_configure_wide_argv(_crt_argv_unexpanded_arguments) == 0) {
            arguments = __wargv;
        }
#else
        int count = 0;
        wchar_t** split = nullptr;
        wchar_t** environment = nullptr;
        _startupinfo info = {_newmode};
        if (__wgetmainargs(&count, &split, &environment, 0, &info) == 0) {
            arguments = split;
        }
#endif
        __argc = narrow_count;
    }
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

// Whether the ANSI and the wide split have the same arguments, position by
// position. They are split separately, and a best-fit conversion can turn a
// character of the wide command line into a quote or a backslash of the
// ANSI one, which splits differently.
bool splits_agree(char** ansi, wchar_t** wide)
{
    int i = 0;
    for (; ansi[i] != nullptr && wide[i] != nullptr; ++i) {
        if (i > 0 && !converts_to(wide[i], ansi[i])) {
            return false;
        }
    }
    return ansi[i] == nullptr && wide[i] == nullptr;
}

// The position in the ANSI arguments of `path`, or 0 when it is none of
// them. The startup code may hand main copies of the runtime's strings
// (mingw-w64 does), so when no argument is `path` itself the arguments with
// the same bytes are looked at. Several can have them (two names that the
// ANSI code page shows alike); the program takes its names in order, so the
// first one after the last position found is the one.
int argument_position(const char* path)
{
    static int next = 1;
    char** ansi = __argv;
    if (ansi == nullptr) {
        return 0;
    }
    for (int i = 1; ansi[i] != nullptr; ++i) {
        if (ansi[i] == path) {
            next = i + 1;
            return i;
        }
    }
    int first = 0;
    for (int i = 1; ansi[i] != nullptr; ++i) {
        if (strcmp(ansi[i], path) == 0) {
            if (i >= next) {
                next = i + 1;
                return i;
            }
            if (first == 0) {
                first = i;
            }
        }
    }
    if (first != 0) {
        next = first + 1;
    }
    return first;
}

// The argument's UTF-16 form, when `path` is an argument and the two
// splits agree; null otherwise.
const wchar_t* wide_form(const char* path)
{
    static int agree = -1;  // not yet known
    wchar_t** wide = wide_arguments();
    const int position = argument_position(path);
    if (wide == nullptr || position == 0) {
        return nullptr;
    }
    if (agree < 0) {
        agree = splits_agree(__argv, wide) ? 1 : 0;
    }
    return agree == 1 ? wide[position] : nullptr;
}

// Disk files and pipes have contents to read to their end. Character
// devices (the console, serial and printer ports, NUL) have none: reading
// them waits for input or returns nothing.
bool has_contents(std::FILE* stream)
{
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    const DWORD type = GetFileType(reinterpret_cast<HANDLE>(handle));
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

}  // namespace

std::FILE* open_for_digest(const char* path)
{
    // The name as typed: an ANSI argument loses every character outside the
    // ANSI code page, to '?' or to a look-alike that can name another file.
    // Deny writers while we read, so a file being written gives an error
    // instead of a digest of a half-written file.
    const wchar_t* wide = wide_form(path);
    std::FILE* stream =
        wide != nullptr ? _wfsopen(wide, L"rb", _SH_DENYWR) : _fsopen(path, "rb", _SH_DENYWR);
    if (stream != nullptr && !has_contents(stream)) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

#else

#include <sys/stat.h>

namespace {

// What the open saw of the file it opened last; one file is open at a time.
struct stat at_open;

bool same_time(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

std::FILE* open_for_digest(const char* path)
{
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) {
        return nullptr;
    }
    // POSIX opens a directory for reading; it has no contents to digest.
    if (fstat(fileno(stream), &at_open) != 0 || S_ISDIR(at_open.st_mode)) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

bool changed_since_open(std::FILE* stream)
{
    // Only a regular file's size and time say something about its contents.
    // /proc and /sys files are regular files too, but their sizes (0 and
    // 4096 whatever they hold) and times stay as they are while one is read.
    if (!S_ISREG(at_open.st_mode)) {
        return false;
    }
    struct stat now;
    if (fstat(fileno(stream), &now) != 0) {
        return true;
    }
    return now.st_size != at_open.st_size || !same_time(now.st_mtim, at_open.st_mtim);
}

#endif
