// The image writer over an older file of the same name: whatever that file held, the image reads
// back exactly as one written where no file was.
#include "image/image.h"
#include "support/in_process.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {
// Assembles lines over an older image of stale_bytes bytes of 0xFF.
t_assembly assemble_over(const std::vector<std::string>& lines, std::size_t stale_bytes) {
    const fs::path dir = fs::temp_directory_path() / ("orbasm_writer_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path source = dir / "t.asm";
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    std::ofstream(source, std::ios::binary) << text;
    std::ofstream(dir / "t.asm.orb", std::ios::binary) << std::string(stale_bytes, '\xFF');
    t_assembly result = assemble_file_over(source.string());
    fs::remove_all(dir);
    return result;
}
} // namespace

// Zero runs long enough to be left as holes, short ones, gaps of every kind, an image ending in a
// hole, an older file shorter and longer than the image; in one walk and in two halves at once;
// with holes punched and with the zeros written, as where a file system cannot punch them.
TEST(Writer, OverAnOlderFile) {
    const std::vector<std::vector<std::string>> programs = {
        {"db 1", "#zero 100000", "db 2"},
        {"db 1", "#zero 100000"},
        {"dd 1", "#org 70000h", "db 2", "#align 65536", "dw 3", "#zero 10", "db 4"},
        {"db 5", "#data 200000", "db 6", "#zero 65535", "db 7"},
        {"jmp @far", "#zero 90000", "@far:", "dd @far"},
        {"db 8"},
    };
    const bool saved_punch = punch_stale_holes;
    const std::size_t saved_split = parallel_check_min_items;
    for (const auto& program : programs) {
        const t_assembly fresh = assemble_lines(program);
        ASSERT_TRUE(fresh.ok) << fresh.output;
        for (const bool punch : {true, false}) {
            for (const std::size_t split : {SIZE_MAX, std::size_t(0)}) {
                for (const std::size_t stale : {fresh.image.size() / 2, fresh.image.size() + 300000}) {
                    punch_stale_holes = punch;
                    parallel_check_min_items = split;
                    const t_assembly over = assemble_over(program, stale);
                    EXPECT_TRUE(over.ok) << over.output;
                    EXPECT_EQ(over.image.size(), fresh.image.size()) << program.back() << " " << punch << " " << stale;
                    EXPECT_TRUE(over.image == fresh.image) << program.back() << " " << punch << " " << split << " " << stale;
                }
            }
        }
    }
    punch_stale_holes = saved_punch;
    parallel_check_min_items = saved_split;
}
