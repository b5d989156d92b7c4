// Runs the real orbasm binary on real files in a temporary directory.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct t_run {
    std::string stdout_text;    // everything the binary printed
    int exit_code;              // its exit status (-1 when it did not exit normally)
    bool has_image;             // the image file exists after the run
    std::vector<uint8_t> image; // its bytes
};

struct t_workdir {
    std::string path; // a fresh directory, removed by remove_workdir
};

t_workdir make_workdir();
void remove_workdir(const t_workdir& dir);
// Writes a file (relative names are inside the directory).
void write_file(const t_workdir& dir, const std::string& name, const std::string& bytes);
// Joins lines with the given line end after each one.
std::string join_lines(const std::vector<std::string>& lines, const std::string& line_end = "\r\n");
// What a program printed and how it ended.
struct t_program_run {
    int exit_code;   // its exit status (-1 when it did not exit normally)
    std::string out; // its standard output
    std::string err; // its standard error
};

// Runs argv[0] with argv in dir, stdin_text as its standard input.
t_program_run run_program(const t_workdir& dir, const std::vector<std::string>& argv, const std::string& stdin_text);

// Runs orbasm in dir with the arguments; stdin_text is its standard input. The image read back
// is the file named image_name (default: first argument + ".orb").
t_run run_orbasm(const t_workdir& dir, const std::vector<std::string>& args, const std::string& stdin_text = "",
                 std::string image_name = "");
// The four-line report as orbasm prints it, with its leading empty line.
std::string report(const std::string& message, const std::string& file, int line, const std::string& fault);
// Hex bytes separated by blanks.
std::string hex(const std::vector<uint8_t>& bytes);
// Runs orbasm through "sh -c" after the shell commands in setup (for example "ulimit -f 8"), in
// dir with the arguments, like run_orbasm otherwise.
t_run run_orbasm_in_shell(const t_workdir& dir, const std::string& setup, const std::vector<std::string>& args,
                          const std::string& stdin_text = "", std::string image_name = "");

// Built with AddressSanitizer: an address-space limit leaves no room for its shadow memory, its
// allocator keeps what a program frees, and it opens files of its own as a program starts.
inline bool under_sanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

// A work folder removed when the test ends, however it ends.
struct t_dir_guard {
    t_workdir dir = make_workdir();
    ~t_dir_guard() { remove_workdir(dir); }
};
// The whole of a file of the work folder; "" when there is none.
std::string read_text(const t_workdir& dir, const std::string& name);
// Every name in the work folder, sorted, a line each: "NAME=TEXT", "NAME=[folder]" or
// "NAME -> TARGET" for a link; the harness's own files left out.
std::string contents(const t_workdir& dir);
