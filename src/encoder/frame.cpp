// The encoder frame: the stages tried in a fixed order, and the operand steps they share.
#include "base/base.h"
#include "base/nearest.h"
#include "encoder/encoder.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"
#include "source/source.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <vector>

const t_keywords register_keywords = compile_keywords(register_list);
const t_keywords condition_keywords = compile_keywords(condition_list);
const t_keywords special_low_keywords = compile_keywords(special_list_low);
const t_keywords special_high_keywords = compile_keywords(special_list_high);
const t_keywords float_register_keywords = compile_keywords(float_register_list);

int32_t require_float_register(t_scan& scan) {
    int32_t reg = match_word(scan, float_register_keywords) - 1;
    fatal_check(reg >= 0, "Float register expected");
    return reg;
}

void require_comma(t_scan& scan) { fatal_check(expect_char(scan.line, ',', scan.pos), "Comma expected"); }

int32_t find_closing_bracket(const t_scan& scan, int32_t from) {
    const auto length = static_cast<int32_t>(scan.line.size());
    fault_position = from;
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

// ORDER: as stage_words, which lets a line into each.
static bool (*const stages[])(t_scan& scan) = {
    encode_data,  encode_packed,   encode_relative, encode_jump,        encode_return,       encode_interrupt,
    encode_stack, encode_arithmetic, encode_unary,  encode_exchange,    encode_load,         encode_float_unary,
    encode_float_binary, encode_float_load,
};
static_assert(std::size(stages) == stage_count, "one stage for each list of stage_words");

// Bit k: the k-th stage's words can begin with the character. A stage none of whose words can
// begin with the line's first character fails its first match at once and changes nothing, so the
// frame need not try it.
using t_stage_mask = uint32_t;
static_assert(stage_count <= 32, "every stage needs a bit of t_stage_mask");

namespace {
struct t_stage_set {
    t_stage_mask of[256];
};
} // namespace

static t_stage_set make_stage_candidates() {
    t_stage_set set{};
    for (int32_t stage = 0; stage < stage_count; ++stage) {
        t_keywords words = compile_keywords(stage_words[stage]);
        for (int c = 0; c < 256; ++c)
            if (keyword_may_begin(words, static_cast<char>(c)))
                set.of[c] |= t_stage_mask(1) << stage;
        release_keywords(words);
    }
    return set;
}

// What follows a complete instruction is never read: a ";" note is the custom, anything else was
// probably meant to count.
static void check_rest(t_scan& scan) {
    skip_blanks(scan.line, scan.pos);
    fault_position = scan.pos;
    const bool ended = scan.pos > static_cast<int32_t>(scan.line.size());
    warn_check(ended || scan.line[static_cast<std::size_t>(scan.pos - 1)] == ';', warning_trailing_text,
               "Text after the instruction is not assembled");
}

void encode_instruction() {
    static const t_stage_set stage_candidates = make_stage_candidates();
    t_scan scan{current_line, 1};
    skip_blanks(scan.line, scan.pos);
    const t_stage_mask may = scan.pos <= static_cast<int32_t>(scan.line.size())
                                 ? stage_candidates.of[static_cast<unsigned char>(scan.line[static_cast<std::size_t>(scan.pos - 1)])]
                                 : ~t_stage_mask(0);
    // ORDER: the candidates from the first stage on; the lowest bit is the next to try.
    for (t_stage_mask left = may; left != 0; left &= left - 1)
        if (stages[std::countr_zero(left)](scan)) {
            if (warnings_wanted)
                check_rest(scan);
            return;
        }
    fault_position = 0;
    if (!classic_report)
        fault_notes = mnemonic_notes(scan.line);
    fatal_check(false, "Syntax Error");
}
