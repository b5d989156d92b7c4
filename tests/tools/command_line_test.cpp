// orbdis and orblist on their command lines: each row's arguments against the exact standard
// output, standard error, exit status and output file. Standard input is a pipe that never closes
// (unless the row gives the source through it), so a program that waits for a line is killed and
// fails its row instead of hanging the suite.
#include "tools/tool_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

struct t_command_case {
    std::vector<std::string> args = {};
    std::string out = "";                 // standard output, exactly; its first line only when out_is_prefix
    std::string err = "";                 // standard error, exactly
    int exit_code = -1;
    std::optional<std::string> file = {}; // what out.txt holds afterwards; nullopt when it must not exist
    std::string stdin_text = "";          // the source on standard input, closed after it; "" keeps it open
    bool out_is_prefix = false;           // for --help: only the usage line is pinned
};

static constexpr int seconds_before_a_run_counts_as_waiting = 10;

// Runs every case in dir and reports each mismatch with the command line; then how many passed.
static void run_cases(const std::string& binary, const t_workdir& dir, const std::vector<t_command_case>& cases) {
    int passed = 0;
    for (const t_command_case& row : cases) {
        fs::remove(dir.path + "/out.txt");
        const t_tool_run run = run_tool_piped(binary, dir, row.args, row.stdin_text, !row.stdin_text.empty(),
                                              seconds_before_a_run_counts_as_waiting);
        std::string command = fs::path(binary).filename().string();
        for (const std::string& arg : row.args)
            command += " " + arg;
        const std::string out = row.out_is_prefix ? run.out.substr(0, row.out.size()) : run.out;
        const bool has_file = fs::exists(dir.path + "/out.txt");
        const std::string file = has_file ? read_text(dir.path + "/out.txt") : "";
        EXPECT_FALSE(run.timed_out) << command << ": still running, waiting for input";
        EXPECT_EQ(out, row.out) << command;
        EXPECT_EQ(run.err, row.err) << command;
        EXPECT_EQ(run.exit_code, row.exit_code) << command;
        EXPECT_EQ(has_file, row.file.has_value()) << command << ": out.txt";
        if (has_file && row.file.has_value()) {
            EXPECT_EQ(file, *row.file) << command << ": out.txt";
        }
        passed += !run.timed_out && out == row.out && run.err == row.err && run.exit_code == row.exit_code &&
                          has_file == row.file.has_value() && file == row.file.value_or("")
                      ? 1
                      : 0;
    }
    std::cout << passed << " of " << cases.size() << " command lines as expected\n";
}

TEST(CommandLine, Orbdis) {
    t_workdir dir = make_workdir();
    write_file(dir, "p.orb", std::string("\x00\xA8\x05\x00\x00\x3A", 6));
    const std::string listing = "00000000  00 A8 05 00            ld ax,5\n"
                                "00000004  00 3A                  ret\n";
    const std::string source = "ld ax,5\nret\n";
    const std::string hint = "Try 'orbdis --help' for more information.\n";
    const std::vector<t_command_case> cases = {
        {.args = {"--help"}, .out = "Usage: orbdis [OPTION]... IMAGE\n", .exit_code = 0, .out_is_prefix = true},
        {.args = {"--version"}, .out = "orbdis 1.0\n", .exit_code = 0},
        {.args = {"p.orb"}, .out = listing, .exit_code = 0},
        {.args = {"p.orb", "--source"}, .out = source, .exit_code = 0},
        {.args = {"-o", "out.txt", "p.orb"}, .exit_code = 0, .file = listing},
        {.args = {"--output=out.txt", "--source", "p.orb"}, .exit_code = 0, .file = source},
        {.args = {"-o", "-", "--source", "p.orb"}, .out = source, .exit_code = 0},
        {.args = {"--", "-o"}, .err = "orbdis: error: cannot read \"-o\": No such file or directory\n", .exit_code = 1},
        {.args = {"--frobnicate", "p.orb"}, .err = "orbdis: unrecognized option '--frobnicate'\n" + hint, .exit_code = 2},
        {.args = {"-x", "p.orb"}, .err = "orbdis: invalid option -- 'x'\n" + hint, .exit_code = 2},
        {.args = {"p.orb", "-o"}, .err = "orbdis: option requires an argument -- 'o'\n" + hint, .exit_code = 2},
        {.args = {"p.orb", "--output"}, .err = "orbdis: option '--output' requires an argument\n" + hint, .exit_code = 2},
        {.args = {"--source"}, .err = "orbdis: no image file given\n" + hint, .exit_code = 2},
        {.args = {"p.orb", "p.orb"}, .err = "orbdis: one image at a time, not 2\n" + hint, .exit_code = 2},
        {.args = {"missing.orb"}, .err = "orbdis: error: cannot read \"missing.orb\": No such file or directory\n",
         .exit_code = 1},
        {.args = {"."}, .err = "orbdis: error: cannot read \".\": Is a directory\n", .exit_code = 1},
        // An image that cannot be read leaves the output unwritten.
        {.args = {"-o", "out.txt", "missing.orb"},
         .err = "orbdis: error: cannot read \"missing.orb\": No such file or directory\n",
         .exit_code = 1},
        {.args = {"-o", "nowhere/out.txt", "p.orb"},
         .err = "orbdis: error: cannot write \"nowhere/out.txt\": No such file or directory\n",
         .exit_code = 1},
        {.args = {"-o", "/dev/full", "p.orb"},
         .err = "orbdis: error: cannot write \"/dev/full\": No space left on device\n",
         .exit_code = 1},
    };
    run_cases(ORBDIS_BINARY, dir, cases);
    remove_workdir(dir);
}

TEST(CommandLine, Orblist) {
    t_workdir dir = make_workdir();
    write_file(dir, "good.asm", join_lines({"#const size = 5", "", "@s:", "ld ax,size", "jr @s"}));
    write_file(dir, "bad.asm", join_lines({"ld ax,1", "", "  nop"}));
    write_file(dir, "warn.asm", join_lines({"db 300"}));
    write_file(dir, "two.asm", join_lines({"push bz", "push bz"}));
    write_file(dir, "def.asm", join_lines({"#include \"part.inc\"", "ld ax,n"}));
    fs::create_directory(dir.path + "/inc");
    write_file(dir, "inc/part.inc", join_lines({"ret"}));
    const std::string listing = "good.asm:1                                     #const size =5\n"
                                "good.asm:3  00000000                           @s :\n"
                                "good.asm:4  00000000  00 A8 05 00              ld ax ,size\n"
                                "good.asm:5  00000004  00 B9 FC FF              jr @s\n"
                                "\n"
                                "Symbols:\n"
                                "@endofexe  00000008  label\n"
                                "@s         00000000  label\n"
                                "size       00000005  constant  5\n";
    const std::string warn_listing = "warn.asm:1  00000000  2C                       db 300\n"
                                     "\n"
                                     "Symbols:\n"
                                     "@endofexe  00000001  label\n";
    // An included file found under an include directory is named where it was found.
    const std::string def_listing = "def.asm:1                                          #include \"part.inc\"\n"
                                    "inc/part.inc:1  00000000  00 3A                    ret\n"
                                    "def.asm:2       00000002  00 A8 07 00              ld ax ,n\n"
                                    "\n"
                                    "Symbols:\n"
                                    "@endofexe  00000006  label\n"
                                    "n          00000007  constant  7\n";
    const std::string bad =
        "bad.asm:3:3: error: Syntax Error\n  nop\n  ^~~\nbad.asm:3:3: note: 'nop' is not a mnemonic; did you mean 'pop'?\n";
    const std::string hint = "Try 'orblist --help' for more information.\n";
    const std::vector<t_command_case> cases = {
        {.args = {"--help"}, .out = "Usage: orblist [OPTION]... SOURCE\n", .exit_code = 0, .out_is_prefix = true},
        {.args = {"--version"}, .out = "orblist 1.0\n", .exit_code = 0},
        {.args = {"good.asm"}, .out = listing, .exit_code = 0},
        {.args = {"-o", "out.txt", "good.asm"}, .exit_code = 0, .file = listing},
        {.args = {"good.asm", "--output=out.txt"}, .exit_code = 0, .file = listing},
        {.args = {"-o", "-", "good.asm"}, .out = listing, .exit_code = 0},
        {.args = {"-"},
         .out = "<stdin>:2  00000000  00 3A                    ret\n\nSymbols:\n@endofexe  00000002  label\n",
         .exit_code = 0,
         .stdin_text = "\r\nret\r\n"},
        // An error: diagnostics on standard error, no listing and no listing file, no wait.
        {.args = {"bad.asm"}, .err = bad, .exit_code = 1},
        {.args = {"-o", "out.txt", "bad.asm"}, .err = bad, .exit_code = 1},
        // Every error, up to -fmax-errors.
        {.args = {"two.asm"},
         .err = "two.asm:1:6: error: Register expected\npush bz\n     ^~\ntwo.asm:2:6: error: Register expected\n"
                "push bz\n     ^~\n",
         .exit_code = 1},
        {.args = {"-fmax-errors=1", "two.asm"},
         .err = "two.asm:1:6: error: Register expected\npush bz\n     ^~\n"
                "two.asm:1:6: note: assembly stopped after 1 error (-fmax-errors=1); more may follow\n",
         .exit_code = 1},
        {.args = {"-fmax-errors=x", "two.asm"}, .err = "orblist: unknown option '-fmax-errors=x'\n" + hint, .exit_code = 2},
        {.args = {"missing.asm"},
         .err = "orblist: error: Could not read file \"missing.asm\": No such file or directory\n",
         .exit_code = 1},
        {.args = {"warn.asm"},
         .out = warn_listing,
         .err = "warn.asm:1:4: warning: Value does not fit in a byte [-Wvalue-range]\ndb 300\n   ^~~\n",
         .exit_code = 0},
        {.args = {"-w", "warn.asm"}, .out = warn_listing, .exit_code = 0},
        {.args = {"-I", "inc", "-D", "n=7", "def.asm"}, .out = def_listing, .exit_code = 0},
        {.args = {"-Iinc", "-Dn=7", "def.asm"}, .out = def_listing, .exit_code = 0},
        {.args = {"def.asm"},
         .err = "def.asm:1:10: error: Could not read file \"part.inc\": No such file or directory\n"
                "#include \"part.inc\"\n"
                "         ^~~~~~~~~~\n"
                "def.asm:1:10: note: names used but not defined are not reported: the file not read may define them\n",
         .exit_code = 1},
        {.args = {"--frobnicate", "good.asm"}, .err = "orblist: unrecognized option '--frobnicate'\n" + hint, .exit_code = 2},
        {.args = {"good.asm", "-I"}, .err = "orblist: option requires an argument -- 'I'\n" + hint, .exit_code = 2},
        {.args = {"good.asm", "-D"}, .err = "orblist: option requires an argument -- 'D'\n" + hint, .exit_code = 2},
        {.args = {"good.asm", "-o"}, .err = "orblist: option requires an argument -- 'o'\n" + hint, .exit_code = 2},
        {.args = {"-w"}, .err = "orblist: no source file given (\"-\" reads standard input)\n" + hint, .exit_code = 2},
        {.args = {"good.asm", "bad.asm"}, .err = "orblist: one source at a time, not 2\n" + hint, .exit_code = 2},
        {.args = {"-o", "nowhere/out.txt", "good.asm"},
         .err = "orblist: error: cannot write \"nowhere/out.txt\": No such file or directory\n",
         .exit_code = 1},
        {.args = {"-o", "/dev/full", "good.asm"},
         .err = "orblist: error: cannot write \"/dev/full\": No space left on device\n",
         .exit_code = 1},
    };
    run_cases(ORBLIST_BINARY, dir, cases);
    remove_workdir(dir);
}
