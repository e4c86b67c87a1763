#include "console_platform.h"

#if defined(_WIN32)

#include <windows.h>

#if defined(__MINGW32__)
// Tells the mingw-w64 start-up code not to expand wildcards in the command
// line: every argument is a file name, used as typed. (MSVC's start-up code
// never expands them.)
extern "C" {
int _dowildcard = 0;
}
#endif

void prepare_console()
{
    // Nothing to do: a broken pipe only makes writes fail, and standard
    // output stays a text stream so each "\n" goes out as CR LF.
}

bool output_is_terminal()
{
    // Only a console has a console mode; pipes and files do not.
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

#else

#include <unistd.h>

#include <csignal>

void prepare_console()
{
    // By default a write to a pipe whose reader has gone kills the process.
    std::signal(SIGPIPE, SIG_IGN);
}

bool output_is_terminal() { return isatty(STDOUT_FILENO) != 0; }

#endif
