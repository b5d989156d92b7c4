// Loads, stores and moves: every integer transfer under "ld" and its synonym "mov".
#include "driver/driver.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"

// ORDER: index - 1 is the access code of a store (plus 4).
static constexpr std::string_view store_list = "[/byte [/word [";
// ORDER: index - 1 is the access code of a load; "^" holds the store codes 4 to 6.
static constexpr std::string_view load_list = "[/byte [/word [/short [/^/^/^/int [";

static const t_keywords segment_keywords = compile_keywords("es :");
const t_keywords ld_keywords = compile_keywords(load_store_list);

// Bit 11 of a memory word: "es :" written right after the opening bracket.
static uint32_t match_segment(t_scan& scan) {
    return match_word(scan, segment_keywords, true) != 0 ? 0x800 : 0;
}

// ORDER: the first operand's forms and the source operand's forms, each recognised strictly in
// this order; one walk finds the first that matches.
enum : int16_t { first_condition, first_special_low, first_special_high, first_store, first_register };
static const t_keyword_list first_operand_lists[] = {
    {condition_list, false}, {special_list_low, false}, {special_list_high, false}, {store_list, true}, {register_list, false}};
enum : int16_t { source_load, source_special_low, source_special_high, source_register };
static const t_keyword_list source_operand_lists[] = {
    {load_list, true}, {special_list_low, false}, {special_list_high, false}, {register_list, false}};

static const t_keyword_union first_operand = compile_keyword_union(first_operand_lists, 5);
static const t_keyword_union source_operand = compile_keyword_union(source_operand_lists, 4);

// The source operand of "ld d,...": memory, special register, register or expression.
static void encode_load_source(t_scan& scan, uint32_t d) {
    const t_keyword_choice source = match_keyword_union(scan.line, source_operand, scan.pos);
    const auto n = static_cast<uint32_t>(source.number - 1);
    switch (source.list) {
    case source_load: {
        const uint32_t segment = match_segment(scan);
        const auto b = static_cast<uint32_t>(require_register(scan));
        emit_memory(0x4000 + segment + 0x100 * n + 16 * d + b, scan);
        break;
    }
    case source_special_low:
        emit_word(0x0400 + 16 * d + n);
        break;
    case source_special_high:
        emit_word(0x0600 + 16 * d + n);
        break;
    case source_register:
        emit_word(16 * d + n);
        break;
    default:
        emit_word_with_terms(kind_operand, 0xA800 + d, scan);
        break;
    }
}

bool encode_load(t_scan& scan) {
    if (match_word(scan, ld_keywords) == 0)
        return false;
    const t_keyword_choice first = match_keyword_union(scan.line, first_operand, scan.pos);
    const auto n = static_cast<uint32_t>(first.number - 1);
    switch (first.list) {
    case first_condition: {
        expect_char(scan.line, ',', scan.pos); // the comma after a condition may be left out
        const auto r = static_cast<uint32_t>(require_register(scan));
        require_comma(scan);
        emit_word_with_terms(kind_operand, 0xA800 + 16 * n + r, scan);
        break;
    }
    case first_special_low:
    case first_special_high: {
        require_comma(scan);
        const auto r = static_cast<uint32_t>(require_register(scan));
        emit_word((first.list == first_special_low ? 0x0500 : 0x0700) + 16 * n + r);
        break;
    }
    case first_store: {
        const uint32_t segment = match_segment(scan);
        t_scan after{scan.line, find_closing_bracket(scan, scan.pos)};
        const auto b = static_cast<uint32_t>(require_register(scan));
        require_comma(after);
        const auto s = static_cast<uint32_t>(require_register(after));
        emit_memory(0x4400 + segment + 0x100 * n + 16 * s + b, scan);
        break;
    }
    default:
        fatal_check(first.list == first_register, "Register or something expected");
        require_comma(scan);
        encode_load_source(scan, n);
        break;
    }
    return true;
}
