#include "lex/lex.h"
#include <gtest/gtest.h>
TEST(Keyword, Placeholder) { int32_t pos = 1; EXPECT_EQ(match_keyword("ld ax ,bx", "ld/mov", pos, false), 1); EXPECT_EQ(pos, 4); }
