// The run on top: one assembly from the source to the image, the line dispatcher, and the
// diagnostics built from what a failing check recorded and where the reader stands.
#pragma once
#include "base/base.h"
#include "image/image.h"
#include "source/source.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern std::vector<std::string> command_line_constants; // "NAME=VALUE" or "NAME", defined before the first line
extern bool warnings_are_errors; // a run with a warning then writes no image and fails
// Unless the report is the classic one, an error ends its line, not the run: the line is taken
// back and reading goes on. The run ends after this many errors (0: no limit).
extern int32_t max_errors;
// Lays out what assembled even after errors (undefined names valued 0, no layout errors), for
// an editor's model of the whole buffer.
extern bool layout_after_errors;
extern bool run_out_of_memory;     // the latest run ran out of memory: its records are gone
extern bool run_laid_out;          // the latest run laid its items out: addresses and bytes exist
extern bool include_in_hand;       // set while an #include line opens its file

// One source line as a listing shows it: where it came from and the items it appended.
struct t_line_record {
    t_line_record* next;        // the following line; nil at the end
    std::string_view path;      // the file the line was read from, as opened
    int32_t physical_line;      // its line number in that file, blank lines counted
    std::string_view text;      // the normalised line
    t_item* first;              // the first item the line appended; nil when it appended none
    t_item* last;               // the last item the line appended
    bool after_failure;         // a line before it failed: its addresses may move once that is fixed
};

extern bool listing_enabled;        // when set, every line read leaves a t_line_record
extern t_line_record* line_records; // the records in reading order

// Handles the current line: directives, constants and labels here, everything else encoded.
void process_line();
// Warns of a character that normalisation dropped from the line just processed, a directive or
// an instruction (first_dropped tells whether there is one).
void check_dropped_characters();

// One whole assembly of name: read, lay out and write the image; true on success, false after an
// error. With write_output false the image is laid out but not written.
bool run_assembly(std::string_view name, bool write_output = true);

// Writes the image of the run that has just succeeded without writing it, and the companions: all
// take their names together, or none does. False after an error, reported as any error is.
bool write_run_outputs(const std::vector<t_companion_file>& companions);
