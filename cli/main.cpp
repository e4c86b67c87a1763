// torvanix: prints the SHA-1 digest of each named file and whether each file
// matches the one named just before it.
#include <cstdio>
#include <cstring>

#include "console_platform.h"
#include "digest/sha1file.h"

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares whole strings, treating ASCII letters of either case as equal and
// every other byte exactly, whatever the locale.
bool equal_ignoring_ascii_case(const char* a, const char* b)
{
    for (; *a != '\0' && ascii_lower(*a) == ascii_lower(*b); ++a, ++b) {
    }
    return ascii_lower(*a) == ascii_lower(*b);
}

// Whether this file's result equals the previous file's. Equal digests count
// only when the safe digests are equal too: two different files built with a
// SHA-1 collision attack share a digest but not a safe digest. Error texts
// have empty safe texts and compare as texts alone.
bool same_result(const char* text, const char* safe, const char* previous_text,
                 const char* previous_safe)
{
    return equal_ignoring_ascii_case(text, previous_text) && std::strcmp(safe, previous_safe) == 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    prepare_console();

    std::fputs("Torvanix - Copyright (c) 2026 The Torvanix Authors\n", stdout);
    std::fputs("Credit and citation for SHA1 code: RFC3174\n\n", stdout);
    if (argc < 2) {
        std::fputs("torvanix <filename> [filename2]...\n", stdout);
        return 0;
    }

    static char previous_text[1024];
    static char previous_safe[64];
    for (int i = 1; i < argc; ++i) {
        const char* text = SHA1File(argv[i]);
        std::printf("SHA1=%s %-20.20s", text, argv[i]);
        if (i >= 2) {
            std::fputs(same_result(text, SHA1FileSafeText(), previous_text, previous_safe)
                           ? " [MATCH]"
                           : " [NO MATCH]",
                       stdout);
        }
        std::fputs("\n", stdout);
        std::snprintf(previous_text, sizeof previous_text, "%s", text);
        std::snprintf(previous_safe, sizeof previous_safe, "%s", SHA1FileSafeText());
    }
    return 0;
}
