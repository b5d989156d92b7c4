#include "support/harness.h"

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

t_run run_orbasm(const t_workdir& dir, const std::vector<std::string>& args, const std::string& stdin_text,
                 std::string image_name) {
    const std::string in_path = dir.path + "/.stdin";
    const std::string out_path = dir.path + "/.stdout";
    write_file(dir, in_path, stdin_text);
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.path.c_str()) != 0)
            ::_exit(126);
        int in = ::open(in_path.c_str(), O_RDONLY);
        int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        std::vector<char*> argv;
        std::string binary = ORBASM_BINARY;
        argv.push_back(binary.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    t_run run{};
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.stdout_text = read_all(out_path);
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
    const std::string in_path = dir.path + "/.stdin";
    const std::string out_path = dir.path + "/.stdout";
    write_file(dir, in_path, stdin_text);
    // The shell applies the setup to itself and then becomes orbasm: "$0" is the binary and
    // "$@" its arguments, so no argument is ever re-parsed by the shell.
    std::vector<std::string> words = {"/bin/sh", "-c", setup + "\nexec \"$0\" \"$@\"", ORBASM_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.path.c_str()) != 0)
            ::_exit(126);
        int in = ::open(in_path.c_str(), O_RDONLY);
        int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    t_run run{};
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.stdout_text = read_all(out_path);
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
