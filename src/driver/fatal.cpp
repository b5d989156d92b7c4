// The fatal error report: the one way any part of the run reports an error.
#include "driver/driver.h"
#include "source/source.h"

#include <string>

thread_local std::string current_line;
thread_local std::string_view handed_line;
thread_local const t_line_place* report_place = nullptr;
thread_local t_held_report* held_report = nullptr;

static void print_report_at(std::string_view message, std::string_view suffix, std::string_view file_name,
                            int32_t line_number, std::string_view fault) {
    console_line("");
    console_write("Error : ");
    console_write(message);
    console_line(suffix);
    console_write("File  : ");
    console_line(file_name);
    console_write("Line  : ");
    console_line(std::to_string(line_number));
    console_write("Fault : ");
    console_line(fault);
    console_flush();
}

// The place of a report: the line's own, or the current file of the include stack.
static t_line_place current_place() {
    if (report_place != nullptr)
        return *report_place;
    // Only "Too many nested includes" is raised at depth 17; it names the file at level 16,
    // which holds the include line.
    int32_t level = nesting_depth < 1 ? 1 : (nesting_depth > max_nesting ? max_nesting : nesting_depth);
    const t_source& entry = include_stack[level];
    return {entry.file_name, entry.line_number};
}

void print_report(std::string_view message, std::string_view suffix) {
    const t_line_place place = current_place();
    print_report_at(message, suffix, place.file_name, place.line_number, line_in_hand());
}

void print_held_report(const t_held_report& report) {
    print_report_at(report.message, {}, report.file_name, report.line_number, report.fault);
}

void fatal_stop(std::string_view message, std::string_view suffix) {
    if (held_report != nullptr) {
        const t_line_place place = current_place();
        held_report->held = true;
        held_report->message.assign(message).append(suffix);
        held_report->file_name.assign(place.file_name);
        held_report->line_number = place.line_number;
        held_report->fault = line_in_hand();
        throw t_fatal_stop{};
    }
    print_report(message, suffix);
    throw t_fatal_stop{};
}
