// Runs the built torvanix program with exact argument bytes and captures
// what it writes.
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
    std::string raw_out;  // standard output, byte for byte
    std::string out;      // the same with the platform's line ends ("\r\n" on Windows) as "\n"
    std::string err;      // standard error
    int exit_code = -1;   // -1 if the program did not exit normally
};

enum class OutputTo {
    pipe,         // a pipe that the test reads
    file,         // a regular file, read after the run
    closed,       // no standard output at all
    broken_pipe,  // a pipe whose reader has already gone
    terminal,     // a pseudo-terminal that passes bytes unchanged (POSIX only)
};

ProgramRun run_torvanix(const std::vector<std::string>& args, OutputTo output = OutputTo::pipe);

#if defined(_WIN32)
// Runs torvanix with `arguments` appended verbatim to its command line, for
// the program's runtime to split into names.
ProgramRun run_torvanix_command_line(const std::string& arguments,
                                     OutputTo output = OutputTo::pipe);

// The same with UTF-16 arguments, which may name files whose names the ANSI
// code page cannot show.
ProgramRun run_torvanix_wide_command_line(const std::wstring& arguments,
                                          OutputTo output = OutputTo::pipe);

// Where the torvanix.exe under test is.
std::string torvanix_exe_path();
#endif
