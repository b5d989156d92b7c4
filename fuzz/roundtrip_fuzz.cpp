// libFuzzer target: the fuzzer's bytes as an image. The disassembler's source for it ("orbdis
// --source") is assembled in-process and must give back exactly those bytes; the listing of the
// same decoding must be made without a fault.
#include "fuzz_support.h"
#include "disasm/disasm.h"
#include "driver/driver.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>


// Images are decoded only up to this size; the source of one is several times larger, so the
// file-size limit leaves room for it while a runaway image (say, a reserve written out as zeros)
// fails its write instead of filling the disk.
static constexpr std::size_t largest_image = std::size_t(1) << 20;
static constexpr rlim_t file_limit = rlim_t(64) << 20;

static const char source_path[] = "image.asm";
static const char image_path[] = "image.asm.orb";


static char scratch_directory[] = "/tmp/orbasm_roundtrip_fuzz_XXXXXX";

// The scratch directory goes when the process ends normally; it holds only files made here.
static void remove_scratch_directory() {
    ::unlink(source_path);
    ::unlink(image_path);
    if (::chdir("/") == 0)
        ::rmdir(scratch_directory);
}

// One scratch directory per process, the working directory of every assembly.
static void make_scratch_directory() {
    must_hold(::mkdtemp(scratch_directory) != nullptr);
    must_hold(::chdir(scratch_directory) == 0);
    std::atexit(remove_scratch_directory);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    make_scratch_directory();
    limit_process(file_limit);
    return 0;
}

// The whole image file, or false when there is none.
static bool read_image(std::string& bytes) {
    bytes.clear();
    FILE* in = std::fopen(image_path, "rb");
    if (in == nullptr)
        return false;
    char piece[4096];
    std::size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, in)) > 0)
        bytes.append(piece, got);
    std::fclose(in);
    return true;
}

// The decoding covers the image in order, every byte once: the listing's rows and the round
// trip both rest on it. Labels and reserves cover nothing.
static void check_coverage(const std::vector<t_dis_line>& lines, std::size_t size) {
    std::size_t reached = 0;
    for (const t_dis_line& line : lines) {
        if (line.kind == dis_label || line.kind == dis_reserve) {
            must_hold(line.size == 0);
            continue;
        }
        must_hold(line.size > 0 && line.address >= 0 && static_cast<std::size_t>(line.address) == reached);
        reached += static_cast<std::size_t>(line.size);
    }
    must_hold(reached == size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // As in orbasm itself, the file-size limit must fail the write instead of ending the process.
    // libFuzzer installs its own handler after initialisation, so this waits for the first input.
    static bool size_signal_ignored = false;
    if (!size_signal_ignored) {
        std::signal(SIGXFSZ, SIG_IGN);
        size_signal_ignored = true;
    }
    if (size > largest_image)
        return 0;
    const std::vector<uint8_t> image(data, data + size);
    const std::vector<t_dis_line> lines = disassemble(image);
    check_coverage(lines, size);
    const std::string listing = listing_text(image, lines);
    must_hold(size == 0 || !listing.empty());

    const std::string source = source_text(lines);
    write_whole(source_path, source.data(), source.size());
    std::string output;
    console_capture = &output;
    const bool ok = run_assembly(source_path);
    console_capture = nullptr;
    std::string written;
    const bool has_image = read_image(written);
    if (has_image)
        must_hold(::unlink(image_path) == 0);
    // The end of the captured console, the report if there is one, shows what went wrong.
    if (!ok || !has_image) {
        const std::size_t shown = std::min<std::size_t>(output.size(), 2000);
        std::fprintf(stderr, "the decoding did not assemble:%s\n", output.substr(output.size() - shown).c_str());
        __builtin_trap();
    }
    if (written.size() != size || (size > 0 && std::memcmp(written.data(), data, size) != 0)) {
        std::fprintf(stderr, "the decoding assembled into %zu bytes that differ from the %zu of the image\n",
                     written.size(), size);
        __builtin_trap();
    }
    return 0;
}
