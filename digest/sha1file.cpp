#include "sha1file.h"

#include <cstdint>
#include <cstdio>

#include "file_platform.h"
#include "sha1/sha1.h"

namespace {

char result_text[result_text_size];
char safe_text[safe_text_size];
static_assert(safe_text_size == 2 * SHA1HashSize + 1);

// The bytes an error text about a path adds to the path: the words before
// it, the closing quote and newline, and the terminator.
constexpr int path_error_bytes = sizeof "couldn't open file ''\n";
static_assert(sizeof "couldn't read file ''\n" == path_error_bytes);

// A longer path is cut so the text always fits whole.
constexpr int path_room = result_text_size - path_error_bytes;

// The stream's own buffer. Reads of a whole chunk go straight into the
// chunk buffer, so this one serves only the C library's bookkeeping; giving
// it here spares an allocation and a size query per file.
char stream_buffer[4096];

const char* path_error(const char* what, const char* path)
{
    std::snprintf(result_text, sizeof result_text, "couldn't %s file '%.*s'\n", what, path_room,
                  path);
    return result_text;
}

// Writes the digest as 40 upper-case hex digits, first byte first.
void write_hex(const std::uint8_t (&digest)[SHA1HashSize], char* text)
{
    static const char hex_digits[] = "0123456789ABCDEF";
    for (int i = 0; i < SHA1HashSize; ++i) {
        text[2 * i] = hex_digits[digest[i] >> 4];
        text[2 * i + 1] = hex_digits[digest[i] & 15];
    }
    text[2 * SHA1HashSize] = '\0';
}

}  // namespace

const char* SHA1File(const char* path, const wchar_t* wide_path)
{
    SHA1Context context;
    std::uint8_t read_buffer[16384];
    std::uint8_t Message_Digest[SHA1HashSize];

    SHA1Reset(&context);
    safe_text[0] = '\0';

    std::FILE* stream = open_for_digest(path, wide_path);
    if (stream == nullptr) {
        return path_error("open", path);
    }
    std::setvbuf(stream, stream_buffer, _IOFBF, sizeof stream_buffer);

    // A read that delivers less than a whole chunk has met the end of the
    // file (or an error): asking again would wait for more input on a
    // terminal or a FIFO and add it to this file's digest.
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
    } while (n == sizeof read_buffer);

    // A digest of a partly read file, or of bytes that were never in the
    // file together, would look like a real one; say so instead.
    bool read_failed = std::ferror(stream) != 0 || changed_since_open(stream);
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
    write_hex(Message_Digest, result_text);
    std::uint8_t Safe_Digest[SHA1HashSize];
    SHA1SafeResult(&context, Safe_Digest);
    write_hex(Safe_Digest, safe_text);
    return result_text;
}

const char* SHA1FileSafeText() { return safe_text; }
