// Output files: how every tool writes what it makes (an image, a dependency file, a listing). A
// file that replaces another is written complete under no name of its own and takes its name only
// at the end, together with the run's other outputs, so that a name holds either the older file or
// the whole new one, whatever stops the run. Depends on nothing but the system.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A file written beside the image (a dependency file): name and whole text.
struct t_companion_file {
    std::string name;
    std::string text;
};

// One output of a run.
struct t_output_file {
    std::string name;      // as named; "-" is standard output
    int fd = -1;           // where its bytes go; -1 when not open
    bool direct = false;   // written in place: a descriptor named as a stream, a device, a FIFO
    bool seekable = false; // a new file: runs of zeros may be left as holes
    int error = 0;         // the system's reason for the first failure; 0 while all went well
    int slot = -1;         // its entry among the open outputs; -1 when not open
};

// Checks that no output would replace one of the inputs ("-" is standard input) or another output,
// comparing the files themselves (device and inode), not their names. Returns -1 when none does;
// else the index of the output at fault, with reason set to say which file it would replace.
int output_clash(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs, std::string& reason);

// Opens name for writing: "-", /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N are the
// descriptor itself, written at its offset; an existing device or FIFO (and any name under /proc)
// is written in place; any other name gets a new file that replaces it at output_commit. A
// read-only existing file is kept. False, with error set, when it cannot be opened.
bool output_open(t_output_file& file, const std::string& name);
// Writes bytes; after a failure nothing more is written.
void output_put(t_output_file& file, const void* bytes, std::size_t count);
// Leaves count zero bytes as a hole (only where seekable).
void output_skip(t_output_file& file, int64_t count);
// Sets the length of a seekable file, so that a hole at its end is part of it.
void output_set_length(t_output_file& file, int64_t length);
// Puts every file into place, the first last, or, when one of them failed or cannot be put into
// place, none: each then keeps its older file. Every file is closed. True when all are in place.
bool output_commit(t_output_file* files, std::size_t count);
// Closes file without putting it into place.
void output_abandon(t_output_file& file);
// Abandons every output still open (a run that stops for want of memory).
void output_abandon_all();
