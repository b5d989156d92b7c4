// Whole runs in one process, as the editor makes them.
#include "driver/driver.h"
#include "support/in_process.h"

#include <gtest/gtest.h>

// Nothing of one run's error (the system's reason, a place set aside for it) reaches a later
// diagnostic, a warning or an error.
TEST(Run, ADiagnosticCarriesNothingOfAnEarlierOne) {
    classic_report = false;
    warnings_wanted = true;
    assemble_lines({"db 1", "#include \"missing.asm\""});
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].detail, "\"missing.asm\": No such file or directory");
    assemble_lines({"jmp @nowhere", "#org 0"});
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].place.line, 1) << "the first use of the undefined name";
    const t_assembly later = assemble_lines({"db 1.5", "bogus"});
    EXPECT_FALSE(later.ok);
    ASSERT_EQ(diagnostics.size(), 2u);
    for (const t_diagnostic& diagnostic : diagnostics) {
        EXPECT_EQ(diagnostic.detail, "") << diagnostic.message;
        EXPECT_EQ(diagnostic.place.line, diagnostic.warning ? 1 : 2) << diagnostic.message;
    }
    classic_report = true;
    warnings_wanted = false;
}
