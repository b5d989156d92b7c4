// The ground every step of the run stands on: the error throw, the console and run memory. It
// includes nothing of the assembler's own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Where in the line in hand the word that a failing check is about begins (1-based), or 0 when
// the whole line is at fault. The scanning steps keep it as they go.
extern int32_t fault_position;

// Thrown by fatal_check with what the check knew: its message and the position at fault. The run
// on top turns it into a diagnostic with its place. Unwinding to the run instead of exiting keeps
// every error path usable in-process (tests, fuzzing, the editor).
struct t_fatal_stop {
    std::string message; // the report's message, a symbol's name included
    int32_t position;    // fault_position at the failing check
};

// Set before a check that fails only because of an error already reported (a name whose
// definition failed): the line fails without an error of its own. The run clears it.
extern bool failure_already_reported;

// Records message (and suffix) with fault_position and unwinds with t_fatal_stop.
[[noreturn]] void fatal_stop(std::string_view message, std::string_view suffix = {});

// Every check states the condition that must hold; when it fails the run ends with the report.
inline void fatal_check(bool condition, std::string_view message, std::string_view suffix = {}) {
    if (!condition) [[unlikely]]
        fatal_stop(message, suffix);
}

// A place in the source, for diagnostics that point at the word at fault.
struct t_place {
    std::string file;  // the path as opened; "" when the diagnostic belongs to no line
    int32_t line = 0;   // counting every line of the file, blank ones too
    int32_t column = 0; // 1-based, in the line as written
    int32_t length = 0; // columns of the word at fault, at least 1
    std::string text;   // the line as written
    std::vector<std::pair<std::string, int32_t>> included_from; // each enclosing #include, innermost first
};

// A note after a diagnostic: at its own place when place.line > 0, else at the diagnostic's.
struct t_note {
    std::string message;
    t_place place;
};

// One error or warning as the run found it.
struct t_diagnostic {
    bool warning;
    std::string message;     // the report's message, a symbol's name included
    std::string detail;      // for a file that could not be read: its name and the system's reason;
                             // for an undefined constant, "- " and its name
    std::string report_file; // the classic report's file, line and fault
    int32_t report_line;
    std::string fault;
    t_place place;
    std::string_view warning_name; // a warning's name, as -Wno-NAME turns it off
    std::vector<t_note> notes;     // what helps to act on it, in the order printed
};

// How a run reports: classic prints the report on the console; otherwise every error and warning
// is kept in diagnostics for the caller (a warning only when warnings_wanted).
extern bool classic_report;
extern bool warnings_wanted;
extern std::vector<t_diagnostic> diagnostics;
// Set just before a check whose error belongs elsewhere than the line in hand (an undefined name
// at its first use, an #org at its line), and the system's reason for a failed read or write.
// The diagnostic that takes them clears them.
extern const t_place* fault_place;
extern std::string fault_detail;
// Notes for the next error, set just before its check; the error takes them.
extern std::vector<t_note> fault_notes;

// ORDER: the warnings, as warning_names names them.
enum t_warning : int32_t {
    warning_glued_number, warning_digit, warning_value_range, warning_label_text, warning_single_cut,
    warning_trailing_text, warning_missing_operand, warning_ignored_characters, warning_number_range, warning_count
};
extern const std::string_view warning_names[warning_count];
static_assert(warning_count <= 32, "every warning needs a bit of warnings_off");
extern uint32_t warnings_off; // bit k set: warning k is not kept (-Wno-NAME)
// The warning of that name, or warning_count.
t_warning warning_named(std::string_view name);

// Console output is buffered; it is flushed before the report's wait and at the end of the run.
extern std::string* console_capture; // when set, console output is appended here instead
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
template <typename T> T* run_new() { return static_cast<T*>(run_alloc(sizeof(T))); }
std::string_view run_copy(std::string_view text);
void release_run_memory();
std::size_t run_memory_used();
// Memory set aside at the start of every run and given back when memory runs out, so that the
// report of that finds some.
void keep_memory_reserve();
void release_memory_reserve();
