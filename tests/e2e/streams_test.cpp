// Standard streams named as files: -o /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N write
// through the caller's descriptor at its offset, as -o - does: a log opened for appending is
// appended to, an echo before the image stays, and a file the run did not open is not emptied.
#include "support/harness.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

TEST(Streams, NamedStreamsAreTheDescriptors) {
    struct t_case {
        const char* script; // run by /bin/sh with "$0" the binary, in a folder that holds t.asm
        std::string f;      // what file f holds after it
    };
    const std::vector<t_case> cases = {
        {"printf 'older\\n' > f; \"$0\" -o /dev/stdout t.asm >> f", "older\nAB"},
        {"\"$0\" --echo -o /dev/stdout t.asm > f", "db 'AB'\nAB"},
        {"exec 3> f; printf head >&3; \"$0\" -o /dev/fd/3 t.asm", "headAB"},
        {"printf older > f; \"$0\" -o /proc/self/fd/3 t.asm 3>> f", "olderAB"},
        {"printf older > f; \"$0\" -o /dev/stderr t.asm 2>> f", "olderAB"},
        // Written at the descriptor's offset, nothing cut: as -o - does with 1<> f.
        {"printf 0123456789 > f; \"$0\" -o /dev/fd/3 t.asm 3<> f", "AB23456789"},
        {"printf 0123456789 > f; \"$0\" -o - t.asm 1<> f", "AB23456789"},
        {"\"$0\" -o /dev/fd/7 t.asm 2> f",
         "t.asm: error: Could not write output file \"/dev/fd/7\": Bad file descriptor\n"},
    };
    for (const t_case& c : cases) {
        t_workdir dir = make_workdir();
        write_file(dir, "t.asm", "db 'AB'\r\n");
        const t_program_run run = run_program(dir, {"/bin/sh", "-c", c.script, ORBASM_BINARY}, "");
        EXPECT_EQ(run.err, "") << c.script;
        std::ifstream in(dir.path + "/f", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), c.f) << c.script;
        remove_workdir(dir);
    }
}
