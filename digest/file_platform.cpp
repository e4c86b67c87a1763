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

std::FILE* open_for_digest(const char* path)
{
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) {
        return nullptr;
    }
    // POSIX opens a directory for reading; it has no contents to digest.
    struct stat info;
    if (fstat(fileno(stream), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

#endif
