// Runs the built torvanix program with exact argument bytes and captures
// what it writes.
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error
    int exit_code = -1;  // -1 if the program did not exit normally
};

enum class OutputTo {
    pipe,         // a pipe that the test reads
    closed,       // no standard output at all
    broken_pipe,  // a pipe whose reader has already gone
};

ProgramRun run_torvanix(const std::vector<std::string>& args, OutputTo output = OutputTo::pipe);
