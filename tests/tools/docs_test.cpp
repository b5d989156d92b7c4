// The examples of README.md and docs/manual.md, run by the programs just built. Every example is a
// fenced block, and its tag says how it is checked:
//
//   ```orbasm          a complete program: `orbasm -o t.orb t.asm` assembles it (CR LF line ends)
//                      with exit status 0 and nothing on standard error, so without a warning;
//   ```bytes           right after an ```orbasm block (blank lines between at most): the image of
//                      that program is exactly these hexadecimal bytes;
//   ```orbasm NAME     a file named NAME in the section's folder, written with CR LF line ends;
//   ```console         a transcript: every "$ COMMAND" line runs in the section's folder through
//                      /bin/sh, with orbasm, orbdis and orblist the programs just built, standard
//                      input empty and standard error joined to standard output; the lines up to
//                      the next "$ " line are exactly what the command prints;
//   ```make, ```ninja  build rules: make and ninja run them on a program of two files, twice, and
//                      again after the included file changed (BuildRules below);
//   ```sh              the project's own commands (build, test, fuzzing, benchmark);
//   ```text            a synopsis or a diagram, no example.
//
// A section is the text under a "## " heading: its folder starts empty, and its files and commands
// are applied in the order they stand. Any other tag, a block without a tag, or an indented code
// block fails. The warning tables ("| warning | for | example |") are checked here too; the
// manual's other tables (encodings, error messages, values, normalisation) in manual_test.cpp.
#include "driver/orbasm.h"
#include "support/harness.h"
#include "tools/markdown.h"
#include "tools/tool_run.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <set>

namespace fs = std::filesystem;

namespace {

// A folder that holds orbasm, orbdis and orblist under their own names, first on the PATH of
// every command, so that a transcript's "orbasm" is the program just built.
const std::string& program_folder() {
    static const t_workdir dir = [] {
        t_workdir made = make_workdir();
        fs::create_symlink(ORBASM_BINARY, made.path + "/orbasm");
        fs::create_symlink(ORBDIS_BINARY, made.path + "/orbdis");
        fs::create_symlink(ORBLIST_BINARY, made.path + "/orblist");
        return made;
    }();
    return dir.path;
}

std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs script with /bin/sh in dir, the programs first on the PATH, standard error joined to
// standard output, standard input empty.
t_program_run run_shell(const t_workdir& dir, const std::string& script) {
    const std::string prelude = "exec 2>&1 </dev/null\nPATH=" + shell_quote(program_folder()) + ":\"$PATH\"\n";
    return run_program(dir, {"/bin/sh", "-c", prelude + script}, "");
}

bool have_program(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string with_crlf(const std::vector<std::string>& lines) { return join_lines(lines, "\r\n"); }

// Where a mismatch was found, for the messages.
std::string where(const std::string& document, const t_fenced_block& block) {
    return document + ":" + std::to_string(block.first_line) + " (" + block.section + ")";
}

// A complete program: assembled without a warning; its image is expected when bytes is set.
void check_program(const std::string& document, const t_fenced_block& block, const t_fenced_block* bytes) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", with_crlf(block.lines));
    const t_program_run run = run_program(g.dir, {ORBASM_BINARY, "-o", "t.orb", "t.asm"}, "");
    EXPECT_TRUE(run.exit_code == 0 && run.out.empty() && run.err.empty())
        << where(document, block) << ": the program does not assemble cleanly (exit " << run.exit_code << ")\n"
        << run.out << run.err;
    if (bytes == nullptr)
        return;
    std::string expected;
    for (const std::string& line : bytes->lines)
        expected += (expected.empty() || line.empty() ? "" : " ") + line;
    EXPECT_TRUE(expected.empty() || is_hex_bytes(expected)) << where(document, *bytes) << ": not hexadecimal bytes";
    EXPECT_EQ(hex(read_bytes(g.dir.path + "/t.orb")), expected) << where(document, block);
}

// A transcript: each command's output is cut off by a record separator the script prints after it,
// and the command's exit status is passed on, so that "$ echo $?" shows it.
void check_transcript(const std::string& document, const t_fenced_block& block, const t_workdir& dir) {
    std::vector<std::string> commands;
    std::vector<std::string> expected;
    for (const std::string& line : block.lines) {
        if (line.rfind("$ ", 0) == 0) {
            commands.push_back(line.substr(2));
            expected.emplace_back();
        } else if (commands.empty()) {
            ADD_FAILURE() << where(document, block) << ": output before the first command: " << line;
            return;
        } else {
            expected.back() += line + "\n";
        }
    }
    ASSERT_FALSE(commands.empty()) << where(document, block) << ": a transcript without a command";
    std::string script;
    for (const std::string& command : commands)
        script += command + "\nstatus=$?; printf '\\036'; (exit $status)\n";
    const t_program_run run = run_shell(dir, script);
    std::vector<std::string> printed(1);
    for (const char c : run.out) {
        if (c == '\036')
            printed.emplace_back();
        else
            printed.back() += c;
    }
    for (std::size_t k = 0; k < commands.size(); ++k)
        EXPECT_EQ(k < printed.size() ? printed[k] : "(did not run)", expected[k])
            << where(document, block) << ": $ " << commands[k];
}

const std::set<std::string> known_tags = {"orbasm", "bytes", "console", "make", "ninja", "sh", "text"};

// Runs every example of the document; the number of examples checked.
int check_document(const std::string& document) {
    const t_markdown doc = read_markdown(read_text(ORBASM_SOURCE_DIR "/" + document));
    for (const std::string& problem : doc.problems)
        ADD_FAILURE() << document << ": " << problem;
    int examples = 0;
    std::string section = "\n"; // no heading has this name
    t_dir_guard folder;
    for (std::size_t k = 0; k < doc.blocks.size(); ++k) {
        const t_fenced_block& block = doc.blocks[k];
        if (block.section != section) {
            remove_workdir(folder.dir);
            folder.dir = make_workdir();
            section = block.section;
        }
        EXPECT_TRUE(known_tags.count(block.tag) != 0) << where(document, block) << ": the tag \"" << block.tag
                                                     << "\" says nothing about how the example is checked";
        if (block.tag == "orbasm" && !block.name.empty()) {
            fs::create_directories(fs::path(folder.dir.path + "/" + block.name).parent_path());
            write_file(folder.dir, block.name, with_crlf(block.lines));
        } else if (block.tag == "orbasm") {
            const bool bytes_follow = k + 1 < doc.blocks.size() && doc.blocks[k + 1].tag == "bytes" &&
                                      doc.blocks[k + 1].follows_block;
            check_program(document, block, bytes_follow ? &doc.blocks[k + 1] : nullptr);
            ++examples;
        } else if (block.tag == "bytes") {
            EXPECT_TRUE(k > 0 && doc.blocks[k - 1].tag == "orbasm" && doc.blocks[k - 1].name.empty() &&
                        block.follows_block)
                << where(document, block) << ": bytes that follow no program";
        } else if (block.tag == "console") {
            check_transcript(document, block, folder.dir);
            ++examples;
        }
    }
    return examples;
}

// "| warning | switch | for | example |" rows: each example, alone in a file, gives that warning,
// named by its switch, and no other diagnostic; with the switch it gives none. The switches seen
// are added to switches.
int check_warning_tables(const std::string& document, std::set<std::string>& switches) {
    const t_markdown doc = read_markdown(read_text(ORBASM_SOURCE_DIR "/" + document));
    int examples = 0;
    bool inside = false;
    for (const std::string& line : doc.lines) {
        const std::vector<std::string> cells = table_cells(line);
        if (cells.size() != 4 || cells[0] == "warning" || cells[0] == "Warning") {
            inside = cells.size() == 4;
            continue;
        }
        if (!inside || cells[0].find_first_not_of('-') == std::string::npos)
            continue;
        const std::vector<std::string> message = code_spans(cells[0]);
        const std::vector<std::string> off = code_spans(cells[1]);
        const std::vector<std::string> sources = code_spans(cells[3], ", ");
        const bool good_row = message.size() == 1 && off.size() == 1 && off[0].rfind("-Wno-", 0) == 0 && !sources.empty();
        EXPECT_TRUE(good_row) << document << ": " << line;
        if (!good_row)
            continue;
        switches.insert(off[0]);
        for (const std::string& source : sources) {
            t_dir_guard g;
            write_file(g.dir, "t.asm", source + "\r\n");
            const t_program_run run = run_program(g.dir, {ORBASM_BINARY, "-o", "t.orb", "t.asm"}, "");
            const std::size_t at = run.err.find(": warning: ");
            const std::string first =
                at == std::string::npos ? "" : run.err.substr(at + 11, run.err.find('\n', at) - at - 11);
            EXPECT_TRUE(run.exit_code == 0 && first == message[0] + " [-W" + off[0].substr(5) + "]" &&
                        run.err.find(": warning: ", at + 1) == std::string::npos &&
                        run.err.find(": error: ") == std::string::npos)
                << document << ": `" << source << "` should warn " << cells[0] << "\n" << run.err;
            const t_program_run quiet = run_program(g.dir, {ORBASM_BINARY, off[0], "-o", "t.orb", "t.asm"}, "");
            EXPECT_TRUE(quiet.exit_code == 0 && quiet.err.empty()) << document << ": " << off[0] << " `" << source
                                                                    << "` still warns\n" << quiet.err;
            ++examples;
        }
    }
    return examples;
}

} // namespace

TEST(Docs, ReadmeExamples) {
    const int examples = check_document("README.md");
    std::cout << examples << " examples of README.md run\n";
    EXPECT_GE(examples, 4);
}

TEST(Docs, ManualExamples) {
    const int examples = check_document("docs/manual.md");
    std::cout << examples << " examples of docs/manual.md run\n";
    EXPECT_GE(examples, 15);
}

// The manual lists every warning with its switch.
TEST(Docs, WarningTables) {
    std::set<std::string> in_readme;
    std::set<std::string> in_manual;
    EXPECT_GE(check_warning_tables("README.md", in_readme), 10);
    EXPECT_GE(check_warning_tables("docs/manual.md", in_manual), 10);
    std::set<std::string> every;
    for (const std::string_view name : warning_names)
        every.insert("-Wno-" + std::string(name));
    EXPECT_EQ(in_manual, every);
}

// A heading's anchor as the Markdown renderers make it: letters and digits in lower case, blanks
// as "-", "-" and "_" kept, everything else dropped.
static std::string anchor_of(const std::string& heading) {
    std::string anchor;
    for (const char c : heading) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
            anchor += c;
        else if (c >= 'A' && c <= 'Z')
            anchor += static_cast<char>(c - 'A' + 'a');
        else if (c == ' ')
            anchor += '-';
    }
    return anchor;
}

// Every link to "#anchor" leads to a heading of the same document.
TEST(Docs, LinksReachHeadings) {
    for (const char* document : {"README.md", "docs/manual.md"}) {
        const t_markdown doc = read_markdown(read_text(ORBASM_SOURCE_DIR "/" + std::string(document)));
        std::set<std::string> anchors;
        bool fenced = false;
        for (const std::string& line : doc.lines) {
            fenced = fenced != (line.rfind("```", 0) == 0);
            if (!fenced && line.rfind("#", 0) == 0 && line.find("# ") != std::string::npos)
                anchors.insert(anchor_of(line.substr(line.find("# ") + 2)));
        }
        int links = 0;
        for (const std::string& line : doc.lines)
            for (std::size_t at = line.find("](#"); at != std::string::npos; at = line.find("](#", at + 1)) {
                const std::string anchor = line.substr(at + 3, line.find(')', at) - at - 3);
                EXPECT_TRUE(anchors.count(anchor) != 0) << document << ": no heading for the link to #" << anchor;
                ++links;
            }
        EXPECT_TRUE(links > 0 || std::string(document) == "README.md");
    }
}

// The tour is a program of its own, and stays one.
TEST(Docs, ReadmeTourIsAProgram) {
    const t_markdown doc = read_markdown(read_text(ORBASM_SOURCE_DIR "/README.md"));
    int programs = 0;
    for (const t_fenced_block& block : doc.blocks)
        if (block.section == "A short tour of the language" && block.tag == "orbasm" && block.name.empty()) {
            ++programs;
            EXPECT_GE(block.lines.size(), 10u);
            check_program("README.md", block, nullptr);
        }
    EXPECT_EQ(programs, 1) << "the README's tour is not one ```orbasm block";
}

// The set-up section holds exactly two commands: the first builds and assembles the bundled
// example, which writes its image beside it; the second builds and runs the tests.
TEST(Docs, ReadmeSetUp) {
    const t_markdown doc = read_markdown(read_text(ORBASM_SOURCE_DIR "/README.md"));
    std::vector<std::string> commands;
    for (const t_fenced_block& block : doc.blocks)
        if (block.section == "Set up")
            for (const std::string& line : block.lines)
                commands.push_back(line);
    ASSERT_EQ(commands.size(), 2u);
    const std::string build = "tools/setup.sh && cmake --preset release && cmake --build --preset release && ";
    EXPECT_EQ(commands[0], build + "./build/release/orbasm examples/hello.asm");
    EXPECT_EQ(commands[1], build + "ctest --preset release");
    t_dir_guard g;
    fs::create_directories(g.dir.path + "/examples");
    fs::copy_file(ORBASM_SOURCE_DIR "/examples/hello.asm", g.dir.path + "/examples/hello.asm");
    const t_program_run run = run_program(g.dir, {ORBASM_BINARY, "examples/hello.asm"}, "");
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_TRUE(fs::is_regular_file(g.dir.path + "/examples/hello.asm.orb"));
}

namespace {

// The build rules of the documents' blocks with the given tag.
std::vector<t_fenced_block> rule_blocks(const std::string& tag) {
    std::vector<t_fenced_block> found;
    for (const char* document : {"README.md", "docs/manual.md"})
        for (const t_fenced_block& block : read_markdown(read_text(ORBASM_SOURCE_DIR "/" + std::string(document))).blocks)
            if (block.tag == tag)
                found.push_back(block);
    return found;
}

// Moves every file of the folder back in time, the outputs less far than the inputs, instead of
// waiting for the clock to pass the next tick.
void age_files(const t_workdir& dir, const std::set<std::string>& outputs) {
    const auto now = fs::file_time_type::clock::now();
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path))
        if (entry.is_regular_file())
            fs::last_write_time(entry.path(), now - std::chrono::seconds(
                                                      outputs.count(entry.path().filename().string()) != 0 ? 10 : 20));
}

// The rules file in a folder with prog.asm, which includes part.asm; the build command runs three
// times: it assembles the program, then does nothing, then assembles again after part.asm changed.
void check_rules(const t_fenced_block& block, const std::string& rules_file, const std::string& command,
                 const std::string& nothing_to_do) {
    t_dir_guard g;
    std::string rules;
    for (const std::string& line : block.lines)
        rules += line + "\n";
    write_file(g.dir, rules_file, rules);
    write_file(g.dir, "prog.asm", "#include \"part.asm\"\r\ndb 1\r\n");
    write_file(g.dir, "part.asm", "db 2\r\n");
    const std::string image = g.dir.path + "/prog.orb";
    const t_program_run first = run_shell(g.dir, command);
    ASSERT_EQ(first.exit_code, 0) << command << "\n" << first.out;
    EXPECT_EQ(hex(read_bytes(image)), "02 01") << command;
    age_files(g.dir, {"prog.orb", "prog.orb.d"});
    const fs::file_time_type built = fs::last_write_time(image);
    const t_program_run second = run_shell(g.dir, command);
    EXPECT_EQ(second.exit_code, 0) << second.out;
    EXPECT_NE(second.out.find(nothing_to_do), std::string::npos) << command << " again:\n" << second.out;
    EXPECT_TRUE(fs::last_write_time(image) == built) << command << " again wrote the image";
    write_file(g.dir, "part.asm", "db 3\r\n");
    const t_program_run third = run_shell(g.dir, command);
    EXPECT_EQ(third.exit_code, 0) << third.out;
    EXPECT_EQ(hex(read_bytes(image)), "03 01") << command << " after the included file changed:\n" << third.out;
}

} // namespace

TEST(BuildRules, Makefile) {
    if (!have_program("make"))
        GTEST_SKIP() << "make is not installed: the Makefile rules are not tried";
    const std::vector<t_fenced_block> blocks = rule_blocks("make");
    EXPECT_GE(blocks.size(), 2u) << "a Makefile rule in README.md and in docs/manual.md";
    for (const t_fenced_block& block : blocks)
        check_rules(block, "Makefile", "make prog.orb", "is up to date");
}

TEST(BuildRules, Ninja) {
    if (!have_program("ninja"))
        GTEST_SKIP() << "ninja is not installed: the ninja rules are not tried";
    const std::vector<t_fenced_block> blocks = rule_blocks("ninja");
    EXPECT_GE(blocks.size(), 2u) << "a ninja rule in README.md and in docs/manual.md";
    for (const t_fenced_block& block : blocks)
        check_rules(block, "build.ninja", "ninja", "no work to do");
}

// The manual pages send the reader to the manual under the installation prefix; it must be there.
TEST(Docs, ManualIsInstalled) {
    t_dir_guard g;
    const t_program_run run =
        run_program(g.dir, {CMAKE_PROGRAM, "--install", ORBASM_BUILD_DIR, "--prefix", g.dir.path + "/prefix"}, "");
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_EQ(read_text(g.dir.path + "/prefix/share/doc/orbasm/manual.md"),
              read_text(ORBASM_SOURCE_DIR "/docs/manual.md"));
    EXPECT_TRUE(fs::is_regular_file(g.dir.path + "/prefix/share/man/man1/orbasm.1"));
}
