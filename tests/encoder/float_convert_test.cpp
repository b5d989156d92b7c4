// Decimal to extended and narrowing: exact bit patterns from values built by construction (powers
// of two written out exactly in decimal, then nudged), cross-checked against glibc's strtold.
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

// The bytes of an extended value as the x87 stores them.
static long double to_long_double(t_extended x) {
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &x.significand, 8);
    std::memcpy(bytes + 8, &x.sign_exponent, 2);
    long double value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
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
        uint64_t t = a->parts[i] + addend;
        a->parts[i] = t % billion;
        addend = t / billion;
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
        {"18446744073709551619", 0x8000000000000001, 0x403F, 0x5F800000, 0x43F0000000000000},
    };
    for (const t_known& c : cases) {
        SCOPED_TRACE(c.text);
        t_extended x = convert(c.text);
        EXPECT_EQ(x.significand, c.significand);
        EXPECT_EQ(x.sign_exponent, c.sign_exponent);
        uint32_t s = 0;
        uint64_t d = 0;
        EXPECT_TRUE(extended_to_single(x, &s));
        EXPECT_TRUE(extended_to_double(x, &d));
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
    const t_syntax accepted[] = {
        {"1", top_bit, 0x3FFF},      {"+1", top_bit, 0x3FFF},    {"-1", top_bit, 0xBFFF},
        {"   1", top_bit, 0x3FFF},   {" -1", top_bit, 0xBFFF},   {"1.", top_bit, 0x3FFF},
        {".5", top_bit, 0x3FFE},     {"-.5", top_bit, 0xBFFE},   {"1.e3", 0xFA00000000000000, 0x4008},
        {"1E3", 0xFA00000000000000, 0x4008}, {"1e+3", 0xFA00000000000000, 0x4008},
        {"1e-0", top_bit, 0x3FFF},   {"10e-1", top_bit, 0x3FFF}, {"00", 0, 0},
        {"0.", 0, 0},                {".0", 0, 0},               {"0.0e0", 0, 0},
        {"007.500", 0xF000000000000000, 0x4001},                 {"1.0E+0001", 0xA000000000000000, 0x4002},
    };
    for (const t_syntax& c : accepted) {
        SCOPED_TRACE(c.text);
        t_extended x = convert(c.text);
        EXPECT_EQ(x.significand, c.significand);
        EXPECT_EQ(x.sign_exponent, c.sign_exponent);
    }
    const std::string refused[] = {
        "",     " ",     ".",     "+",      "-",     "+.",     "-.",    "e3",   ".e1",
        "1e",   "1e+",   "1e-",   "1E",     "1 ",    " 1 ",    "\t1",   "\n1",  "1\n",
        "inf",  "-inf",  "nan",   "infinity", "0x10", "0X1p3", "1.5.2", "--1", "+-1",
        "- 1",  "1e3.5", "1,5",   "1_000",  "1ee3",  "1e3e3",  "1e 3",  "1.e",  "e",
        "1d3",  "1f",    "1.5L",  "++1",    "1-",    "1e+-3",  "0b1",   "١",    "\xef\xbc\x91",
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

// Narrowing goes through the extended value, so a decimal just off a single/double halfway point
// by less than half an extended unit becomes that halfway point first (double rounding).
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
        {{0, (1u << 24) + 1, -24, above}, true, 0x3F800000},        // double rounding
        {{0, (1u << 24) + 3, -24, below}, true, 0x3F800002},        // double rounding
        {{0, 1, -126, exact_value}, true, 0x00800000},              // smallest normal
        {{0, (1u << 24) - 1, -150, exact_value}, true, 0x00800000}, // tie up into normal
        {{0, (((uint64_t(1) << 24) - 1) << 40) + 1, -190, exact_value}, true, 0x00800000}, // just above
        {{0, (((uint64_t(1) << 24) - 1) << 40) - 1, -190, exact_value}, true, 0x007FFFFF}, // just below
        {{0, 1, -149, exact_value}, true, 0x00000001},              // smallest subnormal
        {{0, 1, -150, exact_value}, true, 0x00000000},              // half of it: to zero
        {{0, top_bit + 1, -213, exact_value}, true, 0x00000001},    // just above half
        {{0, ~uint64_t(0), -214, exact_value}, true, 0x00000000},   // just below half
        {{0, 3, -150, exact_value}, true, 0x00000002},
        {{0, 1, -200, exact_value}, true, 0x00000000},
        {{0, (1u << 24) - 1, 104, exact_value}, true, 0x7F7FFFFF},  // largest finite
        {{0, (uint64_t(1) << 25) - 1, 103, exact_value}, false, 0x7F800000}, // tie to overflow
        {{0, (((uint64_t(1) << 25) - 1) << 39) - 1, 64, exact_value}, true, 0x7F7FFFFF},
        {{0, (uint64_t(1) << 25) - 1, 103, below}, false, 0x7F800000}, // double rounding
        {{0, 1, 128, exact_value}, false, 0x7F800000},
        {{0, 1, 16000, exact_value}, false, 0x7F800000},
    };
    for (const t_narrow_case& c : cases) {
        for (bool negative : {false, true}) {
            std::string text = (negative ? "-" : "") + build(c.value);
            SCOPED_TRACE(text.substr(0, 80));
            t_extended x = convert(text);
            uint32_t bits = 0x12345678;
            EXPECT_EQ(extended_to_single(x, &bits), c.finite);
            EXPECT_EQ(bits, uint32_t(c.bits) | (negative ? 0x80000000u : 0u));
            EXPECT_EQ(bits, float_bits(float(to_long_double(x))));
        }
    }
}
