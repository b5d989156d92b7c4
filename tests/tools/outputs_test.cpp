// Where orblist and orbdis write: through the same output writer as orbasm. A failed run leaves an
// older output as it was and removes no name it did not make; an output that is the file read is
// refused; a standard stream named as a file is written at its descriptor's offset; memory that
// runs out is reported.
#include "tools/tool_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {
t_tool_run in_shell(const t_workdir& dir, const std::string& binary, const std::string& script) {
    return run_tool("/bin/sh", dir, {"-c", script, binary});
}

} // namespace

// A write that fails (a file-size limit of 512 bytes) keeps the older listing, a link and the
// file it points to, and the file behind a descriptor; nothing is removed.
TEST(ToolOutputs, FailedWriteKeepsTheOlderOutput) {
    struct t_case {
        const char* binary;
        const char* script; // "$0" is the binary
        std::string err;
    };
    const std::vector<t_case> cases = {
        {ORBLIST_BINARY, "ulimit -f 1; exec \"$0\" -o out.txt big.asm",
         "orblist: error: cannot write \"out.txt\": File too large\n"},
        {ORBLIST_BINARY, "ulimit -f 1; exec \"$0\" -o link.txt big.asm",
         "orblist: error: cannot write \"link.txt\": File too large\n"},
        {ORBLIST_BINARY, "ulimit -f 1; exec \"$0\" -o /dev/fd/3 big.asm 3>> out.txt",
         "orblist: error: cannot write \"/dev/fd/3\": File too large\n"},
        {ORBDIS_BINARY, "ulimit -f 1; exec \"$0\" -o out.txt big.orb",
         "orbdis: error: cannot write \"out.txt\": File too large\n"},
        {ORBDIS_BINARY, "ulimit -f 1; exec \"$0\" -o link.txt big.orb",
         "orbdis: error: cannot write \"link.txt\": File too large\n"},
    };
    for (const t_case& c : cases) {
        t_workdir dir = make_workdir();
        write_file(dir, "big.asm", join_lines(std::vector<std::string>(100, "ld ax,bx")));
        write_file(dir, "big.orb", std::string(1000, '\x01'));
        write_file(dir, "out.txt", "older");
        fs::create_symlink("out.txt", dir.path + "/link.txt");
        const std::string before = contents(dir);
        const t_tool_run run = in_shell(dir, c.binary, c.script);
        EXPECT_EQ(run.exit_code, 1) << c.script;
        EXPECT_EQ(run.err, c.err) << c.script;
        if (std::string(c.script).find("/dev/fd/3") != std::string::npos) {
            // Through a descriptor: what was written before the limit follows the older text.
            EXPECT_EQ(read_text(dir.path + "/out.txt").substr(0, 5), "older") << c.script;
            EXPECT_TRUE(fs::is_symlink(dir.path + "/link.txt")) << c.script;
        } else {
            EXPECT_EQ(contents(dir), before) << c.script;
        }
        remove_workdir(dir);
    }
}

// An output that is the file read, under any name, is refused: exit 1, the file as it was.
TEST(ToolOutputs, OutputIsNeverAnInput) {
    t_workdir dir = make_workdir();
    write_file(dir, "m.asm", join_lines({"#include \"i.asm\"", "ret"}));
    write_file(dir, "i.asm", join_lines({"ret"}));
    write_file(dir, "p.orb", "\x00\x3A");
    const std::string before = contents(dir);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{ORBLIST_BINARY, "-o", "m.asm", "m.asm"}, "orblist: error: cannot write \"m.asm\": it is the file read as \"m.asm\"\n"},
        {{ORBLIST_BINARY, "-o", "./i.asm", "m.asm"}, "orblist: error: cannot write \"./i.asm\": it is the file read as \"i.asm\"\n"},
        {{ORBDIS_BINARY, "-o", "p.orb", "p.orb"}, "orbdis: error: cannot write \"p.orb\": it is the file read as \"p.orb\"\n"},
    };
    for (const auto& [args, err] : cases) {
        const t_tool_run run = run_tool(args[0], dir, {args.begin() + 1, args.end()});
        EXPECT_EQ(run.exit_code, 1) << args[2];
        EXPECT_EQ(run.err, err) << args[2];
        EXPECT_EQ(contents(dir), before) << args[2];
    }
    remove_workdir(dir);
}

// Empty names are usage errors; standard streams by name are appended to where they append.
TEST(ToolOutputs, EmptyNamesAndNamedStreams) {
    t_workdir dir = make_workdir();
    write_file(dir, "m.asm", join_lines({"ret"}));
    write_file(dir, "p.orb", std::string("\x00\x3A", 2));
    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{ORBLIST_BINARY, "-o", "", "m.asm"}, "orblist: empty file name for -o\nTry 'orblist --help' for more information.\n"},
        {{ORBLIST_BINARY, "-I", "", "m.asm"}, "orblist: empty file name for -I\nTry 'orblist --help' for more information.\n"},
        {{ORBDIS_BINARY, "--output=", "p.orb"}, "orbdis: empty file name for -o\nTry 'orbdis --help' for more information.\n"},
    };
    for (const auto& [args, err] : usage) {
        const t_tool_run run = run_tool(args[0], dir, {args.begin() + 1, args.end()});
        EXPECT_EQ(run.exit_code, 2) << args[1];
        EXPECT_EQ(run.out, "") << args[1];
        EXPECT_EQ(run.err, err) << args[1];
    }
    const t_tool_run listed = in_shell(dir, ORBLIST_BINARY, "printf 'older\\n' > log; exec \"$0\" -o /dev/stdout m.asm >> log");
    EXPECT_EQ(listed.exit_code, 0);
    EXPECT_EQ(read_text(dir.path + "/log"),
              "older\nm.asm:1  00000000  00 3A                    ret\n\nSymbols:\n@endofexe  00000002  label\n");
    const t_tool_run shown = in_shell(dir, ORBDIS_BINARY, "printf 'older\\n' > log; exec \"$0\" --source -o /dev/fd/3 p.orb 3>> log");
    EXPECT_EQ(shown.exit_code, 0);
    EXPECT_EQ(read_text(dir.path + "/log"), "older\nret\n");
    remove_workdir(dir);
}

// Memory that runs out (an address-space limit) is reported, never a crash; the older output stays.
TEST(ToolOutputs, OutOfMemory) {
    if (under_sanitizer())
        GTEST_SKIP() << "an address-space limit leaves no room for the sanitizer's shadow memory";
    t_workdir dir = make_workdir();
    write_file(dir, "warn.asm", join_lines(std::vector<std::string>(100'000, "db 300")));
    std::string image(3'000'000, '\0');
    for (std::size_t k = 0; k < image.size(); ++k)
        image[k] = static_cast<char>((k * 2654435761u) >> 13);
    write_file(dir, "big.orb", image);
    write_file(dir, "out.txt", "older");
    const t_tool_run listed = in_shell(dir, ORBLIST_BINARY, "ulimit -v 49152; exec \"$0\" -o out.txt warn.asm");
    EXPECT_EQ(listed.exit_code, 1);
    EXPECT_EQ(listed.err, "orblist: error: Out of memory\n");
    const t_tool_run shown = in_shell(dir, ORBDIS_BINARY, "ulimit -v 60000; exec \"$0\" -o out.txt big.orb");
    EXPECT_EQ(shown.exit_code, 1);
    EXPECT_EQ(shown.err, "orbdis: error: Out of memory\n");
    EXPECT_EQ(read_text(dir.path + "/out.txt"), "older");
    remove_workdir(dir);
}
