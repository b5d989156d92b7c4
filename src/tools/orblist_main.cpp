// orblist: assembles a source file exactly as orbasm does and prints a listing instead of the
// echo: every line with its place, address and bytes, then the symbol table. No image is written.
// Like orbasm's command-line form it never waits: diagnostics go to standard error.
#include "base/words.h"
#include "driver/orbasm.h"
#include "tools/diagnostics.h"
#include "tools/output.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <getopt.h>
#include <new>
#include <string>
#include <vector>

static const char help_text[] =
    "Usage: orblist [OPTION]... SOURCE\n"
    "Assembles SOURCE (\"-\" for standard input) as orbasm does and prints a listing instead of an\n"
    "image: the file and line of every source line, its address and bytes, and the line; then the\n"
    "symbol table. No image is written.\n"
    "\n"
    "  -o, --output=FILE     write the listing to FILE (\"-\" for standard output)\n"
    "  -I DIR                look for an #include that cannot be opened as named under DIR\n"
    "                        (repeatable; an absolute name is never searched)\n"
    "  -D NAME[=VALUE]       define the constant NAME before the first line (VALUE 1 by default)\n"
    "  -w                    no warnings\n"
    "  -fmax-errors=N        stop after N errors (20 by default; 0 for no limit)\n"
    "      --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Errors and warnings go to standard error as FILE:LINE:COLUMN: error: MESSAGE, with the line\n"
    "as written; no listing is printed after an error.\n"
    "Exit status: 0 after the listing, 1 after an error, 2 for a usage error.\n";

// Bytes shown on one row of the listing; longer lines continue on rows of their own.
static constexpr int32_t bytes_per_row = 8;
static constexpr std::size_t bytes_column_width = 3 * bytes_per_row - 1;

// The note of a line's fill or gap: "[zeros: n]", "[reserved: n]", "[gap: n]"; "" for none.
static std::string fill_note(const t_result_line& line) {
    if (line.fill <= 0)
        return "";
    return std::string(line.fill_kind == 'z' ? "[zeros: " : line.fill_kind == 'r' ? "[reserved: " : "[gap: ") +
           std::to_string(line.fill) + "]";
}

// Where a line stands: its file as named and its line counting every line, blank ones too, as an
// editor counts them. Standard input is named as in diagnostics.
static std::string line_place(const t_result_line& line) {
    return line.path + ":" + std::to_string(line.line);
}

static void print_lines(t_output& output, const t_result& result) {
    std::size_t place_width = 0;
    for (const t_result_line& line : result.lines)
        place_width = std::max(place_width, line_place(line).size());
    for (const t_result_line& line : result.lines) {
        std::string place = line_place(line);
        place.resize(place_width, ' ');
        const std::string note = fill_note(line);
        const int32_t count = line.byte_count;
        // The first row carries the place and the text; further rows only address and bytes.
        for (int32_t row = 0; row == 0 || row * bytes_per_row < count; ++row) {
            std::string hex = row == 0 ? note : "";
            for (int32_t k = row * bytes_per_row; k < count && k < (row + 1) * bytes_per_row; ++k) {
                char piece[4];
                std::snprintf(piece, sizeof piece, "%02X", result.bytes[static_cast<std::size_t>(line.first_byte + k)]);
                if (!hex.empty())
                    hex += ' ';
                hex += piece;
            }
            if (hex.size() < bytes_column_width)
                hex.resize(bytes_column_width, ' ');
            std::string text = row == 0 ? place : std::string(place_width, ' ');
            text += "  ";
            text += line.placed ? hex8(line.address + row * bytes_per_row) : std::string(8, ' ');
            text += "  " + hex;
            if (row == 0)
                text += "  " + line.text;
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            output_line(output, text);
        }
    }
}

static void print_symbols(t_output& output, const t_result& result) {
    std::size_t name_width = 0;
    for (const t_result_symbol& symbol : result.symbols)
        name_width = std::max(name_width, symbol.name.size());
    output_line(output, "");
    output_line(output, "Symbols:");
    for (const t_result_symbol& symbol : result.symbols) {
        std::string name = symbol.name;
        name.resize(name_width, ' ');
        output_line(output, name + "  " + hex8(symbol.value) +
                                (symbol.constant ? "  constant  " + std::to_string(symbol.value) : "  label"));
    }
}

static int usage_error(const std::string& message) {
    print_error_text(message);
    print_error_text("Try 'orblist --help' for more information.\n");
    return 2;
}

// An empty name names no file: it is not taken for "no name given".
static bool empty_name(const char* name, const char* option) {
    return name[0] == '\0' && usage_error(std::string("orblist: empty file name for ") + option + "\n") != 0;
}

static int run_orblist(int argc, char** argv) {
    // A file size limit must fail the write (and be reported), not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // getopt names the program in its messages as ours do, however it was started.
    static char program_name[] = "orblist";
    argv[0] = program_name;
    enum { help_option = 256, version_option };
    static const option long_options[] = {
        {"output", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, help_option},
        {"version", no_argument, nullptr, version_option},
        {nullptr, 0, nullptr, 0},
    };
    std::string output_name = "-";
    t_options options;
    options.form = form_command_line;
    options.echo = false;
    options.warnings = true;
    options.write_image = false;
    options.collect_lines = true;
    options.collect_symbols = true;
    for (int option; (option = ::getopt_long(argc, argv, "o:I:D:wf:", long_options, nullptr)) != -1;) {
        switch (option) {
        case 'o':
            if (empty_name(optarg, "-o"))
                return 2;
            output_name = optarg;
            break;
        case 'I':
            if (empty_name(optarg, "-I"))
                return 2;
            options.include_folders.emplace_back(optarg);
            break;
        case 'D': options.constants.emplace_back(optarg); break;
        case 'w': options.warnings = false; break;
        case 'f': // -fmax-errors=N
            if (std::string_view(optarg).rfind("max-errors=", 0) != 0 ||
                !parse_error_limit(std::string_view(optarg).substr(11), options.max_errors))
                return usage_error("orblist: unknown option '-f" + std::string(optarg) + "'\n");
            break;
        case help_option: std::fputs(help_text, stdout); return 0;
        case version_option: std::fputs("orblist 1.0\n", stdout); return 0;
        default: return usage_error(""); // getopt has said what was wrong
        }
    }
    if (optind == argc)
        return usage_error("orblist: no source file given (\"-\" reads standard input)\n");
    if (argc - optind > 1)
        return usage_error("orblist: one source at a time, not " + std::to_string(argc - optind) + "\n");
    const std::string source = argv[optind];
    options.source = source == "-" ? "" : source;
    const t_result result = assemble_program(options);
    for (const t_diagnostic& diagnostic : result.diagnostics)
        print_error_text(format_diagnostic(diagnostic, "orblist", false));
    if (!result.ok && result.diagnostics.empty())
        print_error_text("orblist: error: Out of memory\n"); // not even the report found memory
    if (!result.ok)
        return 1;
    // The output is opened only now: a run that fails leaves an older listing as it was.
    std::vector<std::string> inputs = result.files_read;
    if (source == "-")
        inputs.emplace_back("-");
    t_output output;
    if (open_output(output, output_name, inputs)) {
        print_lines(output, result);
        print_symbols(output, result);
    }
    if (!close_output(output)) {
        print_error_text(output_failure(output, "orblist"));
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return run_orblist(argc, argv);
    } catch (const std::bad_alloc&) {
        output_abandon_all();
        print_error_text("orblist: error: Out of memory\n");
        return 1;
    }
}
