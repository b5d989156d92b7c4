// The layout schedule: what the last pass leaves when sizes grow one pass after another.
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

TEST(Layout, StaircaseSettlesOneJumpPerPass) {
    for (int k : {1, 5, 16}) {
        t_assembly result = assemble_lines(staircase(k));
        ASSERT_TRUE(result.ok) << result.output;
        EXPECT_EQ(long_jumps(result.image, k), k) << k;
        EXPECT_EQ(result.image.size(), static_cast<std::size_t>(6 * k + 40000)) << k;
    }
}

TEST(Layout, StaircaseTooLongRestartsFromTheLongestForm) {
    // Seventeen steps do not settle within sixteen relaxation passes: the layout restarts with
    // every operand long and settles in one relaxation pass.
    t_assembly result = assemble_lines(staircase(17));
    ASSERT_TRUE(result.ok) << result.output;
    EXPECT_EQ(long_jumps(result.image, 17), 17);
    EXPECT_EQ(result.image.size(), static_cast<std::size_t>(6 * 17 + 40000));
}

TEST(Layout, DroppedDisplacementMovesTheLabelsAfterIt) {
    // The first pass lays the displacement out at 2 bytes; the relaxation drops it, and the
    // label after it moves back by two.
    t_assembly result = assemble_lines({"@a:", "@b:", "ld ax,[bx+@b-@a]", "dd @c", "@c:"});
    ASSERT_TRUE(result.ok) << result.output;
    EXPECT_EQ(hex_bytes(result.image), "01 40 06 00 00 00");
}
