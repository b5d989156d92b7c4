// The image writer replaces an older image at once: until the new one is complete, the image's name
// holds the older one, and a file linked to the older one keeps its bytes.
#include "driver/driver.h"
#include "image/image.h"
#include "support/in_process.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
struct t_folder {
    fs::path path = fs::temp_directory_path() / ("orbasm_writer_" + std::to_string(::getpid()));
    t_folder() { fs::create_directories(path); }
    ~t_folder() { fs::remove_all(path); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path / name, std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Every name in the folder, sorted: a stray temporary file shows here.
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& entry : fs::directory_iterator(path))
            all.push_back(entry.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    }
};
} // namespace

TEST(Writer, HardLinkToTheOlderImageKeepsItsBytes) {
    t_folder folder;
    folder.write("t.asm", "db 1,2\r\n#zero 100000\r\ndb 3\r\n");
    folder.write("t.asm.orb", "older image");
    fs::create_hard_link(folder.path / "t.asm.orb", folder.path / "kept.orb");
    const t_assembly run = assemble_file_over((folder.path / "t.asm").string());
    ASSERT_TRUE(run.ok) << run.output;
    EXPECT_EQ(run.image.size(), 100003u);
    EXPECT_EQ(hex_bytes({run.image.begin(), run.image.begin() + 3}), "01 02 00");
    EXPECT_EQ(run.image.back(), 3);
    EXPECT_EQ(folder.read("kept.orb"), "older image");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"kept.orb", "t.asm", "t.asm.orb"}));
}

// A run that stops anywhere before the image is complete leaves the older image and no other file.
TEST(Writer, FailedRunKeepsTheOlderImage) {
    const std::vector<std::string> sources = {"db 1\r\nbogus\r\n", "jmp @nowhere\r\n", "#org 10\r\ndd 1,2,3\r\n#org 4\r\n"};
    for (const std::string& source : sources) {
        t_folder folder;
        folder.write("t.asm", source);
        folder.write("t.asm.orb", "older image");
        const t_assembly run = assemble_file_over((folder.path / "t.asm").string());
        EXPECT_FALSE(run.ok) << source;
        EXPECT_EQ(folder.read("t.asm.orb"), "older image") << source;
        EXPECT_EQ(folder.names(), (std::vector<std::string>{"t.asm", "t.asm.orb"})) << source;
    }
}

// An image name that is a link to the source replaces the link, not the source.
TEST(Writer, LinkAtTheImageNameIsReplaced) {
    t_folder folder;
    folder.write("t.asm", "db 7\r\n");
    fs::create_symlink("t.asm", folder.path / "t.asm.orb");
    const t_assembly run = assemble_file_over((folder.path / "t.asm").string());
    ASSERT_TRUE(run.ok) << run.output;
    EXPECT_EQ(folder.read("t.asm"), "db 7\r\n");
    EXPECT_FALSE(fs::is_symlink(folder.path / "t.asm.orb"));
    EXPECT_EQ(folder.read("t.asm.orb"), "\x07");
}

// A device is written, not replaced.
TEST(Writer, DeviceAsTheImage) {
    t_folder folder;
    folder.write("t.asm", "db 1\r\n#zero 100000\r\ndb 2\r\n");
    image_name = "/dev/null";
    const t_assembly run = assemble_file_over((folder.path / "t.asm").string());
    image_name.clear();
    EXPECT_TRUE(run.ok) << run.output;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"t.asm"});
}
