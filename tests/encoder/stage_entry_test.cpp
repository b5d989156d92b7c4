// The stage a line enters, found in one walk, against the stages' lists tried one by one with the
// literal matcher: the same stage, list, number and positions on real and random lines.
#include "encoder/encoder.h"
#include "encoder/stages.h"
#include "lex/lex.h"

#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {
struct t_literal_stage {
    std::vector<std::string_view> lists;
    bool no_boundary_check;
};

// ORDER: the stages in the order the encoder tries them, with the lists that let a line in.
const std::vector<t_literal_stage> literal_stages = {
    {{"db", "dw", "dd", "dsingle/ddouble/dextended"}, false},
    {{packed_list}, false},
    {{relative_list}, false},
    {{jump_list}, false},
    {{ret_list}, false},
    {{int_list}, false},
    {{stack_list}, true},
    {{arithmetic_list}, false},
    {{unary_list}, false},
    {{xchg_list}, false},
    {{load_store_list}, false},
    {{float_unary_list}, false},
    {{float_binary_list}, false},
    {{fld_list}, false},
};

t_stage_entry literal_entry(std::string_view line) {
    int32_t at = 1;
    skip_blanks(line, at);
    for (std::size_t stage = 0; stage < literal_stages.size(); ++stage) {
        const t_literal_stage& s = literal_stages[stage];
        for (std::size_t list = 0; list < s.lists.size(); ++list) {
            int32_t end = at;
            const int32_t number = match_keyword(line, s.lists[list], end, s.no_boundary_check);
            if (number != 0)
                return {static_cast<int32_t>(stage), static_cast<int32_t>(list), at, number, end};
        }
    }
    return {-1, 0, at, 0, at};
}

std::string describe(const t_stage_entry& e) {
    std::ostringstream text;
    text << '{' << e.stage << ',' << e.list << ',' << e.at << ',' << e.number << ',' << e.end << '}';
    return text.str();
}

int count_mismatches(const std::vector<std::string>& lines) {
    int mismatches = 0;
    for (const std::string& line : lines) {
        const t_stage_entry fast = find_stage_entry(line);
        const t_stage_entry literal = literal_entry(line);
        if (fast.stage != literal.stage || fast.list != literal.list || fast.at != literal.at ||
            fast.number != literal.number || fast.end != literal.end) {
            if (++mismatches <= 20)
                ADD_FAILURE() << "line '" << line << "': found " << describe(fast) << ", literal " << describe(literal);
        }
    }
    return mismatches;
}
} // namespace

TEST(StageEntry, RealLines) {
    const std::vector<std::string> lines = {
        "", "   ", "ld ax ,bx", "  ld ex ,[jx +K0 ]", "mov r1 ,5", "ldx ax", "ld", "ld ", "db 1 ,2", "dd @L1",
        "dsingle 1.5", "ddouble", "dextended 2", "dext", "push ax", "push", "pushax", "pop bx", "popf",
        "xchg [sp ],ax", "xchg [sp ]", "xchg ax ,bx", "xchg [sp ],", "xor ax ,bx", "jr nz ,@L3", "jmp no ,@L71",
        "call [ax ]", "calr @x", "ret", "ret z ,", "int 21", "int", "add ax ,1", "adc", "test ax ,bx",
        "neg ax", "inc10 ax", "inc1 ax", "swp1243 [cx +24 ]", "swpss34 ax", "cvsebd ax", "fsin q0",
        "fsincos q1 ,q2", "fadd q1 ,q2", "fld q2 ,extended [lx +16 ]", "fldx", "padd ax ,bx", "padds",
        "psrpadd ax ,bx", "imul64 ax", "mul64 ax", "mul ax ,bx", "div64 ax", "div dx ,66", "d", "p", "x",
        "#include \"x\"", "@L1:", "ld#", "ld,", "ld:", "ld;", "ld[", "ld]", "ld+", "push#", "xchg [sp ],bx",
    };
    EXPECT_EQ(count_mismatches(lines), 0);
}

TEST(StageEntry, RandomLines) {
    // Lines built from pieces of the words, blanks and the characters that end or continue them.
    std::string words;
    for (const t_literal_stage& stage : literal_stages)
        for (std::string_view list : stage.lists)
            (words += list) += '/';
    static const std::string extra = " ,:;#[]+-=x0a_@";
    std::mt19937 rng(5);
    std::vector<std::string> lines;
    for (int i = 0; i < 200000; ++i) {
        std::string line(rng() % 3, ' ');
        const int pieces = 1 + static_cast<int>(rng() % 4);
        for (int p = 0; p < pieces; ++p) {
            if (rng() % 3 == 0) {
                line += extra[rng() % extra.size()];
                continue;
            }
            std::size_t at = rng() % words.size();
            while (at > 0 && words[at - 1] != '/' && words[at - 1] != '|' && rng() % 4 != 0)
                --at; // mostly from the start of a word
            const std::size_t length = rng() % 12;
            for (std::size_t k = at; k < words.size() && k < at + length; ++k)
                if (words[k] != '/' && words[k] != '|')
                    line += words[k];
        }
        lines.push_back(line);
    }
    EXPECT_EQ(count_mismatches(lines), 0);
}
