// One in-process run of the assembler for an editor, and the index of what it found: the run's
// result with its files made absolute and its places in UTF-16 columns.
#include "tools/orbls/assembly.h"

#include "tools/diagnostics.h"
#include "tools/orbls/documents.h"

#include <algorithm>
#include <chrono>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <tuple>

// A run whose memory passed this gives it back to the system when it ends; a small one leaves
// it to malloc for the next run.
static constexpr std::size_t large_run_bytes = std::size_t(64) << 20;

// The name that definitions given on the command line are read from.
static constexpr std::string_view command_line_file = "<command line>";

namespace {
// Files of a run by the path the reader gave them, made absolute once each.
struct t_file_names {
    t_assembly& assembly;
    std::map<std::string, int32_t, std::less<>> by_given;
    std::string last_given; // the path asked for last, and its file: lines come file by file
    int32_t last_file = -1;
};
} // namespace

static int32_t file_of(t_file_names& names, std::string_view given) {
    if (names.last_file >= 0 && given == names.last_given)
        return names.last_file;
    auto found = names.by_given.find(given);
    if (found == names.by_given.end()) {
        const std::string path = normal_path(given);
        auto known = std::find(names.assembly.files.begin(), names.assembly.files.end(), path);
        if (known == names.assembly.files.end())
            known = names.assembly.files.insert(known, path);
        found = names.by_given.emplace(given, static_cast<int32_t>(known - names.assembly.files.begin())).first;
    }
    names.last_given = given;
    names.last_file = found->second;
    return found->second;
}

// A byte column of a line in UTF-16 units; past the line's end (where a missing "]" is expected)
// each byte is one unit.
static int32_t utf16_column(std::string_view line, std::size_t column) {
    return utf16_length(line, column) + static_cast<int32_t>(column > line.size() ? column - line.size() : 0);
}

// The span of a place's word in UTF-16 units of the line as written.
static t_span16 span_of(const t_place& place) {
    const auto start = static_cast<std::size_t>(std::max(place.column - 1, 0));
    const std::size_t end = start + static_cast<std::size_t>(std::max(place.length, 1));
    return {place.line - 1, utf16_column(place.text, start), utf16_column(place.text, end)};
}

static void copy_findings(t_file_names& names, const t_result& result) {
    for (const t_diagnostic& diagnostic : result.diagnostics) {
        const t_place& place = diagnostic.place;
        t_finding finding{diagnostic.warning, diagnostic.message, -1, {0, 0, 0}, {}, {}};
        if (!diagnostic.detail.empty())
            finding.message += " " + diagnostic.detail;
        if (place.file == command_line_file)
            finding.message += " (in the defined constant \"" + place.text + "\")";
        else if (!place.file.empty() && place.line > 0) {
            finding.file = file_of(names, place.file);
            finding.span = span_of(place);
        }
        for (const auto& [file, line] : place.included_from)
            finding.included_from.emplace_back(file_of(names, file), line - 1);
        // Notes are related information, at their own place or at the finding's; a finding of no
        // line has them in its message. The hints come first, as on the command line.
        std::vector<t_note> notes;
        for (std::string& hint : diagnostic_hints(diagnostic))
            notes.push_back({std::move(hint), {}});
        notes.insert(notes.end(), diagnostic.notes.begin(), diagnostic.notes.end());
        for (const t_note& note : notes) {
            if (note.place.line > 0 && !note.place.file.empty() && note.place.file != command_line_file)
                finding.notes.push_back({note.message, file_of(names, note.place.file), span_of(note.place)});
            else if (finding.file >= 0)
                finding.notes.push_back({note.message, finding.file, finding.span});
            else
                finding.message += "\n" + note.message;
        }
        names.assembly.findings.push_back(std::move(finding));
    }
}

static void copy_uses(t_file_names& names, t_result& result) {
    t_assembly& assembly = names.assembly;
    assembly.symbols = std::move(result.symbols);
    for (const t_result_use& use : result.uses)
        assembly.uses.push_back({file_of(names, use.place.file), span_of(use.place), use.symbol, use.definition});
    std::sort(assembly.uses.begin(), assembly.uses.end(), [](const t_use& a, const t_use& b) {
        return std::tie(a.file, a.span.line, a.span.start) < std::tie(b.file, b.span.line, b.span.start);
    });
}

// The bytes of every line that wrote any, by file and line.
static void copy_lines(t_file_names& names, t_result& result) {
    t_assembly& assembly = names.assembly;
    assembly.bytes = std::move(result.bytes);
    for (const t_result_line& line : result.lines)
        if (line.placed)
            assembly.lines.push_back({file_of(names, line.path), line.line - 1, line.address, line.first_byte,
                                      line.byte_count, line.fill, line.fill_kind, line.approximate});
    std::stable_sort(assembly.lines.begin(), assembly.lines.end(), [](const t_line_bytes& a, const t_line_bytes& b) {
        return std::tie(a.file, a.line) < std::tie(b.file, b.line);
    });
}

t_assembly assemble(const std::string& main_path, const t_settings& settings,
                    const std::map<std::string, std::string, std::less<>>& texts) {
    const auto started = std::chrono::steady_clock::now();
    // Nothing of a run may reach standard output: it carries the protocol.
    std::string console_sink;
    t_options options;
    options.source = main_path;
    options.write_image = false;
    options.form = form_command_line;
    options.echo = false;
    options.console = &console_sink;
    options.warnings = true;
    options.max_errors = 0;              // a buffer being typed has errors: every one is shown,
    options.layout_after_errors = true;  // and what assembled is still laid out
    options.include_folders = settings.include_paths;
    options.constants = settings.defines;
    options.warnings_off = settings.disabled_warnings;
    options.base = settings.base;
    options.texts = &texts;
    options.only_regular_files = true;
    options.collect_lines = true;
    options.collect_uses = true;
    // Everything wanted is copied out: the run's memory goes now, not at the next run, so that
    // closing a large document leaves nothing of it behind.
    options.release_memory = true;
    t_result result = assemble_program(options);

    t_assembly assembly;
    assembly.files.push_back(main_path);
    assembly.ok = result.ok;
    assembly.end_of_image = result.end_of_image;
    t_file_names names{assembly, {{main_path, 0}}, main_path, 0};
    assembly.laid_out = result.laid_out;
    copy_findings(names, result);
    copy_uses(names, result);
    copy_lines(names, result);
    for (const std::string& file : result.files_read)
        assembly.files_read.push_back(assembly.files[static_cast<std::size_t>(file_of(names, file))]);
    if (result.memory_used > large_run_bytes)
        release_memory(); // what a large run freed goes back now, not at the document's close
    assembly.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    return assembly;
}

void release_memory() {
#if defined(__GLIBC__) // other C libraries keep no such free memory, or give it back themselves
    ::malloc_trim(0);
#endif
}

int32_t file_index(const t_assembly& assembly, const std::string& path) {
    const auto found = std::find(assembly.files.begin(), assembly.files.end(), path);
    return found == assembly.files.end() ? -1 : static_cast<int32_t>(found - assembly.files.begin());
}

const t_use* use_at(const t_assembly& assembly, int32_t file, int64_t line, int64_t character) {
    auto use = std::lower_bound(assembly.uses.begin(), assembly.uses.end(), std::make_pair(file, line),
                                [](const t_use& a, const std::pair<int32_t, int64_t>& key) {
                                    return std::make_pair(a.file, static_cast<int64_t>(a.span.line)) < key;
                                });
    for (; use != assembly.uses.end() && use->file == file && use->span.line == line; ++use)
        if (character >= use->span.start && character < use->span.end)
            return &*use;
    return nullptr;
}

const t_use* definition_of(const t_assembly& assembly, int32_t symbol) {
    for (const t_use& use : assembly.uses)
        if (use.symbol == symbol && use.definition)
            return &use;
    return nullptr;
}

const t_line_bytes* line_bytes_at(const t_assembly& assembly, int32_t file, int64_t line) {
    const auto found = std::lower_bound(assembly.lines.begin(), assembly.lines.end(), std::make_pair(file, line),
                                        [](const t_line_bytes& a, const std::pair<int32_t, int64_t>& key) {
                                            return std::make_pair(a.file, static_cast<int64_t>(a.line)) < key;
                                        });
    return found != assembly.lines.end() && found->file == file && found->line == line ? &*found : nullptr;
}

int32_t symbol_named(const t_assembly& assembly, const std::string& name) {
    for (std::size_t k = 0; k < assembly.symbols.size(); ++k)
        if (assembly.symbols[k].name == name)
            return static_cast<int32_t>(k);
    return -1;
}
