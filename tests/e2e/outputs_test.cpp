// What orbasm writes, and what it must never write over: no output replaces a file the run read or
// another output, the image and the dependency file replace their older files together or not at
// all, empty names are refused, any name the system accepts works, and a diagnostic shows a
// window of a long line. Every case runs the real binary on real files.
#include "support/harness.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace fs = std::filesystem;

namespace {
t_program_run orbasm(const t_workdir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ORBASM_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(dir, argv, "");
}

const std::string try_help = "Try 'orbasm --help' for more information.\n";
} // namespace

// An output that is the source, an included file (also through a hard link, under another name) or
// the other output is refused before anything is written: exit 1, every file as it was.
TEST(Outputs, NoOutputReplacesAnInput) {
    struct t_case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::string wont = "m.asm: error: Could not write output file ";
    const std::vector<t_case> cases = {
        {{"-o", "m.asm", "m.asm"}, wont + "\"m.asm\": it is the file read as \"m.asm\"\n"},
        {{"-o", "i.asm", "m.asm"}, wont + "\"i.asm\": it is the file read as \"i.asm\"\n"},
        {{"-o", "./sub/../i.asm", "m.asm"}, wont + "\"./sub/../i.asm\": it is the file read as \"i.asm\"\n"},
        {{"-o", "hard.asm", "m.asm"}, wont + "\"hard.asm\": it is the file read as \"m.asm\"\n"},
        {{"-MD", "-MF", "m.asm", "-o", "m.orb", "m.asm"}, wont + "\"m.asm\": it is the file read as \"m.asm\"\n"},
        {{"-MD", "-MF", "i.asm", "-o", "m.orb", "m.asm"}, wont + "\"i.asm\": it is the file read as \"i.asm\"\n"},
        {{"-MD", "-MF", "m.orb", "-o", "m.orb", "m.asm"}, wont + "\"m.orb\": it is also the output \"m.orb\"\n"},
        {{"-MD", "-MF", "new", "-o", "./new", "m.asm"}, wont + "\"new\": it is also the output \"./new\"\n"},
    };
    for (const t_case& c : cases) {
        t_dir_guard g;
        write_file(g.dir, "m.asm", "#include \"i.asm\"\r\ndb 1\r\n");
        write_file(g.dir, "i.asm", "db 2\r\n");
        write_file(g.dir, "m.orb", "older");
        fs::create_directory(g.dir.path + "/sub");
        fs::create_hard_link(g.dir.path + "/m.asm", g.dir.path + "/hard.asm");
        const std::string before = contents(g.dir);
        const t_program_run run = orbasm(g.dir, c.args);
        EXPECT_EQ(run.err, c.err) << c.args[1];
        EXPECT_EQ(run.exit_code, 1) << c.args[1];
        EXPECT_EQ(contents(g.dir), before) << c.args[1];
    }
    // The console form refuses it the same way, in its report.
    t_dir_guard g;
    write_file(g.dir, "c.asm", "#include \"c.asm.orb\"\r\n");
    write_file(g.dir, "c.asm.orb", "db 5\r\n");
    const t_run console = run_orbasm(g.dir, {"c.asm"});
    EXPECT_EQ(console.stdout_text, "#include \"c.asm.orb\"\ndb 5\n" +
                                       report("Could not write output file", "c.asm", 2, "[end of program]"));
    EXPECT_EQ(console.exit_code, 1);
    EXPECT_EQ(read_text(g.dir, "c.asm.orb"), "db 5\r\n");
}

// When one output cannot be written, none replaces its older file: a dependency file in a missing
// folder or where a folder stands keeps the older image; an image that cannot be written keeps the
// older dependency file.
TEST(Outputs, AllOrNone) {
    struct t_case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<t_case> cases = {
        {{"-MD", "-MF", "nodir/x.d", "-o", "m.orb", "m.asm"},
         "m.asm: error: Could not write output file \"nodir/x.d\": No such file or directory\n"},
        {{"-MD", "-MF", "folder", "-o", "m.orb", "m.asm"},
         "m.asm: error: Could not write output file \"folder\": Is a directory\n"},
        {{"-MD", "-MF", "m.d", "-o", "folder", "m.asm"},
         "m.asm: error: Could not write output file \"folder\": Is a directory\n"},
    };
    for (const t_case& c : cases) {
        t_dir_guard g;
        write_file(g.dir, "m.asm", "db 1\r\n");
        write_file(g.dir, "m.orb", "older");
        write_file(g.dir, "m.d", "older.d");
        fs::create_directory(g.dir.path + "/folder");
        const t_program_run run = orbasm(g.dir, c.args);
        EXPECT_EQ(run.exit_code, 1) << c.args[2];
        EXPECT_EQ(run.err, c.err) << c.args[2];
        EXPECT_EQ(contents(g.dir), "folder=[folder]\nm.asm=db 1\r\n\nm.d=older.d\nm.orb=older\n") << c.args[2];
    }
}

// An empty name names no file: it is a usage error, not the default name or the root folder.
TEST(Outputs, EmptyNamesAreUsageErrors) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-o", "", "m.asm"}, "-o"},
        {{"--output=", "m.asm"}, "-o"},
        {{"-MD", "-MF", "", "m.asm"}, "-MF"},
        {{"-I", "", "m.asm"}, "-I"},
    };
    for (const auto& [args, option] : cases) {
        t_dir_guard g;
        write_file(g.dir, "m.asm", "#include \"etc/hostname\"\r\n");
        const t_program_run run = orbasm(g.dir, args);
        EXPECT_EQ(run.exit_code, 2) << option;
        EXPECT_EQ(run.out, "") << option;
        EXPECT_EQ(run.err, "orbasm: empty file name for " + option + "\n" + try_help) << option;
        EXPECT_EQ(contents(g.dir), "m.asm=#include \"etc/hostname\"\r\n\n") << option;
    }
}

// Any name the system accepts for the image or the dependency file works, however long: the
// file written beside it first has a short name of its own.
TEST(Outputs, LongestNameWorks) {
    t_dir_guard g;
    write_file(g.dir, "m.asm", "db 1\r\n");
    const std::string image(255, 'i');
    const std::string deps = std::string(250, 'd') + ".d";
    write_file(g.dir, image, "older");
    const t_program_run run = orbasm(g.dir, {"-MD", "-MF", deps, "-o", image, "m.asm"});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(contents(g.dir), deps + "=" + image + ": \\\n m.asm\n\n" + image + "=\x01\nm.asm=db 1\r\n\n");
}

// A diagnostic on a long line shows about 200 columns around the word at fault, "..." where the
// line is cut, with the caret and its tildes under the window; a line up to 200 columns is whole.
TEST(Outputs, LongLineDiagnosticsShowAWindow) {
    const std::string b(500, 'b');
    struct t_case {
        const char* name;
        std::string line;
        std::string shown; // the line and the caret line as shown
    };
    const std::vector<t_case> cases = {
        {"200 columns, whole", "db " + std::string(197, 'q'),
         "db " + std::string(197, 'q') + "\n   ^" + std::string(196, '~') + "\n"},
        {"cut at the end", "db " + std::string(300, 'q'),
         "db " + std::string(197, 'q') + "...\n   ^" + std::string(196, '~') + "\n"},
        // zz at column 507: 80 columns before it, 118 after.
        {"cut at both ends", "db '" + b + "',zz,'" + b + "'",
         "..." + b.substr(0, 78) + "',zz,'" + b.substr(0, 116) + "...\n" + std::string(3 + 80, ' ') + "^~\n"},
        {"cut at the start", "db '" + b + "',zz",
         "..." + b.substr(0, 196) + "',zz\n" + std::string(3 + 198, ' ') + "^~\n"},
        {"tab kept under a short line", "db 1,\tzz", "db 1,\tzz\n     \t^~\n"},
    };
    for (const t_case& c : cases) {
        t_dir_guard g;
        write_file(g.dir, "t.asm", c.line + "\r\n");
        const t_program_run run = orbasm(g.dir, {"-o", "x.orb", "t.asm"});
        EXPECT_EQ(run.exit_code, 1) << c.name;
        const std::size_t end = run.err.find('\n');
        ASSERT_NE(end, std::string::npos) << c.name;
        EXPECT_EQ(run.err.substr(end + 1), c.shown) << c.name;
    }
}

// An error on a 64 MB line writes a few hundred bytes, not the line twice.
TEST(Outputs, HeavyErrorOnA64MegabyteLine) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", "db 1\r\n" + std::string(64 << 20, 'x') + "\r\n");
    const t_program_run run = orbasm(g.dir, {"-o", "x.orb", "t.asm"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "t.asm:2:1: error: Syntax Error\n" + std::string(200, 'x') + "...\n^" + std::string(199, '~') +
                           "\n");
}
