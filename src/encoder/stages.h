// Shared by the encoder's stages: the operand vocabulary, common operand steps and the stages.
#pragma once
#include <cstdint>
#include <string_view>

#include "base/base.h"
#include "lex/lex.h"

// ORDER: index - 1 is the register number; never reorder.
inline constexpr std::string_view register_list =
    "ax|r0/bx|r1/cx|r2/dx|r3/ex|r4/fx|r5/gx|r6/hx|r7/ix|r8/jx|r9/kx|ra|r10/lx|rb|r11/mx|rc|r12/nx|rd|r13/"
    "ox|re|r14/px|rf|r15";
// ORDER: index - 1 is the condition number; "^" keeps 0 and 8 free, the second "z" is never reached.
inline constexpr std::string_view condition_list = "^/c/nc/o/no/z/nz/loopcx/^/c2/nc2/o2/no2/z/nz2/loopdx";
// ORDER: index - 1 is the special register number within its list.
inline constexpr std::string_view special_list_low =
    "sr00|sp/sr01|spl/sr02|ip/sr03|itb/sr04|pbt/sr05|pbd/sr06|dsb/sr07|esb/sr08|flags/sr09/sr0a/sr0b/sr0c/"
    "sr0d/sr0e/sr0f";
inline constexpr std::string_view special_list_high =
    "sr10/sr11/sr12/sr13/sr14/sr15/sr16/sr17/sr18/sr19/sr1a/sr1b/sr1c/sr1d/sr1e/sr1f";
// ORDER: index - 1 is the float register number.
inline constexpr std::string_view float_register_list = "q0/q1/q2/q3/q4/q5/q6/q7/q8/q9/qa/qb/qc/qd/qe/qf";

// The mnemonic lists of the stages.
// ORDER: index - 1 is the operation number; the two groups interleave by it.
inline constexpr std::string_view packed_list =
    "padd/padds/psub/psubs/piadds/psapadd/pisubs/psrpadd/imul64/mul64/div64";
inline constexpr std::string_view arithmetic_list = "add/adc/sub/sbc/and/or/xor/test/cmp/mul/div";
// ORDER: push, pop, exchange with the stack top; written as normalisation leaves them.
inline constexpr std::string_view stack_list = "push /pop /xchg [sp ],";
// ORDER: index - 1 is the operation number in bits 4-9; "cvsebd" and "cvsewd" are synonyms.
inline constexpr std::string_view unary_list =
    "neg/sar/shl/shr/rol/ror/rcl/rcr/negdx/sardx/shldx/shrdx/roldx/rordx/rcldx/rcrdx/"
    "inc/inc2/inc4/inc8/inc10/inc12/inc16/inc24/dec1/dec2/dec4/dec8/dec10/dec12/dec16/dec24/"
    "swp0000/swp0004/swp0034/swp0234/swp4321/swp0001/swp0012/swp0123/swp0204/swp0103/swp0102/swp0304/"
    "swp2040/swp1030/swp1020/swp3040/swp1243/swp2134/swp2143/swp4231/swp4123/swp3412/swp2341/swp1324/"
    "swp1111/swp2222/swp3333/swp4444/swp3214/swp0404/swpss34|cvsebd/swpsss4|cvsewd";
// ORDER: index - 1 is the operation number; "^" holds two numbers that never match.
inline constexpr std::string_view float_unary_list =
    "fsin/fcos/ftan/fsincos/fexp/fln/fround/ftrunc/fsqrt/finv/fabs/fminus/fpatan/^/^/ftest";
// ORDER: index - 1 is added to the high byte 0x33.
inline constexpr std::string_view float_binary_list = "fadd/fsub/fmul/fdiv";
// ORDER: index - 1 is the definition: db, dw, dd, then single, double, extended (precision index - 3).
inline constexpr std::string_view data_list = "db/dw/dd/dsingle/ddouble/dextended";
inline constexpr std::string_view relative_list = "jr/calr";
inline constexpr std::string_view jump_list = "jmp/call";
inline constexpr std::string_view ret_list = "ret";
inline constexpr std::string_view int_list = "int";
inline constexpr std::string_view xchg_list = "xchg";
inline constexpr std::string_view load_store_list = "ld/mov";
inline constexpr std::string_view fld_list = "fld";

// The vocabulary compiled for matching.
extern const t_keywords register_keywords;
extern const t_keywords condition_keywords;
extern const t_keywords special_low_keywords;
extern const t_keywords special_high_keywords;
extern const t_keywords float_register_keywords;

// The line being encoded and the one position every step moves forward.
struct t_scan {
    std::string_view line;
    int32_t pos;
};

// Number of the alternative of keywords at the position, or 0 (see match_keyword).
inline int32_t match_word(t_scan& scan, const t_keywords& keywords, bool no_boundary_check = false) {
    return match_keyword(scan.line, keywords, scan.pos, no_boundary_check);
}
// Register number 0 to 15 at the position, or -1 when none stands there.
inline int32_t match_register(t_scan& scan) { return match_keyword(scan.line, register_keywords, scan.pos, false) - 1; }
// Register number at the position; "Register expected" when none stands there.
inline int32_t require_register(t_scan& scan) {
    const int32_t reg = match_register(scan);
    fatal_check(reg >= 0, "Register expected");
    return reg;
}
// Float register number; "Float register expected" when none stands there.
int32_t require_float_register(t_scan& scan);
// Consumes a comma; "Comma expected" when none stands there.
void require_comma(t_scan& scan);
// Position just past the first "]" at or after from; "Brackets don't match" when there is none.
int32_t find_closing_bracket(const t_scan& scan, int32_t from);
// Appends a two-byte instruction word as literal bytes.
void emit_word(uint32_t word);
// Appends an instruction word with a deferred operand: the expression from the position.
void emit_word_with_terms(int32_t kind, uint32_t word, t_scan& scan);
// Appends a memory operand for word at the position (after the base register).
void emit_memory(uint32_t word, t_scan& scan);

// The stages: each returns false when its keyword list does not match, so the next is tried.
bool encode_data(t_scan& scan);
bool encode_packed(t_scan& scan);
bool encode_relative(t_scan& scan);
bool encode_jump(t_scan& scan);
bool encode_return(t_scan& scan);
bool encode_interrupt(t_scan& scan);
bool encode_stack(t_scan& scan);
bool encode_arithmetic(t_scan& scan);
bool encode_unary(t_scan& scan);
bool encode_exchange(t_scan& scan);
bool encode_load(t_scan& scan);
bool encode_float_unary(t_scan& scan);
bool encode_float_binary(t_scan& scan);
bool encode_float_load(t_scan& scan);

// Converts the text of a floating-point value and appends it in bytes of the given precision
// (1 single, 2 double, 3 extended) after the prefix bytes; "float value error" when the text is
// not a number or the value overflows the precision.
void emit_float(std::string_view text, int32_t precision, const uint8_t* prefix, int32_t prefix_size);
