// Loads, stores and moves: every integer transfer under "ld" and its synonym "mov".
#include "driver/driver.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"

// ORDER: index - 1 is the access code of a store (plus 4).
static constexpr std::string_view store_list = "[/byte [/word [";
// ORDER: index - 1 is the access code of a load; "^" holds the store codes 4 to 6.
static constexpr std::string_view load_list = "[/byte [/word [/short [/^/^/^/int [";

static const t_keywords store_keywords = compile_keywords(store_list);
static const t_keywords load_keywords = compile_keywords(load_list);
static const t_keywords segment_keywords = compile_keywords("es :");
const t_keywords ld_keywords = compile_keywords(load_store_list);

// Index - 1 of a special register in list, or -1.
static int32_t match_special(t_scan& scan, const t_keywords& list) {
    return match_word(scan, list) - 1;
}

// Bit 11 of a memory word: "es :" written right after the opening bracket.
static uint32_t match_segment(t_scan& scan) {
    return match_word(scan, segment_keywords, true) != 0 ? 0x800 : 0;
}

// The source operand of "ld d,...": memory, special register, register or expression.
static void encode_load_source(t_scan& scan, uint32_t d) {
    int32_t access = match_word(scan, load_keywords, true);
    if (access != 0) {
        const uint32_t segment = match_segment(scan);
        const auto b = static_cast<uint32_t>(require_register(scan));
        emit_memory(0x4000 + segment + 0x100 * static_cast<uint32_t>(access - 1) + 16 * d + b, scan);
        return;
    }
    int32_t special = match_special(scan, special_low_keywords);
    if (special >= 0) {
        emit_word(0x0400 + 16 * d + static_cast<uint32_t>(special));
        return;
    }
    special = match_special(scan, special_high_keywords);
    if (special >= 0) {
        emit_word(0x0600 + 16 * d + static_cast<uint32_t>(special));
        return;
    }
    int32_t s = match_register(scan);
    if (s >= 0) {
        emit_word(16 * d + static_cast<uint32_t>(s));
        return;
    }
    emit_word_with_terms(kind_operand, 0xA800 + d, scan);
}

bool encode_load(t_scan& scan) {
    if (match_word(scan, ld_keywords) == 0)
        return false;
    // ORDER: the forms are recognised strictly in this order.
    int32_t condition = match_word(scan, condition_keywords);
    if (condition != 0) {
        expect_char(scan.line, ',', scan.pos); // the comma after a condition may be left out
        const auto r = static_cast<uint32_t>(require_register(scan));
        require_comma(scan);
        emit_word_with_terms(kind_operand, 0xA800 + 16 * static_cast<uint32_t>(condition - 1) + r, scan);
        return true;
    }
    int32_t special = match_special(scan, special_low_keywords);
    uint32_t special_word = 0x0500;
    if (special < 0) {
        special = match_special(scan, special_high_keywords);
        special_word = 0x0700;
    }
    if (special >= 0) {
        require_comma(scan);
        const auto r = static_cast<uint32_t>(require_register(scan));
        emit_word(special_word + 16 * static_cast<uint32_t>(special) + r);
        return true;
    }
    int32_t store = match_word(scan, store_keywords, true);
    if (store != 0) {
        const uint32_t segment = match_segment(scan);
        t_scan after{scan.line, find_closing_bracket(scan, scan.pos)};
        const auto b = static_cast<uint32_t>(require_register(scan));
        require_comma(after);
        const auto s = static_cast<uint32_t>(require_register(after));
        emit_memory(0x4400 + segment + 0x100 * static_cast<uint32_t>(store - 1) + 16 * s + b, scan);
        return true;
    }
    int32_t d = match_register(scan);
    fatal_check(d >= 0, "Register or something expected");
    require_comma(scan);
    encode_load_source(scan, static_cast<uint32_t>(d));
    return true;
}
