// Control transfer: relative and absolute jumps and calls, returns and software interrupts.
#include "base/base.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"
#include "symbols/symbols.h"

static const t_keywords relative_keywords = compile_keywords(relative_list);
static const t_keywords jump_keywords = compile_keywords(jump_list);
static const t_keywords ret_keywords = compile_keywords(ret_list);
static const t_keywords int_keywords = compile_keywords(int_list);
static const t_keywords ax_keywords = compile_keywords(ax_list);

// Reads up to two conditions, each followed by a comma; every one adds a hexadecimal digit at
// the low end of the chain value.
static uint32_t read_condition_chain(t_scan& scan) {
    uint32_t chain = 0;
    for (;;) {
        int32_t condition = match_word(scan, condition_keywords);
        if (condition == 0)
            return chain;
        const int32_t condition_at = fault_position;
        require_comma(scan);
        fault_position = condition_at;
        fatal_check(chain < 16, "Too many conditions");
        chain = 16 * chain + static_cast<uint32_t>(condition - 1);
    }
}

bool encode_relative(t_scan& scan) {
    int32_t which = match_word(scan, relative_keywords);
    if (which == 0)
        return false;
    const uint32_t base = which == 1 ? 0x7900 : 0x7B00;
    const uint32_t chain = read_condition_chain(scan);
    int32_t reg = match_register(scan);
    if (reg >= 0) {
        fatal_check(chain < 16, "Too many conditions");
        emit_word(base + 16 * chain + static_cast<uint32_t>(reg));
        return true;
    }
    // The operand is the target minus the address of this instruction word: a term for the
    // instruction's own item goes in front of the target's terms.
    t_term* target = parse_terms(scan.line, scan.pos);
    t_rb_data* own = run_new<t_rb_data>();
    t_term* own_term = run_new<t_term>();
    own_term->kind = term_label;
    own_term->sign = -1;
    own_term->symbol = own;
    own_term->next = target;
    emit_deferred(kind_operand, own_term, static_cast<uint16_t>(base + chain + 0x4000));
    own->item = tail;
    return true;
}

bool encode_jump(t_scan& scan) {
    int32_t which = match_word(scan, jump_keywords);
    if (which == 0)
        return false;
    const uint32_t k = static_cast<uint32_t>(which - 1);
    const uint32_t chain = read_condition_chain(scan);
    int32_t reg = match_register(scan);
    if (reg >= 0) {
        fatal_check(chain < 16, "Too many conditions");
        emit_word(0x7800 + 0x200 * k + 16 * chain + static_cast<uint32_t>(reg));
    } else if (expect_char(scan.line, '[', scan.pos)) {
        int32_t base = require_register(scan);
        fatal_check(chain < 16, "Too many conditions");
        emit_memory(0x7C00 + 0x100 * k + 16 * chain + static_cast<uint32_t>(base), scan);
    } else {
        emit_word_with_terms(kind_operand, 0xB800 + 0x200 * k + chain, scan);
    }
    return true;
}

bool encode_return(t_scan& scan) {
    if (match_word(scan, ret_keywords) == 0)
        return false;
    emit_word(0x3A00 + read_condition_chain(scan));
    return true;
}

bool encode_interrupt(t_scan& scan) {
    if (match_word(scan, int_keywords) == 0)
        return false;
    const int32_t number_at = scan.pos;
    int32_t number = parse_immediate(scan.line, scan.pos);
    fault_position = number_at;
    fatal_check(number >= 0 && number <= 255, "Interrupt number must be between 0 and 0ffh");
    if (match_word(scan, ax_keywords, true) != 0)
        emit_word_with_terms(kind_operand, 0xBE00 + static_cast<uint32_t>(number), scan);
    else
        emit_word(0x3E00 + static_cast<uint32_t>(number));
    return true;
}
