// The encoder frame: the stages tried in a fixed order, and the operand steps they share.
#include "driver/driver.h"
#include "encoder/encoder.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"

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

// ORDER: the stages in the order of trying, each with the words that let a line in; the first
// stage whose word matches encodes the line. Never reorder.
struct t_stage {
    bool (*encode)(t_scan& scan);
    std::string_view words;
};
static const t_stage stages[] = {
    {encode_data, data_list},          {encode_packed, packed_list},         {encode_relative, relative_list},
    {encode_jump, jump_list},          {encode_return, ret_list},            {encode_interrupt, int_list},
    {encode_stack, stack_list},        {encode_arithmetic, arithmetic_list}, {encode_unary, unary_list},
    {encode_exchange, xchg_list},      {encode_load, load_store_list},       {encode_float_unary, float_unary_list},
    {encode_float_binary, float_binary_list}, {encode_float_load, fld_list},
};
static constexpr int32_t stage_count = static_cast<int32_t>(std::size(stages));

// Bit k: the k-th stage's words can begin with the character. A stage none of whose words can
// begin with the line's first character fails its first match at once and changes nothing, so the
// frame need not try it.
using t_stage_mask = uint32_t;
static_assert(stage_count <= 32, "every stage needs a bit of t_stage_mask");

struct t_stage_set {
    t_stage_mask of[256];
};

static t_stage_set make_stage_candidates() {
    t_stage_set set{};
    for (int32_t stage = 0; stage < stage_count; ++stage) {
        t_keywords words = compile_keywords(stages[stage].words);
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

static bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#' || c == '_' ||
           c == '.' || c == '@';
}

// Edits (insertions, deletions, changes, swaps of neighbours) that turn a into b.
static int32_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<int32_t>> d(a.size() + 1, std::vector<int32_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = static_cast<int32_t>(i + j);
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The word of the lists of the given kind nearest to word (the first of equally near ones), and
// its distance; "" when the lists hold no word.
static std::pair<std::string_view, int32_t> nearest_word(std::string_view word, std::string_view kind) {
    std::pair<std::string_view, int32_t> best{"", 1 << 30};
    for (const t_word_list& words : language_words) {
        if (words.kind != kind)
            continue;
        for (std::size_t at = 0; at < words.list.size();) {
            const std::size_t end = std::min(words.list.find_first_of("/|", at), words.list.size());
            std::size_t last = at;
            while (last < end && is_name_char(words.list[last]))
                ++last;
            const std::string_view known = words.list.substr(at, last - at);
            const int32_t distance = known.empty() ? best.second : edit_distance(word, known);
            if (distance < best.second)
                best = {known, distance};
            at = end + 1;
        }
    }
    return best;
}

std::vector<t_note> mnemonic_notes(std::string_view line) {
    std::size_t end = 0;
    while (end < line.size() && is_name_char(line[end]))
        ++end;
    std::string word(line.substr(0, end));
    for (char& c : word)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    const bool directive = !word.empty() && word[0] == '#';
    const auto [known, distance] = nearest_word(word, directive ? "directive" : "mnemonic");
    // A keyword in capitals has a hint of its own; a keyword glued to what follows it, no help here.
    if (word.empty() || distance == 0)
        return {};
    std::string note = "'";
    note.append(line.substr(0, end)).append("' is not ").append(directive ? "a directive" : "a mnemonic");
    if (distance <= (word.size() <= 3 ? 1 : 2))
        note.append("; did you mean '").append(known).append("'?");
    return {{note, {}}};
}

std::vector<t_note> register_notes(std::string_view name) {
    for (const std::string_view kind : {"register", "float register"}) {
        const auto [known, distance] = nearest_word(name, kind);
        if (distance == 1) {
            std::string note = "'";
            note.append(name).append("' is not a register; did you mean '").append(known).append("'?");
            return {{note, {}}};
        }
    }
    return {};
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
        if (stages[std::countr_zero(left)].encode(scan)) {
            if (warnings_wanted)
                check_rest(scan);
            return;
        }
    fault_position = 0;
    if (!classic_report)
        fault_notes = mnemonic_notes(scan.line);
    fatal_check(false, "Syntax Error");
}
