// Diagnostics as the server publishes them: exact ranges in UTF-16 units, the include chain, the
// error of an included file at the #include line of each document that leads to it.
#include "orbls/session.h"

#include <gtest/gtest.h>

#include <iostream>

struct t_diagnostics_case {
    std::string name;
    std::vector<std::pair<std::string, std::string>> files;
    t_json options;
    std::vector<std::string> opened;                           // opened in this order
    std::map<std::string, std::vector<std::string>> expected; // by file, as diagnostic_lines gives them
};

static const std::string main_with_include = join_lines(
    {"#const size = 10", "@start:", " ld ax,size", " #include \"inc.asm\"", " jmp @start"});

static const std::vector<t_diagnostics_case> diagnostics_cases = {
    {"error in an included file, at the #include line of the main program and at its place in the file",
     {{"main.asm", main_with_include}, {"inc.asm", join_lines({" add ax,bx", "  bogus here"})}},
     t_json::object(),
     {"main.asm", "inc.asm"},
     {{"main.asm",
       {"3:1-3:19 error Syntax Error (in inc.asm:2)", "  related inc.asm 1:2-1:7 Syntax Error",
        "  related main.asm 3:0-3:0 included from here", "  related inc.asm 1:2-1:7 'bogus' is not a mnemonic"}},
      {"inc.asm", {"1:2-1:7 error Syntax Error", "  related inc.asm 1:2-1:7 'bogus' is not a mnemonic"}}}},
    {"the hints the command line gives travel as related information",
     {{"main.asm", join_lines({"; a comment", " LD ax,bx"})}},
     t_json::object(),
     {"main.asm"},
     {{"main.asm",
       {"0:0-0:1 error Syntax Error",
        "  related main.asm 0:0-0:1 there are no comment lines: a line that begins with ';' is read as an instruction",
        "1:1-1:3 error Syntax Error", "  related main.asm 1:1-1:3 keywords are lower case: 'LD' is not a keyword"}}}},
    {"a warning turned off by name in the initialization options, as -Wno-NAME",
     {{"main.asm", join_lines({" db 300", " ret zz,"})}},
     t_json{{"warnings", {{"value-range", false}, {"no-such-warning", false}}}},
     {"main.asm"},
     {{"main.asm", {"1:5-1:7 warning Text after the instruction is not assembled"}}}},
    {"an error two includes deep: each document shows it at its own #include line",
     {{"main.asm", join_lines({"#include \"a.asm\""})},
      {"a.asm", join_lines({" ld ax,1", "#include 'sub/b.asm'"})},
      {"sub/b.asm", join_lines({"", "\tld ax,[bx"})}},
     t_json::object(),
     {"main.asm", "a.asm"},
     {{"main.asm",
       {"0:0-0:16 error ] expected (in sub/b.asm:2)", "  related sub/b.asm 1:10-1:11 ] expected",
        "  related a.asm 1:0-1:0 included from here", "  related main.asm 0:0-0:0 included from here"}},
      {"a.asm",
       {"1:0-1:20 error ] expected (in sub/b.asm:2)", "  related sub/b.asm 1:10-1:11 ] expected",
        "  related a.asm 1:0-1:0 included from here"}}}},
    {"a warning, and columns counted in UTF-16 units after two- and four-byte characters",
     {{"main.asm", join_lines({"@x: ld ax,bx", " db '\xC3\xA9\xF0\x9F\x98\x80', qq"})}},
     t_json::object(),
     {"main.asm"},
     {{"main.asm", {"0:4-0:6 warning Text after a label is not assembled",
                    "1:11-1:13 error Constant not defined - qq",
                    "  related main.asm 1:11-1:13 'qq' is not a register; did you mean 'q0'?"}}}},
    {"the first definition of a redeclared name, related to the second",
     {{"main.asm", join_lines({"#const n = 1", "@a: ; first", "  ld ax,n", "  #const  n = 2"})}},
     t_json::object(),
     {"main.asm"},
     {{"main.asm", {"3:10-3:11 error Constant or label redeclared", "  related main.asm 0:7-0:8 first defined here"}}}},
    {"an include that cannot be read, and one of standard input, which the server never reads",
     {{"main.asm", join_lines({"#include \"gone.asm\""})}, {"stdin.asm", join_lines({"  #include \"\""})}},
     t_json::object(),
     {"main.asm", "stdin.asm"},
     {{"main.asm", {"0:9-0:19 error Could not read file \"gone.asm\": No such file or directory"}},
      {"stdin.asm", {"0:11-0:13 error Could not read file \"<stdin>\": Not a regular file"}}}},
    {"a defined constant that is wrong belongs to no line: the first line of the document",
     {{"main.asm", join_lines({"  ret", "ret"})}},
     {{"defines", {{"bad", "("}}}},
     {"main.asm"},
     {{"main.asm", {"0:2-0:5 error Error in constant definition (in the defined constant \"#const bad = (\")"}}}},
    {"include paths and defined constants from the initialization options",
     {{"main.asm", join_lines({"#include \"inc2.asm\"", " ld ax,size+flag"})}, {"lib/inc2.asm", " ret\r\n"}},
     {{"includePaths", {"lib"}}, {"defines", {{"size", 12}, {"flag", true}}}},
     {"main.asm"},
     {{"main.asm", {}}}},
};

TEST(OrblsDiagnostics, Table) {
    int passed = 0;
    for (const t_diagnostics_case& test : diagnostics_cases) {
        t_session session;
        start_session(session, test.files, test.options);
        for (const std::string& name : test.opened)
            open_file(session, name);
        bool good = true;
        for (const auto& [name, expected] : test.expected) {
            const std::vector<std::string> got = diagnostic_lines(session, name);
            if (got != expected) {
                good = false;
                ADD_FAILURE() << test.name << ": " << name << " has\n  " << testing::PrintToString(got) << "\nexpected\n  "
                              << testing::PrintToString(expected);
            }
        }
        passed += good ? 1 : 0;
        end_session(session);
    }
    std::cout << passed << " of " << diagnostics_cases.size() << " diagnostics cases passed\n";
}

// Fixing the included file in the editor clears the error in it and in the program that includes
// it, without a save; closing it sends the main program back to the file on disk.
TEST(OrblsDiagnostics, FixingAnIncludedFileClearsEveryDocument) {
    t_session session;
    start_session(session, {{"main.asm", main_with_include}, {"inc.asm", join_lines({" add ax,bx", "  bogus here"})}});
    open_file(session, "main.asm");
    open_file(session, "inc.asm");
    edit(session, "inc.asm", 1, 2, 1, 7, "sub");
    EXPECT_EQ(diagnostic_lines(session, "inc.asm"),
              std::vector<std::string>{"1:6-1:10 error [register] or register expected"});
    edit(session, "inc.asm", 1, 5, 1, 10, " cx,dx");
    EXPECT_EQ(diagnostic_lines(session, "inc.asm"), std::vector<std::string>{});
    EXPECT_EQ(diagnostic_lines(session, "main.asm"), std::vector<std::string>{});
    notify(session, "textDocument/didClose", {{"textDocument", {{"uri", uri_of(session, "inc.asm")}}}});
    EXPECT_EQ(diagnostic_lines(session, "inc.asm"), std::vector<std::string>{});
    EXPECT_EQ(diagnostic_lines(session, "main.asm"),
              (std::vector<std::string>{"3:1-3:19 error Syntax Error (in inc.asm:2)",
                                        "  related inc.asm 1:2-1:7 Syntax Error",
                                        "  related main.asm 3:0-3:0 included from here",
                                        "  related inc.asm 1:2-1:7 'bogus' is not a mnemonic"}));
    end_session(session);
}
