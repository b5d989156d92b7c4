// The source reader seen from outside: echo, line ends, line numbers, includes and reports.
#include "support/harness.h"

#include <filesystem>
#include <gtest/gtest.h>

TEST(Reader, LineEndsGiveTheSameEchoAndLineNumbers) {
    const std::vector<std::string> lines = {"ld ax,5", "", "  ", "\tdb 1,2", "nop", "ret"};
    const std::string echo = "ld ax ,5\ndb 1 ,2\nnop\n";
    for (const std::string end : {"\r\n", "\n", "\r"}) {
        t_dir_guard g;
        write_file(g.dir, "t.asm", join_lines(lines, end));
        t_run run = run_orbasm(g.dir, {"t.asm"});
        EXPECT_EQ(run.stdout_text, echo + report("Syntax Error", "t.asm", 3, "nop")) << "line end " << int(end.back());
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_FALSE(run.has_image);
    }
    for (const std::string end : {"\r\n", "\n", "\r", "\n\r"}) {
        t_dir_guard g;
        write_file(g.dir, "t.asm", join_lines({"db 1", "", "db 2"}, end));
        t_run run = run_orbasm(g.dir, {"t.asm"});
        EXPECT_EQ(run.stdout_text, "db 1\ndb 2\n");
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(hex(run.image), "01 02");
    }
}

TEST(Reader, BlankLinesAndLeadingBlanksAreNotCounted) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", "\r\n\r\n \t\r\n   bad line\r\n");
    t_run run = run_orbasm(g.dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text, "bad line\n" + report("Syntax Error", "t.asm", 1, "bad line"));
}

TEST(Reader, EmptySourceGivesEmptyImage) {
    for (const std::string text : {"", "\r\n \t\r\n\x01\x1f "}) {
        t_dir_guard g;
        write_file(g.dir, "t.asm", text);
        t_run run = run_orbasm(g.dir, {"t.asm"});
        EXPECT_EQ(run.stdout_text, "");
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_TRUE(run.has_image);
        EXPECT_TRUE(run.image.empty());
    }
}

TEST(Reader, CharacterTwentySixEndsTheFile) {
    t_dir_guard g;
    write_file(g.dir, "a.asm", "db 1\r\n  \x1a" "db 2\r\nnop\r\n");
    t_run a = run_orbasm(g.dir, {"a.asm"});
    EXPECT_EQ(a.stdout_text, "db 1\n");
    EXPECT_EQ(hex(a.image), "01");
    write_file(g.dir, "b.asm", "db 1\r\ndb 2\x1anop\r\nnop\r\n");
    t_run b = run_orbasm(g.dir, {"b.asm"});
    EXPECT_EQ(b.stdout_text, "db 1\ndb 2\n");
    EXPECT_EQ(hex(b.image), "01 02");
}

TEST(Reader, MissingMainFile) {
    t_dir_guard g;
    t_run run = run_orbasm(g.dir, {"none.asm"});
    EXPECT_EQ(run.stdout_text, report("Could not read file", "none.asm", 1, "[no input]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
}

TEST(Reader, SourceFromStandardInput) {
    t_dir_guard g;
    t_run run = run_orbasm(g.dir, {}, "db 7\r\ndw 1\r\n", ".orb");
    EXPECT_EQ(run.stdout_text, "db 7\ndw 1\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(hex(run.image), "07 01 00");
}

TEST(Reader, IncludesEchoInReadingOrder) {
    t_dir_guard g;
    write_file(g.dir, "main.asm", join_lines({"db 1", "#include \"a.asm\"", "#include 'b.asm'", "db 4"}));
    write_file(g.dir, "a.asm", join_lines({"db 2"}));
    write_file(g.dir, "b.asm", join_lines({"#include x\"c.asm\"y", "db 3"}));
    write_file(g.dir, "c.asm", join_lines({"db 33"}));
    t_run run = run_orbasm(g.dir, {"main.asm"});
    EXPECT_EQ(run.stdout_text, "db 1\n#include \"a.asm\"\ndb 2\n#include 'b.asm'\n#include x\"c.asm\"y\ndb 33\ndb 3\ndb 4\n");
    EXPECT_EQ(hex(run.image), "01 02 21 03 04");
}

TEST(Reader, IncludeLineCountsAndErrorsNameTheirFile) {
    t_dir_guard g;
    write_file(g.dir, "main.asm", join_lines({"db 1", "#include \"a.asm\"", "nop"}));
    write_file(g.dir, "a.asm", join_lines({"db 2", "", "db 3"}));
    t_run run = run_orbasm(g.dir, {"main.asm"});
    EXPECT_EQ(run.stdout_text, "db 1\n#include \"a.asm\"\ndb 2\ndb 3\nnop\n" + report("Syntax Error", "main.asm", 3, "nop"));

    write_file(g.dir, "a.asm", join_lines({"db 2", "bad"}));
    t_run inner = run_orbasm(g.dir, {"main.asm"});
    EXPECT_EQ(inner.stdout_text, "db 1\n#include \"a.asm\"\ndb 2\nbad\n" + report("Syntax Error", "a.asm", 2, "bad"));
}

TEST(Reader, IncludeFailures) {
    t_dir_guard g;
    const std::pair<std::string, std::string> cases[] = {
        {"#include", report("Bad include statement", "t.asm", 1, "#include")},
        {"#include x", report("Bad include statement", "t.asm", 1, "#include x")},
        {"#include\"x.asm\"", report("Syntax Error", "t.asm", 1, "#include\"x.asm\"")},
        {"#include \"none.asm\"", report("Could not read file", "none.asm", 1, "[no input]")},
        {"#include \"sub\"", report("Could not read file", "sub", 1, "[no input]")},
        {"#include 'it\"s'", report("Could not read file", "it\"s", 1, "[no input]")},
        {"#include \"/dev/zero\"", report("Could not read file", "/dev/zero", 1, "[no input]")},
        {std::string("#include \"a.asm\0x\"", 18), report("Could not read file", std::string("a.asm\0x", 7), 1, "[no input]")},
    };
    std::filesystem::create_directory(g.dir.path + "/sub");
    write_file(g.dir, "a.asm", "db 7\r\n"); // a name cut at a NUL byte would open this file
    for (const auto& [line, expected_report] : cases) {
        write_file(g.dir, "t.asm", line + "\r\n");
        t_run run = run_orbasm(g.dir, {"t.asm"});
        std::string echo = run.stdout_text.substr(0, run.stdout_text.find('\n') + 1);
        EXPECT_EQ(run.stdout_text, echo + expected_report) << line;
        EXPECT_EQ(run.exit_code, 1) << line;
        EXPECT_FALSE(run.has_image) << line;
    }
}

TEST(Reader, UndefinedSymbolIsReportedAfterTheWholeEcho) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", join_lines({"jmp @nowhere", "", "db 1"}));
    t_run run = run_orbasm(g.dir, {"t.asm"});
    EXPECT_EQ(run.stdout_text,
              "jmp @nowhere\ndb 1\n" + report("Constant or label not defined - @nowhere", "t.asm", 3, "[end of program]"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_FALSE(run.has_image);
}

TEST(Reader, ReportConsumesOneLineOfInput) {
    // After the report the binary reads one line and ends; the rest of the input is left alone.
    t_dir_guard g;
    write_file(g.dir, "t.asm", "nop\r\n");
    t_run run = run_orbasm(g.dir, {"t.asm"}, "\nmore\n");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.stdout_text, "nop\n" + report("Syntax Error", "t.asm", 1, "nop"));
}

// Lines fall across the reader's 64 KiB chunks at every offset: a string, a carriage return
// and its line feed split by a chunk end read as they do whole. Padding at the start moves every
// chunk end one byte further into its line on each run.
TEST(Reader, LinesAcrossReadChunksReadAsWhole) {
    const std::string ends[] = {"\r\n", "\n", "\r"};
    std::string body;
    std::string echo;
    std::vector<uint8_t> image;
    for (int i = 0; body.size() < 3 * 65536; ++i) {
        const std::string text = std::string(static_cast<std::size_t>(i % 23), 'q') + (i % 3 == 0 ? " r" : "");
        const int value = i % 251;
        body += "\tdb\t'" + text + "' ,  " + std::to_string(value) + ends[i % 3];
        echo += "db '" + text + "'," + std::to_string(value) + "\n";
        image.insert(image.end(), text.begin(), text.end());
        image.push_back(static_cast<uint8_t>(value));
    }
    for (int padding = 0; padding < 48; ++padding) {
        t_dir_guard g;
        write_file(g.dir, "t.asm", std::string(static_cast<std::size_t>(padding), ' ') + body);
        t_run run = run_orbasm(g.dir, {"t.asm"});
        ASSERT_EQ(run.exit_code, 0) << "padding " << padding;
        ASSERT_EQ(run.stdout_text, echo) << "padding " << padding;
        ASSERT_EQ(run.image, image) << "padding " << padding;
    }
}

// An unclosed string stops the run with the raw line as its fault, wherever the line ends.
TEST(Reader, UnclosedStringReportsTheRawLine) {
    for (const std::string end : {"\r\n", "\n", "\r", ""}) {
        t_dir_guard g;
        std::string source = "db 1\r\n  db  'abc , 2";
        if (!end.empty()) {
            source += end;
            source += "db 3\r\n";
        }
        write_file(g.dir, "t.asm", source);
        t_run run = run_orbasm(g.dir, {"t.asm"});
        EXPECT_EQ(run.stdout_text, "db 1\n" + report("String exceeds line", "t.asm", 2, "db  'abc , 2"));
        EXPECT_EQ(run.exit_code, 1);
    }
}
