#include "tools/tool_run.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

t_tool_run run_tool(const std::string& binary, const t_workdir& dir, const std::vector<std::string>& args,
                    const std::string& stdin_text) {
    std::vector<std::string> argv = {binary};
    argv.insert(argv.end(), args.begin(), args.end());
    t_program_run program = run_program(dir, argv, stdin_text);
    t_tool_run run{};
    run.exit_code = program.exit_code;
    run.out = program.out;
    run.err = program.err;
    return run;
}

t_tool_run run_tool_piped(const std::string& binary, const t_workdir& dir, const std::vector<std::string>& args,
                          const std::string& stdin_text, bool close_stdin, int timeout_seconds) {
    const std::string out_path = dir.path + "/.stdout";
    const std::string err_path = dir.path + "/.stderr";
    t_tool_run run{};
    run.exit_code = -1;
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0)
        return run;
    // The text fits the pipe's buffer, so it is written before the program starts.
    const bool written = ::write(input[1], stdin_text.data(), stdin_text.size()) ==
                         static_cast<ssize_t>(stdin_text.size());
    if (close_stdin)
        ::close(input[1]);
    pid_t child = written ? ::fork() : -1;
    if (child == 0) {
        if (::chdir(dir.path.c_str()) != 0)
            ::_exit(126);
        ::dup2(input[0], 0);
        ::dup2(::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        std::vector<std::string> words = {binary};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& word : words)
            pointers.push_back(word.data());
        pointers.push_back(nullptr);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    ::close(input[0]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    int status = 0;
    for (pid_t ended = 0; child > 0 && ended == 0;) {
        ended = ::waitpid(child, &status, WNOHANG);
        if (ended == 0 && std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            run.timed_out = true;
            break;
        }
        if (ended == 0)
            ::poll(nullptr, 0, 10);
    }
    if (!close_stdin)
        ::close(input[1]);
    if (child > 0 && !run.timed_out)
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = read_text(out_path);
    run.err = read_text(err_path);
    return run;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::string text = read_text(path);
    return {text.begin(), text.end()};
}

std::vector<std::string> example_sources() {
    std::vector<std::string> names;
    for (const char* folder : {"/examples", "/tests/tools/sources"}) {
        fs::path dir = fs::path(ORBASM_SOURCE_DIR + std::string(folder));
        if (!fs::exists(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".asm")
                names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
