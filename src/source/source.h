// Source input: the reader with its include stack, and line normalisation.
#pragma once
#include "driver/driver.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct t_item;

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
extern std::vector<std::string> files_read;   // the paths of every file opened, in order
// Texts read instead of files, by absolute path (an editor's unsaved buffers); nil for none.
extern const std::map<std::string, std::string, std::less<>>* source_texts;
// When set, only regular files (or source_texts) are read: not standard input, not a pipe.
extern bool only_regular_files;

// One source line as a listing shows it: where it came from and the items it appended.
struct t_line_record {
    t_line_record* next;        // the following line; nil at the end
    std::string_view path;      // the file the line was read from, as opened
    int32_t physical_line;      // its line number in that file, blank lines counted
    std::string_view text;      // the normalised line
    t_item* first;              // the first item the line appended; nil when it appended none
    t_item* last;               // the last item the line appended
};

extern bool listing_enabled;        // when set, every line read leaves a t_line_record
extern t_line_record* line_records; // the records in reading order

// Opens the main source at level 1 ("" reads standard input).
void open_main_source(const std::string& name);
// Reads the next line into current_line, normalised and echoed; #include lines on the way are
// echoed and followed. False once the main file has ended.
bool next_line();
// Makes text the line in hand, as if read from line number of file (a definition given on the
// command line): normalised into current_line, not echoed.
void hand_line(std::string_view file, int32_t number, std::string_view text);
// Keeps the line in hand and the items appended after before, for a listing.
void record_line(t_item* before);
// Where the line in hand is, with the word at fault_position.
t_place current_place();
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
// Where the word at pos of text's normalised form (its first word for pos 0) lies in text.
struct t_span {
    int32_t offset; // 0-based, in text
    int32_t length; // bytes, at least 1
};
t_span written_span(std::string_view text, int32_t pos);
