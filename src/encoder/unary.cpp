// One-operand, shift, step and swap instructions, and the exchange of registers.
#include "base/base.h"
#include "encoder/stages.h"
#include "lex/lex.h"


static const t_keywords unary_keywords = compile_keywords(unary_list);
static const t_keywords xchg_keywords = compile_keywords(xchg_list);

bool encode_unary(t_scan& scan) {
    int32_t operation = match_word(scan, unary_keywords);
    if (operation == 0)
        return false;
    const uint32_t op_bits = 16 * static_cast<uint32_t>(operation - 1);
    if (expect_char(scan.line, '[', scan.pos)) {
        const auto base = static_cast<uint32_t>(require_register(scan));
        emit_memory(0x6C00 + op_bits + base, scan);
    } else {
        const auto reg = static_cast<uint32_t>(require_register(scan));
        emit_word(0x2C00 + op_bits + reg);
    }
    return true;
}

bool encode_exchange(t_scan& scan) {
    if (match_word(scan, xchg_keywords) == 0)
        return false;
    const auto a = static_cast<uint32_t>(require_register(scan));
    require_comma(scan);
    if (expect_char(scan.line, '[', scan.pos)) {
        const auto b = static_cast<uint32_t>(require_register(scan));
        fatal_check(expect_char(scan.line, ']', scan.pos), "] expected");
        emit_word(0x0200 + 16 * a + b);
    } else {
        const auto b = static_cast<uint32_t>(require_register(scan));
        emit_word(0x0100 + 16 * a + b);
    }
    return true;
}
