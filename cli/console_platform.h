// The operating-system specific part of the console front end.
#pragma once

// Sets up the process so that a closed or failing standard output cannot end
// it: writes then simply fail and the run goes on.
void prepare_console();

// Tells whether standard output is a terminal (on Windows, a console), where
// control bytes would be acted on rather than shown.
bool output_is_terminal();

// Whether a terminal reads the bytes written to it as UTF-8, where a C1
// control (U+0080 to U+009F) can arrive as its two bytes or as one raw
// byte 0x80 to 0x9F. The Windows console is given UTF-16 (write_text), and
// C1 controls are replaced after the conversion there.
#if defined(_WIN32)
constexpr bool terminal_reads_utf8 = false;
#else
constexpr bool terminal_reads_utf8 = true;
#endif

// Writes bytes[0..n) to standard output. To a pipe or a file, and to a
// POSIX terminal, they go out through the C library's stream as they are.
// A Windows console shows text in its own output code page, not in the
// ANSI code page names come in, so there (`on_terminal` set) the bytes are
// converted to UTF-16, each call's bytes on their own, and the console is
// given each line whole once a call ends it with "\n".
void write_text(const char* bytes, int n, bool on_terminal);

// The UTF-16 form of main's arguments `argv`, in a list that ends in a null
// as `argv` does, or null when there is none to use. On Windows that is the
// runtime's wide split of the command line, when it has the same arguments
// as the ANSI split main was given; elsewhere names are bytes only.
wchar_t* const* wide_arguments(char* const* argv);

#if defined(_WIN32)
// Whether the ANSI and the UTF-16 arguments, each list ending in a null,
// are the same ones position by position: each wide argument after the
// program's own name converts to exactly the bytes of its ANSI twin.
bool splits_agree(const char* const* ansi, const wchar_t* const* wide);

// The console's text for bytes[0..n) of the code page `code_page`: each
// "\n" as "\r\n", as a text stream writes it, and every other control
// character, C1 (U+0080 to U+009F) as well as C0 and DEL, as '?'. A
// character that the bytes hold only in part is given as the conversion
// gives it, and takes nothing from the bytes of another call. Writes at most
// `room` units to `out` and returns their number, or -1 when they do not fit.
int console_text(unsigned code_page, const char* bytes, int n, wchar_t* out, int room);
#endif
