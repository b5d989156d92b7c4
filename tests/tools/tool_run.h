// Runs the companion tools (and orbasm) as real processes, and shared helpers of the tool tests.
#pragma once
#include "support/harness.h"

#include <cstdint>
#include <string>
#include <vector>

struct t_tool_run {
    std::string out; // standard output
    std::string err; // standard error
    int exit_code;   // exit status; -1 when the process did not exit normally
    bool timed_out;  // killed because it was still running when its time was up
};

// Runs binary in dir with the arguments and stdin_text as standard input.
t_tool_run run_tool(const std::string& binary, const t_workdir& dir, const std::vector<std::string>& args,
                    const std::string& stdin_text = "");

// Runs binary in dir with the arguments; standard input is a pipe that holds stdin_text (at most
// 64 KiB) and is closed after it only when close_stdin, so that a program that waits for input
// waits for good. A program still running after timeout_seconds is killed and reported timed_out.
t_tool_run run_tool_piped(const std::string& binary, const t_workdir& dir, const std::vector<std::string>& args,
                          const std::string& stdin_text, bool close_stdin, int timeout_seconds);

// The bytes of a file (empty when it does not exist).
std::vector<uint8_t> read_bytes(const std::string& path);
std::string read_text(const std::string& path);

// The source files that the tool tests take as examples: the project's examples and the tests'
// own programs, as absolute paths.
std::vector<std::string> example_sources();
