// Where a companion tool writes its result: the file named by -o, or standard output. Text goes
// through a buffer to the shared output writer, which puts a new file into place only when it is
// complete; the first failure is kept and reported once, at the end.
#pragma once
#include "driver/orbasm.h"

#include <string>
#include <string_view>
#include <vector>

struct t_output {
    t_output_file file;  // the file as named ("-" for standard output), and how it is written
    std::string pending; // written by the tool, not yet passed to the system
    std::string clash;   // why name may not be written (it is one of the inputs); "" when it may
};

// Opens name for writing ("-" is standard output), unless it is one of the files read (inputs);
// false, with the reason kept, when it cannot be.
bool open_output(t_output& output, const std::string& name, const std::vector<std::string>& inputs);
// Appends text.
void output_write(t_output& output, std::string_view text);
// Appends text, then a line end.
void output_line(t_output& output, std::string_view text);
// Passes on what is pending and puts the file into place; false when a write failed, and then an
// older file of that name is left as it was.
bool close_output(t_output& output);
// The report of the failure: 'program: error: cannot write "NAME": REASON'.
std::string output_failure(const t_output& output, std::string_view program);
