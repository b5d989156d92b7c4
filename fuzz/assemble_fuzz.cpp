// libFuzzer target: one whole assembly in-process on the fuzzer's bytes as the main source, with
// the invariants every run must keep, success or report.
#include "fuzz_support.h"
#include "driver/orbasm.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>


// Images beyond this size fail their write (the process's file-size limit), so an input such as
// "#zero 7fffffffh" exercises the failed write instead of filling the disk.
static constexpr rlim_t image_limit = rlim_t(1) << 20;

static const char source_path[] = "input.asm";
static const char image_path[] = "input.asm.orb";
static const char kept_image_path[] = "kept.orb";


static void write_text(const char* name, std::string_view text) { write_whole(name, text.data(), text.size()); }

static char scratch_directory[] = "/tmp/orbasm_fuzz_XXXXXX";

// The scratch directory goes when the process ends normally; it holds only files made here.
static void remove_scratch_directory() {
    for (const char* name : {"inc.asm", "inc2.asm", "data.asm", "empty.asm", source_path, image_path, kept_image_path})
        ::unlink(name);
    ::rmdir("dir.asm");
    if (::chdir("/") == 0)
        ::rmdir(scratch_directory);
}

// One scratch directory per process, the working directory of every run, so that the relative
// names of #include resolve inside it.
static void make_scratch_directory() {
    must_hold(::mkdtemp(scratch_directory) != nullptr);
    must_hold(::chdir(scratch_directory) == 0);
    std::atexit(remove_scratch_directory);
    write_text("inc.asm", "#const inc_value = 12h\r\n@inc_label:\r\ndb 1,2,'inc'\r\n");
    write_text("inc2.asm", "#include \"inc.asm\"\r\nld ax,inc_value\r\n");
    write_text("data.asm", "dw 1234h\r\ndd @inc_label\r\n");
    write_text("empty.asm", "");
    must_hold(::mkdir("dir.asm", 0755) == 0);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    make_scratch_directory();
    limit_process(image_limit);
    return 0;
}

static bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The decimal line number: digits only, no leading zero, at least 1.
static bool is_line_number(std::string_view text) {
    if (text.empty() || text.size() > 10 || text[0] == '0')
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The captured text ends with a whole report: an empty line, then the four labelled lines.
static bool ends_with_report(const std::string& text) {
    if (text.empty() || text.back() != '\n')
        return false;
    std::string_view rest(text.data(), text.size() - 1);
    std::string_view lines[5];
    for (int i = 4; i >= 0; --i) {
        std::size_t cut = rest.rfind('\n');
        if (i > 0) {
            if (cut == std::string_view::npos)
                return false;
            lines[i] = rest.substr(cut + 1);
            rest = rest.substr(0, cut);
        } else {
            // The empty line opens the report; before it only the echo stands.
            lines[0] = cut == std::string_view::npos ? rest : rest.substr(cut + 1);
        }
    }
    return lines[0].empty() && starts_with(lines[1], "Error : ") && lines[1].size() > 8 &&
           starts_with(lines[2], "File  : ") && starts_with(lines[3], "Line  : ") &&
           is_line_number(lines[3].substr(8)) && starts_with(lines[4], "Fault : ");
}

static bool image_exists(off_t& size) {
    struct stat info;
    if (::stat(image_path, &info) != 0)
        return false;
    size = info.st_size;
    return true;
}

static std::string read_image() {
    std::string bytes;
    FILE* in = std::fopen(image_path, "rb");
    must_hold(in != nullptr);
    char piece[4096];
    std::size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, in)) > 0)
        bytes.append(piece, got);
    std::fclose(in);
    return bytes;
}

// One assembly of the input file in the console form; the invariants of its outcome are checked here.
static bool assemble_once(std::string& output, std::string& image) {
    output.clear();
    image.clear();
    t_options options;
    options.source = source_path;
    options.console = &output;
    const t_result result = assemble_program(options);
    const bool ok = result.ok;
    off_t size = 0;
    bool has_image = image_exists(size);
    if (ok) {
        must_hold(has_image);
        must_hold(result.end_of_image >= 0 && size == static_cast<off_t>(result.end_of_image));
        image = read_image();
        must_hold(::unlink(image_path) == 0);
    } else {
        must_hold(!has_image);
        must_hold(ends_with_report(output));
    }
    return ok;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // As in orbasm itself, the file-size limit must fail the write instead of ending the process.
    // libFuzzer installs its own handler after initialisation, so this waits for the first input.
    static bool size_signal_ignored = false;
    if (!size_signal_ignored) {
        std::signal(SIGXFSZ, SIG_IGN);
        size_signal_ignored = true;
    }
    write_whole(source_path, data, size);
    std::string first_output, first_image;
    bool first_ok = assemble_once(first_output, first_image);
    // Every run starts from fresh state: a second run of the same source must agree byte for byte.
    std::string second_output, second_image;
    bool second_ok = assemble_once(second_output, second_image);
    must_hold(first_ok == second_ok && first_output == second_output && first_image == second_image);
    // As an editor runs it: every error, each line in error taken back, what assembled laid out.
    // It fails exactly when the console form does, and agrees with itself.
    std::string echo;
    t_options options;
    options.source = source_path;
    options.image = kept_image_path; // written, so that a write that fails fails here too
    options.form = form_command_line;
    options.echo = false;
    options.console = &echo;
    options.warnings = true;
    options.max_errors = 0;
    options.layout_after_errors = true;
    options.collect_lines = options.collect_uses = true;
    const t_result kept = assemble_program(options);
    must_hold(kept.ok == first_ok);
    ::unlink(kept_image_path);
    const auto errors = [](const t_result& result) {
        std::size_t count = 0;
        for (const t_diagnostic& diagnostic : result.diagnostics)
            count += diagnostic.warning ? 0 : 1;
        return count;
    };
    must_hold(kept.ok ? errors(kept) == 0 : errors(kept) >= 1);
    const t_result again = assemble_program(options);
    ::unlink(kept_image_path);
    must_hold(again.ok == kept.ok && errors(again) == errors(kept) && again.bytes == kept.bytes &&
              again.lines.size() == kept.lines.size());
    return 0;
}
