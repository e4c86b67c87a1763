#include "sha1file.h"

#include <cstdint>
#include <cstdio>

#include "file_platform.h"
#include "sha1/sha1.h"

namespace {

char result_text[1024];
char safe_text[2 * SHA1HashSize + 1];

// "couldn't open file '" and "couldn't read file '" are 20 bytes; "'\n" and
// the terminator add 3. A longer path is cut so the text always fits whole.
constexpr int path_room = static_cast<int>(sizeof result_text) - 23;

const char* path_error(const char* what, const char* path)
{
    std::snprintf(result_text, sizeof result_text, "couldn't %s file '%.*s'\n", what, path_room,
                  path);
    return result_text;
}

}  // namespace

const char* SHA1File(const char* path)
{
    SHA1Context context;
    std::uint8_t read_buffer[16384];
    std::uint8_t Message_Digest[SHA1HashSize];

    SHA1Reset(&context);
    safe_text[0] = '\0';

    std::FILE* stream = open_for_digest(path);
    if (stream == nullptr) {
        return path_error("open", path);
    }

    std::size_t n;
    do {
        n = std::fread(read_buffer, 1, sizeof read_buffer, stream);
        if (n > 0) {
            int err = SHA1Input(&context, read_buffer, static_cast<unsigned int>(n));
            if (err != shaSuccess) {
                std::fclose(stream);
                std::snprintf(result_text, sizeof result_text, "SHA1Input Error %d.\n", err);
                return result_text;
            }
        }
    } while (n != 0);

    // A digest of a partly read file would look like a real one; say so instead.
    bool read_failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (read_failed) {
        return path_error("read", path);
    }

    int err = SHA1Result(&context, Message_Digest);
    if (err != shaSuccess) {
        std::printf("SHA1Result Error %d, could not compute message digest.\n", err);
        std::snprintf(result_text, sizeof result_text, "SHA1Result Error %d.\n", err);
        return result_text;
    }

    result_text[0] = '\0';
    for (int i = 0; i < SHA1HashSize; ++i) {
        std::snprintf(result_text + 2 * i, sizeof result_text - 2 * i, "%02X", Message_Digest[i]);
    }
    std::uint8_t Safe_Digest[SHA1HashSize];
    SHA1SafeResult(&context, Safe_Digest);
    for (int i = 0; i < SHA1HashSize; ++i) {
        std::snprintf(safe_text + 2 * i, sizeof safe_text - 2 * i, "%02X", Safe_Digest[i]);
    }
    return result_text;
}

const char* SHA1FileSafeText() { return safe_text; }
