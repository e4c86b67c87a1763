#include "file_platform.h"

#if defined(_WIN32)

#include <io.h>
#include <share.h>
#include <windows.h>

namespace {

// The longest name Windows takes, in UTF-16 units with the terminator.
constexpr int long_name_room = 32768;

// The file-sharing open: other processes may keep reading the file, not
// write it, so a file being written gives an error instead of a digest of
// half its new contents.
std::FILE* open_shared(const char* path, const wchar_t* wide_path)
{
    return wide_path != nullptr ? _wfsopen(wide_path, L"rb", _SH_DENYWR)
                                : _fsopen(path, "rb", _SH_DENYWR);
}

// The `\\?\` form of the full path `full`, written to `out`; its length, or
// 0 when there is none or it does not fit.
int long_path_form(const wchar_t* full, wchar_t* out, int room)
{
    const auto starts_with = [full](const wchar_t* prefix) {
        int i = 0;
        for (; prefix[i] != L'\0' && full[i] == prefix[i]; ++i) {
        }
        return prefix[i] == L'\0';
    };
    const wchar_t* prefix;
    const wchar_t* rest;
    if (starts_with(L"\\\\?\\") || starts_with(L"\\\\.\\")) {
        return 0;  // already in that form, or a device
    } else if (starts_with(L"\\\\")) {
        prefix = L"\\\\?\\UNC\\";  // \\server\share\... becomes \\?\UNC\server\share\...
        rest = full + 2;
    } else if (full[0] != L'\0' && full[1] == L':' && full[2] == L'\\') {
        prefix = L"\\\\?\\";
        rest = full;
    } else {
        return 0;  // not a full path
    }
    int n = 0;
    for (; *prefix != L'\0' && n < room; ++prefix) {
        out[n++] = *prefix;
    }
    for (; *rest != L'\0' && n < room; ++rest) {
        out[n++] = *rest;
    }
    if (n >= room) {
        return 0;
    }
    out[n] = L'\0';
    return n;
}

// Windows refuses a name whose full path has MAX_PATH characters or more,
// unless long paths are switched on for the whole system (off by default,
// whatever the program's manifest says). The `\\?\` form of such a name
// is taken at any length. Tried only once the plain open has failed, so a
// name that opens as it is always does.
std::FILE* open_long(const char* path, const wchar_t* wide_path)
{
    wchar_t name[long_name_room];
    if (wide_path == nullptr) {
        // The conversion the ANSI open itself makes.
        if (MultiByteToWideChar(CP_ACP, 0, path, -1, name, long_name_room) == 0) {
            return nullptr;
        }
        wide_path = name;
    }
    if (long_path_name(wide_path, name, long_name_room) < MAX_PATH) {
        return nullptr;
    }
    return open_shared(nullptr, name);
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

int long_path_name(const wchar_t* name, wchar_t* out, int room)
{
    // The full path as the plain open makes it: relative to the current
    // folder (of the drive named), "." and ".." resolved, '/' as '\\',
    // trailing dots and spaces dropped. The `\\?\` form is taken as it
    // stands, so it must be given what the plain open would have used.
    wchar_t full[long_name_room];
    const DWORD length = GetFullPathNameW(name, long_name_room, full, nullptr);
    if (length == 0 || length >= long_name_room || long_path_form(full, out, room) == 0) {
        return 0;
    }
    return static_cast<int>(length);
}

std::FILE* open_for_digest(const char* path, const wchar_t* wide_path)
{
    // The name as typed: an ANSI argument loses every character outside the
    // ANSI code page, to '?' or to a look-alike that can name another file.
#if !defined(_WIN64)
    // A 32-bit program on 64-bit Windows that names a file under
    // System32 is given the one of that name under SysWOW64, a different
    // file. The redirector is off for this thread during the open only. On
    // 32-bit Windows there is none: the call fails and changes nothing.
    void* redirection = nullptr;
    const bool redirection_off = Wow64DisableWow64FsRedirection(&redirection) != 0;
#endif
    std::FILE* stream = open_shared(path, wide_path);
    if (stream == nullptr) {
        stream = open_long(path, wide_path);
    }
#if !defined(_WIN64)
    if (redirection_off) {
        Wow64RevertWow64FsRedirection(redirection);
    }
#endif
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

std::FILE* open_for_digest(const char* path, const wchar_t*)
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
