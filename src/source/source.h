// Source input: the reader with its include stack, and line normalisation.
#pragma once
#include "base/base.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The line being processed: a normalised source line, or one of the texts below.
extern std::string_view current_line;
inline constexpr std::string_view no_input_text = "[no input]";
inline constexpr std::string_view end_of_mem_text = "@endofmem:";
inline constexpr std::string_view end_of_program_text = "[end of program]";
// Where the line in hand stands, for a diagnostic's place: a line of the file at the current
// depth, no line yet of a file being opened (its #include line, one level up, is at fault), or
// past the end of the source (no line is).
enum t_line_state : int32_t { line_in_file, line_opening_file, line_after_source };
extern t_line_state line_state;

extern std::string source_name; // the main source; "" reads standard input
extern bool echo_enabled;       // false when a caller prints a listing, or nothing, instead

// One open source file: one entry of the include stack. The line in hand is the line of this
// level being processed, or, while a file it includes is read, its #include line.
struct t_source {
    std::string file_name;    // the name as given: the command line's, or an #include's quoted text
    std::string path;         // the path opened: the name, or where an include directory held it
    int32_t line_number;      // the line in hand among the lines read (blank ones not counted); 1 before any
    int32_t physical_line;    // the line in hand counting every line
    std::string_view written; // the line in hand as written, with the blanks before it
    int32_t indent;           // bytes of written before the line's first word
    // How far the file has been read.
    int fd;                     // -1 when closed or read from memory, 0 for standard input
    const std::string* memory;  // the text read instead of a file; nil for a file
    std::size_t memory_pos;     // next unread byte of memory
    char* buffer;               // this level's read buffer
    std::size_t buffer_pos;     // next unread byte in buffer
    std::size_t buffer_len;     // bytes held in buffer
    bool at_end;                // the file has no more bytes
    bool started;               // a line has been read
    int32_t next_physical;      // the physical line of the byte at buffer_pos
    int32_t blanks;             // blank bytes passed since the last line end
    bool after_cr;              // the byte before buffer_pos is a carriage return
    std::string long_line;      // the line in hand as written when the buffer did not hold it whole
};

constexpr int32_t max_nesting = 16; // the main file is level 1; levels 2 to 16 are includes

extern t_source include_stack[max_nesting + 1]; // entries 1 to 16; entry 0 is unused
extern int32_t nesting_depth;                    // the level of the file being read

extern std::vector<std::string> include_dirs; // where an #include name that cannot be opened is looked for
// The folder that relative names (the main source, #include names, include_dirs) are taken from;
// "" for the working directory. A caller that serves many projects sets it instead of changing
// directory.
extern std::string include_base;
extern std::vector<std::string> files_read;   // the paths of every file opened, in order
// Texts read instead of files, by absolute path (an editor's unsaved buffers); nil for none.
extern const std::map<std::string, std::string, std::less<>>* source_texts;
// When set, only regular files (or source_texts) are read: not standard input, not a pipe.
extern bool only_regular_files;

// Set when reading cannot go on: a file failed partway (a read error, a line too long), or the
// includes nest too deep (a file that includes itself twice would be read again and again).
extern bool source_unreadable;

// Opens the main source at level 1 ("" reads standard input).
void open_main_source(const std::string& name);
// Reads the next line into current_line, normalised and echoed. False once the main file has ended.
bool next_line();
// Follows the #include line in hand: the name is the text in the first pair of quotes from pos
// on; the named file's lines are read next.
void open_include(int32_t pos);
// Makes text the line in hand, as if read from line number of file (a definition given on the
// command line): normalised into current_line, not echoed.
void hand_line(std::string_view file, int32_t number, std::string_view text);
// Where the line in hand is, with the word at fault_position.
t_place current_place();
// The diagnostic for message at the line in hand, the word at position: the classic report's
// file, line and fault, and, unless the report is the classic one, its place and fault_detail.
t_diagnostic diagnostic_here(bool warning, std::string message, int32_t position);
// A warning is kept, when warnings are wanted and this one is not off, for a condition that
// fails; nothing else changes.
void warn(t_warning warning, std::string_view message);
inline void warn_check(bool condition, t_warning warning, std::string_view message) {
    if (!condition && warnings_wanted) [[unlikely]]
        warn(warning, message);
}
// Closes every level still open and clears the stack.
void reset_sources();

// Where the first character that the latest normalisation dropped (one of "!$%&()*/<>?\^`{|}~"
// outside strings) stood in its text, 1-based; 0 when it dropped none.
extern int32_t first_dropped;
// The canonical spacing of text, in a buffer of the normaliser's that the next call reuses;
// "String exceeds line" for a quote that does not close.
std::string_view normalize_text(std::string_view text);
// The same for a line still in a read buffer: the text from in up to its first carriage return,
// line feed or character 26, which must stand at or before end. Returns where the line ends and
// sets line; nil when the line reaches end or holds a quote that does not close within it (then
// normalize_text must judge it whole).
const char* normalize_buffered(const char* in, const char* end, std::string_view& line);
// Frees the buffers that the longest line read so far has grown, for a process that runs again.
void release_line_buffers();
// Where the word at pos of text's normalised form (its first word for pos 0) lies in text.
struct t_span {
    int32_t offset; // 0-based, in text
    int32_t length; // bytes, at least 1
};
t_span written_span(std::string_view text, int32_t pos);
