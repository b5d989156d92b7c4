// The tools' way into the run: the options set the run-wide globals here and nowhere else, and
// what the tools want of a run is copied out here, before the next run takes its memory back.
#include "driver/orbasm.h"

#include "driver/driver.h"
#include "image/image.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <new>
#include <unordered_map>
#include <unordered_set>

// The name that definitions given on the command line are read from.
static constexpr std::string_view command_line_file = "<command line>";

static void set_run_options(const t_options& options) {
    console_capture = options.console;
    classic_report = options.form == form_console;
    echo_enabled = options.echo;
    warnings_wanted = options.warnings;
    warnings_off = options.warnings_off;
    warnings_are_errors = options.warnings_are_errors && options.warnings;
    max_errors = options.max_errors;
    layout_after_errors = options.layout_after_errors;
    include_dirs = options.include_folders;
    command_line_constants = options.constants;
    include_base = options.base;
    source_texts = options.texts;
    only_regular_files = options.only_regular_files;
    image_name = options.image;
    listing_enabled = options.collect_lines || options.collect_symbols; // the symbols need the tree
    symbol_uses_wanted = options.collect_uses;
}

// Every line read, with the bytes of its items as the image holds them.
static void copy_lines(t_result& result) {
    for (const t_line_record* record = line_records; record != nullptr; record = record->next) {
        t_result_line line{std::string(record->path), record->physical_line, std::string(record->text),
                           record->first != nullptr, 0, static_cast<int32_t>(result.bytes.size()), 0, 0, 0,
                           record->after_failure};
        if (line.placed) {
            line.address = record->first->final_address;
            const t_item fill = range_bytes(record->first, record->last, result.bytes);
            line.fill = fill.size;
            line.fill_kind = fill.kind == kind_zero ? 'z' : fill.kind == kind_reserve ? 'r' : 'g';
            line.byte_count = static_cast<int32_t>(result.bytes.size()) - line.first_byte;
        }
        result.lines.push_back(std::move(line));
    }
}

// The items from the first line after a line in error on, and the end of the image: their
// addresses move when that line is mended. Empty when no line failed.
static std::unordered_set<const t_item*> items_after_failure() {
    std::unordered_set<const t_item*> after;
    const t_line_record* record = line_records;
    while (record != nullptr && !(record->after_failure && record->first != nullptr))
        record = record->next;
    for (const t_item* item = record != nullptr ? record->first : nullptr; item != nullptr; item = item->next)
        after.insert(item);
    if (!after.empty())
        after.insert(&end_of_image_item);
    return after;
}

static t_result_symbol symbol_of(const t_rb_data& data, bool laid_out, const std::unordered_set<const t_item*>& after) {
    // A constant's item is the head item, only a mark that it is defined.
    const bool constant = data.item == &head_item;
    const bool defined = data.item != nullptr;
    const int32_t value = constant ? data.value : defined && laid_out ? data.item->final_address : 0;
    return {std::string(data.name), constant, defined, value, !constant && after.count(data.item) != 0};
}

// Every label and constant, in name order: the tree walked in order.
static void copy_tree(const t_rb_node* node, t_result& result, const std::unordered_set<const t_item*>& after) {
    if (node == nullptr || node == &sentinel_node)
        return;
    copy_tree(node->left, result, after);
    result.symbols.push_back(symbol_of(node->data, result.laid_out, after));
    copy_tree(node->right, result, after);
}

// Names as written in the source: a name the run enters for itself ("@endofexe", the header's
// labels at the #header line) or from a command-line definition is no use in a file.
static bool written_in_source(const t_place& place, std::string_view name) {
    if (place.line <= 0 || place.file.empty() || place.file == command_line_file || place.column < 1)
        return false;
    return std::string_view(place.text).substr(static_cast<std::size_t>(place.column - 1),
                                               static_cast<std::size_t>(std::max(place.length, 0))) == name;
}

// The symbols used, in order of their first use, and every use written in a source file. The
// places are taken: the uses are not read again before the next run empties them.
static void copy_uses(t_result& result, const std::unordered_set<const t_item*>& after) {
    std::unordered_map<const t_rb_node*, int32_t> index_of;
    for (t_symbol_use& use : symbol_uses) {
        auto [found, added] = index_of.emplace(use.node, static_cast<int32_t>(result.symbols.size()));
        if (added)
            result.symbols.push_back(symbol_of(use.node->data, result.laid_out, after));
        if (written_in_source(use.place, use.node->data.name))
            result.uses.push_back({found->second, use.definition, std::move(use.place)});
    }
}

t_result assemble_program(const t_options& options) {
    set_run_options(options);
    t_result result;
    result.ok = run_assembly(options.source, options.write_image);
    result.laid_out = run_laid_out;
    source_texts = nullptr; // the caller's, valid only for the call
    result.diagnostics = std::move(diagnostics);
    diagnostics.clear();
    try {
        if (run_out_of_memory) // the run's records went with its memory
            throw std::bad_alloc();
        result.files_read = files_read;
        if (options.collect_lines && result.laid_out)
            copy_lines(result);
        const std::unordered_set<const t_item*> after = items_after_failure();
        if (options.collect_uses)
            copy_uses(result, after);
        else if (options.collect_symbols)
            copy_tree(symbol_root, result, after);
    } catch (const std::bad_alloc&) { // a failed run that reports nothing is reported as out of memory
        result.ok = false;
        result.files_read.clear();
        result.lines.clear();
        result.bytes.clear();
        result.symbols.clear();
        result.uses.clear();
    }
    result.end_of_image = result.ok ? end_of_image : 0;
    result.memory_used = run_memory_used();
    console_capture = nullptr;
    if (options.release_memory) {
        release_run_memory();
        reset_sources();
        release_line_buffers();
        std::vector<t_symbol_use>().swap(symbol_uses);
    }
    return result;
}

bool write_program_outputs(t_result& result, const std::vector<t_companion_file>& companions) {
    const bool ok = write_run_outputs(companions);
    for (t_diagnostic& diagnostic : diagnostics)
        result.diagnostics.push_back(std::move(diagnostic));
    diagnostics.clear();
    result.ok = result.ok && ok;
    return ok;
}
