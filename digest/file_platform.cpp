#include "file_platform.h"

#if defined(_WIN32)

#include <io.h>
#include <share.h>
#include <windows.h>

namespace {

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

std::FILE* open_for_digest(const char* path, const wchar_t* wide_path)
{
    // The name as typed: an ANSI argument loses every character outside the
    // ANSI code page, to '?' or to a look-alike that can name another file.
    // Deny writers while we read, so a file being written gives an error
    // instead of a digest of a half-written file.
    std::FILE* stream = wide_path != nullptr ? _wfsopen(wide_path, L"rb", _SH_DENYWR)
                                             : _fsopen(path, "rb", _SH_DENYWR);
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
