// The assembler as the tools see it: a run's options in, its result out. orbasm, orblist, orbls,
// orbdis and the playground include this and the word lists (base/words.h), nothing else of the
// core: they never set a run-wide global or walk the run's own records.
#pragma once
#include "base/base.h"        // diagnostics, places, warnings, the console
#include "base/output_file.h" // the shared output writer
#include "encoder/float_convert.h" // decimal text to floating point, for the disassembler

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The console form prints an error's four-line report on the console; the other two keep every
// error and warning in the result, for the tool to print as FILE:LINE:COLUMN or as the four lines.
enum t_form : int32_t { form_console, form_command_line, form_classic };

struct t_options {
    std::string source;                       // the main source; "" reads standard input
    std::string image;                        // the image's name; "": the source's with ".orb"
    bool write_image = true;                  // else laid out only
    t_form form = form_console;
    bool echo = true;                         // every line echoed, normalised, to the console
    std::string* console = nullptr;           // console output is appended here; nil: standard output
    std::vector<std::string> include_folders; // -I, searched in order
    std::vector<std::string> constants;       // -D: "NAME=VALUE" or "NAME", before the first line
    bool warnings = false;                    // warnings kept (never in the console form's default)
    uint32_t warnings_off = 0;                // bit k: warning k not kept (-Wno-NAME)
    bool warnings_are_errors = false;         // a run with a warning fails (only with warnings)
    int32_t max_errors = 20;                  // errors reported before the run gives up; 0: no limit
    bool layout_after_errors = false;         // what assembled is laid out even after errors, undefined
                                              // names as 0: an editor's model of a buffer being typed
    std::string base;                         // relative names are taken from here; "": the working directory
    const std::map<std::string, std::string, std::less<>>* texts = nullptr; // stand in for the files of their paths
    bool only_regular_files = false;          // no standard input, no pipes
    bool collect_lines = false;               // every line read, with its address and bytes (when ok)
    bool collect_symbols = false;             // every label and constant, in name order
    bool collect_uses = false;                // every definition and use of a name, and the symbols used
    bool release_memory = false;              // the run's memory is given back once the result is out
};

// One source line as a listing shows it.
struct t_result_line {
    std::string path;       // the file, as opened
    int32_t line;           // counting every line of the file, blank ones too
    std::string text;       // the normalised line
    bool placed;            // it put items into the image: address and bytes are its
    int32_t address;        // of its first item
    int32_t first_byte;     // in t_result::bytes
    int32_t byte_count;     // bytes it wrote (fills and gaps not counted)
    int32_t fill;           // bytes of a #zero, #data, #org or #align gap; 0 for none
    char fill_kind;         // 'z' zeros, 'r' reserved, 'g' gap
    bool approximate;       // after a line in error: its address moves when that line is mended
};

// A label or constant.
struct t_result_symbol {
    std::string name;
    bool constant; // else a label
    bool defined;  // the source (or the command line) defines it
    int32_t value; // a constant's value, a label's address once laid out, else 0
    bool approximate; // a label after a line in error: its address moves when that line is mended
};

// One definition or use of a name as written in a source file.
struct t_result_use {
    int32_t symbol; // index into t_result::symbols
    bool definition;
    t_place place;  // the name's place; the column and length in bytes
};

struct t_result {
    bool ok = false;                          // no error: laid out, and written when asked
    std::vector<t_diagnostic> diagnostics;    // errors and warnings, with their notes and places
    std::vector<std::string> files_read;      // as opened, the main source first
    std::vector<t_result_line> lines;         // in reading order (collect_lines); bytes only when laid out
    std::vector<uint8_t> bytes;               // the lines' bytes
    std::vector<t_result_symbol> symbols;     // used ones in order of first use (collect_uses), else all by name
    std::vector<t_result_use> uses;           // in reading order (collect_uses)
    bool laid_out = false;                    // addresses and bytes exist (ok, or layout_after_errors)
    int32_t end_of_image = 0;                 // when ok
    std::size_t memory_used = 0;              // run memory the run took
};

// One whole assembly as the options say.
t_result assemble_program(const t_options& options);
// Writes the image of the run that has just succeeded without writing it, and the companions
// (a dependency file) together: all take their names, or none does. False after an error, which
// is added to the result's diagnostics.
bool write_program_outputs(t_result& result, const std::vector<t_companion_file>& companions);
