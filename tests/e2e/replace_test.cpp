// The image is replaced at once: whatever stops a run (an error, a failed write, Ctrl-C, kill -9),
// the image's name holds the complete older image or the complete new one, and a run that stops
// on its own leaves no other file behind.
#include "support/harness.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {
struct t_dir_guard {
    t_workdir dir = make_workdir();
    ~t_dir_guard() { remove_workdir(dir); }
};

std::vector<std::string> names(const t_workdir& dir) {
    std::vector<std::string> all;
    for (const auto& entry : fs::directory_iterator(dir.path))
        if (entry.path().filename().string().rfind(".std", 0) != 0) // the harness's own files
            all.push_back(entry.path().filename().string());
    std::sort(all.begin(), all.end());
    return all;
}

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

// Killed while the image is being written, with every write slowed down by strace: the older
// image stands. Ctrl-C also removes the unfinished file; kill -9 cannot, but leaves the image alone.
TEST(Replace, KilledWhileWriting) {
    if (std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed: nothing slows the writes down to stop a run in the middle";
    for (const std::string signal : {"INT", "KILL"}) {
        t_dir_guard g;
        // One line, echoed at once, and a 1.3 MB image written in 64 KiB pieces, each a third of a
        // second late.
        write_file(g.dir, "t.asm", "db '" + std::string(1300000, 'x') + "'\r\n");
        write_file(g.dir, "t.asm.orb", "older");
        const std::string script =
            "(strace -f -qq -o /dev/null -e trace=write -e inject=write:delay_enter=300000 "
            "sh -c 'echo $$ > pid; exec \"$0\" t.asm' '" ORBASM_BINARY "' > /dev/null &)\n"
            "sleep 2\n"
            "ls -a | grep -q '^\\.t\\.asm\\.orb\\.' || echo 'not writing yet'\n"
            "kill -" + signal + " $(cat pid)\n"
            "while kill -0 $(cat pid) 2>/dev/null; do sleep 0.1; done\n";
        const t_program_run killed = run_program(g.dir, {"/bin/sh", "-c", script}, "");
        EXPECT_EQ(killed.exit_code, 0) << signal << killed.err;
        EXPECT_EQ(killed.out, "") << signal;
        std::filesystem::remove(g.dir.path + "/pid");
        EXPECT_EQ(read_bytes(g.dir.path + "/t.asm.orb"), older) << signal;
        std::vector<std::string> left = names(g.dir);
        if (signal == "INT")
            EXPECT_EQ(left, (std::vector<std::string>{"t.asm", "t.asm.orb"}));
        else
            EXPECT_EQ(left.size(), 3u) << "the unfinished file stays after kill -9";
    }
}
