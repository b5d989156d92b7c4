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

// The stages tried one after another, each with its own lists.
static t_stage_entry find_stage_entry_by_lists(std::string_view line) {
    int32_t at = 1;
    skip_blanks(line, at);
    const uint32_t may = possible_stages(line, at);
    for (int32_t stage = 0; stage < stage_count; ++stage) {
        if ((may & 1u << stage) == 0)
            continue;
        for (int32_t list = 0; list < 4 && stages[stage].entry_lists[list] != nullptr; ++list) {
            int32_t end = at;
            const int32_t number = match_keyword(line, *stages[stage].entry_lists[list], end, stages[stage].no_boundary_check);
            if (number != 0)
                return {stage, list, at, number, end};
        }
    }
    return {-1, 0, at, 0, at};
}

namespace {
// Every stage's words in one trie. A walk from the line's first word that stops at a node has
// read the node's word and, unless the line ended, one character that no word goes on with; the
// stages' matches depend on nothing more than that and whether the character is a boundary, so
// the entry for each node and each way of stopping is worked out once.
enum : int32_t { entry_stop_ended, entry_stop_boundary, entry_stop_other, entry_stop_kinds };

struct t_entry_answer {
    int8_t stage; // -1 for none
    int8_t list;
    int16_t number;
    int16_t length; // from the first word to the end of the match, trailing blanks not counted
};

struct t_entry_table {
    t_keywords words;
    std::vector<t_entry_answer> answers; // entry_stop_kinds per node
};

void tabulate_entries(t_entry_table& table, int32_t node, std::string& word) {
    auto answer = [](const std::string& text) {
        const t_stage_entry entry = find_stage_entry_by_lists(text);
        int32_t end = entry.end;
        while (end > 1 && text[static_cast<std::size_t>(end - 2)] == ' ')
            --end; // the blanks are skipped again on the real line, which may hold more
        return t_entry_answer{static_cast<int8_t>(entry.stage), static_cast<int8_t>(entry.list),
                              static_cast<int16_t>(entry.number), static_cast<int16_t>(end - 1)};
    };
    const t_stop_characters stops = stop_characters(table.words, node);
    t_entry_answer* row = &table.answers[static_cast<std::size_t>(node) * entry_stop_kinds];
    row[entry_stop_ended] = answer(word);
    row[entry_stop_boundary] = answer(word + stops.boundary);
    row[entry_stop_other] = answer(word + stops.other);
    for (int32_t child = table.words.nodes[node].first_child; child >= 0;
         child = table.words.nodes[child].next_sibling) {
        word.push_back(table.words.nodes[child].ch);
        tabulate_entries(table, child, word);
        word.pop_back();
    }
}

// Built on first use: the stages' lists are compiled by the initialisers of other files.
t_entry_table make_entry_table() {
    std::string all_words;
    for (std::string_view list : stage_lists)
        (all_words += list) += '/';
    all_words.pop_back();
    t_entry_table table{compile_keywords(all_words), {}};
    table.answers.resize(static_cast<std::size_t>(table.words.node_count) * entry_stop_kinds);
    std::string word;
    tabulate_entries(table, 0, word);
    return table;
}
} // namespace

t_stage_entry find_stage_entry(std::string_view line) {
    static const t_entry_table table = make_entry_table();
    const auto length = static_cast<int32_t>(line.size());
    int32_t at = 1;
    skip_blanks(line, at);
    int32_t node = 0;
    int32_t stop = entry_stop_ended;
    for (int32_t next = at; next <= length; ++next) {
        const char c = line[static_cast<std::size_t>(next - 1)];
        const int32_t child = keyword_child(table.words, node, c);
        if (child < 0) {
            stop = is_word_boundary(c) ? entry_stop_boundary : entry_stop_other;
            break;
        }
        node = child;
    }
    const t_entry_answer& found = table.answers[static_cast<std::size_t>(node * entry_stop_kinds + stop)];
    if (found.stage < 0)
        return {-1, 0, at, 0, at};
    int32_t end = at + found.length;
    skip_blanks(line, end);
    return {found.stage, found.list, at, found.number, end};
}

void encode_instruction() {
    t_scan scan{current_line, 1};
    skip_blanks(scan.line, scan.pos);
    int32_t first = 0;
    if (known_stage_entry != nullptr) {
        // The stages before the known one would fail their first match and change nothing.
        const t_stage_entry& entry = *known_stage_entry;
        fatal_check(entry.stage >= 0, "Syntax Error");
        first = entry.stage;
        scan.known_list = stages[first].entry_lists[entry.list];
        scan.known_at = entry.at;
        scan.known_number = entry.number;
        scan.known_end = entry.end;
    }
    const uint32_t may = possible_stages(scan.line, scan.pos);
    // ORDER: the first stage whose keyword matches encodes the line; never reorder.
    for (int32_t stage = first; stage < stage_count; ++stage)
        if ((may & 1u << stage) != 0 && stages[stage].encode(scan))
            return;
    fatal_check(false, "Syntax Error");
}
