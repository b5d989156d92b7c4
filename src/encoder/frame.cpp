// The encoder frame: the stages tried in a fixed order, and the operand steps they share.
#include "driver/driver.h"
#include "encoder/encoder.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"

#include <iterator>

const t_keywords register_keywords = compile_keywords(register_list);
const t_keywords condition_keywords = compile_keywords(condition_list);
const t_keywords special_low_keywords = compile_keywords(special_list_low);
const t_keywords special_high_keywords = compile_keywords(special_list_high);
const t_keywords float_register_keywords = compile_keywords(float_register_list);

int32_t match_register(t_scan& scan) { return match_word(scan, register_keywords) - 1; }

int32_t require_register(t_scan& scan) {
    int32_t reg = match_register(scan);
    fatal_check(reg >= 0, "Register expected");
    return reg;
}

int32_t require_float_register(t_scan& scan) {
    int32_t reg = match_word(scan, float_register_keywords) - 1;
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

// ORDER: the stages' mnemonic lists, as the frame tries them.
static constexpr std::string_view stage_lists[] = {
    data_list,       packed_list, relative_list, jump_list,       ret_list,         int_list,          stack_list,
    arithmetic_list, unary_list,  xchg_list,     load_store_list, float_unary_list, float_binary_list, fld_list};
static constexpr int32_t stage_count = static_cast<int32_t>(std::size(stage_lists));

struct t_stage_set {
    uint16_t of[256]; // bit k: the k-th stage's mnemonic can begin with this character
};

// A stage none of whose words can begin with the line's first character fails its keyword match
// at once and changes nothing, so the frame need not try it.
static t_stage_set first_character_stages() {
    t_stage_set set{};
    for (int32_t stage = 0; stage < stage_count; ++stage) {
        t_keywords keywords = compile_keywords(stage_lists[stage]);
        const bool empty_word = keywords.nodes[0].end_synonym != no_synonym;
        for (int c = 0; c < 256; ++c)
            if (empty_word || keywords.children[0].of[c] >= 0)
                set.of[c] = static_cast<uint16_t>(set.of[c] | 1u << stage);
        release_keywords(keywords);
    }
    return set;
}

static const t_stage_set stage_candidates = first_character_stages();

void encode_instruction() {
    t_scan scan{current_line, 1};
    skip_blanks(scan.line, scan.pos);
    const uint32_t may =
        scan.pos <= static_cast<int32_t>(scan.line.size())
            ? stage_candidates.of[static_cast<unsigned char>(scan.line[static_cast<std::size_t>(scan.pos - 1)])]
            : 0xFFFFu;
    // ORDER: the first stage whose keyword matches encodes the line; never reorder.
    if (((may & 1u << 0) && encode_data(scan)) || ((may & 1u << 1) && encode_packed(scan)) ||
        ((may & 1u << 2) && encode_relative(scan)) || ((may & 1u << 3) && encode_jump(scan)) ||
        ((may & 1u << 4) && encode_return(scan)) || ((may & 1u << 5) && encode_interrupt(scan)) ||
        ((may & 1u << 6) && encode_stack(scan)) || ((may & 1u << 7) && encode_arithmetic(scan)) ||
        ((may & 1u << 8) && encode_unary(scan)) || ((may & 1u << 9) && encode_exchange(scan)) ||
        ((may & 1u << 10) && encode_load(scan)) || ((may & 1u << 11) && encode_float_unary(scan)) ||
        ((may & 1u << 12) && encode_float_binary(scan)) || ((may & 1u << 13) && encode_float_load(scan)))
        return;
    fatal_check(false, "Syntax Error");
}
