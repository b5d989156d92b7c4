// Decimal to extended, double and single, each rounded once from the decimal value: exact bit
// patterns from values built by construction (powers of two written out exactly in decimal, then
// nudged), cross-checked against glibc's correctly rounded strtold, strtod and strtof.
#include "encoder/float_convert.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

// strtold is the oracle only where long double is the x87 80-bit format.
static_assert(std::numeric_limits<long double>::digits == 64, "tests need x87 long double");

static constexpr uint64_t top_bit = uint64_t(1) << 63;

// -- helpers -----------------------------------------------------------------------------------

// Converts text, failing the test when it is refused.
static t_extended convert(const std::string& text) {
    t_extended x{0x1234, 0x5678};
    EXPECT_TRUE(decimal_to_extended(text, &x)) << text.substr(0, 200);
    return x;
}

// The extended fields of a long double.
static t_extended from_long_double(long double value) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &value, sizeof value);
    t_extended x;
    std::memcpy(&x.significand, bytes, 8);
    std::memcpy(&x.sign_exponent, bytes + 8, 2);
    return x;
}

static uint32_t float_bits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

static uint64_t double_bits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return bits;
}

// Oracle: glibc's correctly rounded strtold; false when it overflows to infinity.
static bool oracle(const std::string& text, t_extended* x) {
    errno = 0;
    char* end = nullptr;
    long double value = std::strtold(text.c_str(), &end);
    EXPECT_EQ(end, text.c_str() + text.size()) << text.substr(0, 200);
    *x = from_long_double(value);
    return !std::isinf(value);
}

// Oracles for single and double: glibc's strtof and strtod round the decimal value directly.
static bool single_oracle(const std::string& text, uint32_t* bits) {
    char* end = nullptr;
    float value = std::strtof(text.c_str(), &end);
    EXPECT_EQ(end, text.c_str() + text.size()) << text.substr(0, 200);
    *bits = float_bits(value);
    return !std::isinf(value);
}

static bool double_oracle(const std::string& text, uint64_t* bits) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    EXPECT_EQ(end, text.c_str() + text.size()) << text.substr(0, 200);
    *bits = double_bits(value);
    return !std::isinf(value);
}

// True when text converts to exactly what the oracles give in all three precisions; says which
// precision differs otherwise.
static bool agrees_with_oracles(const std::string& text, std::string* difference) {
    t_extended expected{};
    t_extended x{0, 0};
    bool finite = oracle(text, &expected);
    if (decimal_to_extended(text, &x) != finite ||
        (finite && (x.significand != expected.significand || x.sign_exponent != expected.sign_exponent))) {
        *difference = "extended";
        return false;
    }
    uint64_t d = 0;
    uint64_t expected_d = 0;
    finite = double_oracle(text, &expected_d);
    if (decimal_to_double(text, &d) != finite || (finite && d != expected_d)) {
        *difference = "double";
        return false;
    }
    uint32_t f = 0;
    uint32_t expected_f = 0;
    finite = single_oracle(text, &expected_f);
    if (decimal_to_single(text, &f) != finite || (finite && f != expected_f)) {
        *difference = "single";
        return false;
    }
    return true;
}

// Exact decimal arithmetic for building test texts, in base 10^9 limbs (independent of the
// binary limbs of the code under test).
struct t_test_decimal {
    std::vector<uint64_t> parts; // little-endian base 10^9
};

static constexpr uint64_t billion = 1000000000;

static void decimal_mul(t_test_decimal* a, uint64_t factor) {
    uint64_t carry = 0;
    for (uint64_t& part : a->parts) {
        uint64_t t = part * factor + carry; // part < 10^9 and factor <= 2^32: fits
        part = t % billion;
        carry = t / billion;
    }
    for (; carry != 0; carry /= billion)
        a->parts.push_back(carry % billion);
}

static void decimal_add(t_test_decimal* a, uint64_t addend) {
    for (std::size_t i = 0; addend != 0; ++i) {
        if (i == a->parts.size())
            a->parts.push_back(0);
        uint64_t t = a->parts[i] + addend % billion; // below 2 x 10^9: cannot wrap
        a->parts[i] = t % billion;
        addend = addend / billion + t / billion;
    }
}

static std::string decimal_string(const t_test_decimal& a) {
    if (a.parts.empty())
        return "0";
    std::string s = std::to_string(a.parts.back());
    for (std::size_t i = a.parts.size() - 1; i-- > 0;) {
        std::string part = std::to_string(a.parts[i]);
        s += std::string(9 - part.size(), '0') + part;
    }
    return s;
}

// A decimal number as digits x 10^exponent.
struct t_test_number {
    std::string digits;
    int64_t exponent;
};

static std::string text_of(const t_test_number& n) {
    return n.digits + "e" + std::to_string(n.exponent);
}

// The exact decimal of (high x 2^64 + low) x 2^k.
static t_test_number exact(uint64_t high, uint64_t low, int64_t k) {
    t_test_decimal a;
    decimal_add(&a, high);
    decimal_mul(&a, uint64_t(1) << 32);
    decimal_mul(&a, uint64_t(1) << 32);
    decimal_add(&a, low);
    int64_t steps = k < 0 ? -k : k;
    for (; steps >= 13; steps -= 13)
        decimal_mul(&a, k < 0 ? 1220703125 : uint64_t(1) << 13);
    for (; steps > 0; --steps)
        decimal_mul(&a, k < 0 ? 5 : 2);
    // m x 2^-n = m x 5^n x 10^-n
    return {decimal_string(a), k < 0 ? k : 0};
}

// The number plus one unit far below its last digit (differs from the 40th digit on at least).
static t_test_number nudge_up(t_test_number n, std::size_t pad = 40) {
    n.digits += std::string(pad, '0') + "1";
    n.exponent -= int64_t(pad) + 1;
    return n;
}

// The number minus one unit far below its last digit.
static t_test_number nudge_down(t_test_number n, std::size_t pad = 40) {
    std::size_t i = n.digits.size();
    while (n.digits[--i] == '0')
        n.digits[i] = '9'; // borrow
    --n.digits[i];
    n.digits += std::string(pad, '9');
    n.exponent -= int64_t(pad);
    return n;
}

enum e_nudge { exact_value, above, below };

// A value (high x 2^64 + low) x 2^k, optionally nudged, as text.
struct t_built {
    uint64_t high;
    uint64_t low;
    int64_t k;
    e_nudge nudge;
};

static std::string build(const t_built& b) {
    t_test_number n = exact(b.high, b.low, b.k);
    if (b.nudge == above)
        n = nudge_up(n);
    else if (b.nudge == below)
        n = nudge_down(n);
    return text_of(n);
}

// -- fixed tables ------------------------------------------------------------------------------

struct t_known {
    const char* text;
    uint64_t significand;
    uint16_t sign_exponent;
    uint32_t single_bits;
    uint64_t double_bits;
};

TEST(FloatConvert, KnownValues) {
    const t_known cases[] = {
        {"1.5", 0xC000000000000000, 0x3FFF, 0x3FC00000, 0x3FF8000000000000},
        {"0.1", 0xCCCCCCCCCCCCCCCD, 0x3FFB, 0x3DCCCCCD, 0x3FB999999999999A},
        {"-0.1", 0xCCCCCCCCCCCCCCCD, 0xBFFB, 0xBDCCCCCD, 0xBFB999999999999A},
        {"1", 0x8000000000000000, 0x3FFF, 0x3F800000, 0x3FF0000000000000},
        {"-2.5", 0xA000000000000000, 0xC000, 0xC0200000, 0xC004000000000000},
        {"10000", 0x9C40000000000000, 0x400C, 0x461C4000, 0x40C3880000000000},
        {"0.5", 0x8000000000000000, 0x3FFE, 0x3F000000, 0x3FE0000000000000},
        {"3.14159265358979323846264338327950288", 0xC90FDAA22168C235, 0x4000, 0x40490FDB,
         0x400921FB54442D18},
        {"0", 0, 0, 0, 0},
        {"-0", 0, 0x8000, 0x80000000, 0x8000000000000000},
        {"-0.000e-7", 0, 0x8000, 0x80000000, 0x8000000000000000},
        {"+0.0", 0, 0, 0, 0},
        // 2^64 and 2^64 - 1: the latter needs all 64 significand bits
        {"18446744073709551616", 0x8000000000000000, 0x403F, 0x5F800000, 0x43F0000000000000},
        {"18446744073709551615", 0xFFFFFFFFFFFFFFFF, 0x403E, 0x5F800000, 0x43F0000000000000},
        // 2^64 + 1 is halfway between extended neighbours: ties to even
        {"18446744073709551617", 0x8000000000000000, 0x403F, 0x5F800000, 0x43F0000000000000},
        {"18446744073709551619", 0x8000000000000002, 0x403F, 0x5F800000, 0x43F0000000000000},
    };
    for (const t_known& c : cases) {
        SCOPED_TRACE(c.text);
        t_extended x = convert(c.text);
        EXPECT_EQ(x.significand, c.significand);
        EXPECT_EQ(x.sign_exponent, c.sign_exponent);
        uint32_t s = 0;
        uint64_t d = 0;
        EXPECT_TRUE(decimal_to_single(c.text, &s));
        EXPECT_TRUE(decimal_to_double(c.text, &d));
        EXPECT_EQ(s, c.single_bits);
        EXPECT_EQ(d, c.double_bits);
    }
}

TEST(FloatConvert, Syntax) {
    struct t_syntax {
        const char* text;
        uint64_t significand;
        uint16_t sign_exponent;
    };
    const uint64_t thousand = 0xFA00000000000000; // 1000 = 0x3E8 << 54
    const t_syntax accepted[] = {
        {"1", top_bit, 0x3FFF},
        {"+1", top_bit, 0x3FFF},
        {"-1", top_bit, 0xBFFF},
        {"   1", top_bit, 0x3FFF},
        {" -1", top_bit, 0xBFFF},
        {"1.", top_bit, 0x3FFF},
        {".5", top_bit, 0x3FFE},
        {"-.5", top_bit, 0xBFFE},
        {"1.e3", thousand, 0x4008},
        {"1E3", thousand, 0x4008},
        {"1e+3", thousand, 0x4008},
        {".1e4", thousand, 0x4008},
        {"1e-0", top_bit, 0x3FFF},
        {"10e-1", top_bit, 0x3FFF},
        {"00", 0, 0},
        {"0.", 0, 0},
        {".0", 0, 0},
        {"-.0", 0, 0x8000},
        {"0.0e0", 0, 0},
        {"007.500", 0xF000000000000000, 0x4001},
        {"1.0E+0001", 0xA000000000000000, 0x4002},
    };
    for (const t_syntax& c : accepted) {
        SCOPED_TRACE(c.text);
        t_extended x = convert(c.text);
        EXPECT_EQ(x.significand, c.significand);
        EXPECT_EQ(x.sign_exponent, c.sign_exponent);
    }
    const std::string refused[] = {
        "", " ", ".", "+", "-", "+.", "-.", "e3", ".e1", "e", // no digits
        "1e", "1e+", "1e-", "1E", "1.e", "1e 3", "1ee3", "1e3e3", "1e+-3", "1e3.5", // exponents
        "1 ", " 1 ", "\t1", "\n1", "1\n", "- 1", // blanks: leading spaces only
        "--1", "+-1", "++1", "1-", "1.5.2", "1,5", "1_000", // stray punctuation
        "inf", "-inf", "infinity", "nan", "0x10", "0X1p3", "0b1", "1d3", "1f", "1.5L",
        "\xd9\xa1", "\xef\xbc\x91", // non-ASCII digits (Arabic-Indic and fullwidth one)
        std::string("1\0", 2), std::string("\0" "1", 2), "1e9999999999999999999999999x",
    };
    for (const std::string& text : refused) {
        t_extended x{0x1234, 0x5678};
        EXPECT_FALSE(decimal_to_extended(text, &x)) << '"' << text << '"';
    }
}

// -- halfway points built exactly --------------------------------------------------------------

struct t_extended_case {
    t_built value;
    bool finite;
    uint64_t significand;
    uint16_t sign_exponent;
};

TEST(FloatConvert, ExtendedRounding) {
    const uint64_t ones = ~uint64_t(0);
    const t_extended_case cases[] = {
        // 1 + 2^-64, halfway between 1 and its successor: ties to even (down), nudges decide
        {{1, 1, -64, exact_value}, true, top_bit, 0x3FFF},
        {{1, 1, -64, above}, true, top_bit + 1, 0x3FFF},
        {{1, 1, -64, below}, true, top_bit, 0x3FFF},
        // 1 + 3 x 2^-64: ties to even (up)
        {{1, 3, -64, exact_value}, true, top_bit + 2, 0x3FFF},
        {{1, 3, -64, above}, true, top_bit + 2, 0x3FFF},
        {{1, 3, -64, below}, true, top_bit + 1, 0x3FFF},
        // halfway just below 2: ties up into the next binade
        {{1, ones, -64, exact_value}, true, top_bit, 0x4000},
        {{1, ones, -64, below}, true, ones, 0x3FFF},
        // the same ties far from 1
        {{1, 1, -1000, exact_value}, true, top_bit, 0x3FFF - 936},
        {{1, 1, -1000, above}, true, top_bit + 1, 0x3FFF - 936},
        {{1, 5, 7000, exact_value}, true, top_bit + 2, 0x3FFF + 7064},
        {{1, 5, 7000, below}, true, top_bit + 2, 0x3FFF + 7064},
        {{1, 7, 7000, below}, true, top_bit + 3, 0x3FFF + 7064},
        // largest finite, and the halfway point beyond it which rounds (to even) to overflow
        {{0, ones, 16320, exact_value}, true, ones, 0x7FFE},
        {{0, ones, 16320, above}, true, ones, 0x7FFE},
        {{1, ones, 16319, below}, true, ones, 0x7FFE},
        {{1, ones, 16319, exact_value}, false, 0, 0},
        {{1, ones, 16319, above}, false, 0, 0},
        {{0, 1, 16384, exact_value}, false, 0, 0},
        // smallest normal, and the halfway point between it and the largest subnormal
        {{0, 1, -16382, exact_value}, true, top_bit, 0x0001},
        {{0, 1, -16382, below}, true, top_bit, 0x0001},
        {{0, ones, -16446, exact_value}, true, top_bit, 0x0001},
        {{0, ones, -16446, below}, true, top_bit - 1, 0x0000},
        {{0, ones - 2, -16446, above}, true, top_bit - 1, 0x0000},
        // smallest subnormal, half of it (ties to zero), and just around that half
        {{0, 1, -16445, exact_value}, true, 1, 0x0000},
        {{0, 1, -16445, below}, true, 1, 0x0000},
        {{0, 1, -16446, exact_value}, true, 0, 0x0000},
        {{0, 1, -16446, above}, true, 1, 0x0000},
        {{0, 1, -16446, below}, true, 0, 0x0000},
        {{0, 1, -16447, exact_value}, true, 0, 0x0000},
        {{0, 3, -16446, exact_value}, true, 2, 0x0000},
        {{0, 3, -16446, below}, true, 1, 0x0000},
        {{0, 5, -16446, exact_value}, true, 2, 0x0000},
        {{0, 5, -16446, above}, true, 3, 0x0000},
    };
    for (const t_extended_case& c : cases) {
        std::string text = build(c.value);
        SCOPED_TRACE(text.substr(0, 80) + "... " + std::to_string(text.size()) + " chars");
        t_extended x{0x1234, 0x5678};
        bool finite = decimal_to_extended(text, &x);
        ASSERT_EQ(finite, c.finite);
        t_extended expected;
        ASSERT_EQ(oracle(text, &expected), c.finite); // the table itself agrees with glibc
        if (!c.finite)
            continue;
        EXPECT_EQ(x.significand, c.significand);
        EXPECT_EQ(x.sign_exponent, c.sign_exponent);
        EXPECT_EQ(expected.significand, c.significand);
        EXPECT_EQ(expected.sign_exponent, c.sign_exponent);
        // the sign only flips bit 15
        t_extended negative{};
        ASSERT_TRUE(decimal_to_extended("-" + text, &negative));
        EXPECT_EQ(negative.significand, c.significand);
        EXPECT_EQ(negative.sign_exponent, c.sign_exponent | 0x8000);
    }
}

// Single and double are rounded from the decimal value itself: a decimal off a halfway point by
// far less than half an extended unit (the nudges) still rounds away from the tie.
struct t_narrow_case {
    t_built value;
    bool finite;
    uint64_t bits;
};

TEST(FloatConvert, SingleRounding) {
    const t_narrow_case cases[] = {
        {{0, (1u << 24) + 1, -24, exact_value}, true, 0x3F800000},  // tie to even, down
        {{0, (1u << 24) + 3, -24, exact_value}, true, 0x3F800002},  // tie to even, up
        {{0, top_bit + (uint64_t(1) << 39) + 1, -63, exact_value}, true, 0x3F800001}, // above by 2^-63
        {{0, top_bit + (uint64_t(1) << 39) - 1, -63, exact_value}, true, 0x3F800000}, // below by 2^-63
        {{0, (1u << 24) + 1, -24, above}, true, 0x3F800001},        // above the tie by 10^-65
        {{0, (1u << 24) + 3, -24, below}, true, 0x3F800001},        // below the tie by 10^-65
        {{0, 1, -126, exact_value}, true, 0x00800000},              // smallest normal
        {{0, (1u << 24) - 1, -150, exact_value}, true, 0x00800000}, // tie up into normal
        {{0, (1u << 24) - 1, -150, below}, true, 0x007FFFFF},
        {{0, (((uint64_t(1) << 24) - 1) << 40) + 1, -190, exact_value}, true, 0x00800000}, // just above
        {{0, (((uint64_t(1) << 24) - 1) << 40) - 1, -190, exact_value}, true, 0x007FFFFF}, // just below
        {{0, 1, -149, exact_value}, true, 0x00000001},              // smallest subnormal
        {{0, 1, -150, exact_value}, true, 0x00000000},              // half of it: to zero
        {{0, 1, -150, above}, true, 0x00000001},
        {{0, top_bit + 1, -213, exact_value}, true, 0x00000001},    // just above half
        {{0, ~uint64_t(0), -214, exact_value}, true, 0x00000000},   // just below half
        {{0, 3, -150, exact_value}, true, 0x00000002},
        {{0, 3, -150, below}, true, 0x00000001},
        {{0, 1, -200, exact_value}, true, 0x00000000},
        {{0, (1u << 24) - 1, 104, exact_value}, true, 0x7F7FFFFF},  // largest finite
        {{0, (uint64_t(1) << 25) - 1, 103, exact_value}, false, 0}, // tie to overflow
        {{0, (((uint64_t(1) << 25) - 1) << 39) - 1, 64, exact_value}, true, 0x7F7FFFFF},
        {{0, (uint64_t(1) << 25) - 1, 103, below}, true, 0x7F7FFFFF},
        {{0, 1, 128, exact_value}, false, 0},
        {{0, 1, 16000, exact_value}, false, 0},
    };
    for (const t_narrow_case& c : cases) {
        for (bool negative : {false, true}) {
            std::string text = negative ? "-" : "";
            text += build(c.value);
            SCOPED_TRACE(text.substr(0, 80));
            uint32_t bits = 0x12345678;
            uint32_t expected = 0;
            ASSERT_EQ(single_oracle(text, &expected), c.finite); // the table itself agrees with glibc
            ASSERT_EQ(decimal_to_single(text, &bits), c.finite);
            if (!c.finite)
                continue;
            EXPECT_EQ(bits, uint32_t(c.bits) | (negative ? 0x80000000u : 0u));
            EXPECT_EQ(bits, expected);
        }
    }
}

TEST(FloatConvert, DoubleRounding) {
    const uint64_t ones = ~uint64_t(0);
    const uint64_t p53 = uint64_t(1) << 53;
    const uint64_t p54 = uint64_t(1) << 54;
    const t_narrow_case cases[] = {
        {{0, p53 + 1, -53, exact_value}, true, 0x3FF0000000000000}, // tie to even, down
        {{0, p53 + 3, -53, exact_value}, true, 0x3FF0000000000002}, // tie to even, up
        {{0, top_bit + (1u << 10) + 1, -63, exact_value}, true, 0x3FF0000000000001},
        {{0, top_bit + (1u << 10) - 1, -63, exact_value}, true, 0x3FF0000000000000},
        {{0, p53 + 1, -53, above}, true, 0x3FF0000000000001}, // above the tie by 10^-94
        {{0, p53 + 3, -53, below}, true, 0x3FF0000000000001}, // below the tie by 10^-94
        {{0, 1, -1022, exact_value}, true, 0x0010000000000000}, // smallest normal
        {{0, p53 - 1, -1075, exact_value}, true, 0x0010000000000000}, // tie up into normal
        {{0, p53 - 1, -1075, below}, true, 0x000FFFFFFFFFFFFF},
        {{0, ((p53 - 1) << 10) + 1, -1085, exact_value}, true, 0x0010000000000000},
        {{0, ((p53 - 1) << 10) - 1, -1085, exact_value}, true, 0x000FFFFFFFFFFFFF},
        {{0, 1, -1074, exact_value}, true, 0x0000000000000001}, // smallest subnormal
        {{0, 1, -1075, exact_value}, true, 0x0000000000000000}, // half of it: to zero
        {{0, top_bit + 1, -1138, exact_value}, true, 0x0000000000000001}, // just above half
        {{0, ones, -1139, exact_value}, true, 0x0000000000000000},        // just below half
        {{0, 3, -1075, exact_value}, true, 0x0000000000000002},
        {{0, 3, -1075, below}, true, 0x0000000000000001},
        {{0, 1, -1075, above}, true, 0x0000000000000001},
        {{0, 1, -5000, exact_value}, true, 0x0000000000000000},
        {{0, p53 - 1, 971, exact_value}, true, 0x7FEFFFFFFFFFFFFF}, // largest finite
        {{0, p54 - 1, 970, exact_value}, false, 0},                 // tie to overflow
        {{0, ((p54 - 1) << 10) - 1, 960, exact_value}, true, 0x7FEFFFFFFFFFFFFF},
        {{0, p54 - 1, 970, below}, true, 0x7FEFFFFFFFFFFFFF},
        {{0, 1, 1024, exact_value}, false, 0},
        {{0, 1, 16383, exact_value}, false, 0},
    };
    for (const t_narrow_case& c : cases) {
        for (bool negative : {false, true}) {
            std::string text = negative ? "-" : "";
            text += build(c.value);
            SCOPED_TRACE(text.substr(0, 80));
            uint64_t bits = 0x123456789;
            uint64_t expected = 0;
            ASSERT_EQ(double_oracle(text, &expected), c.finite); // the table itself agrees with glibc
            ASSERT_EQ(decimal_to_double(text, &bits), c.finite);
            if (!c.finite)
                continue;
            EXPECT_EQ(bits, c.bits | (negative ? top_bit : 0));
            EXPECT_EQ(bits, expected);
        }
    }
}

// -- size and exponent extremes ----------------------------------------------------------------

struct t_text_case {
    std::string text;
    bool finite;
    uint64_t significand;
    uint16_t sign_exponent;
};

static void check_text_cases(const std::vector<t_text_case>& cases) {
    for (const t_text_case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60) + "... " + std::to_string(c.text.size()) + " chars");
        t_extended x{0x1234, 0x5678};
        ASSERT_EQ(decimal_to_extended(c.text, &x), c.finite);
        std::string difference;
        EXPECT_TRUE(agrees_with_oracles(c.text, &difference)) << difference;
        if (!c.finite)
            continue;
        EXPECT_EQ(x.significand, c.significand);
        EXPECT_EQ(x.sign_exponent, c.sign_exponent);
    }
}

static std::string zeros(std::size_t n) {
    return std::string(n, '0');
}

TEST(FloatConvert, LongDigitStrings) {
    // 1 + 2^-64 written out: a tie that only digits far beyond the kept ones may break
    const std::string tie = "10000000000000000000542101086242752217003726400434970855712890625";
    const std::string half_smallest = exact(0, 1, -16446).digits; // 2^-16446, 11496 digits
    const std::vector<t_text_case> cases = {
        {"1" + zeros(5000) + "e-5000", true, top_bit, 0x3FFF},
        {"0." + zeros(5000) + "15e5001", true, 0xC000000000000000, 0x3FFF},
        {"1.5" + zeros(100000), true, 0xC000000000000000, 0x3FFF},
        {zeros(100000) + "1.5", true, 0xC000000000000000, 0x3FFF},
        {"-" + zeros(3000) + "." + zeros(3000) + "15e3001", true, 0xC000000000000000, 0xBFFF},
        {"1" + zeros(1000000) + "e-1000000", true, top_bit, 0x3FFF},
        {"0." + zeros(399999) + "1e400000", true, top_bit, 0x3FFF},
        {std::string(30000, '9') + "e-29999", true, 0xA000000000000000, 0x4002},
        {tie + "e-64", true, top_bit, 0x3FFF},
        {tie + zeros(20000) + "e-20064", true, top_bit, 0x3FFF},
        {tie + zeros(20000) + "1e-20065", true, top_bit + 1, 0x3FFF},
        // the breaking digit as the 12000th, 12001st and 12002nd significant digit
        {tie + zeros(12000 - 1 - tie.size()) + "1e-11999", true, top_bit + 1, 0x3FFF},
        {tie + zeros(12000 - tie.size()) + "1e-12000", true, top_bit + 1, 0x3FFF},
        {tie + zeros(12001 - tie.size()) + "1e-12001", true, top_bit + 1, 0x3FFF},
        {tie + zeros(12001 - tie.size()) + "0e-12001", true, top_bit, 0x3FFF},
        // half the smallest subnormal: ties to zero unless anything nonzero follows
        {half_smallest + "e-16446", true, 0, 0},
        {half_smallest + zeros(1000) + "e-17446", true, 0, 0},
        {half_smallest + zeros(1000) + "1e-17447", true, 1, 0},
        {"0." + zeros(16446 - half_smallest.size()) + half_smallest + zeros(5000) + "1", true, 1, 0},
        {"0." + zeros(16446 - half_smallest.size()) + half_smallest + zeros(5000), true, 0, 0},
    };
    check_text_cases(cases);

    // long texts of ordinary digits agree with glibc
    std::string repeated;
    for (int i = 0; i < 2000; ++i)
        repeated += "123456789";
    const std::string long_texts[] = {
        repeated + "e-17990", repeated + "e-22000", repeated + "e-30000", "0.000" + repeated,
        repeated.substr(0, 4930), "-" + repeated.substr(0, 4000) + "." + repeated,
        zeros(7000) + "." + zeros(7000) + repeated + "e-2000",
    };
    for (const std::string& text : long_texts) {
        std::string difference;
        EXPECT_TRUE(agrees_with_oracles(text, &difference)) << difference << " " << text.substr(0, 60);
    }
}

TEST(FloatConvert, HugeExponents) {
    const std::vector<t_text_case> cases = {
        {"1e999999999999999999", false, 0, 0},
        {"-1e999999999999999999", false, 0, 0},
        {"1e-999999999999999999", true, 0, 0},
        {"-1e-99999999999999999999999999", true, 0, 0x8000},
        {"0e999999999999999999", true, 0, 0},
        {"-0.0e999999999999999999999999999999", true, 0, 0x8000},
        {"1e+000000000000000000000000000000004", true, 0x9C40000000000000, 0x400C},
        {"0." + zeros(4000) + "1e9999999999999999999", false, 0, 0},
        {"0." + zeros(5000) + "1e-999999999999", true, 0, 0},
        {"1" + zeros(5000), false, 0, 0},
        {"1e4933", false, 0, 0},
        {"-1e4933", false, 0, 0},
        {"1.2e4932", false, 0, 0},
        {"1e-4951", true, 0, 0}, // below half the smallest subnormal (3.6e-4951)
        {"2e-4951", true, 1, 0}, // above that half
        {"-4e-4951", true, 1, 0x8000},
        {"1e-4952", true, 0, 0},
        // exponents that would wrap a 64-bit accumulator
        {"1e9223372036854775808", false, 0, 0},
        {"1e18446744073709551617", false, 0, 0},
        {"1e-18446744073709551617", true, 0, 0},
        {"1e-9223372036854775809", true, 0, 0},
        {"1" + zeros(10) + "e-18446744073709551616", true, 0, 0},
    };
    check_text_cases(cases);
}

// -- randomised comparisons --------------------------------------------------------------------

// A random decimal text: mostly short, sometimes long digit strings; decades mostly across the
// double and single ranges (the extreme ones cost far more), the rest across the whole extended
// range and around both ends.
static std::string random_decimal(std::mt19937_64& rng) {
    auto pick = [&rng](int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(rng);
    };
    int64_t kind = pick(0, 9);
    int64_t count = kind < 6 ? pick(1, 21) : kind < 9 ? pick(22, 45) : pick(46, 160);
    std::string digits;
    for (int64_t i = 0; i < count; ++i)
        digits += char('0' + pick(0, 9));
    if (pick(0, 7) == 0)
        digits = zeros(size_t(pick(1, 5))) + digits;
    if (pick(0, 7) == 0)
        digits += zeros(size_t(pick(1, 30)));
    int64_t band = pick(0, 39);
    int64_t decade = band < 20   ? pick(-350, 350)
                     : band < 36 ? pick(-50, 45) // the single range and just past both ends
                     : band < 38 ? pick(-4975, 4945)
                     : band < 39 ? pick(-4965, -4930)
                                 : pick(4915, 4940);
    int64_t point = pick(0, int64_t(digits.size()));
    std::string text = pick(0, 3) == 0 ? "-" : pick(0, 5) == 0 ? "+" : "";
    text += digits.substr(0, size_t(point));
    if (point < int64_t(digits.size()) || pick(0, 3) == 0)
        text += "." + digits.substr(size_t(point));
    int64_t exponent = decade - point;
    if (exponent != 0 || pick(0, 1) == 0)
        text += (pick(0, 1) == 0 ? "e" : "E") + std::string(exponent >= 0 && pick(0, 1) ? "+" : "") +
                std::to_string(exponent);
    return text;
}

TEST(FloatConvert, RandomAgainstTheCLibrary) {
    std::mt19937_64 rng(20240611);
    int failures = 0;
    int extended_subnormal = 0;
    int extended_overflowed = 0;
    int single_subnormal = 0;
    int single_overflowed = 0;
    int double_subnormal = 0;
    int double_overflowed = 0;
    for (int i = 0; i < 200000 && failures < 20; ++i) {
        std::string text = random_decimal(rng);
        std::string difference;
        if (!agrees_with_oracles(text, &difference)) {
            ADD_FAILURE() << difference << " " << text;
            ++failures;
        }
        t_extended x{};
        uint32_t s = 0;
        uint64_t d = 0;
        extended_overflowed += oracle(text, &x) ? 0 : 1;
        extended_subnormal += (x.sign_exponent & 0x7FFF) == 0 && x.significand != 0 ? 1 : 0;
        single_overflowed += single_oracle(text, &s) ? 0 : 1;
        single_subnormal += (s & 0x7FFFFFFFu) != 0 && (s & 0x7F800000u) == 0 ? 1 : 0;
        double_overflowed += double_oracle(text, &d) ? 0 : 1;
        double_subnormal += (d & ~top_bit) != 0 && (d & 0x7FF0000000000000u) == 0 ? 1 : 0;
    }
    // the generator reaches both ends of every range
    EXPECT_GT(extended_subnormal, 1000);
    EXPECT_GT(extended_overflowed, 1000);
    EXPECT_GT(single_subnormal, 1000);
    EXPECT_GT(single_overflowed, 1000);
    EXPECT_GT(double_subnormal, 1000);
    EXPECT_GT(double_overflowed, 1000);
}

// Exact halfway points between random neighbours, and nudges off them, against the neighbours
// known by construction (and glibc).
TEST(FloatConvert, RandomHalfwayPoints) {
    std::mt19937_64 rng(77);
    int failures = 0;
    for (int i = 0; i < 6000 && failures < 20; ++i) {
        bool sub = i % 50 == 0;
        bool wide = i % 50 == 1;
        uint64_t m = rng();
        int64_t x; // the lower neighbour is m x 2^x
        if (sub) {
            m = std::uniform_int_distribution<uint64_t>(0, top_bit - 3)(rng);
            x = -16445;
        } else {
            m |= top_bit;
            m -= m == ~uint64_t(0) ? 1 : 0; // keep m + 1 inside 64 bits
            x = std::uniform_int_distribution<int64_t>(wide ? -16445 : -200, wide ? 16320 : 100)(rng);
        }
        uint16_t field = sub ? uint16_t(0) : uint16_t(x + 63 + 16383);
        t_test_number tie = exact(m >> 63, (m << 1) | 1, x - 1); // 2m + 1 as a 65-bit number
        const std::pair<t_test_number, uint64_t> probes[] = {
            {tie, m + (m & 1)},
            {nudge_up(tie, size_t(i % 30)), m + 1},
            {nudge_down(tie, size_t(i % 30)), m},
        };
        for (const auto& [number, significand] : probes) {
            std::string text = text_of(number);
            t_extended result{0, 0};
            t_extended expected;
            bool finite = decimal_to_extended(text, &result);
            bool expected_finite = oracle(text, &expected);
            if (!finite || !expected_finite || result.significand != significand ||
                result.sign_exponent != field || expected.significand != significand ||
                expected.sign_exponent != field) {
                ADD_FAILURE() << text.substr(0, 100) << " m=" << m << " x=" << x;
                ++failures;
            }
        }
    }
}

// Halfway points between random single and double neighbours across the whole range, subnormals
// included, and nudges off them (mostly by far less than half an extended unit), against the
// neighbours known by construction and glibc.
TEST(FloatConvert, RandomSingleAndDoubleHalfwayPoints) {
    std::mt19937_64 rng(78);
    int failures = 0;
    for (int precision : {24, 53}) {
        const int64_t bias = precision == 24 ? 127 : 1023;
        const uint64_t top = uint64_t(1) << (precision - 1);
        const int64_t lowest = 1 - bias - (precision - 1); // the subnormals' step is 2^lowest
        for (int i = 0; i < 3000 && failures < 20; ++i) {
            uint64_t m = rng() % top; // the lower neighbour is m x 2^x
            int64_t x = lowest;
            if (i % 10 != 0) {
                m = std::min(m | top, 2 * top - 2); // keep m + 1 inside the precision
                x = std::uniform_int_distribution<int64_t>(lowest, bias - (precision - 1))(rng);
            }
            // the bits of m x 2^x: the integer bit of a normal m adds one to the field
            const auto bits_of = [&](uint64_t n) { return n + (uint64_t(x - lowest) << (precision - 1)); };
            const t_test_number tie = exact(0, 2 * m + 1, x - 1);
            const std::pair<t_test_number, uint64_t> probes[] = {
                {tie, bits_of(m + (m & 1))},
                {nudge_up(tie, size_t(i % 40)), bits_of(m + 1)},
                {nudge_down(tie, size_t(i % 40)), bits_of(m)},
            };
            for (const auto& [number, expected] : probes) {
                const std::string text = text_of(number);
                bool finite = false;
                bool oracle_finite = false;
                uint64_t result = 0;
                uint64_t oracle_bits = 0;
                if (precision == 24) {
                    uint32_t f = 0;
                    uint32_t g = 0;
                    finite = decimal_to_single(text, &f);
                    oracle_finite = single_oracle(text, &g);
                    result = f;
                    oracle_bits = g;
                } else {
                    finite = decimal_to_double(text, &result);
                    oracle_finite = double_oracle(text, &oracle_bits);
                }
                if (!finite || !oracle_finite || result != expected || oracle_bits != expected) {
                    ADD_FAILURE() << precision << " bits: " << text.substr(0, 100) << " m=" << m << " x=" << x;
                    ++failures;
                }
            }
        }
    }
}

// The examples of one rounding: a tie broken only by digits far beyond the 64th bit, and the
// largest finite single against the halfway point above it.
TEST(FloatConvert, RoundedOnceFromTheDecimal) {
    struct t_once {
        std::string text;
        uint32_t single_bits; // 0xFFFFFFFF: overflows
        uint64_t double_bits;
    };
    const std::string double_tie = exact(0, (uint64_t(1) << 53) + 1, -53).digits; // 1 + 2^-53
    const std::string single_tie = exact(0, (uint64_t(1) << 24) + 1, -24).digits; // 1 + 2^-24
    const t_once cases[] = {
        {"1.00000000000000011102230328969626659539084168049072331996285356581211090087890625", 0x3F800000,
         0x3FF0000000000001}, // 1 + 2^-53 + 2^-80
        {"1.0000000596046447753914720329472543003390683225006796419620513916015625", 0x3F800001,
         0x3FF0000010000000}, // 1 + 2^-24 + 2^-70
        {"340282356779733661637539395458142568447", 0x7F7FFFFF, 0x47EFFFFFF0000000},
        {"340282356779733661637539395458142568448", 0xFFFFFFFF, 0x47EFFFFFF0000000},
        {"-340282356779733661637539395458142568447.99", 0xFF7FFFFF, 0xC7EFFFFFF0000000},
        {"18446745173221179393", 0x5F800001, 0x43F0000010000000}, // 2^64 + 2^40 + 1
        {"18446747372244434943", 0x5F800001, 0x43F0000030000000}, // 2^64 + 3 x 2^40 - 1
        {double_tie + "e-53", 0x3F800000, 0x3FF0000000000000},
        {double_tie + zeros(20000) + "1e-20054", 0x3F800000, 0x3FF0000000000001},
        {double_tie + zeros(20000) + "e-20053", 0x3F800000, 0x3FF0000000000000},
        {single_tie + zeros(20000) + "1e-20025", 0x3F800001, 0x3FF0000010000000},
        {"0." + single_tie + zeros(12100) + "1e1", 0x3F800001, 0x3FF0000010000000},
    };
    for (const t_once& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60) + "... " + std::to_string(c.text.size()) + " chars");
        std::string difference;
        EXPECT_TRUE(agrees_with_oracles(c.text, &difference)) << difference;
        uint32_t s = 0;
        uint64_t d = 0;
        EXPECT_EQ(decimal_to_single(c.text, &s), c.single_bits != 0xFFFFFFFF);
        EXPECT_EQ(s, c.single_bits == 0xFFFFFFFF ? 0 : c.single_bits);
        EXPECT_TRUE(decimal_to_double(c.text, &d));
        EXPECT_EQ(d, c.double_bits);
    }
}

// Numbers of up to 19 significant digits, scaled by at most 10^19 either way, take a shortcut in
// 128-bit integers: its cut agrees with the exact one to the bit, on random numbers with the point
// anywhere, and on ties (an odd 65-bit number times 4, written as t x 100) in both directions.
TEST(FloatConvert, ShortNumbersAgreeWithTheExactConversion) {
    int compared = 0;
    int rests[4] = {};
    const auto check = [&compared, &rests](const std::string& text) {
        t_cut fast{false, 1, 1, rest_zero};
        t_cut exact{true, 2, 2, rest_half};
        const bool converted = cut_decimal(text, &fast);
        ASSERT_EQ(converted, cut_decimal_exactly(text, &exact)) << text;
        if (!converted)
            return;
        ++compared;
        ++rests[fast.rest];
        EXPECT_EQ(fast.negative, exact.negative) << text;
        EXPECT_EQ(fast.significand, exact.significand) << text;
        EXPECT_EQ(fast.exponent, exact.exponent) << text;
        EXPECT_EQ(fast.rest, exact.rest) << text;
    };
    std::mt19937_64 rng(5);
    for (int i = 0; i < 300000; ++i) {
        const int count = 1 + static_cast<int>(rng() % 21); // a few past the shortcut's reach
        std::string digits;
        for (int k = 0; k < count; ++k)
            digits += static_cast<char>('0' + rng() % 10);
        const auto point = static_cast<std::size_t>(rng() % static_cast<uint64_t>(count + 1));
        std::string text = rng() % 4 == 0 ? "-" : "";
        text.append(digits, 0, point);
        text.push_back('.');
        text.append(digits, point, std::string::npos);
        if (rng() % 3 == 0) {
            text.push_back('e');
            text.append(std::to_string(static_cast<int>(rng() % 51) - 25));
        }
        check(text);
    }
    constexpr uint64_t lowest = 737869762948382065;  // 2^64 / 25, rounded up
    constexpr uint64_t highest = 1475739525896764129; // 2^65 / 25, rounded down
    int ties = 0;
    for (int i = 0; i < 20000; ++i) {
        const uint64_t t = (lowest + rng() % (highest - lowest)) | 1;
        check(std::to_string(t) + "00");
        ties += (convert(std::to_string(t) + "00").significand & 1) == 0 ? 1 : 0;
    }
    EXPECT_EQ(ties, 20000) << "a tie goes to the even neighbour";
    EXPECT_GT(compared, 250000);
    for (int rest : rests)
        EXPECT_GT(rest, 1000); // every kind of rest was compared
}
