// Hostile and broken input through the real binary: binary garbage, huge lines and programs, deep
// and circular includes, unreadable sources, images that cannot be written, images past the
// address range, and very many symbols and forward references. Every failure must end with the
// exact report, exit code 1 and no image (not even a partial one) left behind.
// Tests named Heavy* take a few seconds each in a release build.
#include "support/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct t_failure_case {
    const char* name;      // what the case is about
    std::string source;    // the exact bytes of t.asm
    std::string echo;      // the echo before the report
    std::string message;   // the report's message
    int line;              // the report's line number
    std::string fault;     // the report's fault text
};

struct t_success_case {
    const char* name;
    std::string source;
    std::string echo;
    std::vector<uint8_t> image;
};

std::string bytes_of(const char* text, std::size_t size) { return std::string(text, size); }

// True when path can be opened with flags although its permissions forbid it (running as root or
// with the capability to override file permissions).
bool permissions_ignored(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Nothing of the image may exist, not even a dangling link.
bool path_absent(const std::string& path) {
    std::error_code ignored;
    return !fs::exists(fs::symlink_status(path, ignored));
}

void expect_failure(const t_workdir& dir, const t_failure_case& c) {
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text, c.echo + report(c.message, "t.asm", c.line, c.fault)) << c.name;
    EXPECT_EQ(run.exit_code, 1) << c.name;
    EXPECT_FALSE(run.has_image) << c.name;
}

// A file of line_count lines, each one of the given lines in turn, ended by CR LF.
std::string repeated_lines(const std::vector<std::string>& lines, std::size_t line_count) {
    std::string text;
    std::size_t per_line = 0;
    for (const std::string& line : lines)
        per_line += line.size() + 2;
    text.reserve(per_line * line_count / lines.size() + per_line);
    for (std::size_t i = 0; i < line_count; ++i) {
        text += lines[i % lines.size()];
        text += "\r\n";
    }
    return text;
}

std::string padded(const char* prefix, unsigned number) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%06u", prefix, number);
    return text;
}

void append_le(std::vector<uint8_t>& bytes, uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

} // namespace

// Garbage, NUL bytes and bytes 128 to 255, in and out of strings, that end in a report.
TEST(Hostile, GarbageEndsInExactReport) {
    const std::vector<t_failure_case> cases = {
        {"PNG signature", bytes_of("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "PNG\n", "Syntax Error", 1, "PNG"},
        {"ELF header", bytes_of("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x3e\0", 20), "ELF \n", "Syntax Error",
         1, "ELF "},
        {"NUL bytes around a word", bytes_of("\0\0\0nop\0\0\r\n", 10), "nop \n", "Syntax Error", 1, "nop "},
        {"high bytes around a word", "\xc3\xa9t\xc3\xa9 = 1\r\n", "t =1\n", "Syntax Error", 1, "t =1"},
        {"high bytes only, then a word", "\x80\xff\xfe\r\n\xa0\xa0nop\r\n", "\nnop\n", "Syntax Error", 2, "nop"},
        {"NUL inside a string, garbage after it", bytes_of("db 'a\0b',\xffq\r\n", 12), bytes_of("db 'a\0b',q\n", 11),
         "Constant not defined", 1, bytes_of("db 'a\0b',q", 10)},
        {"high bytes in an unclosed string", "db 1\r\ndb '\x80\xff\r\n", "db 1\n", "String exceeds line", 2,
         "db '\x80\xff"},
        {"character 26 inside a string", "db 'a\x1a" "b'\r\n", "", "String exceeds line", 1, "db 'a"},
        {"NUL inside a label name", bytes_of("@a\0b:\r\n@a:\r\n", 12), "@a b :\n@a :\n", "Constant or label redeclared",
         2, "@a :"},
        {"garbage between mnemonic and operand", "jmp\x01\x02\x03\xfe[ax\r\n", "jmp [ax\n", "] expected", 1,
         "jmp [ax"},
    };
    for (const t_failure_case& c : cases) {
        t_workdir dir = make_workdir();
        write_file(dir, "t.asm", c.source);
        expect_failure(dir, c);
        remove_workdir(dir);
    }
}

// Garbage that normalises into a valid program assembles exactly as the clean program would.
TEST(Hostile, GarbageThatNormalisesIntoAProgram) {
    std::string all_string_bytes; // every byte that can stand inside a quoted string on one line
    for (int c = 0; c < 256; ++c)
        if (c != '\r' && c != '\n' && c != 26 && c != '\'')
            all_string_bytes += static_cast<char>(c);
    std::string every_byte;
    for (int c = 0; c < 256; ++c)
        every_byte += static_cast<char>(c);
    const std::vector<t_success_case> cases = {
        {"NUL and high bytes as separators", bytes_of("\xff\xfeld\0ax,\x80" "bx\x01\r\n", 14), "ld ax ,bx \n",
         {0x01, 0x00}},
        {"every byte inside a string", "db '" + all_string_bytes + "'\r\n", "db '" + all_string_bytes + "'\n",
         std::vector<uint8_t>(all_string_bytes.begin(), all_string_bytes.end())},
        // Codes 0 to 25 are blank space before a line; the character 26 then ends the file.
        {"bytes 0 to 255 in order", every_byte, "", {}},
        {"high byte between two numbers", "db 1\xff" "2\r\n", "db 1 2\n", {0x03}},
    };
    for (const t_success_case& c : cases) {
        t_workdir dir = make_workdir();
        write_file(dir, "t.asm", c.source);
        t_run run = run_orbasm(dir, {"t.asm"});
        EXPECT_EQ(run.stdout_text, c.echo) << c.name;
        EXPECT_EQ(run.exit_code, 0) << c.name;
        EXPECT_TRUE(run.has_image) << c.name;
        EXPECT_EQ(hex(run.image), hex(c.image)) << c.name;
        remove_workdir(dir);
    }
}

// Garbage on standard input (no argument): the report names the empty file name, and no ".orb".
TEST(Hostile, GarbageOnStandardInput) {
    t_workdir dir = make_workdir();
    t_run run = run_orbasm(dir, {}, bytes_of("\x89PNG\r\n\x1a\n\0\0", 10));
    EXPECT_EQ(run.stdout_text, "PNG\n" + report("Syntax Error", "", 1, "PNG"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}

// A single line of 50 MB: echoed whole, and shown whole as the fault.
TEST(Hostile, HeavyFiftyMegabyteWord) {
    t_workdir dir = make_workdir();
    const std::string word(50'000'000, 'x');
    write_file(dir, "t.asm", "db 1\r\n" + word + "\r\n");
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text.size(), 5 + word.size() + 1 + report("Syntax Error", "t.asm", 2, word).size());
    EXPECT_TRUE(run.stdout_text == "db 1\n" + word + "\n" + report("Syntax Error", "t.asm", 2, word));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}

// A single line of 50 MB that is almost all separators normalises to a short instruction.
TEST(Hostile, HeavyFiftyMegabytesOfSeparators) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", "ld" + std::string(25'000'000, '\t') + std::string(25'000'000, '\xff') + "ax,bx\r\n");
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text, "ld ax ,bx\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(hex(run.image), "01 00");
    remove_workdir(dir);
}

// A 50 MB line whose only error is an unclosed string, found at its very end.
TEST(Hostile, HeavyFiftyMegabyteUnclosedString) {
    t_workdir dir = make_workdir();
    const std::string line = "db '" + std::string(50'000'000, 'y');
    write_file(dir, "t.asm", line + "\r\n");
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_TRUE(run.stdout_text == report("String exceeds line", "t.asm", 1, line));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}

// Two million lines assemble; every line is echoed and every byte lands in the image.
TEST(Hostile, HeavyTwoMillionLines) {
    t_workdir dir = make_workdir();
    const std::size_t line_count = 2'000'000;
    write_file(dir, "t.asm", repeated_lines({"add ax,bx", "db 1,2,3"}, line_count));
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.exit_code, 0);
    const std::string echo_pair = "add ax ,bx\ndb 1 ,2 ,3\n";
    ASSERT_EQ(run.stdout_text.size(), echo_pair.size() * line_count / 2);
    bool echo_exact = true;
    for (std::size_t at = 0; at < run.stdout_text.size() && echo_exact; at += echo_pair.size())
        echo_exact = run.stdout_text.compare(at, echo_pair.size(), echo_pair) == 0;
    EXPECT_TRUE(echo_exact);
    ASSERT_EQ(run.image.size(), 5 * line_count / 2);
    const uint8_t pattern[5] = {0x01, 0x10, 0x01, 0x02, 0x03};
    bool image_exact = true;
    for (std::size_t at = 0; at < run.image.size() && image_exact; ++at)
        image_exact = run.image[at] == pattern[at % 5];
    EXPECT_TRUE(image_exact);
    remove_workdir(dir);
}

namespace {

// The file at level k of an include chain: t.asm for level 1, "i<k>.asm" below it.
std::string chain_file(int level) {
    return level == 1 ? std::string("t.asm") : std::string("i").append(std::to_string(level)).append(".asm");
}

// The include line that opens level k.
std::string chain_include(int level) { return std::string("#include \"").append(chain_file(level)).append("\""); }

// Files of an include chain: level k holds "db k", includes level k + 1 unless it is the last (or
// last_includes_more is set), and then holds "dw k".
void write_include_chain(const t_workdir& dir, int last_level, bool last_includes_more) {
    for (int level = 1; level <= last_level; ++level) {
        std::string text = std::string("db ").append(std::to_string(level)).append("\r\n");
        if (level < last_level || last_includes_more)
            text.append(chain_include(level + 1)).append("\r\n");
        text.append("dw ").append(std::to_string(level)).append("\r\n");
        write_file(dir, chain_file(level), text);
    }
}

} // namespace

TEST(Hostile, FifteenNestedIncludesAssemble) {
    t_workdir dir = make_workdir();
    write_include_chain(dir, 16, false);
    t_run run = run_orbasm(dir, {"t.asm"});
    std::string echo;
    std::vector<uint8_t> image;
    for (int level = 1; level <= 16; ++level) {
        echo += "db " + std::to_string(level) + "\n";
        if (level < 16)
            echo += chain_include(level + 1) + "\n";
        image.push_back(static_cast<uint8_t>(level));
    }
    for (int level = 16; level >= 1; --level) {
        echo += "dw " + std::to_string(level) + "\n";
        append_le(image, static_cast<uint32_t>(level), 2);
    }
    EXPECT_EQ(run.stdout_text, echo);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(hex(run.image), hex(image));
    remove_workdir(dir);
}

TEST(Hostile, SixteenthNestedIncludeFails) {
    t_workdir dir = make_workdir();
    write_include_chain(dir, 16, true);
    write_file(dir, "i17.asm", "db 17\r\n");
    t_run run = run_orbasm(dir, {"t.asm"});
    std::string echo;
    for (int level = 1; level <= 16; ++level)
        echo += "db " + std::to_string(level) + "\n" + chain_include(level + 1) + "\n";
    EXPECT_EQ(run.stdout_text, echo + report("Too many nested includes", "i16.asm", 2, "[no input]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}

TEST(Hostile, SelfIncludeStopsAtTheDepthLimit) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", "db 1\r\n#include \"t.asm\"\r\n");
    t_run run = run_orbasm(dir, {"t.asm"});
    std::string echo;
    for (int level = 1; level <= 16; ++level)
        echo += "db 1\n#include \"t.asm\"\n";
    EXPECT_EQ(run.stdout_text, echo + report("Too many nested includes", "t.asm", 2, "[no input]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}

TEST(Hostile, IncludeOfADirectory) {
    t_workdir dir = make_workdir();
    fs::create_directory(dir.path + "/sub.asm");
    write_file(dir, "t.asm", "db 1\r\n#include \"sub.asm\"\r\ndb 2\r\n");
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text, "db 1\n#include \"sub.asm\"\n" + report("Could not read file", "sub.asm", 1, "[no input]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}

TEST(Hostile, MainSourceIsADirectory) {
    t_workdir dir = make_workdir();
    fs::create_directory(dir.path + "/src.asm");
    t_run run = run_orbasm(dir, {"src.asm"});
    EXPECT_EQ(run.stdout_text, report("Could not read file", "src.asm", 1, "[no input]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}

TEST(Hostile, UnreadableSource) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", "db 1\r\n#include \"locked.asm\"\r\n");
    write_file(dir, "locked.asm", "db 2\r\n");
    ::chmod((dir.path + "/locked.asm").c_str(), 0);
    if (permissions_ignored(dir.path + "/locked.asm", O_RDONLY)) {
        remove_workdir(dir);
        GTEST_SKIP() << "permissions do not stop reading here (running as root)";
    }
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text,
              "db 1\n#include \"locked.asm\"\n" + report("Could not read file", "locked.asm", 1, "[no input]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    t_run main_run = run_orbasm(dir, {"locked.asm"});
    EXPECT_EQ(main_run.stdout_text, report("Could not read file", "locked.asm", 1, "[no input]"));
    EXPECT_EQ(main_run.exit_code, 1);
    EXPECT_FALSE(main_run.has_image);
    remove_workdir(dir);
}

// The image cannot be created: a directory stands where the image would go.
TEST(Hostile, DirectoryNamedLikeTheImage) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", "db 1\r\ndb 2\r\n");
    fs::create_directory(dir.path + "/t.asm.orb");
    t_run run = run_orbasm(dir, {"t.asm"}, "", "unused.orb");
    EXPECT_EQ(run.stdout_text, "db 1\ndb 2\n" + report("Could not write output file", "t.asm", 3, "[end of program]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(fs::is_directory(dir.path + "/t.asm.orb"));
    EXPECT_TRUE(fs::is_empty(dir.path + "/t.asm.orb"));
    remove_workdir(dir);
}

// An image name that is a link which never resolves (a loop, or into a missing directory) is
// replaced by the image, as a link to a file is: the run never writes through a link.
TEST(Hostile, ImageNameIsABrokenLink) {
    const std::vector<std::pair<const char*, std::string>> targets = {
        {"link to itself", "t.asm.orb"},
        {"link into a missing directory", "missing/dir/t.asm.orb"},
    };
    for (const auto& [name, target] : targets) {
        t_workdir dir = make_workdir();
        write_file(dir, "t.asm", "db 1\r\n");
        fs::create_symlink(target, dir.path + "/t.asm.orb");
        t_run run = run_orbasm(dir, {"t.asm"});
        EXPECT_EQ(run.stdout_text, "db 1\n") << name;
        EXPECT_EQ(run.exit_code, 0) << name;
        EXPECT_FALSE(fs::is_symlink(dir.path + "/t.asm.orb")) << name;
        EXPECT_EQ(hex(run.image), "01") << name;
        EXPECT_TRUE(path_absent(dir.path + "/missing")) << name;
        remove_workdir(dir);
    }
}

// A read-only image file is neither replaced nor removed.
TEST(Hostile, ReadOnlyImageFile) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", "db 1\r\n");
    write_file(dir, "t.asm.orb", "old");
    ::chmod((dir.path + "/t.asm.orb").c_str(), 0444);
    if (permissions_ignored(dir.path + "/t.asm.orb", O_WRONLY)) {
        remove_workdir(dir);
        GTEST_SKIP() << "permissions do not stop writing here (running as root); "
                        "DirectoryNamedLikeTheImage and ImageNameIsABrokenLink cover the failed creation";
    }
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text, "db 1\n" + report("Could not write output file", "t.asm", 2, "[end of program]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(hex(run.image), hex({'o', 'l', 'd'}));
    remove_workdir(dir);
}

// A directory that refuses new files.
TEST(Hostile, ReadOnlyDirectory) {
    t_workdir dir = make_workdir();
    fs::create_directory(dir.path + "/ro");
    write_file(dir, "ro/t.asm", "db 1\r\n");
    ::chmod((dir.path + "/ro").c_str(), 0555);
    if (permissions_ignored(dir.path + "/ro/probe", O_WRONLY | O_CREAT)) {
        ::unlink((dir.path + "/ro/probe").c_str());
        remove_workdir(dir);
        GTEST_SKIP() << "permissions do not stop creating files here (running as root); "
                        "DirectoryNamedLikeTheImage and ImageNameIsABrokenLink cover the failed creation";
    }
    t_run run = run_orbasm(dir, {"ro/t.asm"});
    EXPECT_EQ(run.stdout_text, "db 1\n" + report("Could not write output file", "ro/t.asm", 2, "[end of program]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}

// The writes fail on a full device: the run fails, and the link to the device stays as it was.
TEST(Hostile, FullDevice) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", "#zero 5000\r\ndb 1\r\n");
    fs::create_symlink("/dev/full", dir.path + "/t.asm.orb");
    t_run run = run_orbasm(dir, {"t.asm"}, "", "unused.orb");
    EXPECT_EQ(run.stdout_text,
              "#zero 5000\ndb 1\n" + report("Could not write output file", "t.asm", 3, "[end of program]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(fs::is_symlink(dir.path + "/t.asm.orb"));
    EXPECT_TRUE(fs::exists("/dev/full"));
    remove_workdir(dir);
}

// A file-size limit (ulimit -f 8: 4096 bytes in /bin/sh blocks of 512) fails the write of a larger
// image, which is removed; an image within the limit is written.
TEST(Hostile, FileSizeLimit) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", "#zero 100000\r\ndb 1\r\n");
    t_run run = run_orbasm_in_shell(dir, "ulimit -f 8", {"t.asm"});
    EXPECT_EQ(run.stdout_text,
              "#zero 100000\ndb 1\n" + report("Could not write output file", "t.asm", 3, "[end of program]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);

    write_file(dir, "small.asm", "#zero 4000\r\ndb 1\r\n");
    t_run small = run_orbasm_in_shell(dir, "ulimit -f 8", {"small.asm"});
    EXPECT_EQ(small.stdout_text, "#zero 4000\ndb 1\n");
    EXPECT_EQ(small.exit_code, 0);
    ASSERT_EQ(small.image.size(), 4001u);
    EXPECT_EQ(small.image[3999], 0);
    EXPECT_EQ(small.image[4000], 1);
    remove_workdir(dir);
}

// Memory runs out under an address-space limit (ulimit -v, in KiB): the report names the line
// being assembled when an allocation failed, which every line before it was echoed, and no image.
// Where exactly memory ends depends on the allocator, so the line number is read from the report
// and everything else is checked against it.
TEST(Hostile, OutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit leaves no room for the sanitizer's shadow memory";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "an address-space limit leaves no room for the sanitizer's shadow memory";
#endif
#endif
    t_workdir dir = make_workdir();
    const std::size_t line_count = 1'000'000;
    write_file(dir, "t.asm", repeated_lines({"add ax,bx"}, line_count));
    t_run run = run_orbasm_in_shell(dir, "ulimit -v 30000", {"t.asm"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    const std::string line_label = "\nLine  : ";
    std::size_t at = run.stdout_text.rfind(line_label);
    ASSERT_NE(at, std::string::npos) << run.stdout_text.substr(0, 200);
    const int line = std::atoi(run.stdout_text.c_str() + at + line_label.size());
    ASSERT_GT(line, 0);
    ASSERT_LT(static_cast<std::size_t>(line), line_count);
    std::string expected;
    for (int i = 0; i < line; ++i)
        expected += "add ax ,bx\n";
    expected += report("Out of memory", "t.asm", line, "add ax ,bx");
    EXPECT_TRUE(run.stdout_text == expected) << run.stdout_text.substr(run.stdout_text.size() - 200);
    remove_workdir(dir);
}

// Addresses may not pass 7FFFFFFFh; the check comes before anything is written.
TEST(Hostile, ImageTooLarge) {
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"zero fill, then a byte", {"#zero 7fffffffh", "db 1"}},
        {"org to the last address, then a byte", {"#org 7fffffffh", "db 1"}},
        {"reserved space past the end", {"#data 7fffffffh", "#data 1"}},
        {"alignment past the end", {"#data 7ffffff0h", "#align 100h"}},
        {"operand laid out past the end", {"#data 7ffffffeh", "jmp 0"}},
        {"two halves", {"#data 40000000h", "#data 40000000h"}},
    };
    for (const auto& [name, lines] : cases) {
        t_workdir dir = make_workdir();
        write_file(dir, "t.asm", join_lines(lines));
        t_run run = run_orbasm(dir, {"t.asm"});
        std::string echo = join_lines(lines, "\n");
        EXPECT_EQ(run.stdout_text, echo + report("Image too large", "t.asm", 3, "[end of program]")) << name;
        EXPECT_EQ(run.exit_code, 1) << name;
        EXPECT_FALSE(run.has_image) << name;
        remove_workdir(dir);
    }
}

// Right at the limit the layout succeeds: reserved space is not part of the image.
TEST(Hostile, ReservedSpaceUpToTheLastAddress) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", join_lines({"db 5", "#data 7ffffffdh", "#data 1", "@top:"}));
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text, "db 5\n#data 7ffffffdh\n#data 1\n@top :\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(hex(run.image), "05");
    remove_workdir(dir);
}

// A million distinct names in the symbol table, defined in sorted order (the worst order for an
// unbalanced tree), then looked up.
TEST(Hostile, HeavyMillionSymbols) {
    t_workdir dir = make_workdir();
    const unsigned half = 500'000;
    std::string text;
    text.reserve(40 * 2 * half);
    for (unsigned i = 0; i < half; ++i)
        text += "#const " + padded("c", i) + " = " + std::to_string(i) + "\r\n";
    for (unsigned i = 0; i < half; ++i)
        text += padded("@l", i) + ":\r\ndb " + std::to_string(i & 0x7f) + "\r\n";
    text += "dd " + padded("@l", 0) + "," + padded("@l", half - 1) + "," + padded("@l", 250'000) + ",@endofexe\r\n";
    text += "dw " + padded("c", 0) + "," + padded("c", half - 1) + "," + padded("c", 123'456) + "\r\n";
    write_file(dir, "t.asm", text);
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.exit_code, 0);
    ASSERT_EQ(run.image.size(), half + 16 + 6);
    bool bytes_exact = true;
    for (unsigned i = 0; i < half && bytes_exact; ++i)
        bytes_exact = run.image[i] == (i & 0x7f);
    EXPECT_TRUE(bytes_exact);
    std::vector<uint8_t> tail;
    append_le(tail, 0, 4);
    append_le(tail, half - 1, 4);
    append_le(tail, 250'000, 4);
    append_le(tail, half + 16 + 6, 4);
    append_le(tail, 0, 2);
    append_le(tail, (half - 1) & 0xffff, 2);
    append_le(tail, 123'456 & 0xffff, 2);
    EXPECT_EQ(hex(std::vector<uint8_t>(run.image.begin() + half, run.image.end())), hex(tail));
    remove_workdir(dir);
}

// 100,000 forward jumps whose target lies beyond 32767 once they are laid out: every operand
// grows from 16 to 32 bits.
TEST(Hostile, HeavyHundredThousandForwardReferencesGrow) {
    t_workdir dir = make_workdir();
    const uint32_t count = 100'000;
    write_file(dir, "t.asm", repeated_lines({"jmp @end"}, count) + "@end:\r\ndb 1\r\n");
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.exit_code, 0);
    ASSERT_EQ(run.image.size(), 6 * count + 1);
    std::vector<uint8_t> jump = {0x00, 0xF8};
    append_le(jump, 6 * count, 4);
    bool all_long = true;
    for (uint32_t i = 0; i < count && all_long; ++i)
        all_long = std::equal(jump.begin(), jump.end(), run.image.begin() + 6 * i);
    EXPECT_TRUE(all_long);
    EXPECT_EQ(run.image.back(), 1);
    remove_workdir(dir);
}
