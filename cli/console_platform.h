// The operating-system specific part of the console front end.
#pragma once

// Sets up the process so that a closed or failing standard output cannot end
// it: writes then simply fail and the run goes on.
void prepare_console();

// Tells whether standard output is a terminal (on Windows, a console), where
// control bytes would be acted on rather than shown.
bool output_is_terminal();

// The UTF-16 form of main's arguments, argv[0] to argv[argc - 1] and a null
// after them, or null when there is none to use. On Windows that is the
// runtime's wide split of the command line, when it has the same arguments
// as the ANSI split main was given; elsewhere names are bytes only.
wchar_t* const* wide_arguments(int argc, char* const* argv);

#if defined(_WIN32)
// Whether the ANSI arguments and the UTF-16 arguments, each list ending in a
// null, are the same ones position by position: each wide argument after
// the program's own name converts to exactly the bytes of its ANSI twin.
bool splits_agree(const char* const* ansi, const wchar_t* const* wide);
#endif
