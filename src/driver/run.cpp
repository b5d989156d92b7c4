// The assembly run: one source file to one image, in a fixed order of steps. The steps, in the
// run's order, are the folders of src/ (see src/README.md).
#include "base/base.h"
#include "base/nearest.h"
#include "base/output_file.h"
#include "driver/driver.h"
#include "image/image.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <algorithm>
#include <new>

std::vector<std::string> command_line_constants;
bool warnings_are_errors = false;
int32_t max_errors = 20;
bool layout_after_errors = false;
bool run_laid_out = false;
bool run_out_of_memory = false;
static int32_t errors_reported = 0;
static bool line_failed = false; // a line has been taken back, reported or not
static bool stopped_at_limit = false; // max_errors ended the reading
static bool names_unchecked = false;  // an include could not be read: it may define any name
static std::size_t unread_include_error = 0; // the first such include's error, among the diagnostics
bool listing_enabled = false;
t_line_record* line_records = nullptr;
static t_line_record* last_record = nullptr;

// Step 1: the run-wide state of a fresh run.
static void begin_run(std::string_view name) {
    release_run_memory();
    keep_memory_reserve();
    reset_sources();
    reset_items();
    reset_symbols();
    symbol_tree_deferred = true;
    current_line = {};
    line_state = line_in_file;
    fault_position = 0;
    fault_place = nullptr;
    fault_detail.clear();
    fault_notes.clear();
    diagnostics.clear();
    files_read.clear();
    line_records = last_record = nullptr;
    source_name = name;
    errors_reported = 0;
    line_failed = false;
    stopped_at_limit = names_unchecked = run_laid_out = run_out_of_memory = include_in_hand = failure_already_reported = false;
}

static void report_error(const t_fatal_stop& stop);

// What a line may add, taken before it: a line in error is taken back to it.
struct t_line_mark {
    t_item* tail;
    bool header_requested;
    std::size_t diagnostics;
    t_symbols_mark symbols;
};

static t_line_mark mark_line() { return {tail, header_requested, diagnostics.size(), symbols_mark()}; }

// "more may follow", on the error that reached the limit.
static void note_limit(t_diagnostic& diagnostic) {
    const std::string count = std::to_string(max_errors);
    diagnostic.notes.push_back(
        {"assembly stopped after " + count + (max_errors == 1 ? " error" : " errors") + " (-fmax-errors=" + count +
             "); more may follow",
         {}});
}

// The line in hand failed with stop: it is taken back whole (its warnings too), its error reported
// unless an earlier error caused it, and reading goes on. False when the errors reach the limit.
static bool take_back_line(const t_line_mark& mark, const t_fatal_stop& stop) {
    line_failed = true;
    diagnostics.erase(diagnostics.begin() + static_cast<std::ptrdiff_t>(mark.diagnostics), diagnostics.end());
    take_back_items(mark.tail);
    header_requested = mark.header_requested;
    take_back_symbols(mark.symbols);
    // A name it would define, or an undefined constant it reports, raises no error again.
    for (std::string_view* name : {&name_defined_by_line, &name_reported_undefined}) {
        if (!name->empty())
            silence_symbol(*name);
        *name = {};
    }
    const bool first_unread = include_in_hand && !names_unchecked;
    names_unchecked = names_unchecked || include_in_hand;
    include_in_hand = false;
    if (first_unread)
        unread_include_error = diagnostics.size();
    if (failure_already_reported) {
        fault_place = nullptr;
        fault_detail.clear();
        fault_notes.clear();
    } else {
        report_error(stop);
        ++errors_reported;
    }
    failure_already_reported = false;
    if (line_state == line_opening_file) { // the include's level goes back to the line's
        --nesting_depth;
        line_state = line_in_file;
    }
    if (max_errors > 0 && errors_reported >= max_errors) {
        note_limit(diagnostics.back());
        stopped_at_limit = true;
        return false;
    }
    return true;
}

// The error ends the run unless the limit has ended the reading (its error is reported).
static void throw_or_stop(const t_fatal_stop& stop) {
    if (!stopped_at_limit)
        throw stop;
}

// "-D NAME=VALUE" definitions, as #const lines before the first line of the source.
static void define_command_line_constants() {
    int32_t number = 0;
    for (const std::string& definition : command_line_constants) {
        const std::size_t equals = definition.find('=');
        const std::string value = equals == std::string::npos ? "1" : definition.substr(equals + 1);
        const t_line_mark mark = mark_line();
        try {
            hand_line("<command line>", ++number, "#const " + definition.substr(0, equals) + " = " + value);
            process_line();
            if (first_dropped != 0)
                check_dropped_characters();
        } catch (const t_fatal_stop& stop) {
            if (classic_report || !take_back_line(mark, stop))
                throw_or_stop(stop);
        }
        if (stopped_at_limit)
            return;
    }
}

// The line in hand as a listing shows it, taken before the line is processed: an #include line
// belongs to its own file, not to the one it opens.
static t_line_record* new_line_record() {
    const t_source& source = include_stack[nesting_depth];
    auto* record = run_new<t_line_record>();
    record->path = run_copy(source.path);
    record->physical_line = source.physical_line;
    record->text = run_copy(current_line);
    return record;
}

// Keeps record with the items appended after before.
static void keep_line_record(t_line_record* record, t_item* before) {
    record->after_failure = line_failed;
    if (before != tail) {
        record->first = before->next;
        record->last = tail;
    }
    (last_record == nullptr ? line_records : last_record->next) = record;
    last_record = record;
}

// The next line, echoed and processed; false once the source has ended.
[[gnu::always_inline]] inline static bool assemble_next_line() {
    t_item* const before = tail;
    if (!next_line())
        return false;
    t_line_record* record = listing_enabled ? new_line_record() : nullptr;
    const int32_t depth = nesting_depth;
    process_line();
    // After the line assembled: none on a line in error, nor on an #include, whose file is now
    // the one in hand.
    if (first_dropped != 0 && nesting_depth == depth) [[unlikely]]
        check_dropped_characters();
    if (record != nullptr)
        keep_line_record(record, before);
    return true;
}

// Steps 2 and 3: every line of the source, with the files it includes, echoed and processed.
static void read_all_source() {
    open_main_source(source_name);
    if (classic_report) { // the first error ends the run: nothing to take back
        while (assemble_next_line()) {
        }
        return;
    }
    while (!stopped_at_limit) {
        // Unwinding costs nothing until a line fails.
        const t_line_mark mark = mark_line();
        try {
            if (!assemble_next_line())
                return;
        } catch (const t_fatal_stop& stop) {
            // Past a file that failed partway, or includes nested too deep, reading cannot go on.
            if (source_unreadable || !take_back_line(mark, stop))
                throw_or_stop(stop);
        }
    }
}

// Every undefined name at its first use, among the other diagnostics in reading order; the
// limit counts them with the lines' errors.
static void report_undefined_names() {
    const std::vector<t_undefined_use> uses = undefined_uses();
    std::vector<t_diagnostic> errors;
    for (const t_undefined_use& use : uses) {
        fault_place = use.place;
        fault_notes = register_notes(use.node->data.name);
        report_error(t_fatal_stop{"Constant or label not defined - " + std::string(use.node->data.name), 0});
        errors.push_back(std::move(diagnostics.back()));
        diagnostics.pop_back();
    }
    // From the last, so that the places of the earlier ones stay where they were counted.
    for (std::size_t k = errors.size(); k-- > 0;)
        diagnostics.insert(diagnostics.begin() + static_cast<std::ptrdiff_t>(uses[k].diagnostics_before),
                           std::move(errors[k]));
    errors_reported = 0;
    for (std::size_t k = 0; k < diagnostics.size(); ++k) {
        if (diagnostics[k].warning)
            continue;
        ++errors_reported;
        if (max_errors > 0 && errors_reported == max_errors && k + 1 < diagnostics.size()) {
            const bool more = std::any_of(diagnostics.begin() + static_cast<std::ptrdiff_t>(k + 1), diagnostics.end(),
                                          [](const t_diagnostic& d) { return !d.warning; });
            if (more) {
                diagnostics.erase(diagnostics.begin() + static_cast<std::ptrdiff_t>(k + 1), diagnostics.end());
                note_limit(diagnostics[k]);
            }
            return;
        }
    }
}

// Steps 4 to 7: the end-of-program labels and the check for undefined names.
static void end_of_source() {
    line_state = line_after_source;
    if (header_requested) {
        current_line = end_of_mem_text;
        process_line();
    }
    current_line = end_of_program_text;
    t_rb_data end_label{};
    end_label.tag = 0;
    end_label.name = "@endofexe";
    end_label.item = &end_of_image_item;
    enter_symbol(end_label);
    // With every name defined the check finds nothing, whatever the tree's shape.
    if (listing_enabled || !all_symbols_defined())
        build_symbol_tree();
    if (classic_report)
        check_defined(symbol_root);
    else if (!names_unchecked)
        report_undefined_names();
    else if (unread_include_error < diagnostics.size() && !undefined_uses().empty())
        diagnostics[unread_include_error].notes.push_back(
            {"names used but not defined are not reported: the file not read may define them", {}});
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

// The error a check stopped the run with, at the line in hand, or at the place a check set aside
// for it. Nothing of it is left for a later diagnostic.
static void report_error(const t_fatal_stop& stop) {
    t_diagnostic diagnostic = diagnostic_here(false, stop.message, stop.position);
    if (!classic_report && fault_place != nullptr)
        diagnostic.place = *fault_place;
    if (!classic_report)
        diagnostic.notes = std::move(fault_notes);
    fault_place = nullptr;
    fault_detail.clear();
    fault_notes.clear();
    if (classic_report)
        print_classic_report(diagnostic);
    else
        diagnostics.push_back(std::move(diagnostic));
}

// Made before any run, so that reporting it asks for no memory.
static const t_fatal_stop out_of_memory = t_fatal_stop{"Out of memory", 0};

// Memory ran out: what the run holds is given back first, and the report asks for none. The
// console form prints it at once; the others keep it as the run's only diagnostic.
static void stop_for_memory() {
    output_abandon_all();
    release_run_memory();
    release_memory_reserve();
    // What lived in run memory is gone: nothing of the run may be read after this.
    run_out_of_memory = true;
    run_laid_out = false;
    line_records = last_record = nullptr;
    const t_source& source = include_stack[nesting_depth];
    if (classic_report) {
        // As print_classic_report, from what the run holds: the line number is written by hand.
        char number[12];
        std::size_t length = 0;
        for (auto rest = static_cast<uint32_t>(source.line_number); length == 0 || rest > 0; rest /= 10)
            number[length++] = static_cast<char>('0' + rest % 10);
        std::reverse(number, number + length);
        console_line("");
        console_write("Error : ");
        console_line(out_of_memory.message);
        console_write("File  : ");
        console_line(source.file_name);
        console_write("Line  : ");
        console_line(std::string_view(number, length));
        console_write("Fault : ");
        console_line(current_line);
        console_flush();
        return;
    }
    // The diagnostics so far are dropped, which gives back their memory; the one report then
    // takes what the reserve held.
    std::vector<t_diagnostic>().swap(diagnostics);
    try {
        diagnostics.push_back(t_diagnostic{false, out_of_memory.message, {}, {}, 0, {}, {}, {}, {}});
        // For --diagnostics=classic: the file and line, and the line in hand unless it is what
        // took the memory.
        diagnostics.back().report_file = source.file_name;
        diagnostics.back().report_line = source.line_number;
        if (current_line.size() <= 4096)
            diagnostics.back().fault = current_line;
    } catch (const std::bad_alloc&) {
    }
    fault_place = nullptr;
    fault_detail.clear();
}

// Runs the steps; the error a check stops them with, or running out of memory, is reported.
// False after either, or when the steps say so.
template <typename t_steps> static bool reported(t_steps steps) {
    try {
        return steps();
    } catch (const t_fatal_stop& stop) {
        report_error(stop);
    } catch (const std::bad_alloc&) {
        stop_for_memory();
    }
    return false;
}

bool run_assembly(std::string_view name, bool write_output) {
    const bool ok = reported([&] {
        begin_run(name);
        define_command_line_constants();
        if (!stopped_at_limit)
            read_all_source();
        if (!stopped_at_limit)
            end_of_source();
        // Layout errors are reported only when no line failed: a failed line may cause them.
        if (errors_reported > 0) {
            if (layout_after_errors) {
                run_layout(false);
                run_laid_out = true;
            }
            return false;
        }
        run_layout();
        run_laid_out = true;
        const bool fine = !warnings_are_errors ||
                          std::none_of(diagnostics.begin(), diagnostics.end(), [](const t_diagnostic& d) { return d.warning; });
        if (write_output && fine)
            write_image({});
        return fine;
    });
    if (!ok)
        reset_sources(); // closes the files a report left open
    console_flush();
    return ok;
}

bool write_run_outputs(const std::vector<t_companion_file>& companions) {
    const bool ok = reported([&] {
        write_image(companions);
        return true;
    });
    console_flush();
    return ok;
}
