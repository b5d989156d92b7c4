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
    std::vector<std::string> argv = {binary};
    argv.insert(argv.end(), args.begin(), args.end());
    t_program_run program = run_program(dir, argv, stdin_text);
    t_tool_run run{};
    run.exit_code = program.exit_code;
    run.out = program.out;
    run.err = program.err;
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
