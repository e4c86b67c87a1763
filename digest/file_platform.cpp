#include "file_platform.h"

#if defined(_WIN32)

#include <share.h>

std::FILE* open_for_digest(const char* path)
{
    // Deny writers while we read, so a file being written gives an error
    // instead of a digest of a half-written file.
    return _fsopen(path, "rb", _SH_DENYWR);
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
