// Decoding one instruction: the word read back into the text that orbasm encodes to exactly
// these bytes, or nothing when no text does.
#include "base/words.h"
#include "disasm/units.h"

#include <string_view>

// The mnemonic lists are the encoder's own (base/words.h).
static constexpr std::string_view precision_words = "single/double/extended";
// ORDER: access codes 0 to 7 of a memory word; 4 to 6 are stores.
static constexpr std::string_view access_prefixes[8] = {"", "byte ", "word ", "short ", "", "byte ", "word ", "int "};

// The name of alternative number (from 1) of a keyword list: its first synonym, or its last.
static std::string alternative(std::string_view list, uint32_t number, bool last_synonym = false) {
    std::size_t start = 0;
    for (uint32_t k = 1; k < number; ++k)
        start = list.find('/', start) + 1;
    std::size_t end = list.find('/', start);
    std::string_view words = list.substr(start, end == std::string_view::npos ? list.size() - start : end - start);
    std::size_t bar = last_synonym ? words.rfind('|') : words.find('|');
    if (bar == std::string_view::npos)
        return std::string(words);
    return std::string(last_synonym ? words.substr(bar + 1) : words.substr(0, bar));
}

static std::string reg(uint32_t n) { return alternative(register_list, n + 1); }
static std::string float_reg(uint32_t n) { return alternative(float_register_list, n + 1); }
// Special registers by their names where they have one ("sp"), else "sr09".
static std::string special(uint32_t list, uint32_t n) {
    return alternative(list == 0 ? special_list_low : special_list_high, n + 1, true);
}

// A condition number that some name gives: 1 to 15 except 8 and 13 (the second "z").
static bool is_condition(uint32_t c) { return c >= 1 && c <= 15 && c != 8 && c != 13; }
static std::string condition(uint32_t c) { return alternative(condition_list, c + 1); }

// One condition or none, where a single digit is allowed (register, memory and load forms).
static bool is_single_chain(uint32_t q) { return q == 0 || is_condition(q); }
// A chain of up to two conditions (expression targets and "ret").
static bool is_chain(uint32_t q) { return q < 16 ? is_single_chain(q) : is_condition(q >> 4) && is_condition(q & 15); }
// The chain as written: every condition followed by its comma.
static std::string chain_text(uint32_t q) {
    if (q == 0)
        return "";
    if (q < 16)
        return cat({condition(q), ","});
    return cat({condition(q >> 4), ",", condition(q & 15), ","});
}

// Operand sizes by the word's size code: 10 a 16-bit operand, 11 a 32-bit one.
static int32_t operand_bytes(uint32_t word) {
    const uint32_t code = word >> 14;
    return code == 2 ? 2 : code == 3 ? 4 : 0;
}

// Reads the operand after the word as orbasm evaluated it: sign-extended from 16 or 32 bits.
static int32_t read_operand(const std::vector<uint8_t>& image, int32_t address, int32_t bytes) {
    const std::size_t at = static_cast<std::size_t>(address) + 2;
    uint32_t value = 0;
    for (int32_t k = bytes - 1; k >= 0; --k)
        value = value << 8 | image[at + static_cast<std::size_t>(k)];
    if (bytes == 2)
        return static_cast<int16_t>(value);
    return static_cast<int32_t>(value);
}

// True when orbasm writes this operand in exactly these bytes. An always written operand (an
// operand item) takes 2 bytes when it fits 16 bits, else 4; a droppable one (a memory item: a
// displacement, an arithmetic immediate) in addition never has 2 bytes holding 0.
static bool operand_as_written(int32_t bytes, int32_t value, bool droppable) {
    if (bytes == 4)
        return !fits_16(value);
    return !(droppable && value == 0);
}

// A memory operand: "[es:b+d]" with the displacement filled in by the operand.
static void memory_operand(t_unit& unit, const std::string& before, bool segment, uint32_t base, int32_t bytes) {
    unit.before = cat({before, "[", segment ? "es:" : "", reg(base)});
    unit.after.assign(1, ']');
    unit.operand = bytes == 0 ? operand_none : operand_displacement;
}

// Memory forms with a droppable displacement: high byte (without size code) 00-0F, 10-25, 2C-2F,
// 30-32, 34-36, 3C-3D. Returns false for other high bytes.
static bool decode_memory(uint32_t high, uint32_t low, int32_t bytes, t_unit& unit) {
    const uint32_t a = low >> 4;
    const uint32_t b = low & 15;
    if (high <= 0x0F) {
        const uint32_t access = high & 7;
        const bool segment = (high & 8) != 0;
        const std::string_view prefix = access_prefixes[access];
        if (access >= 4 && access <= 6) {
            memory_operand(unit, cat({"ld ", prefix}), segment, b, bytes);
            unit.after = cat({unit.after, ",", reg(a)});
        } else {
            memory_operand(unit, cat({"ld ", reg(a), ",", prefix}), segment, b, bytes);
        }
        return true;
    }
    if (high >= 0x10 && high <= 0x25) {
        const std::string op = alternative(arithmetic_list, ((high - 0x10) >> 1) + 1);
        if ((high & 1) != 0) {
            memory_operand(unit, cat({op, " ", reg(a), ","}), false, b, bytes);
        } else {
            memory_operand(unit, cat({op, " "}), false, b, bytes);
            unit.after = cat({unit.after, ",", reg(a)});
        }
        return true;
    }
    if (high >= 0x2C && high <= 0x2F) {
        memory_operand(unit, cat({alternative(unary_list, ((high - 0x2C) << 4 | a) + 1), " "}), false, b, bytes);
        return true;
    }
    if (high >= 0x30 && high <= 0x32) {
        memory_operand(unit, cat({"fld ", float_reg(a), ",", alternative(precision_words, high - 0x30 + 1), " "}), false,
                       b, bytes);
        return true;
    }
    if (high >= 0x34 && high <= 0x36) {
        memory_operand(unit, cat({"fld ", alternative(precision_words, high - 0x34 + 1), " "}), false, b, bytes);
        unit.after = cat({unit.after, ",", float_reg(a)});
        return true;
    }
    if ((high == 0x3C || high == 0x3D) && is_single_chain(a)) {
        memory_operand(unit, cat({high == 0x3C ? "jmp " : "call ", chain_text(a)}), false, b, bytes);
        return true;
    }
    return false;
}

// Words without operand and size code 00: registers, stack, float registers, "ret", "int".
static bool decode_plain(uint32_t high, uint32_t low, t_unit& unit) {
    const uint32_t a = low >> 4;
    const uint32_t b = low & 15;
    std::string& text = unit.before;
    if (high == 0x00)
        text = cat({"ld ", reg(a), ",", reg(b)});
    else if (high == 0x01)
        text = cat({"xchg ", reg(a), ",", reg(b)});
    else if (high == 0x02)
        text = cat({"xchg ", reg(a), ",[", reg(b), "]"});
    else if (high == 0x04 || high == 0x06)
        text = cat({"ld ", reg(a), ",", special((high - 0x04) >> 1, b)});
    else if (high == 0x05 || high == 0x07)
        text = cat({"ld ", special((high - 0x05) >> 1, a), ",", reg(b)});
    else if (high == 0x0F && a == 0)
        text = cat({"push ", reg(b)});
    else if (high == 0x1E && a == 1)
        text = cat({"pop ", reg(b)}); // also "test bx,r": the same word
    else if (high >= 0x10 && high <= 0x25)
        text = cat({alternative((high & 1) != 0 ? packed_list : arithmetic_list, ((high - 0x10) >> 1) + 1), " ", reg(a),
                    ",", reg(b)});
    else if (high == 0x2D && a == 2)
        text = cat({"xchg [sp],", reg(b)}); // also "inc4 r": the same word
    else if (high >= 0x2C && high <= 0x2F)
        text = cat({alternative(unary_list, ((high - 0x2C) << 4 | a) + 1), " ", reg(b)});
    else if (high == 0x33 && a != 13 && a != 14)
        text = cat({alternative(float_unary_list, a + 1), " ", float_reg(b)});
    else if (high >= 0x33 && high <= 0x36) // 33D0-33EF only as "fadd qd" and "fadd qe"
        text = cat({alternative(float_binary_list, high - 0x33 + 1), " ", float_reg(a), ",", float_reg(b)});
    else if (high == 0x3A && is_chain(low))
        text = cat({"ret ", chain_text(low)});
    else if (high == 0x3E)
        text = cat({"int ", number_text(static_cast<int32_t>(low))});
    else
        return false;
    if (text.back() == ' ')
        text.pop_back();
    return true;
}

// Register forms with size code 01: "fld" with registers, jumps and calls to a register.
static bool decode_register(uint32_t high, uint32_t low, t_unit& unit) {
    const uint32_t a = low >> 4;
    const uint32_t b = low & 15;
    if (high == 0x33)
        unit.before = cat({"fld ", float_reg(a), ",", reg(b)});
    else if (high == 0x37)
        unit.before = cat({"fld ", reg(b), ",round ", float_reg(a)});
    else if (high >= 0x38 && high <= 0x3B && is_single_chain(a))
        unit.before = cat({alternative("jmp/jr/call/calr", high - 0x38 + 1), " ", chain_text(a), reg(b)});
    else
        return false;
    return true;
}

// Words whose operand is an expression (size code 10 or 11) or the 0 of an arithmetic
// immediate (code 01, high byte 2A). Sets the operand kind; false for other words.
static bool decode_expression(uint32_t high, uint32_t low, t_unit& unit, bool& droppable) {
    const uint32_t a = low >> 4;
    const uint32_t b = low & 15;
    droppable = false;
    unit.operand = operand_number;
    if (high == 0x28 && is_single_chain(a)) {
        unit.before = cat({"ld ", chain_text(a), reg(b), ","});
    } else if (high == 0x2A && a <= 10) {
        unit.before = cat({alternative(arithmetic_list, a + 1), " ", reg(b), ","});
        droppable = true;
    } else if (high == 0x2B && a <= 10) {
        unit.before = cat({alternative(packed_list, a + 1), " ", reg(b), ","});
    } else if (high == 0x33 && b == 0) {
        unit.before = cat({"fld ", float_reg(a), ",int "});
    } else if (high >= 0x38 && high <= 0x3B && is_chain(low)) {
        unit.before = cat({alternative("jmp/jr/call/calr", high - 0x38 + 1), " ", chain_text(low)});
        unit.operand = (high & 1) != 0 ? operand_relative : operand_absolute;
    } else if (high == 0x3E) {
        unit.before = cat({"int ", number_text(static_cast<int32_t>(low)), ",ax="});
    } else {
        return false;
    }
    return true;
}

bool decode_instruction(const std::vector<uint8_t>& image, int32_t address, t_unit& unit) {
    const std::size_t at = static_cast<std::size_t>(address);
    if (at + 2 > image.size())
        return false;
    const uint32_t word = image[at] | static_cast<uint32_t>(image[at + 1]) << 8;
    const uint32_t code = word >> 14;
    const uint32_t high = (word >> 8) & 0x3F;
    const uint32_t low = word & 0xFF;
    const int32_t bytes = operand_bytes(word);
    if (at + 2 + static_cast<std::size_t>(bytes) > image.size())
        return false;
    unit = t_unit{};
    unit.kind = unit_instruction;
    unit.address = address;
    unit.size = 2 + bytes;
    unit.operand = operand_none;
    bool droppable = true;
    bool known = false;
    if (code == 0) {
        known = decode_plain(high, low, unit);
    } else if (code == 3 && high == 0x37 && (low & 15) == 0) {
        // "fld q,single x": literal bytes, the word and the constant's four bytes.
        uint32_t bits = 0;
        for (int32_t k = 3; k >= 0; --k)
            bits = bits << 8 | image[at + 2 + static_cast<std::size_t>(k)];
        std::string constant;
        if (!single_constant_text(bits, constant))
            return false;
        unit.before = cat({"fld ", float_reg(low >> 4), ",single ", constant});
        return true;
    } else if (decode_memory(high, low, bytes, unit)) {
        known = true;
    } else if (code == 1 && decode_register(high, low, unit)) {
        known = true;
    } else if (code == 1 && high == 0x2A && (low >> 4) <= 10) {
        // An arithmetic immediate of 0: orbasm drops the operand and writes the word alone.
        decode_expression(high, low, unit, droppable);
        unit.after.assign(1, '0');
        unit.operand = operand_none;
        unit.deferred = true;
        return true;
    } else if (code >= 2 && decode_expression(high, low, unit, droppable)) {
        known = true;
    }
    if (!known)
        return false;
    if (bytes == 0)
        return unit.operand == operand_none;
    if (unit.operand == operand_none)
        return false; // a register form with an operand size code: no text gives it
    unit.value = read_operand(image, address, bytes);
    if (!operand_as_written(bytes, unit.value, droppable))
        return false;
    unit.deferred = true;
    if (unit.operand == operand_absolute)
        unit.target = unit.value;
    else if (unit.operand == operand_relative)
        unit.target = static_cast<int64_t>(address) + unit.value;
    return true;
}
