// The encoder frame: the stages tried in a fixed order, and the operand steps they share.
#include "driver/driver.h"
#include "encoder/encoder.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"

int32_t match_register(t_scan& scan) { return match_keyword(scan.line, register_list, scan.pos, false) - 1; }

int32_t require_register(t_scan& scan) {
    int32_t reg = match_register(scan);
    fatal_check(reg >= 0, "Register expected");
    return reg;
}

int32_t require_float_register(t_scan& scan) {
    int32_t reg = match_keyword(scan.line, float_register_list, scan.pos, false) - 1;
    fatal_check(reg >= 0, "Float register expected");
    return reg;
}

void require_comma(t_scan& scan) { fatal_check(expect_char(scan.line, ',', scan.pos), "Comma expected"); }

int32_t find_closing_bracket(const t_scan& scan, int32_t from) {
    const auto length = static_cast<int32_t>(scan.line.size());
    while (from <= length && scan.line[static_cast<std::size_t>(from - 1)] != ']')
        ++from;
    fatal_check(from <= length, "Brackets don't match");
    return from + 1;
}

void emit_word(uint32_t word) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
    emit_item(kind_bytes, 2, bytes);
}

void emit_word_with_terms(int32_t kind, uint32_t word, t_scan& scan) {
    emit_deferred(kind, parse_terms(scan.line, scan.pos), static_cast<uint16_t>(word));
}

void emit_memory(uint32_t word, t_scan& scan) { emit_mem_operand(scan.line, static_cast<uint16_t>(word), scan.pos); }

void encode_instruction() {
    t_scan scan{current_line, 1};
    // ORDER: the first stage whose keyword matches encodes the line; never reorder.
    if (encode_data(scan) || encode_packed(scan) || encode_relative(scan) || encode_jump(scan) ||
        encode_return(scan) || encode_interrupt(scan) || encode_stack(scan) || encode_arithmetic(scan) ||
        encode_unary(scan) || encode_exchange(scan) || encode_load(scan) || encode_float_unary(scan) ||
        encode_float_binary(scan) || encode_float_load(scan))
        return;
    fatal_check(false, "Syntax Error");
}
