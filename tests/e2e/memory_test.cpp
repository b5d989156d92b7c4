// Memory that runs out ends in the report "Out of memory", exit status 1 and no new image, in the
// console form and the command-line form alike; never in a crash. The report itself asks for no
// memory. Address-space limits (ulimit -v, in KiB) make memory run out.
#include "support/harness.h"

#include <gtest/gtest.h>

namespace {

// A valid line of 50 MB: "db 1,1,...".
std::string fifty_megabyte_line() {
    std::string line = "db 1";
    line.reserve(50'000'000);
    while (line.size() < 50'000'000)
        line += ",1";
    return line + "\r\n";
}
} // namespace

TEST(Memory, HeavyFiftyMegabyteLineInBothForms) {
    if (under_sanitizer())
        GTEST_SKIP() << "an address-space limit leaves no room for the sanitizer's shadow memory";
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", fifty_megabyte_line());
    write_file(dir, "t.asm.orb", "older");
    const t_run console = run_orbasm_in_shell(dir, "ulimit -v 262144", {"t.asm"});
    EXPECT_EQ(console.exit_code, 1);
    const std::size_t at = console.stdout_text.find("\nError : ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(console.stdout_text.substr(at, 62), "\nError : Out of memory\nFile  : t.asm\nLine  : 1\nFault : db 1 ,1");
    EXPECT_EQ(hex(console.image), hex({'o', 'l', 'd', 'e', 'r'}));
    const t_program_run command_line =
        run_program(dir, {"/bin/sh", "-c", "ulimit -v 262144; exec \"$0\" -o t.asm.orb t.asm", ORBASM_BINARY}, "");
    EXPECT_EQ(command_line.exit_code, 1);
    EXPECT_EQ(command_line.err, "orbasm: error: Out of memory\n");
    remove_workdir(dir);
}

// 100,000 warnings fill the memory: the report replaces them.
TEST(Memory, HundredThousandWarnings) {
    if (under_sanitizer())
        GTEST_SKIP() << "an address-space limit leaves no room for the sanitizer's shadow memory";
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", join_lines(std::vector<std::string>(100'000, "db 300")));
    write_file(dir, "t.orb", "older");
    const t_run run = run_orbasm_in_shell(dir, "ulimit -v 49152", {"-o", "t.orb", "t.asm"}, "", "t.orb");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.stdout_text, "");
    EXPECT_EQ(hex(run.image), hex({'o', 'l', 'd', 'e', 'r'}));
    const t_program_run err =
        run_program(dir, {"/bin/sh", "-c", "ulimit -v 49152; exec \"$0\" -o t.orb t.asm", ORBASM_BINARY}, "");
    EXPECT_EQ(err.exit_code, 1);
    EXPECT_EQ(err.err, "orbasm: error: Out of memory\n");
    remove_workdir(dir);
}
