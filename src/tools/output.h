// Where a companion tool writes its result: the file named by -o, or standard output. Writes go
// through a buffer; the first failure is kept and reported once, at the end.
#pragma once
#include <string>
#include <string_view>

struct t_output {
    std::string name;    // the file as named; "-" for standard output
    int fd = -1;         // -1 until opened
    std::string pending; // written by the tool, not yet passed to the system
    int error = 0;       // the errno of the first failure; 0 while every write succeeded
};

// Opens name for writing ("-" is standard output), emptied; false, with error set, when it cannot be.
bool open_output(t_output& output, const std::string& name);
// Appends text.
void output_write(t_output& output, std::string_view text);
// Appends text, then a line end.
void output_line(t_output& output, std::string_view text);
// Passes on what is pending and closes a file; false when a write or the close failed. A regular
// file left incomplete is removed, so that no build takes it for a result.
bool close_output(t_output& output);
// The report of the failure: 'program: error: cannot write "NAME": REASON'.
std::string output_failure(const t_output& output, std::string_view program);
