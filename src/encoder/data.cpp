// Data definitions: bytes, words and strings at once; 32-bit values settled at layout;
// floating-point values in three precisions.
#include "base/base.h"
#include "encoder/float_convert.h"
#include "encoder/stages.h"
#include "image/image.h"
#include "lex/lex.h"
#include "source/source.h"

#include <cstring>

void emit_float(std::string_view text, int32_t precision, const uint8_t* prefix, int32_t prefix_size) {
    uint8_t bytes[2 + 10] = {};
    if (prefix_size > 0)
        std::memcpy(bytes, prefix, static_cast<std::size_t>(prefix_size));
    uint8_t* out = bytes + prefix_size;
    bool ok = false;
    int32_t count = 0;
    if (precision == 1) {
        uint32_t bits = 0;
        ok = decimal_to_single(text, &bits);
        for (count = 0; count < 4; ++count)
            out[count] = static_cast<uint8_t>(bits >> (8 * count));
    } else if (precision == 2) {
        uint64_t bits = 0;
        ok = decimal_to_double(text, &bits);
        for (count = 0; count < 8; ++count)
            out[count] = static_cast<uint8_t>(bits >> (8 * count));
    } else {
        t_extended value{};
        ok = decimal_to_extended(text, &value);
        for (count = 0; count < 8; ++count)
            out[count] = static_cast<uint8_t>(value.significand >> (8 * count));
        out[8] = static_cast<uint8_t>(value.sign_exponent);
        out[9] = static_cast<uint8_t>(value.sign_exponent >> 8);
        count = 10;
    }
    fatal_check(ok, "float value error");
    emit_item(kind_bytes, prefix_size + count, bytes);
}

// Appends the string whose opening quote stands at the position; continues after its closing quote.
static void emit_string(t_scan& scan) {
    const std::size_t open = static_cast<std::size_t>(scan.pos - 1);
    const std::size_t close = scan.line.find(scan.line[open], open + 1);
    fault_position = scan.pos;
    fatal_check(close != std::string_view::npos, "String exceeding line");
    emit_item(kind_bytes, static_cast<int32_t>(close - open - 1), scan.line.data() + open + 1);
    scan.pos = static_cast<int32_t>(close) + 2;
}

// Reads one value of the definition numbered stage (1 db, 2 dw, 3 dd, 4 floating point) and
// appends its item; the position is left on the comma or end that closed the value.
static void emit_data_value(t_scan& scan, int32_t stage, int32_t precision) {
    const int32_t value_at = scan.pos;
    if (stage == 1 || stage == 2) {
        const int32_t value = parse_immediate(scan.line, scan.pos);
        const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(static_cast<uint32_t>(value) >> 8)};
        emit_item(kind_bytes, stage, bytes);
        // Only the low bytes are kept: a value beyond what they hold, signed or not, was probably not meant.
        fault_position = value_at;
        warn_check(stage == 1 ? value >= -128 && value <= 255 : value >= -32768 && value <= 65535, warning_value_range,
                   stage == 1 ? "Value does not fit in a byte" : "Value does not fit in a word");
    } else if (stage == 3) {
        emit_deferred(kind_value, parse_terms(scan.line, scan.pos));
    } else {
        const std::size_t start = static_cast<std::size_t>(scan.pos - 1);
        std::size_t end = scan.line.find(',', start);
        if (end == std::string_view::npos)
            end = scan.line.size();
        fault_position = value_at;
        emit_float(scan.line.substr(start, end - start), precision, nullptr, 0);
        scan.pos = static_cast<int32_t>(end) + 1;
    }
}

// No word of the list is a prefix of a word before it ("dd" comes before "ddouble"), so one list
// answers as trying "db", "dw", "dd" and the floating-point definitions one by one would.
static const t_keywords data_keywords = compile_keywords(data_list);

bool encode_data(t_scan& scan) {
    const int32_t definition = match_word(scan, data_keywords);
    if (definition == 0)
        return false;
    const int32_t stage = definition < 4 ? definition : 4; // 4 for the three floating-point ones
    const int32_t precision = definition - 3;
    const auto length = static_cast<int32_t>(scan.line.size());
    while (scan.pos <= length) {
        const char c = scan.line[static_cast<std::size_t>(scan.pos - 1)];
        if (c == ' ' || c == ',') {
            ++scan.pos;
        } else if (stage == 1 && (c == '\'' || c == '"')) {
            emit_string(scan);
        } else {
            emit_data_value(scan, stage, precision);
            ++scan.pos; // past the comma that ended the value
        }
    }
    return true;
}
