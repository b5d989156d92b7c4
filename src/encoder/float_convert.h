#pragma once
#include <cstdint>
#include <string_view>

// An 80-bit x87 extended value as it is stored in memory.
struct t_extended {
    uint64_t significand;   // 64-bit significand, explicit integer bit (bit 63)
    uint16_t sign_exponent; // bit 15 sign, bits 0-14 biased exponent (bias 16383)
};

// Reads the whole text as one decimal number; false when the text is not exactly such a number
// or its value overflows the extended range.
bool decimal_to_extended(std::string_view text, t_extended* result);
// The same, always by exact arithmetic on big integers: decimal_to_extended takes a shortcut for
// short numbers and must agree with this to the bit.
bool decimal_to_extended_exactly(std::string_view text, t_extended* result);

// Narrow to the nearest single / double (round to nearest, ties to even, subnormals as the format
// gives); false when the value overflows the target to infinity.
bool extended_to_single(t_extended value, uint32_t* bits);
bool extended_to_double(t_extended value, uint64_t* bits);
