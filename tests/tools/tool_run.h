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
};

// Runs binary in dir with the arguments and stdin_text as standard input.
t_tool_run run_tool(const std::string& binary, const t_workdir& dir, const std::vector<std::string>& args,
                    const std::string& stdin_text = "");

// The bytes of a file (empty when it does not exist).
std::vector<uint8_t> read_bytes(const std::string& path);
std::string read_text(const std::string& path);

// The source files that the tool tests take as examples: the project's examples and the tests'
// own programs, as absolute paths.
std::vector<std::string> example_sources();
