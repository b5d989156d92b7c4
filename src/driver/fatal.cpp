// The fatal error report: the one way any part of the run reports an error.
#include "driver/driver.h"
#include "source/source.h"

#include <string>

std::string current_line;

void print_report(std::string_view message, std::string_view suffix) {
    // Only "Too many nested includes" is raised at depth 17; it names the file at level 16,
    // which holds the include line.
    int32_t level = nesting_depth < 1 ? 1 : (nesting_depth > max_nesting ? max_nesting : nesting_depth);
    const t_source& entry = include_stack[level];
    console_line("");
    console_write("Error : ");
    console_write(message);
    console_line(suffix);
    console_write("File  : ");
    console_line(entry.file_name);
    console_write("Line  : ");
    console_line(std::to_string(entry.line_number));
    console_write("Fault : ");
    console_line(current_line);
    console_flush();
}

void fatal_stop(std::string_view message, std::string_view suffix) {
    print_report(message, suffix);
    throw t_fatal_stop{};
}
