// Keyword matching: text, list, start position -> alternative number and position afterwards.
#include "base/words.h"
#include "lex/lex.h"
#include "lex/literal_keywords.h"

#include <gtest/gtest.h>

namespace {
struct t_case {
    std::string text;
    std::string list;
    int32_t start;
    bool no_boundary_check;
    int32_t result;
    int32_t position;
};

const std::string registers{register_list};
const std::string conditions{condition_list};
const std::string specials{special_list_low};

const t_case cases[] = {
    {"ld ax ,bx", std::string(load_store_list), 1, false, 1, 4},
    {"ld ax ,bx", registers, 4, false, 1, 7},
    {"r10", registers, 1, false, 11, 4},
    {"rf", registers, 1, false, 16, 3},
    {"ra", registers, 1, false, 11, 3},
    {"kx", registers, 1, false, 11, 3},
    {"r1 ", registers, 1, false, 2, 4},
    {"r15", registers, 1, false, 16, 4},
    {"byte [ax ]", std::string(store_list), 1, true, 2, 7},
    {"byte [ax ]", std::string(store_list), 1, false, 0, 1},
    {"es :[ax ]", std::string(segment_list), 1, true, 1, 5},
    {"LD ax", std::string(load_store_list), 1, false, 0, 1},
    {"sp", specials, 1, false, 1, 3},
    {"spl", specials, 1, false, 2, 4},
    {"flags ,", specials, 1, false, 9, 7},
    {"z", conditions, 1, false, 6, 2},
    {"c2 ,", conditions, 1, false, 10, 4},
    {"loopdx ,", conditions, 1, false, 16, 8},
    {"ld+", std::string(load_store_list), 1, false, 0, 1},
    {"inc2 ax", "inc/inc2", 1, false, 2, 6},
    {"x", "xyz/x", 1, false, 0, 1},
    {"   mov", std::string(load_store_list), 1, false, 2, 7},
    {"   nop", std::string(load_store_list), 1, false, 0, 4},
    {"ab", "a|/b", 1, false, 0, 1},
    {"a", "/a", 1, false, 2, 2},
    {",", "/a", 1, false, 1, 1},
    {"b", "/a", 1, true, 1, 1},
    {"a,", "x||a", 1, false, 1, 2},
    {"b", "a/", 1, false, 0, 1},
    {"", "a", 1, false, 0, 1},
    {"", "", 1, false, 0, 1},
    {"a", "", 1, false, 0, 1},
    {"ld#", "ld", 1, false, 1, 3},
    {"ld:", "ld", 1, false, 1, 3},
    {"ld;", "ld", 1, false, 1, 3},
    {"ld[", "ld", 1, false, 1, 3},
    {"ld]", "ld", 1, false, 1, 3},
    {"ld=", "ld", 1, false, 0, 1},
    {"ld-", "ld", 1, false, 0, 1},
    {"xchg [sp ],dx", "push /pop /xchg [sp ],", 1, true, 3, 12},
    {"push ax", "push /pop /xchg [sp ],", 1, true, 1, 6},
    {"push", "push /pop /xchg [sp ],", 1, true, 0, 1},
    {"ax ,round q1", ",round", 4, false, 1, 11},
    {"int 10h ,ax =5", ",ax =", 9, true, 1, 14},
    {"jmp", "jmp/call", 1, false, 1, 4},
};
} // namespace

TEST(MatchKeyword, Table) {
    for (const t_case& c : cases) {
        int32_t pos = c.start;
        int32_t result = match_keyword(c.text, c.list, pos, c.no_boundary_check);
        EXPECT_EQ(result, c.result) << "text '" << c.text << "' list '" << c.list << "'";
        EXPECT_EQ(pos, c.position) << "text '" << c.text << "' list '" << c.list << "'";
    }
}

TEST(MatchKeyword, SecondZNeverMatches) {
    // "z" stands twice in the condition list; the first alternative always wins.
    int32_t pos = 1;
    EXPECT_EQ(match_keyword("z ,", conditions, pos, false), 6);
}

TEST(ExpectChar, Table) {
    struct t_expect {
        std::string text;
        char ch;
        int32_t start;
        bool result;
        int32_t position;
    };
    const t_expect expects[] = {
        {"ld ax ,bx", ',', 7, true, 8},  {"ld ax ,bx", ',', 6, true, 8}, {"a  ]  b", ']', 2, true, 7},
        {"ab", ',', 3, false, 3},        {"a  b", ',', 2, false, 4},     {"", ',', 1, false, 1},
        {"[", '[', 1, true, 2},
    };
    for (const t_expect& e : expects) {
        int32_t pos = e.start;
        EXPECT_EQ(expect_char(e.text, e.ch, pos), e.result) << e.text;
        EXPECT_EQ(pos, e.position) << e.text;
    }
}

TEST(SkipBlanks, OnlySpaces) {
    int32_t pos = 1;
    skip_blanks("  \tx", pos);
    EXPECT_EQ(pos, 3);
    pos = 5;
    skip_blanks("ab", pos);
    EXPECT_EQ(pos, 5);
}
