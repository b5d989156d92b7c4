// Numbers and expressions: immediate values, term lists and their evaluation.
#include "driver/driver.h"
#include "image/image.h"
#include "lex/lex.h"
#include "support/in_process.h"
#include "symbols/symbols.h"

#include <gtest/gtest.h>

namespace {
// A fresh table holding the constants size = 10, base = 256 and x = 100.
void fresh_table() {
    release_run_memory();
    reset_symbols();
    reset_items();
    for (auto [name, value] : {std::pair<const char*, int32_t>{"size", 10}, {"base", 256}, {"x", 100}}) {
        t_rb_data record{};
        record.tag = 1;
        record.name = name;
        record.item = &head_item;
        record.value = value;
        enter_symbol(record);
    }
}

struct t_case {
    std::string text;
    int32_t value;
    int32_t position;
};

const t_case immediates[] = {
    {"12", 12, 4},
    {"0ffh", 255, 6},
    {"17o", 15, 5},
    {"7fffffffh", 2147483647, 11},
    {"0ffffffffh", -1, 12},
    {"101b", 5, 6},
    {"0b", 0, 4},
    {"1bh", 27, 5},
    {"12b", 131, 5},
    {"101bh", 4123, 7},
    {"101bo", 531, 7},
    {"101B", 1021, 6},
    {"--5", -5, 5},
    {"-+5", 5, 5},
    {"size +4", 14, 9},
    {"base -1 ,2", 255, 9},
    {"", 0, 1},
    {",", 0, 1},
    {"]", 0, 1},
    {"12ho", 10, 6},
    {"19o", 17, 5},
    {"1f", 25, 4},
    {"10H", 10, 4},
    {"12x", 12, 4},
    {"0x10", 10, 6},
    {"1.5", 6, 5},
    {"80000000h", -2147483647 - 1, 11},
    {"7fffffffh +1", -2147483647 - 1, 14},
    {"-80000000h", -2147483647 - 1, 12},
    {"4294967296", 0, 12},
    {"5@x", 105, 4},
    {"size base", 266, 10},
    {"- size", -10, 7},
    {"100h", 256, 6},
};
} // namespace

TEST(ParseImmediate, WorkedValues) {
    fresh_table();
    for (const t_case& c : immediates) {
        int32_t pos = 1;
        EXPECT_EQ(parse_immediate(c.text, pos), c.value) << c.text;
        EXPECT_EQ(pos, c.position) << c.text;
    }
}

TEST(ParseImmediate, Failures) {
    const std::pair<std::string, std::string> failures[] = {
        {"@x", "Immediate value expected"},
        {"4 +@x", "Immediate value expected"},
        {"x@y", "Immediate value expected"},
        {"x1@y", "Constant not defined"},
        {"missing", "Constant not defined"},
        {"Size", "Constant not defined"},
    };
    for (const auto& [text, message] : failures) {
        fresh_table();
        int32_t pos = 1;
        EXPECT_EQ(stop_message([&] { parse_immediate(text, pos); }), message) << text;
    }
}

TEST(ParseTerms, TermListShape) {
    fresh_table();
    int32_t pos = 1;
    const std::string text = "size -@l +3 ,ax";
    t_term* first = parse_terms(text, pos);
    EXPECT_EQ(pos, 13);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->kind, 2);
    EXPECT_EQ(first->sign, 1);
    EXPECT_EQ(first->symbol->name, "size");
    ASSERT_NE(first->next, nullptr);
    EXPECT_EQ(first->next->kind, 3);
    EXPECT_EQ(first->next->sign, -1);
    EXPECT_EQ(first->next->symbol->name, "@l");
    EXPECT_EQ(first->next->symbol->item, nullptr) << "a use enters the label undefined";
    ASSERT_NE(first->next->next, nullptr);
    EXPECT_EQ(first->next->next->kind, 1);
    EXPECT_EQ(first->next->next->number, 3);
    EXPECT_EQ(first->next->next->next, nullptr);
}

TEST(ParseTerms, EmptyExpressionIsOneZeroTerm) {
    fresh_table();
    for (std::string text : {"", "+-", ",x", "  "}) {
        int32_t pos = 1;
        t_term* first = parse_terms(text, pos);
        EXPECT_EQ(first->kind, 1) << text;
        EXPECT_EQ(first->number, 0) << text;
        EXPECT_EQ(first->next, nullptr) << text;
    }
}

TEST(ParseTerms, NamesAndEvaluation) {
    fresh_table();
    // Labels evaluate to their item's final address; "@" inside a name belongs to it; "." ends it.
    t_item label{};
    label.final_address = 1000;
    t_rb_data record{};
    record.tag = 1;
    record.name = "@a";
    record.item = &label;
    enter_symbol(record);
    record.name = "x1@y";
    record.item = &head_item;
    record.value = 7;
    enter_symbol(record);
    record.name = "b";
    record.value = 3;
    enter_symbol(record);
    const std::pair<std::string, int32_t> sums[] = {
        {"@a", 1000}, {"-@a", -1000}, {"x1@y +1", 8}, {"@a.b", 1003}, {"size -@a +3", -987},
        {"--5", -5},  {"0ffffffffh +2", 1}, {"@a -@a", 0}, {"7fffffffh +1", -2147483647 - 1},
    };
    for (const auto& [text, value] : sums) {
        int32_t pos = 1;
        EXPECT_EQ(eval_terms(parse_terms(text, pos)), value) << text;
    }
    EXPECT_EQ(eval_terms(nullptr), 0);
}
