// The assembly of one document as its own main program, run in-process by the assembler's own
// code, and what the editor asks of it afterwards: diagnostics, names and the bytes of each line.
#pragma once
#include "driver/orbasm.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The settings of every run: from the client's initialization options.
struct t_settings {
    std::vector<std::string> include_paths; // searched in order after the base folder, as orbasm's -I
    std::vector<std::string> defines;       // "NAME=VALUE", defined before the first line
    std::string base;                       // relative include names are taken from here; "": the working directory
    uint32_t disabled_warnings = 0;         // bit k: warning k not shown, as orbasm's -Wno-NAME
};

// A range on one line, in UTF-16 code units.
struct t_span16 {
    int32_t line;  // 0-based
    int32_t start; // first code unit
    int32_t end;   // one past the last
};

// A note of a finding, at its own place or at the finding's.
struct t_finding_note {
    std::string message;
    int32_t file; // index into files
    t_span16 span;
};

// An error or warning of the run.
struct t_finding {
    bool warning;
    std::string message;                              // the message, with the detail of a failed read
    int32_t file;                                     // index into files; -1 when it belongs to no line
    t_span16 span;                                    // the word at fault
    std::vector<std::pair<int32_t, int32_t>> included_from; // (file, 0-based line) of each #include, innermost first
    std::vector<t_finding_note> notes; // what helps to act on it ("first defined here")
};

// A label or constant of the run: its name, constant or label, defined or not, and value.
using t_symbol = t_result_symbol;

// One definition or use of a name, where it is written.
struct t_use {
    int32_t file;   // index into files
    t_span16 span;  // the name as written
    int32_t symbol; // index into symbols
    bool definition;
};

// What one source line put into the image.
struct t_line_bytes {
    int32_t file;        // index into files
    int32_t line;        // 0-based
    int32_t address;     // of its first item
    int32_t first_byte;  // in t_assembly::bytes
    int32_t byte_count;  // bytes it wrote (fills and gaps not counted)
    int32_t fill;        // bytes of a #zero, #data, #org or #align gap; 0 for none
    char fill_kind;      // 'z' zeros, 'r' reserved, 'g' gap
    bool approximate;    // after a line in error: the address moves when that line is mended
};

struct t_assembly {
    bool ok = false;                 // the run ended without an error
    bool laid_out = false;           // addresses are laid out: after errors, of the lines that assembled
    std::vector<std::string> files;  // absolute paths; the main document first
    std::vector<t_finding> findings;
    std::vector<t_symbol> symbols;
    std::vector<t_use> uses;         // by file, line and column
    std::vector<t_line_bytes> lines; // by file and line; only when laid out
    std::vector<uint8_t> bytes;
    std::vector<std::string> files_read; // absolute paths of every file the run read
    int32_t end_of_image = 0;            // when ok
    double milliseconds = 0;             // the run's time
};

// Assembles the file at main_path (absolute) as the main program: the texts stand in for the
// files of their paths, the rest is read from disk relative to settings.base.
t_assembly assemble(const std::string& main_path, const t_settings& settings,
                    const std::map<std::string, std::string, std::less<>>& texts);
// Gives the memory freed since the last call back to the system: after a document is closed.
void release_memory();

// The index of path among the run's files, or -1.
int32_t file_index(const t_assembly& assembly, const std::string& path);
// The use whose name covers the UTF-16 column of the line, or nil.
const t_use* use_at(const t_assembly& assembly, int32_t file, int64_t line, int64_t character);
// The symbol's definition in the source, or nil (a name defined on the command line, or never).
const t_use* definition_of(const t_assembly& assembly, int32_t symbol);
// What the line wrote, or nil.
const t_line_bytes* line_bytes_at(const t_assembly& assembly, int32_t file, int64_t line);
// The symbol named name, or -1.
int32_t symbol_named(const t_assembly& assembly, const std::string& name);
