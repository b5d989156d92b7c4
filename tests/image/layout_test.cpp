// The layout schedule: how many passes a program needs and what the last one leaves.
#include "image/image.h"
#include "support/in_process.h"

#include <gtest/gtest.h>

namespace {
// k forward relative jumps to one label, tuned so that each becomes long only after the one
// after it has grown: the program settles one jump per relaxation pass.
std::vector<std::string> staircase(int k) {
    const int zero = 40000;
    std::vector<std::string> lines;
    for (int i = 1; i <= k; ++i) {
        // distance with every jump short: 4k + zero - c - 4(i-1); wanted: 32768 - 2(k-i)
        int c = 4 * k + zero - 4 * (i - 1) - (32768 - 2 * (k - i));
        lines.push_back("jr @end-" + std::to_string(c));
    }
    lines.push_back("#zero " + std::to_string(zero));
    lines.push_back("@end:");
    return lines;
}

// Counts the jumps written with a 32-bit operand (high byte F9) at the start of the image.
// A report without its "File" line: runs that read different temporary files name them.
std::string unnamed(std::string text) {
    const std::size_t at = text.find("File  : ");
    return at == std::string::npos ? text : text.erase(at, text.find('\n', at) - at);
}

// Both address fields of every item, as the layout leaves them.
std::vector<std::pair<int32_t, int32_t>> item_addresses() {
    std::vector<std::pair<int32_t, int32_t>> both;
    for (const t_item* item = &head_item; item != nullptr; item = item->next)
        both.emplace_back(item->address, item->final_address);
    return both;
}

int long_jumps(const std::vector<uint8_t>& image, int k) {
    int count = 0;
    std::size_t at = 0;
    for (int i = 0; i < k; ++i) {
        bool is_long = image.at(at + 1) == 0xF9;
        count += is_long ? 1 : 0;
        at += is_long ? 6 : 4;
    }
    return count;
}
} // namespace

TEST(Layout, PassCounts) {
    // The first pass, then at least one relaxation pass.
    t_assembly plain = assemble_lines({"db 1", "ld ax,bx"});
    ASSERT_TRUE(plain.ok);
    EXPECT_EQ(layout_passes, 2);
    EXPECT_EQ(hex_bytes(plain.image), "01 01 00");

    t_assembly zero = assemble_lines({"ld ax,[bx+0]"});
    EXPECT_EQ(layout_passes, 2);
    EXPECT_EQ(hex_bytes(zero.image), "01 40");

    // One far jump: the first pass, one relaxation that grows it, one that confirms.
    t_assembly far = assemble_lines({"jmp @x", "#zero 40000", "@x:"});
    ASSERT_TRUE(far.ok);
    EXPECT_EQ(layout_passes, 2);
    EXPECT_EQ(far.image.size(), 40006u);
}

TEST(Layout, StaircaseSettlesOneJumpPerPass) {
    for (int k : {1, 5, 16}) {
        t_assembly result = assemble_lines(staircase(k));
        ASSERT_TRUE(result.ok) << result.output;
        EXPECT_EQ(layout_passes, 1 + k) << k;
        EXPECT_EQ(long_jumps(result.image, k), k) << k;
        EXPECT_EQ(result.image.size(), static_cast<std::size_t>(6 * k + 40000)) << k;
    }
}

TEST(Layout, StaircaseTooLongRestartsFromTheLongestForm) {
    // Seventeen steps do not settle within sixteen relaxation passes: the layout restarts with
    // every operand long and settles in one relaxation pass.
    t_assembly result = assemble_lines(staircase(17));
    ASSERT_TRUE(result.ok) << result.output;
    EXPECT_EQ(layout_passes, 1 + 16 + 1 + 1);
    EXPECT_EQ(long_jumps(result.image, 17), 17);
    EXPECT_EQ(result.image.size(), static_cast<std::size_t>(6 * 17 + 40000));
}

TEST(Layout, DroppedDisplacementMovesTheLabelsAfterIt) {
    // The first pass lays the displacement out at 2 bytes; the relaxation drops it, and the
    // label after it moves back by two.
    t_assembly result = assemble_lines({"@a:", "@b:", "ld ax,[bx+@b-@a]", "dd @c", "@c:"});
    ASSERT_TRUE(result.ok) << result.output;
    EXPECT_EQ(hex_bytes(result.image), "01 40 06 00 00 00");
    EXPECT_EQ(layout_passes, 2);
}

// Checking and writing the two halves of the list at once gives the same passes, image and
// reports as one walk each, wherever the sizes that do not fit and the image's end lie.
TEST(Layout, HalvesCheckedAtOnceGiveTheSameLayout) {
    std::vector<std::vector<std::string>> programs = {staircase(5), staircase(17),
                                                      {"@a:", "@b:", "ld ax,[bx+@b-@a]", "dd @c", "@c:"},
                                                      {"#org 10", "db 1", "jmp @x", "#org 4", "@x:"}};
    std::vector<std::string> padded = staircase(9);
    padded.insert(padded.begin(), 40, "db 1");
    programs.push_back(padded);
    std::vector<std::string> mixed;
    for (int i = 0; i < 300; ++i) {
        mixed.push_back("@L" + std::to_string(i) + ":");
        mixed.push_back("jr nz,@L" + std::to_string((i * 37) % 300));
        mixed.push_back("ld ax,[bx+@L" + std::to_string(i) + "-@L0]");
        mixed.push_back(i % 50 == 0 ? "#zero 20000" : "dd @L" + std::to_string(299 - i));
    }
    programs.push_back(mixed);
    // Reserved space, alignment and an origin on both sides of the middle, and space reserved
    // past the last byte, which the image leaves out.
    programs.push_back({"db 1", "#data 7", "#align 16", "dw 2", "#org 64", "dd @e", "#data 3", "db 3", "#align 32",
                        "@e:", "#data 100", "#align 64"});
    programs.push_back({"#data 10", "db 1", "#data 20", "#data 30"});
    const std::size_t saved = parallel_check_min_items;
    for (const auto& program : programs) {
        parallel_check_min_items = SIZE_MAX;
        const t_assembly whole = assemble_lines(program);
        const int32_t whole_passes = layout_passes;
        parallel_check_min_items = 0;
        const t_assembly halves = assemble_lines(program);
        EXPECT_EQ(layout_passes, whole_passes) << program.front();
        EXPECT_EQ(halves.ok, whole.ok) << program.front();
        EXPECT_EQ(unnamed(halves.output), unnamed(whole.output)) << program.front();
        EXPECT_EQ(halves.image, whole.image) << program.front();
    }
    parallel_check_min_items = saved;
}

// Values worked out on appending, and checks that evaluate only the values naming labels, give
// the same passes, reports and image as checks of every value: with constants defined before and
// after their use, values that need 32 bits or are 0, "@endofexe", relative jumps, the restart
// with every operand long, and origins and alignment.
TEST(Layout, ValuesWorkedOutOnAppendingGiveTheSameLayout) {
    std::vector<std::vector<std::string>> programs = {
        staircase(5),
        staircase(17),
        {"ld ax,[bx+K]", "ld cx,K+1", "add dx,[ex+K-5]", "dd K", "#const K = 5"},
        {"#const Z = 0", "#const B = 40000", "ld ax,[bx+Z]", "ld ax,[bx+B]", "ld ax,B", "ld cx,[dx+Z+@a-@a]", "@a:",
         "dd B+B", "ld ax,[bx+Y]", "#const Y = 0"},
        {"dd @endofexe", "ld ax,[bx+@endofexe-@endofexe]", "jr @x", "#zero 32760", "@x:", "jmp nz,@x",
         "ld ax,[bx+W]", "#const W = -32769"},
        {"#org 10", "db 1", "ld ax,[bx+4]", "jmp @x", "#align 8", "@x:", "ld ax,[bx+@x-12]", "#org 100", "dd @x"},
        {"#org 6", "ld ax,[bx+40000]", "ld ax,[bx+0]"},
    };
    // After the restart every operand is long; the relaxation then shortens the ones after the
    // staircase, which moves the label behind them.
    std::vector<std::string> restart = staircase(17);
    restart.insert(restart.end(), {"ld ax,[bx+4]", "ld cx,[dx+0]", "@f:", "dd @f"});
    programs.push_back(restart);
    std::vector<std::string> mixed;
    for (int i = 0; i < 200; ++i) {
        mixed.push_back("@L" + std::to_string(i) + ":");
        mixed.push_back("jr nz,@L" + std::to_string((i * 37) % 200));
        mixed.push_back("ld ax,[bx+C" + std::to_string(i % 7) + "]");
        mixed.push_back(i % 40 == 0 ? "#zero 20000" : "dd @L" + std::to_string(199 - i) + "-C3");
        if (i % 30 == 0)
            mixed.push_back("#const C" + std::to_string(i / 30) + " = " + std::to_string(i * 997 - 3000));
    }
    programs.push_back(mixed);
    const std::size_t saved = parallel_variable_min_items;
    for (const auto& program : programs) {
        track_deferred_values = false;
        const t_assembly every = assemble_lines(program);
        const int32_t every_passes = layout_passes;
        const auto every_addresses = item_addresses();
        track_deferred_values = true;
        for (std::size_t halves_from : {std::size_t(0), SIZE_MAX}) {
            parallel_variable_min_items = halves_from;
            const t_assembly tracked = assemble_lines(program);
            EXPECT_EQ(layout_passes, every_passes) << program.front();
            EXPECT_EQ(tracked.ok, every.ok) << program.front();
            EXPECT_EQ(unnamed(tracked.output), unnamed(every.output)) << program.front();
            EXPECT_EQ(tracked.image, every.image) << program.front();
            EXPECT_EQ(item_addresses(), every_addresses) << program.front();
        }
    }
    parallel_variable_min_items = saved;
}

// On a long list the first relaxation pass places its second half at once, from the first-pass
// address of its first item plus the growth of the operands before it. Compared with one walk
// and every value evaluated: programs whose growth before the middle comes from labels, from
// constants defined before and after their use and from zero displacements; an #align or #org
// before the middle (one walk) and after it; and an image that grows too large in either half.
TEST(Layout, FirstRelaxationInHalvesGivesTheSameLayout) {
    std::vector<std::vector<std::string>> programs;
    std::vector<std::string> mixed = {"#const A = 40000"};
    for (int i = 0; i < 3000; ++i) {
        mixed.push_back("@L" + std::to_string(i) + ":");
        mixed.push_back(i % 3 == 0 ? "jr @L" + std::to_string((i * 7 + 500) % 3000) : "jr nz,@L" + std::to_string(i / 2));
        mixed.push_back(i % 4 == 0 ? "ld ax,[bx+A]" : i % 4 == 1 ? "ld ax,[bx+Z]" : "ld cx,[dx+B+" + std::to_string(i) + "]");
        mixed.push_back(i % 500 == 0 ? "#zero 30000" : "dd @L" + std::to_string(2999 - i));
    }
    mixed.push_back("#const B = 32000");
    mixed.push_back("#const Z = 0");
    programs.push_back(mixed);
    std::vector<std::string> early_gap = mixed;
    early_gap.insert(early_gap.begin() + 10, "#align 16");
    programs.push_back(early_gap);
    std::vector<std::string> late_gap = mixed;
    late_gap.insert(late_gap.end() - 100, "#align 32");
    late_gap.insert(late_gap.end() - 50, "#org 99999999");
    programs.push_back(late_gap);
    // Operands of 4 bytes in the first pass and 6 in the next: the relaxation pushes the image
    // beyond the last address, after the middle or before it.
    const int64_t last = 0x7FFFFFFF;
    std::vector<std::string> late_fault(10000, "ld ax,[bx+40000]");
    late_fault.push_back("#zero " + std::to_string(last - 4 * 10000 - 1));
    late_fault.push_back("db 1");
    programs.push_back(late_fault);
    std::vector<std::string> early_fault(5000, "ld ax,[bx+40000]");
    early_fault.push_back("#zero " + std::to_string(last - 4 * 5000 - 12000 - 100));
    early_fault.insert(early_fault.end(), 12000, "db 1");
    programs.push_back(early_fault);

    const std::size_t saved = parallel_check_min_items;
    // The halves meet, except where an #align comes first or the first half grows too large.
    const std::vector<int32_t> in_halves = {1, 0, 1, 1, 0};
    for (std::size_t k = 0; k < programs.size(); ++k) {
        const auto& program = programs[k];
        track_deferred_values = false;
        parallel_check_min_items = SIZE_MAX;
        const t_assembly one_walk = assemble_lines(program);
        const int32_t one_walk_passes = layout_passes;
        const auto one_walk_addresses = item_addresses();
        track_deferred_values = true;
        parallel_check_min_items = 0;
        const t_assembly halves = assemble_lines(program);
        EXPECT_EQ(passes_in_halves, in_halves[k]) << k;
        EXPECT_EQ(layout_passes, one_walk_passes) << program.size();
        EXPECT_EQ(halves.ok, one_walk.ok) << program.size();
        EXPECT_EQ(unnamed(halves.output), unnamed(one_walk.output)) << program.size();
        EXPECT_EQ(halves.image, one_walk.image) << program.size();
        if (halves.ok) {
            EXPECT_EQ(item_addresses(), one_walk_addresses) << program.size();
        }
    }
    parallel_check_min_items = saved;
    // The reports of the programs that grow too large.
    EXPECT_FALSE(assemble_lines(programs[3]).ok);
    EXPECT_FALSE(assemble_lines(programs[4]).ok);
}
