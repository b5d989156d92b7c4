// Numbers and single-precision constants written so that orbasm reads back exactly their value.
#include "disasm/units.h"
#include "driver/orbasm.h"

#include <cstdio>
#include <cstring>

// A single-precision constant is read from at most this many characters of the line.
static constexpr std::size_t single_constant_chars = 20;

static std::string hex_digits(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 15]);
        value >>= 4;
    } while (value != 0);
    return text;
}

std::string number_text(int32_t value) {
    if (value >= -9 && value <= 9)
        return std::to_string(value);
    const bool negative = value < 0;
    // The magnitude in unsigned arithmetic: -80000000h reads back as the wrapped 80000000h.
    const uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    std::string digits = hex_digits(magnitude);
    if (digits[0] > '9')
        digits.insert(digits.begin(), '0'); // a number must begin with a decimal digit
    return cat({negative ? "-" : "", digits, "h"});
}

// Writes sign, digits and decimal exponent (value = 0.d1d2... x 10^point) in the shortest form
// orbasm accepts after "single": plain digits with an optional fraction, or an exponent without
// a sign (a sign would be parted from the "e" when the line is normalised).
static std::string decimal_form(bool negative, const std::string& digits, int32_t point) {
    std::string plain;
    if (point <= 0) {
        plain = cat({"0.", std::string(static_cast<std::size_t>(-point), '0'), digits});
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        plain = cat({digits, std::string(static_cast<std::size_t>(point) - digits.size(), '0')});
    } else {
        plain = cat({digits.substr(0, static_cast<std::size_t>(point)), ".", digits.substr(static_cast<std::size_t>(point))});
    }
    std::string best = plain;
    if (point > 1) { // d1.d2d3...e(point-1)
        std::string scaled = cat({digits.substr(0, 1), digits.size() > 1 ? "." : "", digits.substr(1), "e",
                                  std::to_string(point - 1)});
        if (scaled.size() < best.size())
            best = scaled;
    }
    return cat({negative ? "-" : "", best});
}

// Splits the scientific text of to_chars ("-1.2345e-05") into sign, significant digits and the
// position of the decimal point.
static void split_scientific(const char* text, bool& negative, std::string& digits, int32_t& point) {
    negative = *text == '-';
    if (negative)
        ++text;
    digits.clear();
    const char* e = std::strchr(text, 'e');
    for (const char* p = text; p < e; ++p)
        if (*p != '.')
            digits += *p;
    point = std::atoi(e + 1) + 1;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
}

// True when orbasm converts text to exactly bits.
static bool converts_to(const std::string& text, uint32_t bits) {
    uint32_t result = 0;
    return text.size() <= single_constant_chars && decimal_to_single(text, &result) && result == bits;
}

bool single_constant_text(uint32_t bits, std::string& text) {
    if ((bits & 0x7F800000u) == 0x7F800000u)
        return false; // infinities and NaNs have no decimal text
    if ((bits & 0x7FFFFFFFu) == 0) {
        text = bits != 0 ? "-0" : "0";
        return true;
    }
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    // More significant digits until one converts back exactly; the shortest comes first.
    for (int precision = 0; precision <= 16; ++precision) {
        // printf's conversion is correctly rounded, as std::to_chars is; the C++ library of the
        // WebAssembly build has no std::to_chars for floating point.
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*e", precision, static_cast<double>(value));
        bool negative = false;
        std::string digits;
        int32_t point = 0;
        split_scientific(buffer, negative, digits, point);
        std::string candidate = decimal_form(negative, digits, point);
        if (converts_to(candidate, bits)) {
            text = candidate;
            return true;
        }
    }
    return false;
}
