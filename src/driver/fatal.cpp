// The error report: the one way any part of the run reports an error, and the warnings beside it.
#include "driver/driver.h"
#include "source/source.h"

#include <algorithm>
#include <string>

std::string_view current_line;
int32_t fault_position = 0;
bool classic_report = true;
bool warnings_wanted = false;
bool warnings_are_errors = false;
std::vector<t_diagnostic> diagnostics;
const t_place* fault_place = nullptr;
std::string fault_detail;
std::vector<t_note> fault_notes;
uint32_t warnings_off = 0;

const std::string_view warning_names[warning_count] = {
    "glued-number", "digit", "value-range", "label-text", "single-cut",
    "trailing-text", "missing-operand", "ignored-characters", "number-range",
};

t_warning warning_named(std::string_view name) {
    int32_t k = 0;
    while (k < warning_count && warning_names[k] != name)
        ++k;
    return static_cast<t_warning>(k);
}

// The classic report: an empty line, then the message, file, line number and fault.
static void print_classic_report(const t_diagnostic& diagnostic) {
    console_line("");
    console_write("Error : ");
    console_line(diagnostic.message);
    console_write("File  : ");
    console_line(diagnostic.report_file);
    console_write("Line  : ");
    console_line(std::to_string(diagnostic.report_line));
    console_write("Fault : ");
    console_line(diagnostic.fault);
    console_flush();
}

// The diagnostic for message at the line in hand: the classic report names the file at the
// current depth and the current line; the place, which only the other forms print, is the word
// at fault. Only "Too many nested includes" is raised at depth 17; it names the file at level 16,
// which holds the include line.
static t_diagnostic diagnostic_here(bool warning, std::string_view message, std::string_view suffix) {
    t_diagnostic diagnostic{
        warning, std::string(message).append(suffix), {}, {}, 0, std::string(current_line), {}, {}, {}};
    const int32_t level = std::clamp(nesting_depth, 1, max_nesting);
    diagnostic.report_file = include_stack[level].file_name;
    diagnostic.report_line = include_stack[level].line_number;
    if (!classic_report) {
        diagnostic.place = current_place();
        diagnostic.detail = fault_detail;
    }
    return diagnostic;
}

void fatal_stop(std::string_view message, std::string_view suffix) {
    t_diagnostic diagnostic = diagnostic_here(false, message, suffix);
    if (!classic_report && fault_place != nullptr)
        diagnostic.place = *fault_place;
    if (!classic_report)
        diagnostic.notes = std::move(fault_notes);
    fault_notes.clear();
    if (classic_report)
        print_classic_report(diagnostic);
    else
        diagnostics.push_back(std::move(diagnostic));
    throw t_fatal_stop{};
}

void warn(t_warning warning, std::string_view message) {
    if ((warnings_off >> warning & 1) != 0)
        return;
    t_diagnostic diagnostic = diagnostic_here(true, message, {});
    if (!classic_report && fault_place != nullptr)
        diagnostic.place = *fault_place;
    diagnostic.warning_name = warning_names[warning];
    diagnostics.push_back(std::move(diagnostic));
}
