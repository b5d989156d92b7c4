// The assembly run: one source file to one image, in a fixed order of steps.
#include "driver/driver.h"
#include "image/image.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <new>

std::string source_name;
bool echo_enabled = true;

// Step 1: the run-wide state of a fresh run.
static void begin_run(std::string_view name) {
    release_run_memory();
    reset_sources();
    reset_items();
    reset_symbols();
    symbol_tree_deferred = true;
    current_line.clear();
    source_name = name;
}

// Steps 4 to 7: the end-of-program labels and the check for undefined names.
static void end_of_source() {
    if (header_requested) {
        current_line = "@endofmem:";
        process_line();
    }
    current_line = "[end of program]";
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
    try {
        begin_run(name);
        if (worth_reading_ahead(source_name))
            read_source_ahead(source_name);
        else
            read_source(source_name);
        end_of_source();
        run_layout();
        if (write_output)
            write_image();
    } catch (const t_fatal_stop&) {
        reset_sources();
        return false;
    } catch (const std::bad_alloc&) {
        print_report("Out of memory");
        reset_sources();
        return false;
    }
    console_flush();
    return true;
}
