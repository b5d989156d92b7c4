// Driver and diagnostics: the assembly run, the fatal error report, the console and run memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Thrown by fatal_check once the report is printed; the run's caller catches it. Unwinding to the
// caller instead of exiting keeps every error path usable in-process (tests, fuzzing).
struct t_fatal_stop {};

// The line being processed, or "[no input]", "@endofmem:", "[end of program]". Each thread has
// its own: while a reader thread reads ahead, the line it reads is not the line being encoded.
extern thread_local std::string current_line;
// On the thread that encodes the lines read ahead: the line being encoded, read where it lies in
// its batch rather than copied into current_line; no data on every other thread.
extern thread_local std::string_view handed_line;
// The line being processed: the handed line when there is one, else current_line.
inline std::string_view line_in_hand() {
    return handed_line.data() != nullptr ? handed_line : std::string_view(current_line);
}
extern std::string source_name;    // the first command-line argument; "" reads standard input
extern bool echo_enabled;          // false when a caller prints its own listing instead of the echo
extern std::string* console_capture; // when set, console output is appended here instead

// Where a line came from, for a report made on a thread that does not read the source.
struct t_line_place {
    std::string_view file_name;
    int32_t line_number;
};
// When set on a thread, its reports name this place instead of the include stack's current file.
extern thread_local const t_line_place* report_place;

// A report held back: a thread reading ahead stops at an error, but its report must wait until
// every line before the failing one has been echoed and encoded.
struct t_held_report {
    bool held;             // a report is held
    std::string message;   // message and suffix as given to fatal_stop
    std::string file_name; // the place and the fault at the time of the check
    int32_t line_number;
    std::string fault;
};
// When set on a thread, fatal_stop fills it instead of printing.
extern thread_local t_held_report* held_report;

// Prints the error report for message followed by suffix.
void print_report(std::string_view message, std::string_view suffix = {});
// Prints a report held back by a thread reading ahead.
void print_held_report(const t_held_report& report);
// Prints the report for message (and suffix) and unwinds with t_fatal_stop.
[[noreturn]] void fatal_stop(std::string_view message, std::string_view suffix = {});

// Every check states the condition that must hold; when it fails the run ends with the report.
inline void fatal_check(bool condition, std::string_view message, std::string_view suffix = {}) {
    if (!condition) [[unlikely]]
        fatal_stop(message, suffix);
}

// Console output is buffered; it is flushed before the report's wait and at the end of the run.
void console_write(std::string_view text);
void console_line(std::string_view text);
void console_flush();
// Reads and discards one line of standard input (the user presses Enter after a report).
void console_wait_enter();

// Run memory is carved from zeroed blocks that live until release_run_memory; each region carves
// from a block of its own. The common case, a carve that fits the current block, is inline.
struct t_region {
    char* start;  // the region's current block
    char* cursor; // next free byte of that block
    char* limit;  // end of that block
};
extern t_region records_region; // records, 8-byte aligned
extern t_region bytes_region;   // bytes that need no alignment (item data, names)
extern t_region items_region;   // the items of the item list, 4-byte aligned, walked densely by the layout
// Carves from a new block of region; for a carve that does not fit the current one.
void* carve_new_block(t_region& region, std::size_t bytes);

inline void* carve(t_region& region, std::size_t bytes) {
    if (static_cast<std::size_t>(region.limit - region.cursor) < bytes)
        return carve_new_block(region, bytes);
    char* result = region.cursor;
    region.cursor += bytes;
    return result;
}
inline void* run_alloc(std::size_t bytes) { return carve(records_region, (bytes + 7) & ~std::size_t(7)); }
// Not rounded up.
inline void* run_alloc_bytes(std::size_t bytes) { return carve(bytes_region, bytes); }
inline void* run_alloc_item(std::size_t bytes) { return carve(items_region, (bytes + 3) & ~std::size_t(3)); }
// When set, told of every new block of run memory (on the thread that carves it), so that another
// thread can fault its pages in before they are needed.
extern void (*on_new_block)(char* start, std::size_t bytes);
template <typename T> T* run_new() { return static_cast<T*>(run_alloc(sizeof(T))); }
std::string_view run_copy(std::string_view text);
void release_run_memory();
std::size_t run_memory_used();

// One whole assembly of name (steps 1 to 9); true on success, false after a report.
// With write_output false the image is laid out but no file is written.
bool run_assembly(std::string_view name, bool write_output = true);
