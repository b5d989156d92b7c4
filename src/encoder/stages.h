// Shared by the encoder's stages: the operand vocabulary, common operand steps and the stages.
#pragma once
#include <cstdint>
#include <string_view>

#include "base/base.h"
#include "base/words.h"
#include "lex/lex.h"

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
