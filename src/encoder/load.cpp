// Loads, stores and moves: every integer transfer under "ld" and its synonym "mov".
#include "base/base.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"

static const t_keywords segment_keywords = compile_keywords(segment_list);
static const t_keywords ld_keywords = compile_keywords(load_store_list);

// Bit 11 of a memory word: "es :" written right after the opening bracket.
static uint32_t match_segment(t_scan& scan) {
    return match_word(scan, segment_keywords, true) != 0 ? 0x800 : 0;
}

static const t_keywords store_keywords = compile_keywords(store_list);
static const t_keywords load_keywords = compile_keywords(load_list);

// The source operand of "ld d,...": memory, special register, register or expression. No word
// of one of these lists is a word of another, so the order of trying changes nothing; the most
// common form is tried first.
static void encode_load_source(t_scan& scan, uint32_t d) {
    int32_t n = match_register(scan);
    if (n >= 0) {
        emit_word(16 * d + static_cast<uint32_t>(n));
    } else if ((n = match_word(scan, load_keywords, true) - 1) >= 0) {
        const uint32_t segment = match_segment(scan);
        const auto b = static_cast<uint32_t>(require_register(scan));
        emit_memory(0x4000 + segment + 0x100 * static_cast<uint32_t>(n) + 16 * d + b, scan);
    } else if ((n = match_word(scan, special_low_keywords) - 1) >= 0) {
        emit_word(0x0400 + 16 * d + static_cast<uint32_t>(n));
    } else if ((n = match_word(scan, special_high_keywords) - 1) >= 0) {
        emit_word(0x0600 + 16 * d + static_cast<uint32_t>(n));
    } else {
        emit_word_with_terms(kind_operand, 0xA800 + d, scan);
    }
}

// The first operand: a register, memory (a store), a condition or a special register; as with the
// source, the forms exclude each other.
bool encode_load(t_scan& scan) {
    if (match_word(scan, ld_keywords) == 0)
        return false;
    int32_t n = match_register(scan);
    if (n >= 0) {
        require_comma(scan);
        encode_load_source(scan, static_cast<uint32_t>(n));
    } else if ((n = match_word(scan, store_keywords, true) - 1) >= 0) {
        const uint32_t segment = match_segment(scan);
        t_scan after{scan.line, find_closing_bracket(scan, scan.pos)};
        const auto b = static_cast<uint32_t>(require_register(scan));
        require_comma(after);
        const auto s = static_cast<uint32_t>(require_register(after));
        emit_memory(0x4400 + segment + 0x100 * static_cast<uint32_t>(n) + 16 * s + b, scan);
        scan.pos = after.pos; // the instruction ends after its second operand
    } else if ((n = match_word(scan, condition_keywords) - 1) >= 0) {
        expect_char(scan.line, ',', scan.pos); // the comma after a condition may be left out
        const auto r = static_cast<uint32_t>(require_register(scan));
        require_comma(scan);
        emit_word_with_terms(kind_operand, 0xA800 + 16 * static_cast<uint32_t>(n) + r, scan);
    } else {
        const int32_t low = match_word(scan, special_low_keywords) - 1;
        const int32_t high = low < 0 ? match_word(scan, special_high_keywords) - 1 : -1;
        fatal_check(low >= 0 || high >= 0, "Register or something expected");
        require_comma(scan);
        const auto r = static_cast<uint32_t>(require_register(scan));
        emit_word((low >= 0 ? 0x0500 + 16 * static_cast<uint32_t>(low) : 0x0700 + 16 * static_cast<uint32_t>(high)) + r);
    }
    return true;
}
