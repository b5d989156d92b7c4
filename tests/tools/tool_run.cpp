#include "tools/tool_run.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

t_tool_run run_tool(const std::string& binary, const t_workdir& dir, const std::vector<std::string>& args,
                    const std::string& stdin_text) {
    const std::string in_path = dir.path + "/.tool_stdin";
    const std::string out_path = dir.path + "/.tool_stdout";
    const std::string err_path = dir.path + "/.tool_stderr";
    write_file(dir, in_path, stdin_text);
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.path.c_str()) != 0)
            ::_exit(126);
        int in = ::open(in_path.c_str(), O_RDONLY);
        int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<std::string> copies = args;
        std::vector<char*> argv;
        std::string program = binary;
        argv.push_back(program.data());
        for (std::string& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    t_tool_run run{};
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
