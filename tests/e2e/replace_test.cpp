// The image is replaced at once: whatever stops a run (an error, a failed write, any signal),
// the image's name holds the complete older image or the complete new one, and no other file is
// left behind.
#include "support/harness.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> names(const t_workdir& dir) {
    std::vector<std::string> all;
    for (const auto& entry : fs::directory_iterator(dir.path))
        if (entry.path().filename().string().rfind(".std", 0) != 0) // the harness's own files
            all.push_back(entry.path().filename().string());
    std::sort(all.begin(), all.end());
    return all;
}

const std::vector<uint8_t> older = {'o', 'l', 'd', 'e', 'r'};
} // namespace

// A write that fails under a file-size limit (ulimit -f 8: 4096 bytes) keeps the older image.
TEST(Replace, FailedWriteKeepsTheOlderImage) {
    t_dir_guard g;
    write_file(g.dir, "t.asm", "#zero 100000\r\ndb 1\r\n");
    write_file(g.dir, "t.asm.orb", "older");
    t_run run = run_orbasm_in_shell(g.dir, "ulimit -f 8", {"t.asm"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.image, older);
    EXPECT_EQ(names(g.dir), (std::vector<std::string>{"t.asm", "t.asm.orb"}));
}

// Killed while the image is being written, every write slowed down by strace, by any signal,
// SIGKILL included: the older image stands and nothing else is left in the folder. Where the file
// system refuses an unnamed new file (strace refuses O_TMPFILE here), the new file has a name while
// it is written, and the handlers remove it for every signal they can catch. A SIGINT that the
// caller ignored stays ignored: the run goes on to the new image.
TEST(Signals, KilledWhileWriting) {
    if (std::system("strace -V >/dev/null 2>&1 && env --default-signal=INT true 2>/dev/null") != 0)
        GTEST_SKIP() << "strace, or env --default-signal, is missing: nothing slows the writes down to stop a run";
    struct t_case {
        std::string signal;
        bool named;       // O_TMPFILE refused: the new file has a name from the start
        bool ignored;     // the signal is ignored when orbasm starts
    };
    std::vector<t_case> cases;
    for (const char* signal : {"KILL", "INT", "TERM", "HUP", "QUIT", "USR1"})
        cases.push_back({signal, false, false});
    // Which openat makes the unnamed file is found by counting; the sanitizer's own opens vary.
    const bool named_cases = !under_sanitizer();
    for (const char* signal : {"INT", "TERM", "HUP", "QUIT", "USR1", "USR2"})
        if (named_cases)
            cases.push_back({signal, true, false});
    cases.push_back({"INT", false, true});
    if (named_cases)
        cases.push_back({"INT", true, true});
    t_dir_guard g;
    // One line, echoed at once, and a 1.3 MB image written in 64 KiB pieces, each a fifth of a second
    // late. A first run finds which openat of the same command opens the unnamed file, if any.
    write_file(g.dir, "t.asm", "db '" + std::string(1300000, 'x') + "'\r\n");
    const std::string run = "sh -c 'echo $$ > pid; exec \"$0\" t.asm' '" ORBASM_BINARY "' > /dev/null";
    std::string script = "mkdir probe && cp t.asm probe && cd probe && strace -f -qq -o ../trace -e trace=openat "
                         "env --default-signal=INT,QUIT " + run + " && cd .. &&\n"
                         "n=$(grep openat trace | grep -n O_TMPFILE | cut -d: -f1)\n";
    std::string expected;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const t_case& c = cases[k];
        const std::string d = std::string("d").append(std::to_string(k));
        script += "mkdir " + d + " && cp t.asm " + d + " && printf older > " + d + "/t.asm.orb && (cd " + d +
                  " && strace -f -qq -o /dev/null -e trace=openat,write " +
                  (c.named ? "${n:+-e inject=openat:error=EOPNOTSUPP:when=$n} " : "") +
                  "-e inject=write:delay_enter=200000 env " +
                  (c.ignored ? "--ignore-signal=INT " : "--default-signal=INT,QUIT ") + run + " &)\n";
        expected += d + ": t.asm t.asm.orb " + (c.ignored ? "xxxxx" : "older") + "\n";
    }
    script += "sleep 1.5\n";
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const t_case& c = cases[k];
        const std::string d = std::string("d").append(std::to_string(k));
        script += "[ \"$(cat " + d + "/t.asm.orb)\" = older ] && kill -0 $(cat " + d + "/pid) || echo '" + d +
                  ": not writing'\n";
        script += std::string("ls -a ") + d + " | grep -q '^\\.orb' " + (c.named ? "||" : "&&") + " echo '" + d +
                  (c.named ? ": no named new file'\n" : ": a named new file'\n");
        script += "kill -" + c.signal + " $(cat " + d + "/pid)\n";
    }
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::string d = std::string("d").append(std::to_string(k));
        script += "while kill -0 $(cat " + d + "/pid) 2>/dev/null; do sleep 0.1; done; rm " + d + "/pid; echo " + d +
                  ": $(ls -A " + d + ") $(head -c 5 " + d + "/t.asm.orb)\n";
    }
    const t_program_run killed = run_program(g.dir, {"/bin/sh", "-c", script}, "");
    EXPECT_EQ(killed.exit_code, 0) << killed.err;
    EXPECT_EQ(killed.out, expected);
}
