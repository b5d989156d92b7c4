// The command-line form: options, silence on success, diagnostics on standard error that point at
// the source, exit codes, dependency files. Every case runs the real binary on real files.
#include "support/harness.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

bool exists(const t_workdir& dir, const std::string& name) { return std::filesystem::exists(dir.path + "/" + name); }

struct t_cli_case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files; // written before the run, CR LF lines
    std::vector<std::string> args;
    std::string stdin_text;
    int exit_code;
    std::string out;      // standard output, exactly
    std::string err;      // standard error, exactly
    std::string image;    // the file the image is expected in; "" when none may be written
    std::string bytes;    // its bytes
};

const std::string bogus_hint = "Try 'orbasm --help' for more information.\n";

const t_cli_case cli_cases[] = {
    {"version", {}, {"--version"}, "", 0, "orbasm 1.0\n", "", "", ""},
    {"silent success", {{"t.asm", "db 1\r\nld ax,bx\r\n"}}, {"-o", "out.orb", "t.asm"}, "", 0, "", "", "out.orb",
     std::string("\x01\x01\x00", 3)},
    {"image named after the source", {{"t.asm", "db 7\r\n"}}, {"-w", "t.asm"}, "", 0, "", "", "t.asm.orb", "\x07"},
    {"image to standard output", {{"t.asm", "db 'AB'\r\n"}}, {"-o", "-", "t.asm"}, "", 0, "AB", "", "", ""},
    {"image to /dev/stdout, a file here: written through, never replaced", {{"t.asm", "db 'CD'\r\n"}},
     {"-o", "/dev/stdout", "t.asm"}, "", 0, "CD", "", "", ""},
    {"source from standard input", {}, {"-o", "x.orb", "-"}, "db 3\r\n", 0, "", "", "x.orb", "\x03"},
    {"echo", {{"t.asm", "  db 1 , 2\r\n"}}, {"--echo", "-o", "x.orb", "t.asm"}, "", 0, "db 1 ,2\n", "", "x.orb",
     "\x01\x02"},
    {"include directory", {{"t.asm", "#include \"b.asm\"\r\n"}, {"inc/b.asm", "db 9\r\n"}},
     {"-I", "inc", "-o", "x.orb", "t.asm"}, "", 0, "", "", "x.orb", "\x09"},
    {"defines", {{"t.asm", "db SIZE,FLAG\r\n"}}, {"-D", "SIZE=5", "-DFLAG", "-o", "x.orb", "t.asm"}, "", 0, "", "",
     "x.orb", "\x05\x01"},
    {"define with the errors of #const", {{"t.asm", "db 1\r\n"}}, {"-D", "X=@a", "-o", "x.orb", "t.asm"}, "", 1, "",
     "<command line>:1:12: error: Immediate value expected\n#const X = @a\n           ^~\n", "", ""},
    {"blank lines counted, column of the first word",
     {{"t.asm", "db 1\r\n\r\n\r\n  nop\r\n"}}, {"-o", "x.orb", "t.asm"}, "", 1, "",
     "t.asm:4:3: error: Syntax Error\n  nop\n  ^~~\nt.asm:4:3: note: 'nop' is not a mnemonic; did you mean 'pop'?\n", "", ""},
    {"column of the operand at fault, tabs kept under it",
     {{"t.asm", "\tadd\tax,  [qq]\r\n"}}, {"-o", "x.orb", "t.asm"}, "", 1, "",
     "t.asm:1:12: error: Register expected\n\tadd\tax,  [qq]\n\t   \t      ^~\n", "", ""},
    {"undefined name at its first use", {{"t.asm", "db 1\r\n\r\njmp @far\r\njmp @far\r\n"}},
     {"-o", "x.orb", "t.asm"}, "", 1, "",
     "t.asm:3:5: error: Constant or label not defined - @far\njmp @far\n    ^~~~\n", "", ""},
    {"include chain", {{"m.asm", "db 1\r\n\r\n#include \"d.asm\"\r\n"}, {"d.asm", "db 2\r\nld ax bx\r\n"}},
     {"-o", "x.orb", "m.asm"}, "", 1, "",
     "d.asm:2:7: error: Comma expected\nld ax bx\n      ^~\nm.asm:3: note: included from here\n", "", ""},
    {"missing include, with the system's reason", {{"m.asm", "\r\n#include 'gone.asm'\r\n"}},
     {"-o", "x.orb", "m.asm"}, "", 1, "",
     "m.asm:2:10: error: Could not read file \"gone.asm\": No such file or directory\n#include 'gone.asm'\n"
     "         ^~~~~~~~~~\n", "", ""},
    {"missing source", {}, {"-o", "x.orb", "none.asm"}, "", 1, "",
     "orbasm: error: Could not read file \"none.asm\": No such file or directory\n", "", ""},
    {"include of a directory", {{"m.asm", "#include \"sub\"\r\n"}, {"sub/x", ""}}, {"-o", "x.orb", "m.asm"}, "", 1, "",
     "m.asm:1:10: error: Could not read file \"sub\": Is a directory\n#include \"sub\"\n         ^~~~~\n", "", ""},
    {"hint: keywords are lower case", {{"t.asm", "LD AX,BX\r\n"}}, {"-o", "x.orb", "t.asm"}, "", 1, "",
     "t.asm:1:1: error: Syntax Error\nLD AX,BX\n^~\nt.asm:1:1: note: keywords are lower case: 'LD' is not a keyword\n",
     "", ""},
    {"hint: no comment lines", {{"t.asm", "; note\r\n"}}, {"-o", "x.orb", "t.asm"}, "", 1, "",
     "t.asm:1:1: error: Syntax Error\n; note\n^\nt.asm:1:1: note: there are no comment lines: a line that begins with "
     "';' is read as an instruction\n", "", ""},
    {"hint: a comment after an expression", {{"t.asm", "ld ax,5 ; five\r\n"}}, {"-o", "x.orb", "t.asm"}, "", 1, "",
     "t.asm:1:11: error: Constant or label not defined - five\nld ax,5 ; five\n          ^~~~\nt.asm:1:11: note: "
     "text after ';' in an expression is part of the expression, not a comment\n", "", ""},
    {"warnings leave the image as it is",
     {{"t.asm", "@l: add ax,bx\r\ndb 0x1F, 1_000, 300\r\ndw 70000\r\nfld q1,single 1.00000000000000000001\r\n"}},
     {"-o", "x.orb", "t.asm"}, "", 0, "",
     "t.asm:1:5: warning: Text after a label is not assembled [-Wlabel-text]\n@l: add ax,bx\n    ^~~\n"
     "t.asm:2:4: warning: Characters glued to a number are skipped [-Wglued-number]\ndb 0x1F, 1_000, 300\n   ^~~~\n"
     "t.asm:2:10: warning: Characters glued to a number are skipped [-Wglued-number]\ndb 0x1F, 1_000, 300\n         ^~~~~\n"
     "t.asm:2:17: warning: Value does not fit in a byte [-Wvalue-range]\ndb 0x1F, 1_000, 300\n                ^~~\n"
     "t.asm:3:4: warning: Value does not fit in a word [-Wvalue-range]\ndw 70000\n   ^~~~~\n"
     "t.asm:4:15: warning: Single constant cut at 20 characters [-Wsingle-cut]\nfld q1,single 1.00000000000000000001\n"
     "              ^~~~~~~~~~~~~~~~~~~~~~\n",
     "x.orb", std::string("\x19\x01\x2C\x70\x11\x10\xF7\x00\x00\x80\x3F", 11)},
    {"warnings silenced", {{"t.asm", "@l: add ax,bx\r\n"}}, {"-w", "-o", "x.orb", "t.asm"}, "", 0, "", "", "x.orb", ""},
    {"warnings as errors", {{"t.asm", "db 1.5\r\n"}}, {"-Werror", "-o", "x.orb", "t.asm"}, "", 1, "",
     "t.asm:1:4: error: Characters glued to a number are skipped [-Werror=glued-number]\ndb 1.5\n   ^~~\n", "", ""},
    {"classic diagnostics on standard error", {{"t.asm", "db 1\r\n\r\nbogus\r\n"}},
     {"--diagnostics=classic", "-o", "x.orb", "t.asm"}, "", 1, "",
     "\nError : Syntax Error\nFile  : t.asm\nLine  : 2\nFault : bogus\n", "", ""},
    {"two sources", {}, {"-w", "a.asm", "b.asm"}, "", 2, "", "orbasm: one source at a time, not 2\n" + bogus_hint, "", ""},
    {"unknown diagnostics form", {}, {"--diagnostics=fancy", "t.asm"}, "", 2, "",
     "orbasm: unknown diagnostics form 'fancy' (only 'classic')\n" + bogus_hint, "", ""},
};
} // namespace

TEST(CommandLine, Cases) {
    for (const t_cli_case& c : cli_cases) {
        t_dir_guard g;
        for (const auto& [name, text] : c.files) {
            std::filesystem::create_directories(std::filesystem::path(g.dir.path + "/" + name).parent_path());
            write_file(g.dir, name, text);
        }
        std::vector<std::string> argv = {ORBASM_BINARY};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const t_program_run run = run_program(g.dir, argv, c.stdin_text);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.name;
        EXPECT_EQ(run.out, c.out) << c.name;
        EXPECT_EQ(run.err, c.err) << c.name;
        if (!c.image.empty())
            EXPECT_EQ(read_text(g.dir, c.image), c.bytes) << c.name;
        else
            for (const char* image : {"x.orb", "t.asm.orb", ".orb"})
                EXPECT_FALSE(exists(g.dir, image)) << c.name << ": " << image;
    }
}

// Usage errors name what was wrong (in getopt's words) and end with the hint; help goes to
// standard output.
TEST(CommandLine, UsageErrorsAndHelp) {
    t_dir_guard g;
    const t_program_run help = run_program(g.dir, {ORBASM_BINARY, "--help"}, "");
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("Usage: orbasm [OPTION]... SOURCE\n", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus", "t.asm"}, {"t.asm", "-o"}}) {
        std::vector<std::string> argv = {ORBASM_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        const t_program_run run = run_program(g.dir, argv, "");
        EXPECT_EQ(run.exit_code, 2) << args[0];
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(args[0] == "--bogus" ? "unrecognized option '--bogus'" : "requires an argument -- 'o'"),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(run.err.size() >= bogus_hint.size() && run.err.substr(run.err.size() - bogus_hint.size()) == bogus_hint)
            << run.err;
    }
}

// make and ninja read the dependency file: the image (or -MT's targets) depends on the source and
// every file it includes; -MP adds an empty rule for each included file.
TEST(CommandLine, DependencyFiles) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", "#include \"b.asm\"\r\n#include \"inc/c d.asm\"\r\n");
    write_file(g.dir, "b.asm", "db 1\r\n");
    std::filesystem::create_directories(g.dir.path + "/inc");
    write_file(g.dir, "inc/c d.asm", "db 2\r\n");
    EXPECT_EQ(run_program(g.dir, {ORBASM_BINARY, "-MD", "-o", "x.orb", "t.asm"}, "").exit_code, 0);
    EXPECT_EQ(read_text(g.dir, "x.orb.d"), "x.orb: \\\n t.asm \\\n b.asm \\\n inc/c\\ d.asm\n");
    EXPECT_EQ(run_program(g.dir, {ORBASM_BINARY, "-MD", "-MF", "deps.d", "-MT", "a", "-MT", "b$", "-MP", "t.asm"}, "")
                  .exit_code,
              0);
    EXPECT_EQ(read_text(g.dir, "deps.d"), "a b$$: \\\n t.asm \\\n b.asm \\\n inc/c\\ d.asm\n\nb.asm:\n\ninc/c\\ d.asm:\n");
    write_file(g.dir, "bad.asm", "bogus\r\n");
    EXPECT_EQ(run_program(g.dir, {ORBASM_BINARY, "-MD", "bad.asm"}, "").exit_code, 1);
    EXPECT_FALSE(exists(g.dir, "bad.asm.orb.d"));
}

// An error never waits for Enter in the command-line form, even with standard input held open.
TEST(CommandLine, NoWaitWithStandardInputOpen) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", "bogus\r\n");
    const t_program_run run = run_program(
        g.dir,
        {"/bin/sh", "-c",
         "mkfifo held; sleep 10 > held & timeout 5 \"$0\" -o x.orb t.asm < held 2>/dev/null; echo $?; kill $!",
         ORBASM_BINARY},
        "");
    EXPECT_EQ(run.out, "1\n");
}

// The same source gives the same image in both forms.
TEST(CommandLine, SameImageInBothForms) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", "#header\r\n@start: ld ax,[bx+@x]\r\njr nz,@start\r\n#zero 70000\r\n@x:\r\n"
                               "dd @endofexe\r\n@runpoint:\r\n@stack:\r\n#data 10\r\n@endofstack:\r\n");
    const t_run console = run_orbasm(g.dir, {"t.asm"});
    ASSERT_EQ(console.exit_code, 0) << console.stdout_text;
    EXPECT_EQ(run_program(g.dir, {ORBASM_BINARY, "-o", "cli.orb", "t.asm"}, "").exit_code, 0);
    EXPECT_EQ(read_text(g.dir, "cli.orb"), std::string(console.image.begin(), console.image.end()));
}

namespace {
// A line alone in a file, and the first line of what orbasm prints for it ("" when it warns of
// nothing); the warning's switch is the name between "[-W" and "]".
struct t_warning_case {
    const char* source;
    const char* warning;
};

const t_warning_case warning_cases[] = {
    {"ret zz,", "t.asm:1:5: warning: Text after the instruction is not assembled [-Wtrailing-text]"},
    {"ld ax,bx+4]", "t.asm:1:9: warning: Text after the instruction is not assembled [-Wtrailing-text]"},
    {"add ax,bx,cx", "t.asm:1:10: warning: Text after the instruction is not assembled [-Wtrailing-text]"},
    {"jmp [bx+4] zz", "t.asm:1:12: warning: Text after the instruction is not assembled [-Wtrailing-text]"},
    {"ld ax,bx ; a note", ""},
    {"add [bx+2],cx", ""},
    {"ld word [bx],ax", ""},
    {"fld single [bx],q1", ""},
    {"fld q0,single 1.5", ""},
    {"db 1,'a,b', 2", ""},
    {"jmp", "t.asm:1:4: warning: Operand missing: it is read as 0 [-Wmissing-operand]"},
    {"call", "t.asm:1:5: warning: Operand missing: it is read as 0 [-Wmissing-operand]"},
    {"ld ax,", "t.asm:1:7: warning: Operand missing: it is read as 0 [-Wmissing-operand]"},
    {"jr nz,-", "t.asm:1:8: warning: Operand missing: it is read as 0 [-Wmissing-operand]"},
    {"int", "t.asm:1:4: warning: Operand missing: it is read as 0 [-Wmissing-operand]"},
    {"ld ax,[bx+]", "t.asm:1:11: warning: Operand missing: it is read as 0 [-Wmissing-operand]"},
    {"ld ax,0", ""},
    {"jmp @endofexe", ""},
    {"ld ax,2*3", "t.asm:1:8: warning: '*' is ignored outside strings: expressions have only + and - [-Wignored-characters]"},
    {"  #org (4)", "t.asm:1:8: warning: '(' is ignored outside strings: expressions have only + and - [-Wignored-characters]"},
    {"db \"a;b\", 8/2", "t.asm:1:12: warning: '/' is ignored outside strings: expressions have only + and - [-Wignored-characters]"},
    {"db '2*3'", ""},
    {"ld ax,1 ; 2*3", ""},
    {"dd 4294967296", "t.asm:1:4: warning: Number does not fit in 32 bits: only its low 32 bits are kept [-Wnumber-range]"},
    {"ld ax,99999999999", "t.asm:1:7: warning: Number does not fit in 32 bits: only its low 32 bits are kept [-Wnumber-range]"},
    {"dd 100000000h", "t.asm:1:4: warning: Number does not fit in 32 bits: only its low 32 bits are kept [-Wnumber-range]"},
    {"dd 4294967295", ""},
    {"dd 0ffffffffh", ""},
    {"dd 00000000000000001", ""},
};
} // namespace

// Each warning is printed as its case says and turned off by its own switch alone; the image is the
// one that no warning gives.
TEST(CommandLine, NewWarningsAndTheirSwitches) {
    for (const t_warning_case& c : warning_cases) {
        t_dir_guard g;
        write_file(g.dir, "t.asm", std::string(c.source) + "\r\n");
        const t_program_run quiet = run_program(g.dir, {ORBASM_BINARY, "-w", "-o", "quiet.orb", "t.asm"}, "");
        const t_program_run run = run_program(g.dir, {ORBASM_BINARY, "-o", "x.orb", "t.asm"}, "");
        const std::string first = run.err.substr(0, run.err.find('\n'));
        EXPECT_EQ(first, c.warning) << c.source;
        EXPECT_EQ(run.err.find(": warning: ", first.size()), std::string::npos) << c.source << "\n" << run.err;
        EXPECT_EQ(run.exit_code, 0) << c.source;
        EXPECT_EQ(read_text(g.dir, "x.orb"), read_text(g.dir, "quiet.orb")) << c.source;
        if (first.empty())
            continue;
        const std::string name = first.substr(first.rfind("[-W") + 3, first.size() - first.rfind("[-W") - 4);
        for (const std::string& other : {std::string("trailing-text"), std::string("missing-operand"),
                                         std::string("ignored-characters"), std::string("number-range")}) {
            const t_program_run off = run_program(g.dir, {ORBASM_BINARY, "-Wno-" + other, "-o", "x.orb", "t.asm"}, "");
            EXPECT_EQ(off.err.empty(), other == name) << c.source << " -Wno-" << other;
        }
        const t_program_run again =
            run_program(g.dir, {ORBASM_BINARY, "-Wno-" + name, "-W" + name, "-o", "x.orb", "t.asm"}, "");
        EXPECT_EQ(again.err, run.err) << c.source;
    }
}

// A character dropped from an #include line is looked for in that line, not in the file it opens.
TEST(CommandLine, DroppedCharacterOnAnIncludeLine) {
    t_dir_guard g;
    write_file(g.dir, "inc.asm", "db 1\r\n");
    write_file(g.dir, "t.asm", "#include \"inc.asm\" !!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\r\n ld ax,2*3\r\n");
    const t_program_run run = run_program(g.dir, {ORBASM_BINARY, "-o", "x.orb", "t.asm"}, "");
    EXPECT_EQ(run.err, "t.asm:2:9: warning: '*' is ignored outside strings: expressions have only + and - "
                       "[-Wignored-characters]\n ld ax,2*3\n        ^\n");
    EXPECT_EQ(read_text(g.dir, "x.orb"), std::string("\x01\x00\xA8\x05\x00", 5));
}

// The notes after an error, exactly; the classic report keeps its text.
TEST(CommandLine, NotesThatHelpToAct) {
    const std::pair<std::string, std::string> cases[] = {
        {"lod bx,6", "t.asm:1:1: error: Syntax Error\nlod bx,6\n^~~\nt.asm:1:1: note: 'lod' is not a mnemonic; did you mean 'ld'?\n"},
        {"dec ax", "t.asm:1:1: error: Syntax Error\ndec ax\n^~~\nt.asm:1:1: note: 'dec' is not a mnemonic; did you mean 'dec1'?\n"},
        {"  #orgg 5", "t.asm:1:3: error: Syntax Error\n  #orgg 5\n  ^~~~~\nt.asm:1:3: note: '#orgg' is not a directive; did you mean '#org'?\n"},
        {"frobnicate ax", "t.asm:1:1: error: Syntax Error\nfrobnicate ax\n^~~~~~~~~~\nt.asm:1:1: note: 'frobnicate' is not a mnemonic\n"},
        {"LD ax,bx", "t.asm:1:1: error: Syntax Error\nLD ax,bx\n^~\nt.asm:1:1: note: keywords are lower case: 'LD' is not a keyword\n"},
        {"ld cx,bz", "t.asm:1:7: error: Constant or label not defined - bz\nld cx,bz\n      ^~\nt.asm:1:7: note: 'bz' is not a register; did you mean 'bx'?\n"},
        {"ld cx,count", "t.asm:1:7: error: Constant or label not defined - count\nld cx,count\n      ^~~~~\n"},
        {"db 1,bz", "t.asm:1:6: error: Constant not defined - bz\ndb 1,bz\n     ^~\nt.asm:1:6: note: 'bz' is not a register; did you mean 'bx'?\n"},
        {"@a:\r\n\r\n  @a: ; again", "t.asm:3:3: error: Constant or label redeclared\n  @a: ; again\n  ^~\nt.asm:1:1: note: first defined here\n"},
        {"#const  n = 1\r\n#const n = 2", "t.asm:2:8: error: Constant or label redeclared\n#const n = 2\n       ^\nt.asm:1:9: note: first defined here\n"},
        {"db 1\r\n#org 20h\r\n#zero 30\r\n#org 10h", "t.asm:4:6: error: Could not satisfy #org statement\n#org 10h\n     ^~~\nt.asm:4:6: note: the items before it reach 3Eh, beyond the 10h it asks for\n"},
    };
    for (const auto& [source, err] : cases) {
        t_dir_guard g;
        write_file(g.dir, "t.asm", source + "\r\n");
        const t_program_run run = run_program(g.dir, {ORBASM_BINARY, "-o", "x.orb", "t.asm"}, "");
        EXPECT_EQ(run.exit_code, 1) << source;
        EXPECT_EQ(run.err, err) << source;
    }
    t_dir_guard g;
    write_file(g.dir, "t.asm", "db 1,bz\r\n");
    EXPECT_EQ(run_program(g.dir, {ORBASM_BINARY, "--diagnostics=classic", "-o", "x.orb", "t.asm"}, "").err,
              "\nError : Constant not defined\nFile  : t.asm\nLine  : 1\nFault : db 1 ,bz\n");
    const t_program_run unknown = run_program(g.dir, {ORBASM_BINARY, "-Wno-trailing", "t.asm"}, "");
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_EQ(unknown.err, "orbasm: unknown warning option '-Wno-trailing'\n" + bogus_hint);
}
