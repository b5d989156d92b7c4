// Source input: the reader with its include stack, and line normalisation.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct t_item;

// One open source file: one entry of the include stack.
struct t_source {
    int fd;                  // the open file; -1 when closed, 0 for standard input
    std::string file_name;   // the name exactly as given to read_source
    int32_t line_number;     // 1 on open, raised after every line read from this file
    char* buffer;            // this level's read buffer
    std::size_t buffer_pos;  // next unread byte in buffer
    std::size_t buffer_len;  // bytes held in buffer
    bool at_end;             // the file has no more bytes
};

constexpr int32_t max_nesting = 16; // the main file is level 1; levels 2 to 16 are includes

extern t_source include_stack[max_nesting + 1]; // entries 1 to 16; entry 0 is unused
extern int32_t nesting_depth;                    // the level of the file being read

// One source line as the listing shows it: where it came from and the items it appended.
struct t_line_record {
    t_line_record* next;        // the following line; nil at the end
    std::string_view file_name; // the file the line was read from
    int32_t line_number;        // its line number in that file
    std::string_view text;      // the normalised line
    t_item* first;              // the first item the line appended; nil when it appended none
    t_item* last;               // the last item the line appended
};

extern bool listing_enabled;          // when set, every line read leaves a t_line_record
extern t_line_record* line_records;   // the records in reading order

// Reads the named file at the current nesting depth to its end, with everything it includes:
// every line is normalised, echoed, and followed into an include or handed to process_line.
void read_source(const std::string& name);

// Reading ahead on a second thread (the reader's side). While reading_ahead is set, read_source
// hands every line to the encoding thread instead of echoing and encoding it.
extern bool reading_ahead;
// Sources at least this large are read ahead.
extern std::size_t read_ahead_min_bytes;
// True when the named main source is worth reading ahead: a regular file of at least
// read_ahead_min_bytes, with no listing wanted.
bool worth_reading_ahead(const std::string& name);
// read_source with the echo and the encoding on a second thread; reports and failures come out
// exactly as read_source gives them.
void read_source_ahead(const std::string& name);
// Notes the name of the file just opened at the current level, for the lines handed from it.
void name_source_level(const std::string& name);
// Room for a line of up to bytes bytes in the batch of lines being filled for the encoding thread
// (waiting for a free batch if need be), valid until the next call.
char* line_room(std::size_t bytes);
// Hands the line of length bytes, written at line_room's place and read at the current place, to
// the encoding thread.
void hand_written_line(std::size_t length, bool include);
// Waits until every line handed so far is encoded; stops the reader if the encoding failed.
void drain_ahead();

// Closes every level still open (after a report unwound the reader) and clears the stack.
void reset_sources();

// Rewrites line into its canonical spacing; "String exceeds line" for an unclosed quote.
void normalize_line(std::string& line);
// Normalises into line the raw line that starts at in and ends at its first carriage return, line
// feed or character 26, and returns that end. *end must be one of those bytes, and the line must
// end before end; otherwise, and for a quote that does not close within the line, returns nil and
// leaves line as it was, for normalize_line to judge the whole line.
const char* normalize_buffered(const char* in, const char* end, std::string& line);
// The same, writing the normalised line to out, which has room for 2 * (end - in) + 1 bytes, and
// its length to length.
const char* normalize_into(const char* in, const char* end, char* out, std::size_t& length);
