#include "console_platform.h"

#if defined(_WIN32)

void prepare_console()
{
    // Nothing to do: a broken pipe only makes writes fail, and standard
    // output stays a text stream so each "\n" goes out as CR LF.
}

#else

#include <csignal>

void prepare_console()
{
    // By default a write to a pipe whose reader has gone kills the process.
    std::signal(SIGPIPE, SIG_IGN);
}

#endif
