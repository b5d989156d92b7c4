#pragma once
#include <cstdint>
#include <string_view>

// An 80-bit x87 extended value as it is stored in memory.
struct t_extended {
    uint64_t significand;   // 64-bit significand, explicit integer bit (bit 63)
    uint16_t sign_exponent; // bit 15 sign, bits 0-14 biased exponent (bias 16383)
};

// What a cut leaves off below its last kept bit, against half of that bit.
enum t_rest : uint8_t { rest_zero, rest_below_half, rest_half, rest_above_half };

// A decimal value cut to its first 64 significant bits: enough to round it once, exactly, to any
// precision of at most 64 bits.
struct t_cut {
    bool negative;
    uint64_t significand; // the first 64 significant bits (bit 63 set); 0 for zero
    int64_t exponent;     // bit 63 weighs 2^exponent
    t_rest rest;          // the value's bits after the 64 kept ones
};

// Reads the whole text as one decimal number and rounds its value once to the format (nearest,
// ties to even, subnormals as the format gives); false when the text is not exactly such a number
// or its value rounds beyond the format's largest finite value.
bool decimal_to_single(std::string_view text, uint32_t* bits);
bool decimal_to_double(std::string_view text, uint64_t* bits);
bool decimal_to_extended(std::string_view text, t_extended* result);

// The cut the three conversions round; false when the text is not a number. A value far beyond
// every format is cut as 2^100000. cut_decimal takes a shortcut for short numbers and must agree
// with cut_decimal_exactly, which always works on big integers, to the bit.
bool cut_decimal(std::string_view text, t_cut* cut);
bool cut_decimal_exactly(std::string_view text, t_cut* cut);
