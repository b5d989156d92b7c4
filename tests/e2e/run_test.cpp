// Whole runs of the binary: echo, report, exit code and image.
#include "support/harness.h"

#include <gtest/gtest.h>

TEST(Run, EchoesNormalisedLinesAndReportsSyntaxError) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm", "  LD   AX , [BX+4]  ; note\r\n\r\n\r\nld ax,[bx+4]\r\n");
    t_run run = run_orbasm(dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text, "LD AX ,[BX +4 ];note\n" + report("Syntax Error", "t.asm", 1, "LD AX ,[BX +4 ];note"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
    remove_workdir(dir);
}
