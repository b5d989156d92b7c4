// Golden whole-run cases: NAME.asm with its exact stdout (NAME.out) and, for ok_ cases, its exact
// image (NAME.bin). Each case runs once from a file and once through standard input.
#include "support/harness.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace fs = std::filesystem;

namespace {
std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The expected stdout of a run that read the source from standard input: the report names "".
std::string as_stdin(std::string out, const std::string& name) {
    const std::string file_line = "File  : " + name + "\n";
    std::size_t at = out.find(file_line);
    if (at != std::string::npos)
        out.replace(at, file_line.size(), "File  : \n");
    return out;
}
} // namespace

TEST(Golden, EveryCase) {
    const fs::path golden = fs::path(ORBASM_SOURCE_DIR) / "tests" / "e2e" / "golden";
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(golden)) {
        if (entry.path().extension() != ".asm")
            continue;
        ++cases;
        const std::string name = entry.path().filename().string();
        const std::string stem = entry.path().stem().string();
        const bool ok = stem.rfind("ok_", 0) == 0;
        const std::string source = read_file(entry.path());
        const std::string out = read_file(golden / (stem + ".out"));
        const std::string bin = ok ? read_file(golden / (stem + ".bin")) : std::string();

        t_workdir dir = make_workdir();
        write_file(dir, name, source);
        t_run from_file = run_orbasm(dir, {name});
        EXPECT_EQ(from_file.stdout_text, out) << name;
        EXPECT_EQ(from_file.exit_code, ok ? 0 : 1) << name;
        EXPECT_EQ(from_file.has_image, ok) << name;
        if (ok) {
            EXPECT_TRUE(std::string(from_file.image.begin(), from_file.image.end()) == bin) << name << ": image differs";
        }

        t_run from_stdin = run_orbasm(dir, {}, source, ".orb");
        EXPECT_EQ(from_stdin.stdout_text, as_stdin(out, name)) << name << " through standard input";
        EXPECT_EQ(from_stdin.exit_code, ok ? 0 : 1) << name;
        if (ok) {
            EXPECT_TRUE(std::string(from_stdin.image.begin(), from_stdin.image.end()) == bin) << name;
        }
        remove_workdir(dir);
    }
    EXPECT_GE(cases, 4);
}
