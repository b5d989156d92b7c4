#include "support/in_process.h"

#include "driver/driver.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

t_assembly assemble_file(const std::string& path) {
    fs::remove(path + ".orb");
    return assemble_file_over(path);
}

t_assembly assemble_file_over(const std::string& path) {
    const fs::path image = path + ".orb";
    t_assembly result{};
    std::string captured;
    console_capture = &captured;
    result.ok = run_assembly(path);
    console_flush();
    console_capture = nullptr;
    result.output = captured;
    result.has_image = fs::exists(image);
    if (result.has_image) {
        std::ifstream in(image, std::ios::binary);
        result.image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return result;
}

t_assembly assemble_text(const std::string& source) {
    static int counter = 0;
    fs::path dir = fs::temp_directory_path() / ("orbasm_unit_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(dir);
    fs::path file = dir / "t.asm";
    {
        std::ofstream out(file, std::ios::binary);
        out << source;
    }
    t_assembly result = assemble_file(file.string());
    fs::remove_all(dir);
    return result;
}

t_assembly assemble_lines(const std::vector<std::string>& lines) {
    std::string source;
    for (const std::string& line : lines)
        source += line + "\r\n";
    return assemble_text(source);
}

std::string hex_bytes(const std::vector<uint8_t>& bytes) {
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

std::string error_message(const t_assembly& result) {
    std::size_t at = result.output.find("\nError : ");
    if (result.ok || at == std::string::npos)
        return "";
    std::size_t start = at + 9;
    return result.output.substr(start, result.output.find('\n', start) - start);
}
