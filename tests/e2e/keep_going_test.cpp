// The command-line form keeps going after an error: every independent error in one run, in
// reading order, none that an earlier one causes, up to -fmax-errors; the console form and
// --diagnostics=classic still stop at the first. Every case runs the real binary on real files.
#include "support/harness.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

// Standard error split into its errors, each with the lines after it up to the next error.
std::vector<std::string> error_blocks(const std::string& err) {
    std::vector<std::string> blocks;
    for (std::size_t at = 0; at < err.size();) {
        const std::size_t end = std::min(err.find('\n', at), err.size() - 1) + 1;
        const std::string line = err.substr(at, end - at);
        if (blocks.empty() || line.find(": error: ") != std::string::npos)
            blocks.emplace_back();
        blocks.back() += line;
        at = end;
    }
    return blocks;
}

t_program_run assemble(const t_workdir& dir, const std::string& source, std::vector<std::string> options = {}) {
    write_file(dir, "t.asm", source);
    options.insert(options.begin(), ORBASM_BINARY);
    for (const std::string arg : {"-o", "x.orb", "t.asm"})
        options.push_back(arg);
    return run_program(dir, options, "");
}
} // namespace

// Five independent mistakes give exactly their five errors in one run, and fixing any one of them
// takes exactly its own error away.
TEST(KeepGoing, EveryIndependentErrorAndEachFixRemovesItsOwn) {
    const std::vector<std::string> lines = {"@start:", "  ld ax,1", "  lod bx,6", "  add cx dx", "  push bz",
                                            "  ld dx,[bx+4", "  jr nz,@strat", "  ret"};
    const std::pair<std::size_t, std::string> fixes[] = {
        {2, "  ld bx,6"}, {3, "  add cx,dx"}, {4, "  push bx"}, {5, "  ld dx,[bx+4]"}, {6, "  jr nz,@start"}};
    t_dir_guard g;
    const t_program_run all = assemble(g.dir, join_lines(lines));
    EXPECT_EQ(all.exit_code, 1);
    EXPECT_EQ(all.err, "t.asm:3:3: error: Syntax Error\n  lod bx,6\n  ^~~\n"
                       "t.asm:3:3: note: 'lod' is not a mnemonic; did you mean 'ld'?\n"
                       "t.asm:4:10: error: Comma expected\n  add cx dx\n         ^~\n"
                       "t.asm:5:8: error: Register expected\n  push bz\n       ^~\n"
                       "t.asm:6:14: error: ] expected\n  ld dx,[bx+4\n             ^\n"
                       "t.asm:7:9: error: Constant or label not defined - @strat\n  jr nz,@strat\n        ^~~~~~\n");
    EXPECT_FALSE(std::filesystem::exists(g.dir.path + "/x.orb"));
    const std::vector<std::string> errors = error_blocks(all.err);
    ASSERT_EQ(errors.size(), 5u);
    for (std::size_t k = 0; k < std::size(fixes); ++k) {
        std::vector<std::string> fixed = lines;
        fixed[fixes[k].first] = fixes[k].second;
        std::string expected;
        for (std::size_t e = 0; e < errors.size(); ++e)
            expected += e == k ? "" : errors[e];
        EXPECT_EQ(assemble(g.dir, join_lines(fixed)).err, expected) << fixes[k].second;
    }
    std::vector<std::string> correct = lines;
    for (const auto& [line, text] : fixes)
        correct[line] = text;
    const t_program_run good = assemble(g.dir, join_lines(correct));
    EXPECT_EQ(good.exit_code, 0);
    EXPECT_EQ(good.err, "");
}

// Nothing is reported that an earlier error causes; a line in error is taken back whole, its
// warnings too.
TEST(KeepGoing, NoCascades) {
    const std::pair<std::string, std::string> cases[] = {
        // A constant whose definition failed: its uses, deferred or at once, stay quiet.
        {"#const k\r\nld ax,k\r\n#org k\r\ndb k\r\n#const j = k+1\r\ndb j\r\n",
         "t.asm:1:8: error: Error in constant definition\n#const k\n       ^\n"},
        {"#const k = @a\r\nld ax,k\r\n", "t.asm:1:12: error: Immediate value expected\n#const k = @a\n           ^~\n"},
        // A label line that failed: the label it would repeat stays defined.
        {"@a:\r\n@\r\n@a:\r\njmp @a\r\n",
         "t.asm:2:1: error: Invalid label\n@\n^\nt.asm:3:1: error: Constant or label redeclared\n@a:\n^~\n"
         "t.asm:1:1: note: first defined here\n"},
        // An include that could not be read may define any name.
        {"#include 'gone.asm'\r\nld ax,@from_gone\r\nld bx,@nowhere\r\n",
         "t.asm:1:10: error: Could not read file \"gone.asm\": No such file or directory\n#include 'gone.asm'\n"
         "         ^~~~~~~~~~\nt.asm:1:10: note: names used but not defined are not reported: the file not "
         "read may define them\n"},
        // A name used only on a line in error is not reported; nor the warning of that line.
        {"ld dx,[bx+@x\r\ndb ,bz\r\n",
         "t.asm:1:13: error: ] expected\nld dx,[bx+@x\n            ^\nt.asm:2:5: error: Constant not defined - bz\n"
         "db ,bz\n    ^~\nt.asm:2:5: note: 'bz' is not a register; did you mean 'bx'?\n"},
        // Every undefined name once, at its first use, among the other errors in reading order.
        {"ld ax,@u\r\nlod\r\nld bx,@u\r\ndb q\r\ndb q\r\nld cx,q\r\n",
         "t.asm:1:7: error: Constant or label not defined - @u\nld ax,@u\n      ^~\nt.asm:2:1: error: Syntax Error\n"
         "lod\n^~~\nt.asm:2:1: note: 'lod' is not a mnemonic; did you mean 'ld'?\n"
         "t.asm:4:4: error: Constant not defined - q\ndb q\n   ^\nt.asm:4:4: note: 'q' is not a register; did you mean 'q0'?\n"},
        // A layout error only when no line failed: an #org after a failed line may be met once it is fixed.
        {"db 1\r\n#org 20h\r\n#zero 30\r\n#org 10h\r\nlod\r\n",
         "t.asm:5:1: error: Syntax Error\nlod\n^~~\nt.asm:5:1: note: 'lod' is not a mnemonic; did you mean 'ld'?\n"},
    };
    for (const auto& [source, err] : cases) {
        t_dir_guard g;
        const t_program_run run = assemble(g.dir, source);
        EXPECT_EQ(run.exit_code, 1) << source;
        EXPECT_EQ(run.err, err) << source;
    }
}

// Names entered by lines in error are taken out of the table again, whatever the index held by
// then: every label still resolves, and a name whose only earlier uses failed is reported at its
// first use that assembled.
TEST(KeepGoing, NamesOfFailedLinesAreTakenBack) {
    std::string source;
    for (int k = 0; k < 300; ++k)
        source += "@l" + std::to_string(k) + ":\r\nld dx,[bx+@n" + std::to_string(k) + "\r\n";
    for (int k = 0; k < 300; ++k)
        source += "jmp @l" + std::to_string(k) + "\r\n";
    source += "dd @n7\r\n";
    t_dir_guard g;
    const t_program_run run = assemble(g.dir, source, {"-fmax-errors=0"});
    const std::vector<std::string> errors = error_blocks(run.err);
    ASSERT_EQ(errors.size(), 301u) << run.err.substr(0, 2000);
    for (int k = 0; k < 300; ++k)
        EXPECT_EQ(errors[static_cast<std::size_t>(k)].substr(0, errors[static_cast<std::size_t>(k)].find('\n')),
                  "t.asm:" + std::to_string(2 * k + 2) + ":" + std::to_string(11 + std::to_string(k).size() + 2) +
                      ": error: ] expected");
    EXPECT_EQ(errors[300], "t.asm:901:4: error: Constant or label not defined - @n7\ndd @n7\n   ^~~\n");
}

// An error in an included file ends its line; reading goes on in that file and after it.
TEST(KeepGoing, IncludedFilesGoOn) {
    t_dir_guard g;
    write_file(g.dir, "d.asm", "lod\r\ndb 1\r\nadd ax\r\n");
    const t_program_run run = assemble(g.dir, "#include \"d.asm\"\r\npush bz\r\n");
    EXPECT_EQ(run.err, "d.asm:1:1: error: Syntax Error\nlod\n^~~\nd.asm:1:1: note: 'lod' is not a mnemonic; did you "
                       "mean 'ld'?\nt.asm:1: note: included from here\nd.asm:3:7: error: Comma expected\nadd ax\n"
                       "      ^\nt.asm:1: note: included from here\nt.asm:2:6: error: Register expected\npush bz\n"
                       "     ^~\n");
    // An include that fails inside an included file: reading goes on in that file, then after it.
    write_file(g.dir, "a.asm", "#include \"nope.asm\"\r\nlod\r\n");
    EXPECT_EQ(assemble(g.dir, "#include \"a.asm\"\r\npush bz\r\n").err,
              "a.asm:1:10: error: Could not read file \"nope.asm\": No such file or directory\n#include \"nope.asm\"\n"
              "         ^~~~~~~~~~\nt.asm:1: note: included from here\na.asm:2:1: error: Syntax Error\nlod\n^~~\n"
              "a.asm:2:1: note: 'lod' is not a mnemonic; did you mean 'ld'?\nt.asm:1: note: included from here\n"
              "t.asm:2:6: error: Register expected\npush bz\n     ^~\n");
    // Includes nested too deep end the run: a file that includes itself twice would be read 2^16 times.
    const t_program_run deep = assemble(g.dir, "#include \"t.asm\"\r\n#include \"t.asm\"\r\n", {"-fmax-errors=0"});
    EXPECT_EQ(deep.exit_code, 1);
    EXPECT_EQ(error_blocks(deep.err).size(), 1u);
    EXPECT_EQ(deep.err.substr(0, deep.err.find('\n')), "t.asm:1:10: error: Too many nested includes");
}

// -fmax-errors=N ends the run at its Nth error with a note; 0 is no limit, 20 the default.
TEST(KeepGoing, ErrorLimit) {
    t_dir_guard g;
    std::string source;
    for (int k = 0; k < 25; ++k)
        source += "push bz\r\n";
    const std::string one = "error: Register expected\npush bz\n     ^~\n";
    const t_program_run two = assemble(g.dir, source, {"-fmax-errors=2"});
    EXPECT_EQ(two.exit_code, 1);
    EXPECT_EQ(two.err, "t.asm:1:6: " + one + "t.asm:2:6: " + one +
                           "t.asm:2:6: note: assembly stopped after 2 errors (-fmax-errors=2); more may follow\n");
    const auto count = [](const std::string& err) {
        std::size_t n = 0;
        for (std::size_t at = err.find(": error: "); at != std::string::npos; at = err.find(": error: ", at + 1))
            ++n;
        return n;
    };
    const t_program_run unlimited = assemble(g.dir, source, {"-fmax-errors=0"});
    EXPECT_EQ(count(unlimited.err), 25u);
    EXPECT_EQ(unlimited.err.find("note: assembly stopped"), std::string::npos);
    const t_program_run standard = assemble(g.dir, source);
    EXPECT_EQ(count(standard.err), 20u);
    EXPECT_NE(standard.err.find("t.asm:20:6: note: assembly stopped after 20 errors (-fmax-errors=20); more may follow\n"),
              std::string::npos);
    // The undefined names found at the end count with the lines' errors.
    const t_program_run names = assemble(g.dir, "ld ax,@a\r\npush bz\r\nld ax,@b\r\n", {"-fmax-errors=2"});
    EXPECT_EQ(count(names.err), 2u);
    EXPECT_NE(names.err.find("t.asm:2:6: note: assembly stopped after 2 errors"), std::string::npos) << names.err;
    // Definitions of the command line stop at the limit too.
    const t_program_run defined = assemble(g.dir, "ret\r\n", {"-fmax-errors=1", "-D", "A=x", "-D", "B=y"});
    EXPECT_EQ(count(defined.err), 1u) << defined.err;
        const t_program_run bad = assemble(g.dir, source, {"-fmax-errors=x"});
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_EQ(bad.err, "orbasm: -fmax-errors takes a count, not 'x'\nTry 'orbasm --help' for more information.\n");
}

// The console's four-line report, in the console form and with --diagnostics=classic: the first
// error only.
TEST(KeepGoing, ClassicReportsStopAtTheFirst) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", "db 1\r\npush bz\r\nlod\r\n");
    const std::string first = "\nError : Register expected\nFile  : t.asm\nLine  : 2\nFault : push bz\n";
    const t_program_run classic = run_program(g.dir, {ORBASM_BINARY, "--diagnostics=classic", "t.asm"}, "");
    EXPECT_EQ(classic.exit_code, 1);
    EXPECT_EQ(classic.err, first);
    const t_program_run console = run_program(g.dir, {ORBASM_BINARY, "t.asm"}, "\n");
    EXPECT_EQ(console.exit_code, 1);
    EXPECT_EQ(console.out, "db 1\npush bz\n" + first);
    EXPECT_FALSE(std::filesystem::exists(g.dir.path + "/t.asm.orb"));
}
