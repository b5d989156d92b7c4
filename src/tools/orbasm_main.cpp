// orbasm: assembles one source file into the image of the machine's memory.
//
// Called as "orbasm" or "orbasm SOURCE" (no argument beginning with "-"), it runs in its console
// form: every line is echoed, an error is reported on standard output and waits for Enter, and the
// image is SOURCE.orb. Called with any option, it behaves like a Unix assembler: silent on success,
// diagnostics on standard error pointing at the source, no wait.
#include "driver/orbasm.h"
#include "tools/diagnostics.h"

#include <csignal>
#include <cstdio>
#include <getopt.h>
#include <new>
#include <string>
#include <vector>

static const char usage_text[] =
    "Usage: orbasm [OPTION]... SOURCE\n"
    "Assembles SOURCE (\"-\" for standard input) into the raw memory image SOURCE.orb.\n"
    "\n"
    "  -o, --output=FILE     write the image to FILE (\"-\" for standard output)\n"
    "  -I DIR                look for an #include that cannot be opened as named under DIR\n"
    "                        (repeatable; an absolute name is never searched)\n"
    "  -D NAME[=VALUE]       define the constant NAME before the first line (VALUE 1 by default)\n"
    "  -MD                   write a make dependency file, IMAGE.d unless -MF names it\n"
    "  -MF FILE              the dependency file's name\n"
    "  -MT TARGET            the dependency rule's target (repeatable; the image by default)\n"
    "  -MP                   add an empty rule for every included file\n"
    "  -w                    no warnings\n"
    "  -Werror               warnings are errors\n"
    "  -Wno-NAME             no warning NAME; -WNAME turns it on again. The names:\n"
    "                        trailing-text, missing-operand, ignored-characters,\n"
    "                        number-range, glued-number, digit, value-range,\n"
    "                        label-text, single-cut\n"
    "  -fmax-errors=N        stop after N errors (20 by default; 0 for no limit)\n"
    "      --echo            echo every line in its normalised form to standard output\n"
    "      --diagnostics=classic\n"
    "                        report the first error in the console form's four lines\n"
    "                        (on standard error)\n"
    "      --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "With options, every error is reported: a line in error is left out and reading goes on.\n"
    "Without options, \"orbasm SOURCE\" echoes every line, reports the first error on standard\n"
    "output and waits for Enter before it ends. Exit status: 0 on success, 1 after an error, 2 for\n"
    "a usage error.\n";

namespace {
// The options of the command-line form: the run's, and what the front end does with its result.
struct t_command_line {
    t_options run;
    std::vector<std::string> sources;
    std::string output;
    bool dependencies = false;
    std::string dependency_file;
    std::vector<std::string> targets;
    bool phony_targets = false;
};
} // namespace

// A dependency file's names: blanks and "#" escaped with a backslash, "$" doubled, as make reads them.
static std::string make_name(const std::string& name) {
    std::string escaped;
    for (const char c : name) {
        if (c == ' ' || c == '\t' || c == '#')
            escaped += '\\';
        escaped += c == '$' ? "$$" : std::string(1, c);
    }
    return escaped;
}

// The dependency file: the image (or -MT's targets) depends on every file read.
static t_companion_file dependency_file(const t_command_line& options, const std::string& image,
                                        const std::vector<std::string>& files_read) {
    std::string text;
    for (const std::string& target : options.targets.empty() ? std::vector<std::string>{image} : options.targets)
        text.append(text.empty() ? "" : " ").append(make_name(target));
    text += ":";
    for (const std::string& file : files_read)
        text += " \\\n " + make_name(file);
    text += "\n";
    for (std::size_t k = 1; options.phony_targets && k < files_read.size(); ++k)
        text.append("\n").append(make_name(files_read[k])).append(":\n");
    return {options.dependency_file.empty() ? image + ".d" : options.dependency_file, text};
}

static int usage_error() {
    print_error_text("Try 'orbasm --help' for more information.\n");
    return 2;
}

// An empty name names no file: it is not taken for "no name given".
static bool empty_name(const char* name, const char* option) {
    if (name[0] == '\0')
        print_error_text(std::string("orbasm: empty file name for ") + option + "\n");
    return name[0] == '\0';
}

// The command-line form: options as getopt_long_only reads them ("-MD" and "-Werror" are words).
static int run_command_line(int argc, char** argv) {
    enum { echo_option = 256, diagnostics_option, help_option, version_option, md_option, mf_option, mt_option,
           mp_option, werror_option, max_errors_option };
    static const option long_options[] = {
        {"output", required_argument, nullptr, 'o'},
        {"echo", no_argument, nullptr, echo_option},
        {"diagnostics", required_argument, nullptr, diagnostics_option},
        {"help", no_argument, nullptr, help_option},
        {"version", no_argument, nullptr, version_option},
        {"MD", no_argument, nullptr, md_option},
        {"MF", required_argument, nullptr, mf_option},
        {"MT", required_argument, nullptr, mt_option},
        {"MP", no_argument, nullptr, mp_option},
        {"Werror", no_argument, nullptr, werror_option},
        {"fmax-errors", required_argument, nullptr, max_errors_option},
        {nullptr, 0, nullptr, 0},
    };
    t_command_line options;
    options.run.form = form_command_line;
    options.run.echo = false;
    options.run.warnings = true;
    argv[0] = const_cast<char*>("orbasm"); // getopt names the program in its messages
    for (int option; (option = ::getopt_long_only(argc, argv, "o:I:D:wW:", long_options, nullptr)) != -1;) {
        switch (option) {
        case 'o':
            if (empty_name(optarg, "-o"))
                return usage_error();
            options.output = optarg;
            break;
        case 'I':
            if (empty_name(optarg, "-I"))
                return usage_error();
            options.run.include_folders.emplace_back(optarg);
            break;
        case 'D': options.run.constants.emplace_back(optarg); break;
        case 'w': options.run.warnings = false; break;
        case echo_option: options.run.echo = true; break;
        case help_option: std::fputs(usage_text, stdout); return 0;
        case version_option: std::fputs("orbasm 1.0\n", stdout); return 0;
        case md_option: options.dependencies = true; break;
        case mf_option:
            if (empty_name(optarg, "-MF"))
                return usage_error();
            options.dependency_file = optarg;
            break;
        case mt_option: options.targets.emplace_back(optarg); break;
        case mp_option: options.phony_targets = true; break;
        case werror_option: options.run.warnings_are_errors = true; break;
        case max_errors_option:
            if (!parse_error_limit(optarg, options.run.max_errors)) {
                print_error_text("orbasm: -fmax-errors takes a count, not '" + std::string(optarg) + "'\n");
                return usage_error();
            }
            break;
        case 'W': { // "-Wno-NAME" and "-WNAME": one warning off or on again
            const std::string name = optarg;
            const bool off = name.rfind("no-", 0) == 0;
            const t_warning warning = warning_named(off ? name.substr(3) : name);
            if (warning == warning_count) {
                print_error_text("orbasm: unknown warning option '-W" + name + "'\n");
                return usage_error();
            }
            uint32_t& off_mask = options.run.warnings_off;
            off_mask = off ? off_mask | 1u << warning : off_mask & ~(1u << warning);
            break;
        }
        case diagnostics_option:
            if (std::string(optarg) != "classic") {
                print_error_text("orbasm: unknown diagnostics form '" + std::string(optarg) + "' (only 'classic')\n");
                return usage_error();
            }
            options.run.form = form_classic;
            break;
        default: return usage_error(); // getopt has said what was wrong
        }
    }
    for (int k = optind; k < argc; ++k)
        options.sources.emplace_back(argv[k]);
    if (options.sources.size() > 1) {
        print_error_text("orbasm: one source at a time, not " + std::to_string(options.sources.size()) + "\n");
        return usage_error();
    }
    options.run.source = options.sources.empty() || options.sources[0] == "-" ? "" : options.sources[0];
    options.run.image = options.output.empty() ? options.run.source + ".orb" : options.output;
    options.run.warnings_are_errors = options.run.warnings_are_errors && options.run.warnings;
    if (options.run.form == form_classic)
        options.run.max_errors = 1; // the console form's report: the first error only
    // With a dependency file the image is written after the run, so that both go into place together.
    options.run.write_image = !options.dependencies;
    t_result result = assemble_program(options.run);
    if (result.ok && options.dependencies)
        write_program_outputs(result, {dependency_file(options, options.run.image, result.files_read)});
    for (const t_diagnostic& diagnostic : result.diagnostics)
        print_error_text(options.run.form == form_classic
                             ? format_classic(diagnostic)
                             : format_diagnostic(diagnostic, "orbasm", options.run.warnings_are_errors));
    if (!result.ok && result.diagnostics.empty())
        print_error_text("orbasm: error: Out of memory\n"); // not even the report found memory
    return result.ok ? 0 : 1;
}

int main(int argc, char** argv) {
    // A file size limit must fail the write (and be reported), not kill the process; a closed
    // console loses the echo, never the image.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    for (int k = 1; k < argc; ++k)
        if (argv[k][0] == '-') {
            try {
                return run_command_line(argc, argv);
            } catch (const std::bad_alloc&) {
                // Memory ran out outside the run (the options, the diagnostics' text).
                output_abandon_all();
                print_error_text("orbasm: error: Out of memory\n");
                return 1;
            }
        }
    t_options console_form;
    console_form.source = argc > 1 ? argv[1] : "";
    if (!assemble_program(console_form).ok) {
        console_wait_enter();
        return 1;
    }
    return 0;
}
