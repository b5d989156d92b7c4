// Integer arithmetic and the stack: packed and 64-bit operations, push, pop, the exchange with
// the stack top, and the two-operand group in register, memory and expression forms.
#include "base/base.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"


static const t_keywords packed_keywords = compile_keywords(packed_list);
static const t_keywords arithmetic_keywords = compile_keywords(arithmetic_list);
static const t_keywords stack_keywords = compile_keywords(stack_list);

bool encode_packed(t_scan& scan) {
    int32_t operation = match_word(scan, packed_keywords);
    if (operation == 0)
        return false;
    const auto n = static_cast<uint32_t>(operation - 1);
    const auto a = static_cast<uint32_t>(require_register(scan));
    require_comma(scan);
    int32_t b = match_register(scan);
    if (b >= 0)
        emit_word(0x1100 + 0x200 * n + 16 * a + static_cast<uint32_t>(b));
    else
        emit_word_with_terms(kind_operand, 0xAB00 + 16 * n + a, scan);
    return true;
}

bool encode_stack(t_scan& scan) {
    int32_t form = match_word(scan, stack_keywords, true);
    if (form == 0)
        return false;
    const auto a = static_cast<uint32_t>(require_register(scan));
    emit_word(0x0F00 + 0x0F10 * static_cast<uint32_t>(form - 1) + a);
    return true;
}

bool encode_arithmetic(t_scan& scan) {
    int32_t operation = match_word(scan, arithmetic_keywords);
    if (operation == 0)
        return false;
    const auto n = static_cast<uint32_t>(operation - 1);
    int32_t a = match_register(scan);
    if (a >= 0) {
        require_comma(scan);
        int32_t b = match_register(scan);
        if (b >= 0) {
            emit_word(0x1000 + 0x200 * n + 16 * static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
        } else if (expect_char(scan.line, '[', scan.pos)) {
            const auto m = static_cast<uint32_t>(require_register(scan));
            emit_memory(0x5100 + 0x200 * n + 16 * static_cast<uint32_t>(a) + m, scan);
        } else {
            emit_word_with_terms(kind_memory, 0xAA00 + 16 * n + static_cast<uint32_t>(a), scan);
        }
        return true;
    }
    fatal_check(expect_char(scan.line, '[', scan.pos), "[register] or register expected");
    // The operand after the bracket is read first, from just past the "]".
    t_scan after{scan.line, find_closing_bracket(scan, scan.pos + 1)};
    const auto m = static_cast<uint32_t>(require_register(scan));
    require_comma(after);
    const auto b = static_cast<uint32_t>(require_register(after));
    emit_memory(0x5000 + 0x200 * n + 16 * b + m, scan);
    scan.pos = after.pos; // the instruction ends after its second operand
    return true;
}
