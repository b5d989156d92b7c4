// The round-trip property of "orbdis --source": for any bytes, the source it prints assembles
// back into exactly those bytes. Checked on the examples, on programs of every instruction form,
// and on thousands of random byte strings, in-process and through the real binaries.
#include "disasm/disasm.h"
#include "support/in_process.h"
#include "tools/tool_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace fs = std::filesystem;

// "" when the decoding of image assembles back into image; otherwise what went wrong.
static std::string round_trip_failure(const std::vector<uint8_t>& image) {
    const std::string source = source_text(disassemble(image));
    const t_assembly result = assemble_text(source);
    if (!result.ok || !result.has_image)
        return "the source did not assemble:\n" + result.output.substr(result.output.rfind("\nError") == std::string::npos
                                                                           ? 0
                                                                           : result.output.rfind("\nError")) +
               "\nsource:\n" + source.substr(0, 4000);
    if (result.image != image)
        return "image " + hex_bytes(image).substr(0, 600) + "\nbecame " + hex_bytes(result.image).substr(0, 600) +
               "\nsource:\n" + source.substr(0, 4000);
    return "";
}

// Checks every image, reports each failure, and prints how many passed.
static void check_round_trips(const std::string& family, const std::vector<std::vector<uint8_t>>& images) {
    int passed = 0;
    int reported = 0;
    for (const std::vector<uint8_t>& image : images) {
        std::string failure = round_trip_failure(image);
        if (failure.empty())
            ++passed;
        else if (++reported <= 5)
            ADD_FAILURE() << family << ": " << failure;
    }
    EXPECT_EQ(passed, static_cast<int>(images.size()));
    std::cout << family << ": " << passed << " of " << images.size() << " images round-trip\n";
}

static void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
static void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value);
    put16(out, value >> 16);
}

// A random number below limit (any 32-bit number for 0).
static uint32_t draw(std::mt19937& rng, uint64_t limit = 0) {
    const auto value = static_cast<uint32_t>(rng());
    return limit == 0 ? value : static_cast<uint32_t>(value % limit);
}

static std::vector<uint8_t> random_bytes(std::mt19937& rng, std::size_t length) {
    std::vector<uint8_t> image(length);
    for (uint8_t& byte : image)
        byte = static_cast<uint8_t>(draw(rng));
    return image;
}

// Words drawn mostly from the high bytes that carry operands, followed by operands near the
// edges that decide their size: 0, the ends of the 16-bit range, targets inside the image.
static std::vector<uint8_t> biased_bytes(std::mt19937& rng, std::size_t length) {
    static const uint8_t highs[] = {0x3A, 0x3E, 0x78, 0x79, 0x7C, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xF8, 0xF9, 0xFA,
                                    0xFB, 0xFD, 0xA8, 0xE8, 0xAA, 0xEA, 0x6A, 0xAB, 0xEB, 0xB3, 0xF3, 0xF7, 0x80,
                                    0x84, 0xCB, 0x90, 0xD1, 0xAC, 0xEF, 0xB0, 0xF6, 0x33, 0x2D, 0x1E, 0x0F, 0xBE, 0xFE};
    static const uint32_t values16[] = {0, 1, 0xFFFF, 0x7FFF, 0x8000, 2, 4, 6, 0xFFFE, 0xFFFC};
    static const uint32_t values32[] = {0, 1, 0xFFFFFFFF, 0x7FFF, 0x8000, 0xFFFF8000, 0xFFFF7FFF, 0x10000, 0x80000000,
                                        0x7FFFFFFF, 0x3FC00000, 0x7F800000, 0x00000001, 0x3DCCCCCD, 0x5368D4A5};
    std::vector<uint8_t> out;
    while (out.size() < length) {
        const uint8_t high = draw(rng, 4) == 0 ? static_cast<uint8_t>(draw(rng)) : highs[draw(rng, std::size(highs))];
        out.push_back(static_cast<uint8_t>(draw(rng, 3) == 0 ? draw(rng, 16) : draw(rng)));
        out.push_back(high);
        const uint32_t code = high >> 6;
        const uint32_t pick = draw(rng, 10);
        if ((code == 2 && pick < 8) || (code != 2 && pick == 8)) {
            // A small value, or a relative step to somewhere in the image.
            uint32_t value = pick < 4 ? values16[draw(rng, std::size(values16))]
                                      : draw(rng, length + 8) - static_cast<uint32_t>(out.size());
            put16(out, pick == 7 ? draw(rng) : value);
        } else if ((code == 3 && pick < 8) || (code != 3 && pick == 9)) {
            uint32_t value = pick < 5 ? values32[draw(rng, std::size(values32))] : draw(rng, length + 8);
            put32(out, pick == 7 ? draw(rng) : value);
        }
    }
    out.resize(length);
    return out;
}

// A header followed by random or biased bytes; its words agree with the image or, at random,
// miss by one in one word.
static std::vector<uint8_t> header_image(std::mt19937& rng, std::size_t body_length) {
    std::vector<uint8_t> body = draw(rng, 2) == 0 ? random_bytes(rng, body_length) : biased_bytes(rng, body_length);
    const auto size = static_cast<uint32_t>(32 + body.size());
    const uint32_t end_of_memory = size + (draw(rng, 2) == 0 ? 0 : draw(rng, 300));
    auto label = [&]() -> uint32_t {
        uint32_t choice = draw(rng, 6);
        return choice == 0 ? 0 : choice == 1 ? size : choice == 2 ? end_of_memory : 32 + draw(rng, end_of_memory - 31);
    };
    uint32_t words[7] = {size, end_of_memory, label(), label(), label(), 0, end_of_memory};
    words[5] = label() - words[4];
    if (draw(rng, 4) == 0)
        words[draw(rng, 7)] += draw(rng, 2) == 0 ? 1 : 0xFFFFFFFF;
    std::vector<uint8_t> image = {'O', 'R', 'B', 'X'};
    for (uint32_t word : words)
        put32(image, word);
    image.insert(image.end(), body.begin(), body.end());
    return image;
}

TEST(RoundTrip, EmptyAndTinyImages) {
    std::vector<std::vector<uint8_t>> images = {{}, {0x00}, {0xFF}, {0x00, 0x3A}, {0x3A}, {0x00, 0xB8, 0x00},
                                                {'O', 'R', 'B', 'X'}};
    for (int byte = 0; byte < 256; ++byte)
        images.push_back({static_cast<uint8_t>(byte)});
    check_round_trips("tiny", images);
}

TEST(RoundTrip, RandomBytes) {
    std::mt19937 rng(20240611);
    std::vector<std::vector<uint8_t>> images;
    for (int k = 0; k < 3000; ++k)
        images.push_back(random_bytes(rng, draw(rng, k % 10 == 0 ? 2000 : 160)));
    check_round_trips("random bytes", images);
}

TEST(RoundTrip, WordBiasedBytes) {
    std::mt19937 rng(77);
    std::vector<std::vector<uint8_t>> images;
    for (int k = 0; k < 3000; ++k)
        images.push_back(biased_bytes(rng, draw(rng, k % 10 == 0 ? 3000 : 200)));
    check_round_trips("word-biased bytes", images);
}

// Images past 32K, where many operands change size between orbasm's first layout pass and the
// image and many targets lie near the ends of the 16-bit range.
TEST(RoundTrip, LargeWordBiasedImages) {
    std::mt19937 rng(31337);
    std::vector<std::vector<uint8_t>> images;
    for (int k = 0; k < 40; ++k)
        images.push_back(biased_bytes(rng, 30000 + draw(rng, 45000)));
    check_round_trips("large word-biased images", images);
}

TEST(RoundTrip, ImagesWithHeaders) {
    std::mt19937 rng(4242);
    std::vector<std::vector<uint8_t>> images;
    for (int k = 0; k < 1500; ++k)
        images.push_back(header_image(rng, draw(rng, 120)));
    check_round_trips("header images", images);
}

// Every word, each followed by operand bytes of the size its code names, in images of 256
// consecutive words: whatever the sweep makes of them must come back.
TEST(RoundTrip, EveryWord) {
    std::vector<std::vector<uint8_t>> images;
    for (uint32_t operand_choice = 0; operand_choice < 3; ++operand_choice) {
        for (uint32_t first = 0; first < 0x10000; first += 256) {
            std::vector<uint8_t> image;
            for (uint32_t word = first; word < first + 256; ++word) {
                put16(image, word);
                const uint32_t code = word >> 14;
                if (code == 2)
                    put16(image, operand_choice == 0 ? 0 : operand_choice == 1 ? 1 : 0x8000);
                else if (code == 3)
                    put32(image, operand_choice == 0 ? 0x12345 : operand_choice == 1 ? 0x7FFF : 0x3FC00000);
            }
            images.push_back(image);
        }
    }
    check_round_trips("every word", images);
}

// Labels move with the layout; where orbasm's first pass would size a labelled operand
// differently from the image, the decoding must write numbers or own-label offsets instead.
TEST(RoundTrip, OperandsWhoseLabelsWouldChangeTheirSize) {
    std::vector<std::vector<uint8_t>> images;
    for (uint32_t target : {32760u, 32767u, 32768u, 3000u}) {
        for (uint32_t jump : {0xB800u, 0xB900u, 0xBA00u, 0xBB00u}) {
            for (uint32_t filler : {0x6A00u, 0xE800u}) {
                std::vector<uint8_t> image;
                const bool relative = (jump & 0x100) != 0;
                const bool wide = target > 32767;
                put16(image, wide ? jump + 0x4000 : jump);
                if (wide)
                    put32(image, target);
                else
                    put16(image, target);
                for (int k = 0; k < 600; ++k) {
                    put16(image, filler); // "add ax,0" (2 bytes, 4 in the first pass) or "ld ax,12345h" (6 bytes)
                    if (filler == 0xE800)
                        put32(image, 0x12345);
                }
                (void)relative; // the target is the same address for both: jr counts from address 0
                while (image.size() < target)
                    put16(image, 0x3A00);
                image.resize(target);
                put16(image, 0x3A00);
                images.push_back(image);
            }
        }
    }
    check_round_trips("label-sensitive layouts", images);
}

// Programs of the examples and of the tests: assembled and decoded by the real binaries.
TEST(RoundTrip, ExampleProgramsThroughTheBinaries) {
    const std::vector<std::string> sources = example_sources();
    ASSERT_FALSE(sources.empty());
    int passed = 0;
    for (const std::string& path : sources) {
        t_workdir dir = make_workdir();
        for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path()))
            fs::copy_file(entry.path(), dir.path + "/" + entry.path().filename().string());
        const std::string name = fs::path(path).filename().string();
        t_run original = run_orbasm(dir, {name});
        ASSERT_EQ(original.exit_code, 0) << name << "\n" << original.stdout_text;
        t_tool_run decoded = run_tool(ORBDIS_BINARY, dir, {"--source", name + ".orb"});
        ASSERT_EQ(decoded.exit_code, 0) << decoded.err;
        write_file(dir, "copy.asm", decoded.out);
        t_run copy = run_orbasm(dir, {"copy.asm"});
        EXPECT_EQ(copy.exit_code, 0) << copy.stdout_text;
        EXPECT_TRUE(copy.has_image && copy.image == original.image) << name << "\n" << decoded.out;
        passed += copy.image == original.image ? 1 : 0;
        remove_workdir(dir);
    }
    std::cout << passed << " of " << sources.size() << " example programs round-trip\n";
}

// Random bytes through the real orbdis and orbasm binaries.
TEST(RoundTrip, RandomBytesThroughTheBinaries) {
    std::mt19937 rng(99);
    t_workdir dir = make_workdir();
    int passed = 0;
    constexpr int cases = 150;
    for (int k = 0; k < cases; ++k) {
        const std::size_t length = draw(rng, 300);
        std::vector<uint8_t> image = k % 3 == 0 ? header_image(rng, length) : k % 2 == 0 ? random_bytes(rng, length)
                                                                                       : biased_bytes(rng, length);
        write_file(dir, "image.bin", std::string(image.begin(), image.end()));
        t_tool_run decoded = run_tool(ORBDIS_BINARY, dir, {"--source", "image.bin"});
        write_file(dir, "back.asm", decoded.out);
        t_run back = run_orbasm(dir, {"back.asm"});
        const bool same = decoded.exit_code == 0 && back.exit_code == 0 && back.has_image && back.image == image;
        EXPECT_TRUE(same) << hex(image) << "\n" << decoded.out;
        passed += same ? 1 : 0;
    }
    remove_workdir(dir);
    std::cout << passed << " of " << cases << " random images round-trip through the binaries\n";
}
