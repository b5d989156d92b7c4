#include "support/harness.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

t_workdir make_workdir() {
    static int counter = 0;
    fs::path dir = fs::temp_directory_path() / ("orbasm_e2e_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return {dir.string()};
}

void remove_workdir(const t_workdir& dir) {
    std::error_code ignored;
    fs::permissions(dir.path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir.path, ignored);
}

static std::string in_dir(const t_workdir& dir, const std::string& name) {
    return !name.empty() && name[0] == '/' ? name : dir.path + "/" + name;
}

void write_file(const t_workdir& dir, const std::string& name, const std::string& bytes) {
    std::ofstream out(in_dir(dir, name), std::ios::binary);
    out << bytes;
}

std::string join_lines(const std::vector<std::string>& lines, const std::string& line_end) {
    std::string text;
    for (const std::string& line : lines)
        text += line + line_end;
    return text;
}

static std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

t_program_run run_program(const t_workdir& dir, const std::vector<std::string>& argv, const std::string& stdin_text) {
    const std::string in_path = dir.path + "/.stdin";
    const std::string out_path = dir.path + "/.stdout";
    const std::string err_path = dir.path + "/.stderr";
    write_file(dir, in_path, stdin_text);
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.path.c_str()) != 0)
            ::_exit(126);
        ::dup2(::open(in_path.c_str(), O_RDONLY), 0);
        ::dup2(::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        std::vector<std::string> words = argv;
        std::vector<char*> pointers;
        for (std::string& word : words)
            pointers.push_back(word.data());
        pointers.push_back(nullptr);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_all(out_path), read_all(err_path)};
}

// The run's outcome with the image named image_name (default: first argument + ".orb") read back.
static t_run with_image(const t_workdir& dir, const t_program_run& program, const std::vector<std::string>& args,
                        std::string image_name) {
    t_run run{};
    run.exit_code = program.exit_code;
    run.stdout_text = program.out;
    if (image_name.empty())
        image_name = (args.empty() ? std::string() : args[0]) + ".orb";
    const std::string image_path = in_dir(dir, image_name);
    run.has_image = fs::is_regular_file(image_path);
    if (run.has_image) {
        std::string bytes = read_all(image_path);
        run.image.assign(bytes.begin(), bytes.end());
    }
    return run;
}

t_run run_orbasm(const t_workdir& dir, const std::vector<std::string>& args, const std::string& stdin_text,
                 std::string image_name) {
    std::vector<std::string> argv = {ORBASM_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return with_image(dir, run_program(dir, argv, stdin_text), args, std::move(image_name));
}

std::string report(const std::string& message, const std::string& file, int line, const std::string& fault) {
    return "\nError : " + message + "\nFile  : " + file + "\nLine  : " + std::to_string(line) + "\nFault : " + fault +
           "\n";
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char piece[4];
    for (uint8_t b : bytes) {
        std::snprintf(piece, sizeof piece, "%02X", b);
        if (!text.empty())
            text += ' ';
        text += piece;
    }
    return text;
}

t_run run_orbasm_in_shell(const t_workdir& dir, const std::string& setup, const std::vector<std::string>& args,
                          const std::string& stdin_text, std::string image_name) {
    // The shell applies the setup to itself and then becomes orbasm: "$0" is the binary and
    // "$@" its arguments, so no argument is ever re-parsed by the shell.
    std::string script = setup;
    script += "\nexec \"$0\" \"$@\"";
    std::vector<std::string> argv = {"/bin/sh", "-c", script, ORBASM_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return with_image(dir, run_program(dir, argv, stdin_text), args, std::move(image_name));
}

std::string read_text(const t_workdir& dir, const std::string& name) {
    std::ifstream in(dir.path + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string contents(const t_workdir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        if (entry.path().filename().string().rfind(".std", 0) != 0)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) {
        const std::string path = dir.path + "/" + name;
        if (std::filesystem::is_symlink(path))
            text.append(name).append(" -> ").append(std::filesystem::read_symlink(path).string());
        else
            text.append(name).append("=").append(std::filesystem::is_directory(path) ? "[folder]" : read_text(dir, name));
        text += "\n";
    }
    return text;
}
