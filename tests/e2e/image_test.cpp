// Directives, labels, the header, the layout and the image file, seen from outside.
#include "support/harness.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <tuple>
#include <gtest/gtest.h>

namespace {

// Little-endian bytes of a 32-bit value, as hex.
std::string word32(uint32_t v) {
    return hex({uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

t_run assemble(t_dir_guard& g, const std::vector<std::string>& lines) {
    write_file(g.dir, "t.asm", join_lines(lines));
    return run_orbasm(g.dir, {"t.asm"});
}
} // namespace

TEST(Image, HeaderWords) {
    t_dir_guard g;
    t_run run = assemble(g, {"#header", "@runpoint:", "db 1,2", "@start:", "dw 3", "#align 8", "@stack:", "#data 100h",
                             "@endofstack:", "#zero 4", "#data 10"});
    ASSERT_EQ(run.exit_code, 0) << run.stdout_text;
    // header 0..31, db at 32, @start 34, dw at 34, align to 40, stack 40..296, zero to 300, data to 310.
    const std::string expected = "4F 52 42 58 " + word32(300) + " " + word32(310) + " " + word32(32) + " " + word32(34) +
                                 " " + word32(40) + " " + word32(256) + " " + word32(310) + " 01 02 03 00 " +
                                 hex(std::vector<uint8_t>(4 + 256 + 4, 0));
    EXPECT_EQ(hex(run.image), expected);
    EXPECT_EQ(run.image.size(), 300u);
}

TEST(Image, HeaderFailures) {
    t_dir_guard g;
    t_run missing = assemble(g, {"#header", "@runpoint:", "@start:", "@stack:"});
    EXPECT_EQ(missing.stdout_text, "#header\n@runpoint :\n@start :\n@stack :\n" +
                                       report("Constant or label not defined - @endofstack", "t.asm", 5, "[end of program]"));
    t_run endofmem = assemble(g, {"#header", "@runpoint:", "@start:", "@stack:", "@endofstack:", "@endofmem:"});
    EXPECT_EQ(endofmem.stdout_text.substr(endofmem.stdout_text.find("\nError")),
              report("Constant or label redeclared", "t.asm", 7, "@endofmem:"));
    EXPECT_FALSE(endofmem.has_image);
}

TEST(Image, EndOfImageLabel) {
    t_dir_guard g;
    t_run used = assemble(g, {"dd @endofexe", "db 1", "#data 10"});
    EXPECT_EQ(hex(used.image), "05 00 00 00 01");
    t_run defined = assemble(g, {"@endofexe:", "db 1"});
    EXPECT_EQ(defined.stdout_text, "@endofexe :\ndb 1\n" + report("Constant or label redeclared", "t.asm", 3, "[end of program]"));
    EXPECT_EQ(defined.exit_code, 1);
    t_run plain = assemble(g, {"@endofmem:", "dd @endofmem", "#data 4"});
    EXPECT_EQ(hex(plain.image), "00 00 00 00") << "without #header, @endofmem is an ordinary label";
}

TEST(Image, DirectiveBytes) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"#org 4", "db 1"}, "00 00 00 00 01"},
        {{"db 1", "#org 1", "db 2"}, "01 02"},
        {{"db 1,2,3,4,5", "#align 4", "db 9"}, "01 02 03 04 05 00 00 00 09"},
        {{"db 1,2,3,4,5,6,7,8", "#align 4", "db 9"}, "01 02 03 04 05 06 07 08 09"},
        {{"db 1,2,3", "#align 1", "db 9"}, "01 02 03 09"},
        {{"db 1", "#data 3", "db 2"}, "01 00 00 00 02"},
        {{"db 1", "#data 3"}, "01"},
        {{"db 1", "#zero 3"}, "01 00 00 00"},
        {{"db 1", "#align 16"}, "01"},
        {{"db 1", "#org 10"}, "01"},
        {{"#data 10", "@x:"}, ""},
        {{"#const a = 2", "#const b = a+3", "db a,b", "#org b"}, "02 05"},
        {{"#const  size = 10", "db size"}, "0A"},
        {{"#const x=1", "db x"}, "01"},
        {{"#const x =-1", "dw x"}, "FF FF"},
        {{"#org", "#data", "#zero", "db 1"}, "01"},
        {{"#org 100h"}, ""},
        {{"@a:", "#align 4", "@b:", "db 1", "dd @a,@b"}, "01 00 00 00 00 00 00 00 00"},
        {{"db 1", "@a:", "#align 4", "@b:", "dd @a,@b"}, "01 00 00 00 01 00 00 00 04 00 00 00"},
        {{"@x: db 5", "dd @x"}, "00 00 00 00"},
        {{"@l :", "dd @l"}, "00 00 00 00"},
        {{"#orgx 5"}, ""},
    };
    for (const auto& [lines, bytes] : cases) {
        t_dir_guard g;
        t_run run = assemble(g, lines);
        if (lines[0] == "#orgx 5") {
            EXPECT_EQ(run.stdout_text, "#orgx 5\n" + report("Syntax Error", "t.asm", 1, "#orgx 5"));
            continue;
        }
        EXPECT_EQ(run.exit_code, 0) << lines[0] << "\n" << run.stdout_text;
        EXPECT_EQ(hex(run.image), bytes) << lines[0];
    }
}

TEST(Image, ZeroFillOfThreeThousand) {
    t_dir_guard g;
    t_run run = assemble(g, {"#zero 3000", "db 1"});
    ASSERT_EQ(run.image.size(), 3001u);
    EXPECT_EQ(std::count(run.image.begin(), run.image.end(), 0), 3000);
    EXPECT_EQ(run.image.back(), 1);
}

// Long runs of zeros are left as holes in the file: they must still read as zeros, the image must
// keep its full length when it ends in one, and the bytes of an older, longer image must not show
// through. The long program is written in two halves at once, each with holes of its own.
TEST(Image, LongZeroRunsReadAsZeros) {
    std::string long_program;
    std::vector<uint8_t> long_image;
    for (int block = 0; block < 4; ++block) {
        for (int i = 0; i < 60000; ++i) {
            long_program += "db " + std::to_string(block + 1) + "\r\n";
            long_image.push_back(static_cast<uint8_t>(block + 1));
        }
        long_program += "#zero 70000\r\n";
        long_image.resize(long_image.size() + 70000);
    }
    auto zeros = [](std::size_t n) { return std::vector<uint8_t>(n); };
    auto with = [](std::vector<uint8_t> bytes, std::size_t at, uint8_t value) {
        bytes[at] = value;
        return bytes;
    };
    const std::pair<std::string, std::vector<uint8_t>> cases[] = {
        {join_lines({"db 1", "#zero 100000", "db 2"}), with(with(zeros(100002), 0, 1), 100001, 2)},
        {join_lines({"db 1", "#zero 100000"}), with(zeros(100001), 0, 1)},
        {join_lines({"db 1", "#org 200000", "db 2"}), with(with(zeros(200001), 0, 1), 200000, 2)},
        {join_lines({"db 1", "#align 131072", "db 3"}), with(with(zeros(131073), 0, 1), 131072, 3)},
        {join_lines({"db 1", "#data 100000", "db 4"}), with(with(zeros(100002), 0, 1), 100001, 4)},
        {join_lines({"#zero 65535", "#zero 65536"}), zeros(131071)},
        {long_program, long_image},
    };
    for (const auto& [source, image] : cases) {
        t_dir_guard g;
        write_file(g.dir, "t.asm", source);
        write_file(g.dir, "t.asm.orb", std::string(image.size() + 100000, '\xFF'));
        t_run run = run_orbasm(g.dir, {"t.asm"});
        ASSERT_EQ(run.exit_code, 0) << run.stdout_text;
        ASSERT_EQ(run.image.size(), image.size()) << source.substr(0, 40);
        EXPECT_TRUE(run.image == image) << source.substr(0, 40);
    }
}

// An image name linked to a device, which has no length to cut: the run still succeeds.
TEST(Image, ImageIntoADevice) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", join_lines({"db 1", "#zero 100000", "db 2"}));
    std::filesystem::create_symlink("/dev/null", g.dir.path + "/t.asm.orb");
    t_run run = run_orbasm(g.dir, {"t.asm"});
    EXPECT_EQ(run.exit_code, 0) << run.stdout_text;
    EXPECT_EQ(run.stdout_text, "db 1\n#zero 100000\ndb 2\n");
}

TEST(Image, DirectiveFailures) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"#const x", "Error in constant definition", "#const x"},
        {"#const", "Error in constant definition", "#const"},
        {"#const x =", "Error in constant definition", "#const x ="},
        {"#const x y =1", "Error in constant definition", "#const x y =1"},
        {"#const x ,1", "Error in constant definition", "#const x ,1"},
        {"#const x =y", "Constant not defined", "#const x =y"},
        {"#org @x", "Immediate value expected", "#org @x"},
        {"#data later", "Constant not defined", "#data later"},
        {"@", "Invalid label", "@"},
        {"#align 0", "Alignment must be at least 1", "#align 0"},
        {"#align -4", "Alignment must be at least 1", "#align -4"},
        {"#data -1", "Size must not be negative", "#data -1"},
        {"#zero -1", "Size must not be negative", "#zero -1"},
    };
    for (const auto& [line, message, fault] : cases) {
        t_dir_guard g;
        t_run run = assemble(g, {"db 1", line});
        EXPECT_EQ(run.stdout_text, "db 1\n" + fault + "\n" + report(message, "t.asm", 2, fault)) << line;
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_FALSE(run.has_image);
    }
}

TEST(Image, RedeclarationsShareOneNameSpace) {
    const std::vector<std::vector<std::string>> cases = {
        {"@a:", "@a:"},
        {"#const @a = 1", "@a:"},
        {"#const n = 1", "#const n = 2"},
    };
    for (const auto& lines : cases) {
        t_dir_guard g;
        t_run run = assemble(g, lines);
        EXPECT_NE(run.stdout_text.find(report("Constant or label redeclared", "t.asm", 2, run.stdout_text.substr(
                                                  run.stdout_text.find('\n') + 1,
                                                  run.stdout_text.find('\n', run.stdout_text.find('\n') + 1) -
                                                      run.stdout_text.find('\n') - 1))),
                  std::string::npos)
            << run.stdout_text;
        EXPECT_EQ(run.exit_code, 1);
    }
    t_dir_guard g;
    t_run cased = assemble(g, {"#const Size = 1", "#const size = 2", "db Size,size"});
    EXPECT_EQ(hex(cased.image), "01 02");
}

TEST(Image, LayoutFailuresAfterTheLastLine) {
    t_dir_guard g;
    t_run org = assemble(g, {"db 1,2,3", "#org 2"});
    EXPECT_EQ(org.stdout_text, "db 1 ,2 ,3\n#org 2\n" + report("Could not satisfy #org statement", "t.asm", 3, "[end of program]"));
    EXPECT_EQ(org.exit_code, 1);
    EXPECT_FALSE(org.has_image);

    t_run large = assemble(g, {"#zero 7fffffffh", "db 1"});
    EXPECT_EQ(large.stdout_text, "#zero 7fffffffh\ndb 1\n" + report("Image too large", "t.asm", 3, "[end of program]"));
    EXPECT_FALSE(large.has_image);
    t_run aligned = assemble(g, {"#data 7ffffff0h", "#align 100h"});
    EXPECT_EQ(aligned.stdout_text.substr(aligned.stdout_text.find("\nError")),
              report("Image too large", "t.asm", 3, "[end of program]"));
    t_run reserved = assemble(g, {"#data 7fffffffh", "@x:", "#data 1"});
    EXPECT_EQ(reserved.exit_code, 1);
    t_run edge = assemble(g, {"#data 7fffffffh", "@x:", "#data 0"});
    EXPECT_EQ(edge.exit_code, 0) << edge.stdout_text;
    EXPECT_TRUE(edge.image.empty());
}

TEST(Image, OutputThatCannotBeCreated) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", "db 1\r\n");
    std::filesystem::create_directory(g.dir.path + "/t.asm.orb");
    t_run run = run_orbasm(g.dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text, "db 1\n" + report("Could not write output file", "t.asm", 2, "[end of program]"));
    EXPECT_EQ(run.exit_code, 1);
}

TEST(Image, NameKeepsItsExtension) {
    t_dir_guard g;
    std::filesystem::create_directory(g.dir.path + "/sub");
    write_file(g.dir, "sub/prog.src", "db 42\r\n");
    t_run run = run_orbasm(g.dir, {"sub/prog.src"}, "", "sub/prog.src.orb");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(hex(run.image), "2A");
}

TEST(Image, FarJumpsRelaxAcrossTheSixteenBitBoundary) {
    // Forward: the operand is the target minus the address of the jump word.
    const std::tuple<std::vector<std::string>, std::string, std::size_t> cases[] = {
        {{"jr @x", "#zero 32763", "@x:", "db 1"}, "00 B9 FF 7F", 4 + 32763 + 1},
        {{"jr @x", "#zero 32764", "@x:", "db 1"}, "00 F9 02 80 00 00", 6 + 32764 + 1},
        {{"@x:", "#zero 32768", "jr @x"}, "00 B9 00 80", 32768 + 4},
        {{"@x:", "#zero 32769", "jr @x"}, "00 F9 FF 7F FF FF", 32769 + 6},
        {{"jmp @x", "#zero 32763", "@x:"}, "00 B8 FF 7F", 4 + 32763},
        {{"jmp @x", "#zero 32764", "@x:"}, "00 F8 02 80 00 00", 6 + 32764},
        {{"ld ax,[bx+@x]", "#zero 32763", "@x:"}, "01 80 FF 7F", 4 + 32763},
        {{"ld ax,[bx+@x]", "#zero 32764", "@x:"}, "01 C0 02 80 00 00", 6 + 32764},
    };
    for (const auto& [lines, head, size] : cases) {
        t_dir_guard g;
        t_run run = assemble(g, lines);
        ASSERT_EQ(run.exit_code, 0) << run.stdout_text;
        ASSERT_EQ(run.image.size(), size) << lines[0] << " " << lines[1];
        const std::size_t head_bytes = (head.size() + 1) / 3;
        const bool backward = lines[0] == "@x:";
        std::vector<uint8_t> part(backward ? run.image.end() - static_cast<long>(head_bytes) : run.image.begin(),
                                  backward ? run.image.end() : run.image.begin() + static_cast<long>(head_bytes));
        EXPECT_EQ(hex(part), head) << lines[0] << " " << lines[1];
    }
}

TEST(Image, LabelsAfterAGrownJumpMove) {
    t_dir_guard g;
    t_run run = assemble(g, {"jmp @far", "@next:", "dd @next", "#zero 40000", "@far:"});
    ASSERT_EQ(run.exit_code, 0) << run.stdout_text;
    EXPECT_EQ(hex(std::vector<uint8_t>(run.image.begin(), run.image.begin() + 10)),
              "00 F8 " + word32(40010) + " " + word32(6));
}

TEST(Image, ClosedConsoleLosesTheEchoNotTheImage) {
    // The console is a pipe whose reader has gone: the echo fails, the image is still written.
    t_dir_guard g;
    std::string source;
    for (int i = 0; i < 20000; ++i)
        source += "db " + std::to_string(i % 256) + "\r\n";
    write_file(g.dir, "t.asm", source);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(g.dir.path.c_str()) != 0)
            ::_exit(126);
        ::dup2(fds[1], 1);
        int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::execl(ORBASM_BINARY, ORBASM_BINARY, "t.asm", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(std::filesystem::file_size(g.dir.path + "/t.asm.orb"), 20000u);
}
