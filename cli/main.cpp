// torvanix: prints the SHA-1 digest of each named file and whether each file
// matches the one named just before it.
#include <cstdio>

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
    for (int i = 1; i < argc; ++i) {
        const char* text = SHA1File(argv[i]);
        std::printf("SHA1=%s %-20.20s", text, argv[i]);
        if (i >= 2) {
            std::fputs(equal_ignoring_ascii_case(text, previous_text) ? " [MATCH]" : " [NO MATCH]",
                       stdout);
        }
        std::fputs("\n", stdout);
        std::snprintf(previous_text, sizeof previous_text, "%s", text);
    }
    return 0;
}
