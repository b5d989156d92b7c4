// One-operand, shift, step and swap instructions, and the exchange of registers.
#include "driver/driver.h"
#include "encoder/stages.h"
#include "lex/lex.h"

// ORDER: index - 1 is the operation number in bits 4-9; "cvsebd" and "cvsewd" are synonyms.
static constexpr std::string_view unary_list =
    "neg/sar/shl/shr/rol/ror/rcl/rcr/negdx/sardx/shldx/shrdx/roldx/rordx/rcldx/rcrdx/"
    "inc/inc2/inc4/inc8/inc10/inc12/inc16/inc24/dec1/dec2/dec4/dec8/dec10/dec12/dec16/dec24/"
    "swp0000/swp0004/swp0034/swp0234/swp4321/swp0001/swp0012/swp0123/swp0204/swp0103/swp0102/swp0304/"
    "swp2040/swp1030/swp1020/swp3040/swp1243/swp2134/swp2143/swp4231/swp4123/swp3412/swp2341/swp1324/"
    "swp1111/swp2222/swp3333/swp4444/swp3214/swp0404/swpss34|cvsebd/swpsss4|cvsewd";

bool encode_unary(t_scan& scan) {
    int32_t operation = match_keyword(scan.line, unary_list, scan.pos, false);
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
    if (match_keyword(scan.line, "xchg", scan.pos, false) == 0)
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
