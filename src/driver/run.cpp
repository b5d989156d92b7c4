// The assembly run: one source file to one image, in a fixed order of steps.
#include "driver/driver.h"
#include "image/image.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <algorithm>
#include <new>

std::string source_name;
bool echo_enabled = true;
std::vector<std::string> command_line_constants;

// Step 1: the run-wide state of a fresh run.
static void begin_run(std::string_view name) {
    release_run_memory();
    reset_sources();
    reset_items();
    reset_symbols();
    symbol_tree_deferred = true;
    current_line = {};
    fault_position = 0;
    fault_place = nullptr;
    fault_detail.clear();
    fault_notes.clear();
    diagnostics.clear();
    files_read.clear();
    source_name = name;
}

// "-D NAME=VALUE" definitions, as #const lines before the first line of the source.
static void define_command_line_constants() {
    int32_t number = 0;
    for (const std::string& definition : command_line_constants) {
        const std::size_t equals = definition.find('=');
        const std::string value = equals == std::string::npos ? "1" : definition.substr(equals + 1);
        hand_line("<command line>", ++number, "#const " + definition.substr(0, equals) + " = " + value);
        process_line();
        if (first_dropped != 0)
            check_dropped_characters();
    }
}

// Steps 2 and 3: every line of the source, with the files it includes, echoed and processed.
static void read_all_source() {
    open_main_source(source_name);
    while (next_line()) {
        t_item* before = tail;
        process_line();
        if (first_dropped != 0) [[unlikely]] // after the line assembled: none on a line in error
            check_dropped_characters();
        if (listing_enabled)
            record_line(before);
    }
}

// Steps 4 to 7: the end-of-program labels and the check for undefined names.
static void end_of_source() {
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
    check_defined(symbol_root);
}

bool run_assembly(std::string_view name, bool write_output) {
    bool ok = true;
    try {
        begin_run(name);
        define_command_line_constants();
        read_all_source();
        end_of_source();
        run_layout();
        ok = !warnings_are_errors ||
             std::none_of(diagnostics.begin(), diagnostics.end(), [](const t_diagnostic& d) { return d.warning; });
        if (write_output && ok)
            write_image();
    } catch (const t_fatal_stop&) {
        ok = false;
    } catch (const std::bad_alloc&) {
        try {
            fatal_stop("Out of memory");
        } catch (const t_fatal_stop&) {
        }
        ok = false;
    }
    if (!ok)
        reset_sources(); // closes the files a report left open
    console_flush();
    return ok;
}
