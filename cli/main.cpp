// torvanix: prints the SHA-1 digest of each named file and whether each file
// matches the one named just before it.
#include <cstdio>
#include <cstring>

#include "console_platform.h"
#include "digest/sha1file.h"

namespace {

// Bytes of a name that the result line shows: the name column's width.
constexpr int name_column = 20;

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

// Copies `text` into `out`, cut to `size` - 1 bytes, and returns the number
// of bytes copied.
int copy_text(char* out, int size, const char* text)
{
    int n = 0;
    for (; n < size - 1 && text[n] != '\0'; ++n) {
        out[n] = text[n];
    }
    out[n] = '\0';
    return n;
}

void print(const char* text, bool on_terminal)
{
    write_text(text, static_cast<int>(std::strlen(text)), on_terminal);
}

// The length of the valid UTF-8 character that bytes[0..n) start with, or 0
// when they start with none: a stray continuation byte, a lead byte without
// all its continuation bytes, an overlong form, a surrogate, or a code point
// beyond U+10FFFF.
int utf8_length(const unsigned char* bytes, int n)
{
    const unsigned char lead = bytes[0];
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (length > n || bytes[1] < low || bytes[1] > high) {
        return 0;
    }
    for (int i = 2; i < length; ++i) {
        if (bytes[i] < 0x80 || bytes[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Replaces each control character of bytes[0..n) by '?', one '?' for each
// of its bytes: C0 and DEL, and where the terminal reads UTF-8, C1 too,
// whether written in UTF-8 (U+0080 to U+009F) or as a raw byte 0x80 to 0x9F
// outside any valid character. Valid characters stay whole, also where a
// continuation byte of theirs lies in 0x80 to 0x9F; the other bytes of
// invalid UTF-8 stay too.
void show_control_bytes(char* bytes, int n)
{
    for (int i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        int length = 1;
        if (c < 0x20 || c == 0x7F) {
            bytes[i] = '?';
        } else if (terminal_reads_utf8 && c >= 0x80) {
            length = utf8_length(reinterpret_cast<const unsigned char*>(bytes + i), n - i);
            const unsigned char next = i + 1 < n ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            if (length == 2 && c == 0xC2 && next <= 0x9F) {
                bytes[i] = bytes[i + 1] = '?';
            } else if (length == 0) {
                length = 1;
                if (c <= 0x9F) {
                    bytes[i] = '?';
                }
            }
        }
        i += length;
    }
}

// Prints "SHA1=", the result text, a space and the name cut or padded to
// its column: the bytes of printf("SHA1=%s %-20.20s", text, name), without
// parsing a format for every file.
//
// On a terminal a control character of a name (also inside an error text)
// could move the cursor and erase or forge lines, so there each one is
// shown as '?': byte for byte, so the column keeps its width. The column is
// judged as the bytes it shows: of a character that it cuts, a continuation
// byte 0x80 to 0x9F is no longer part of a valid character and shows as
// '?'. The newline that ends an error text stays. Pipes and files get every
// byte as it is.
void print_result(const char* text, const char* name, bool on_terminal)
{
    char column[name_column];
    int length = 0;
    for (; length < name_column && name[length] != '\0'; ++length) {
        column[length] = name[length];
    }
    for (int i = length; i < name_column; ++i) {
        column[i] = ' ';
    }

    static char shown_text[result_text_size];
    if (on_terminal) {
        show_control_bytes(column, name_column);
        const int text_length = copy_text(shown_text, result_text_size, text);
        const bool ends_line = text_length > 0 && shown_text[text_length - 1] == '\n';
        show_control_bytes(shown_text, ends_line ? text_length - 1 : text_length);
        text = shown_text;
    }
    print("SHA1=", on_terminal);
    print(text, on_terminal);
    print(" ", on_terminal);
    write_text(column, name_column, on_terminal);
}

}  // namespace

int main(int argc, char* argv[])
{
    prepare_console();
    const bool on_terminal = output_is_terminal();

    print("Torvanix - Copyright (c) 2026 The Torvanix Authors\n", on_terminal);
    print("Credit and citation for SHA1 code: RFC3174\n\n", on_terminal);
    if (argc < 2) {
        print("torvanix <filename> [filename2]...\n", on_terminal);
        return 0;
    }

    wchar_t* const* wide_argv = wide_arguments(argv);
    static char previous_text[result_text_size];
    static char previous_safe[safe_text_size];
    for (int i = 1; i < argc; ++i) {
        const char* text = SHA1File(argv[i], wide_argv != nullptr ? wide_argv[i] : nullptr);
        print_result(text, argv[i], on_terminal);
        if (i >= 2) {
            print(same_result(text, SHA1FileSafeText(), previous_text, previous_safe)
                      ? " [MATCH]"
                      : " [NO MATCH]",
                  on_terminal);
        }
        print("\n", on_terminal);
        copy_text(previous_text, result_text_size, text);
        copy_text(previous_safe, safe_text_size, SHA1FileSafeText());
    }
    return 0;
}
