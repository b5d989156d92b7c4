// Numbers and expressions: sums of signed numbers, constants and labels.
#include "base/base.h"
#include "base/nearest.h"
#include "lex/lex.h"
#include "source/source.h"
#include "symbols/symbols.h"

static bool is_digit(char c) { return c >= '0' && c <= '9'; }
static bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Value 0 to 15 of each character as a digit of a number, or -1.
static constexpr auto digit_values = [] {
    struct {
        int8_t of[256];
    } table{};
    for (int c = 0; c < 256; ++c)
        table.of[c] = static_cast<int8_t>(c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
    return table;
}();
static int32_t digit_value(char c) { return digit_values.of[static_cast<unsigned char>(c)]; }

static char at(std::string_view text, int32_t pos) { return text[static_cast<std::size_t>(pos - 1)]; }

// A number whose digits run from first to last_digit and whose reading stops before the character
// at end: the character at end is passed over unread, and should be a blank; a digit beyond the
// radix is taken at its value ("1F" is 25). A number glued to a skipped character is warned of once.
static void check_number_text(std::string_view text, int32_t first, int32_t last_digit, int32_t end, uint32_t radix) {
    const auto length = static_cast<int32_t>(text.size());
    fault_position = first;
    const bool glued = end <= length && at(text, end) != ' ';
    warn_check(!glued, warning_glued_number, "Characters glued to a number are skipped");
    bool digits_fit = true;
    for (int32_t k = first; k <= last_digit; ++k)
        digits_fit = digits_fit && static_cast<uint32_t>(digit_value(at(text, k))) < radix;
    const char before = first > 1 ? at(text, first - 1) : ' ';
    const bool after_glued = is_letter(before) || is_digit(before) || before == '_' || before == '.';
    warn_check(digits_fit || glued || after_glued, warning_digit, "Digit too large for the number's base");
    // Eight digits fit in 32 bits in every radix, whatever their values; a longer number is
    // summed again without wrapping.
    if (last_digit - first >= 8) [[unlikely]] {
        uint64_t value = 0;
        for (int32_t k = first; k <= last_digit && value <= 0xFFFFFFFFu; ++k)
            value = value * radix + static_cast<uint64_t>(digit_value(at(text, k)));
        warn_check(value <= 0xFFFFFFFFu, warning_number_range,
                   "Number does not fit in 32 bits: only its low 32 bits are kept");
    }
}

// Reads the number whose first digit stands at pos; returns its wrapped value and leaves pos one
// character past the number and its suffixes (that character is skipped unexamined).
static int32_t read_number(std::string_view text, int32_t& pos) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t i = pos;
    while (i <= length && digit_value(at(text, i)) >= 0)
        ++i;
    int32_t last_digit = i - 1;
    uint32_t radix = 10;
    // A run of 0 and 1 closed by "b" (and no "h" or "o" after it) is binary: 101b is five.
    if (i - pos >= 2 && at(text, i - 1) == 'b' && (i > length || (at(text, i) != 'h' && at(text, i) != 'o'))) {
        bool binary = true;
        for (int32_t k = pos; k < i - 1; ++k)
            binary = binary && (at(text, k) == '0' || at(text, k) == '1');
        if (binary) {
            radix = 2;
            last_digit = i - 2;
        }
    }
    if (radix == 10) {
        if (i <= length && at(text, i) == 'h') {
            radix = 16;
            ++i;
        }
        if (i <= length && at(text, i) == 'o') {
            radix = 8;
            ++i;
        }
    }
    uint32_t value = 0;
    for (int32_t k = pos; k <= last_digit; ++k)
        value = value * radix + static_cast<uint32_t>(digit_value(at(text, k)));
    if (warnings_wanted)
        check_number_text(text, pos, last_digit, i, radix);
    pos = i + 1;
    return static_cast<int32_t>(value);
}

// Length of the run of name characters at pos; "@" may continue a name only where allowed.
static int32_t name_length(std::string_view text, int32_t pos, bool at_allowed) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t end = pos + 1;
    while (end <= length) {
        char c = at(text, end);
        if (!(is_letter(c) || is_digit(c) || c == '_' || (at_allowed && c == '@')))
            break;
        ++end;
    }
    return end - pos;
}

// The symbol of the name at pos in text; a name new to the table is entered undefined.
static t_rb_data* look_up(std::string_view text, int32_t pos, int32_t length) {
    // Only a name on the line in hand has a place there (#header names its labels itself).
    fault_position = text.data() == current_line.data() ? pos : 0;
    t_rb_data record{};
    record.name = text.substr(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(length));
    return &enter_symbol(record)->data;
}

// An expression without a single term is read as 0: probably an operand left out. The warning
// points where the expression ended, which is where the operand belongs.
[[gnu::noinline]] static void warn_missing_operand(int32_t at) {
    if (!warnings_wanted)
        return;
    fault_position = at;
    warn(warning_missing_operand, "Operand missing: it is read as 0");
}

t_term* parse_terms(std::string_view text, int32_t& pos) {
    const auto length = static_cast<int32_t>(text.size());
    t_term* first = run_new<t_term>();
    first->kind = term_number;
    first->sign = 1;
    t_term* last = nullptr; // nil until the first term has filled the first node
    int32_t sign = 1;
    while (pos <= length) {
        char c = at(text, pos);
        if (c == '-')
            sign = -1;
        else if (c == '+')
            sign = 1;
        if (c == ',' || c == ']')
            break;
        bool is_number = is_digit(c);
        if (!is_number && !(is_letter(c) || c == '_' || c == '@')) {
            ++pos;
            continue;
        }
        t_term* term = first;
        if (last != nullptr) {
            term = run_new<t_term>();
            last->next = term;
        }
        last = term;
        if (is_number) {
            term->kind = term_number;
            term->number = wrap_mul(sign, read_number(text, pos));
            term->sign = 1;
        } else {
            int32_t name_len = name_length(text, pos, true);
            term->kind = c == '@' ? term_label : term_constant;
            term->sign = static_cast<int16_t>(sign);
            term->symbol = look_up(text, pos, name_len);
            pos += name_len;
        }
        sign = 1;
    }
    if (last == nullptr) [[unlikely]]
        warn_missing_operand(pos);
    return first;
}

int32_t parse_immediate(std::string_view text, int32_t& pos) {
    const auto length = static_cast<int32_t>(text.size());
    bool present = false; // a number or a name was read
    int32_t result = 0;
    int32_t sign = 1;
    while (pos <= length) {
        char c = at(text, pos);
        fault_position = pos;
        fatal_check(c != '@', "Immediate value expected");
        if (c == '-')
            sign = -1;
        else if (c == '+')
            sign = 1;
        if (c == ',' || c == ']')
            break;
        if (is_digit(c)) {
            result = wrap_add(result, wrap_mul(sign, read_number(text, pos)));
            sign = 1;
            present = true;
        } else if (is_letter(c) || c == '_') {
            int32_t name_len = name_length(text, pos, false);
            const t_rb_data* symbol = look_up(text, pos, name_len);
            // The name follows the message where the report is not the classic one.
            if (symbol->item == nullptr) [[unlikely]] {
                // Reported once: later uses, and uses after its definition failed, fail quietly.
                failure_already_reported = symbol->silenced;
                name_reported_undefined = symbol->name;
                if (!classic_report) {
                    fault_detail = "- " + std::string(symbol->name);
                    fault_notes = register_notes(symbol->name);
                }
            }
            fatal_check(symbol->item != nullptr, "Constant not defined");
            result = wrap_add(result, wrap_mul(sign, symbol->value));
            sign = 1;
            pos += name_len;
            present = true;
        } else {
            ++pos;
        }
    }
    if (!present) [[unlikely]]
        warn_missing_operand(pos);
    return result;
}
