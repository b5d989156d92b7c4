// The encoder frame: the stages tried in a fixed order, and the operand steps they share.
#include "driver/driver.h"
#include "encoder/encoder.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"

#include <iterator>
#include <string>
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

const t_word_list language_words[] = {
    {"mnemonic", data_list},         {"mnemonic", packed_list},        {"mnemonic", relative_list},
    {"mnemonic", jump_list},         {"mnemonic", ret_list},           {"mnemonic", int_list},
    {"mnemonic", stack_list},        {"mnemonic", arithmetic_list},    {"mnemonic", unary_list},
    {"mnemonic", xchg_list},         {"mnemonic", load_store_list},    {"mnemonic", float_unary_list},
    {"mnemonic", float_binary_list}, {"mnemonic", fld_list},
    {"directive", "#include/#org/#align/#data/#zero/#header/#const"},
    {"register", register_list},     {"condition", condition_list},
    {"special register", special_list_low}, {"special register", special_list_high},
    {"float register", float_register_list},
    {"operand word", "byte [/word [/short [/int [/es :/single/double/extended/int/long/,round/,ax ="},
};
const int32_t language_word_lists = static_cast<int32_t>(std::size(language_words));

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
            if (empty_word || keyword_child(keywords, 0, static_cast<char>(c)) >= 0)
                set.of[c] = static_cast<uint16_t>(set.of[c] | 1u << stage);
        release_keywords(keywords);
    }
    return set;
}

static const t_stage_set stage_candidates = first_character_stages();

// ORDER: the stages in the order of trying, each with the lists that let a line in, tried in
// this order before the stage does anything else (only the stack stage needs no boundary).
struct t_stage {
    bool (*encode)(t_scan& scan);
    const t_keywords* entry_lists[4];
    bool no_boundary_check;
};
static const t_stage stages[] = {
    {encode_data, {&db_keywords, &dw_keywords, &dd_keywords, &float_data_keywords}, false},
    {encode_packed, {&packed_keywords}, false},
    {encode_relative, {&relative_keywords}, false},
    {encode_jump, {&jump_keywords}, false},
    {encode_return, {&ret_keywords}, false},
    {encode_interrupt, {&int_keywords}, false},
    {encode_stack, {&stack_keywords}, true},
    {encode_arithmetic, {&arithmetic_keywords}, false},
    {encode_unary, {&unary_keywords}, false},
    {encode_exchange, {&xchg_keywords}, false},
    {encode_load, {&ld_keywords}, false},
    {encode_float_unary, {&float_unary_keywords}, false},
    {encode_float_binary, {&float_binary_keywords}, false},
    {encode_float_load, {&fld_keywords}, false},
};
static_assert(std::size(stages) == std::size(stage_lists));

thread_local const t_stage_entry* known_stage_entry = nullptr;

// The stages the line's first character leaves possible.
static uint32_t possible_stages(std::string_view line, int32_t pos) {
    return pos <= static_cast<int32_t>(line.size())
               ? stage_candidates.of[static_cast<unsigned char>(line[static_cast<std::size_t>(pos - 1)])]
               : 0xFFFFu;
}

// ORDER: every list that lets a line into a stage, in the order the stages try them, with the
// stage and the place among its lists each one has; one walk finds the first that matches.
struct t_entry_place {
    int8_t stage;
    int8_t list;
};
static const t_keyword_list entry_lists[] = {
    {db_list, false},          {dw_list, false},           {dd_list, false},        {float_data_list, false},
    {packed_list, false},      {relative_list, false},     {jump_list, false},      {ret_list, false},
    {int_list, false},         {stack_list, true},         {arithmetic_list, false}, {unary_list, false},
    {xchg_list, false},        {load_store_list, false},   {float_unary_list, false}, {float_binary_list, false},
    {fld_list, false}};
static constexpr t_entry_place entry_places[] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0},  {2, 0},  {3, 0},  {4, 0}, {5, 0},
                                                 {6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}, {12, 0}, {13, 0}};
static_assert(std::size(entry_lists) == std::size(entry_places));

t_stage_entry find_stage_entry(std::string_view line) {
    // Built on first use: only reading ahead finds entries beforehand.
    static const t_keyword_union stage_entries =
        compile_keyword_union(entry_lists, static_cast<int32_t>(std::size(entry_lists)));
    int32_t at = 1;
    skip_blanks(line, at);
    int32_t end = at;
    const t_keyword_choice found = match_keyword_union(line, stage_entries, end);
    if (found.list < 0)
        return {-1, 0, at, 0, at};
    const t_entry_place place = entry_places[found.list];
    return {place.stage, place.list, at, found.number, end};
}

void encode_instruction() {
    t_scan scan{line_in_hand(), 1};
    int32_t first = 0;
    if (known_stage_entry != nullptr) {
        // The stages before the known one would fail their first match and change nothing; the
        // known one makes that match at once.
        const t_stage_entry& entry = *known_stage_entry;
        fatal_check(entry.stage >= 0, "Syntax Error");
        first = entry.stage;
        scan.pos = entry.at;
        scan.known_list = stages[first].entry_lists[entry.list];
        scan.known_at = entry.at;
        scan.known_number = entry.number;
        scan.known_end = entry.end;
        if (stages[first].encode(scan))
            return;
        ++first;
    } else {
        skip_blanks(scan.line, scan.pos);
    }
    const uint32_t may = possible_stages(scan.line, scan.pos);
    // ORDER: the first stage whose keyword matches encodes the line; never reorder.
    for (int32_t stage = first; stage < stage_count; ++stage)
        if ((may & 1u << stage) != 0 && stages[stage].encode(scan))
            return;
    fatal_check(false, "Syntax Error");
}
