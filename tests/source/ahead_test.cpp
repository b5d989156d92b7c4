// Reading ahead on a second thread gives the same echo, report and image as reading alone: every
// program here is assembled both ways and the results compared byte for byte, with failures placed
// at batch boundaries, inside includes and in the reader itself.
#include "driver/driver.h"
#include "source/source.h"
#include "support/in_process.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
void write(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

t_assembly assemble(const fs::path& file, bool ahead) {
    const std::size_t saved = read_ahead_min_bytes;
    read_ahead_min_bytes = ahead ? 0 : SIZE_MAX;
    t_assembly result = assemble_file(file.string());
    read_ahead_min_bytes = saved;
    return result;
}

struct t_temp_dir {
    fs::path path = fs::temp_directory_path() / ("orbasm_ahead_" + std::to_string(::getpid()));
    t_temp_dir() { fs::create_directories(path); }
    ~t_temp_dir() { fs::remove_all(path); }
};

// A program long enough to fill several batches: labels, jumps both ways, data, constants.
std::vector<std::string> long_program(int lines) {
    std::vector<std::string> program;
    for (int i = 0; static_cast<int>(program.size()) < lines; ++i) {
        switch (i % 8) {
        case 0: program.push_back("@L" + std::to_string(i) + ":"); break;
        case 1: program.push_back("  ld ax, [bx + " + std::to_string(i % 50) + "]  ; load"); break;
        case 2: program.push_back("\tjmp nz, @L" + std::to_string(i < 80 ? 0 : i - 74)); break;
        case 3: program.push_back("db 'text " + std::to_string(i) + "', 1, 2"); break;
        case 4: program.push_back("#const C" + std::to_string(i) + " = " + std::to_string(i * 3)); break;
        case 5: program.push_back("add cx, C" + std::to_string(i - 1)); break;
        case 6: program.push_back("jr c, @L" + std::to_string(i + 2 < lines - 8 ? i + 2 : 0)); break;
        default: program.push_back("dd @L" + std::to_string(i - 7) + " - @L0"); break;
        }
    }
    return program;
}

std::string join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}
} // namespace

TEST(ReadAhead, SameOutputAsReadingAlone) {
    t_temp_dir dir;
    const std::string ok_include = (dir.path / "ok.inc").string();
    const std::string bad_include = (dir.path / "bad.inc").string();
    const std::string deep_include = (dir.path / "deep1.inc").string();
    write(ok_include, "db 7\r\n@inc:\r\nld ax, @inc\r\n");
    write(bad_include, "db 8\r\n\r\n  bogus line\r\n");
    for (int level = 1; level <= 16; ++level)
        write(dir.path / ("deep" + std::to_string(level) + ".inc"),
              "db " + std::to_string(level) + "\r\n#include \"" + (dir.path / ("deep" + std::to_string(level + 1) + ".inc")).string() + "\"\r\n");

    std::string long_data = "1";
    for (int i = 0; i < 300000; ++i)
        long_data += ",1";
    const std::vector<std::string> faults = {
        "",                                          // no fault
        "bogus",                                     // an encoding error
        "db 'unclosed",                              // the reader's own error
        "#include \"" + ok_include + "\"",           // a good include
        "#include \"" + bad_include + "\"",          // an error inside an include
        "#include \"" + (dir.path / "missing.inc").string() + "\"", // an include that cannot be read
        "#include nothing",                          // a bad include line
        "#include \"" + deep_include + "\"",         // too many nested includes
        "jmp @nowhere",                              // an undefined name, found at the end
        "@L0:",                                      // a label defined twice
        "db " + long_data,                           // a line longer than a read chunk and a batch
        "db " + long_data + ",bogus",                // the same, failing at its end
    };
    const std::vector<std::string> base = long_program(20000);
    for (const std::string& fault : faults) {
        for (std::size_t at : {std::size_t(0), std::size_t(8191), std::size_t(8192), std::size_t(8193), std::size_t(19999)}) {
            std::vector<std::string> program = base;
            if (!fault.empty())
                program.insert(program.begin() + static_cast<std::ptrdiff_t>(at), fault);
            const fs::path file = dir.path / "t.asm";
            write(file, join(program));
            const t_assembly alone = assemble(file, false);
            const t_assembly ahead = assemble(file, true);
            EXPECT_EQ(ahead.ok, alone.ok) << fault << " at " << at;
            EXPECT_EQ(ahead.output, alone.output) << fault << " at " << at;
            EXPECT_EQ(ahead.has_image, alone.has_image) << fault << " at " << at;
            EXPECT_EQ(ahead.image, alone.image) << fault << " at " << at;
            const bool fine = fault.empty() || fault.find("ok.inc") != std::string::npos || fault == "db " + long_data;
            EXPECT_EQ(alone.ok, fine) << fault.substr(0, 80);
            if (fault.empty())
                break;
        }
    }
}

// Small programs and the end-of-file cases read the same ahead as alone.
TEST(ReadAhead, ShortSourcesAndLineEnds) {
    t_temp_dir dir;
    const std::string sources[] = {
        "",
        "db 1",
        "db 1\r\ndb 2\x1a" "db 3\r\n",
        "db 1\rdb 2\ndb 3\r\n\r\n",
        "@a: dd @a\r\n#header\r\n@runpoint:\r\n@start:\r\n@stack:\r\n@endofstack:\r\n",
        "ld ax, 70000\r\njr z, @far\r\n#zero 40000\r\n@far:\r\n",
        "db 'a\r\n",
    };
    for (const std::string& source : sources) {
        const fs::path file = dir.path / "s.asm";
        write(file, source);
        const t_assembly alone = assemble(file, false);
        const t_assembly ahead = assemble(file, true);
        EXPECT_EQ(ahead.ok, alone.ok) << source;
        EXPECT_EQ(ahead.output, alone.output) << source;
        EXPECT_EQ(ahead.image, alone.image) << source;
    }
}
