// Floating-point instructions: the one- and two-operand groups and every form of "fld".
#include "base/base.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"
#include "source/source.h"

static const t_keywords float_unary_keywords = compile_keywords(float_unary_list);
static const t_keywords float_binary_keywords = compile_keywords(float_binary_list);
static const t_keywords precision_keywords = compile_keywords(precision_list);
static const t_keywords integer_keywords = compile_keywords(integer_list);
static const t_keywords single_keywords = compile_keywords(single_list);
static const t_keywords fld_keywords = compile_keywords(fld_list);
static const t_keywords round_keywords = compile_keywords(round_list);

// A single-precision constant is read from at most this many characters.
static constexpr std::size_t single_constant_chars = 20;

bool encode_float_unary(t_scan& scan) {
    int32_t operation = match_word(scan, float_unary_keywords);
    if (operation == 0)
        return false;
    const auto q = static_cast<uint32_t>(require_float_register(scan));
    emit_word(0x3300 + 16 * static_cast<uint32_t>(operation - 1) + q);
    return true;
}

bool encode_float_binary(t_scan& scan) {
    int32_t operation = match_word(scan, float_binary_keywords);
    if (operation == 0)
        return false;
    const auto a = static_cast<uint32_t>(require_float_register(scan));
    require_comma(scan);
    const auto b = static_cast<uint32_t>(require_float_register(scan));
    emit_word(0x3300 + 0x100 * static_cast<uint32_t>(operation - 1) + 16 * a + b);
    return true;
}

// The source of "fld q,...": memory, general register, integer expression or single constant.
static void encode_float_source(t_scan& scan, uint32_t q) {
    int32_t precision = match_word(scan, precision_keywords, true);
    if (precision != 0) {
        const auto b = static_cast<uint32_t>(require_register(scan));
        emit_memory(0x7000 + 0x100 * static_cast<uint32_t>(precision - 1) + 16 * q + b, scan);
        return;
    }
    int32_t r = match_register(scan);
    if (r >= 0) {
        emit_word(0x7300 + 16 * q + static_cast<uint32_t>(r));
        return;
    }
    if (match_word(scan, integer_keywords) != 0) {
        emit_word_with_terms(kind_operand, 0xB300 + 16 * q, scan);
        return;
    }
    fatal_check(match_word(scan, single_keywords) != 0, "fld syntax error");
    const uint32_t word = 0xF700 + 16 * q; // always followed by the four bytes of the value
    const uint8_t prefix[2] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
    const std::string_view text = scan.line.substr(static_cast<std::size_t>(scan.pos - 1));
    fault_position = scan.pos;
    warn_check(text.size() <= single_constant_chars, warning_single_cut, "Single constant cut at 20 characters");
    emit_float(text.substr(0, single_constant_chars), 1, prefix, 2);
    scan.pos = static_cast<int32_t>(scan.line.size()) + 1; // the constant is the rest of the line
}

bool encode_float_load(t_scan& scan) {
    if (match_word(scan, fld_keywords) == 0)
        return false;
    // ORDER: store, general register destination, float register destination.
    int32_t precision = match_word(scan, precision_keywords, true);
    if (precision != 0) {
        t_scan after{scan.line, find_closing_bracket(scan, scan.pos)};
        const auto b = static_cast<uint32_t>(require_register(scan));
        require_comma(after);
        const auto q = static_cast<uint32_t>(require_float_register(after));
        emit_memory(0x7400 + 0x100 * static_cast<uint32_t>(precision - 1) + 16 * q + b, scan);
        scan.pos = after.pos; // the instruction ends after its second operand
        return true;
    }
    int32_t r = match_register(scan);
    if (r >= 0) {
        fatal_check(match_word(scan, round_keywords) != 0, "round expected");
        const auto q = static_cast<uint32_t>(require_float_register(scan));
        emit_word(0x7700 + 16 * q + static_cast<uint32_t>(r));
        return true;
    }
    int32_t q = match_word(scan, float_register_keywords) - 1;
    fatal_check(q >= 0, "fld syntax error");
    require_comma(scan);
    encode_float_source(scan, static_cast<uint32_t>(q));
    return true;
}
