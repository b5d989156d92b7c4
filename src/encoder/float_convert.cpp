// Decimal text to single, double and x87 extended, each rounded once from the decimal value: the
// value is cut to 64 significant bits plus what the rest weighs against half the last bit, and
// that cut is rounded to the format. Everything is exact integer arithmetic on a small private big
// integer, so the result never depends on the host's C library, its long double or the
// floating-point environment.
#include "encoder/float_convert.h"

#include <bit>
#include <cstddef>
#include <string>
#include <vector>

namespace {
struct t_big {
    std::vector<uint32_t> limbs; // little-endian, no high zero limbs; empty means zero
};
} // namespace

namespace {
struct t_decimal {
    bool negative;
    std::string digits; // kept significant digits, the first nonzero; empty for zero
    bool sticky;        // a nonzero digit was dropped after the kept ones
    int64_t position;   // value = 0.d1d2d3... x 10^position
};
} // namespace

// A cut's halfway points are multiples of 2^-16545 (half the last bit of the smallest value cut,
// 10^-4961) and have at most about 11590 significant digits, so 12000 digits tell any of them
// apart; later digits only matter as "something nonzero follows".
static constexpr std::size_t max_kept_digits = 12000;

// 10^4933 exceeds the largest extended and 10^-4951 is below half the smallest subnormal; the
// margins leave every close call to the exact arithmetic.
static constexpr int64_t overflow_position = 4940;
static constexpr int64_t underflow_position = -4960;

// A value beyond overflow_position is cut as 2^beyond_every_format, which every format refuses.
static constexpr int64_t beyond_every_format = 100000;

// Digit counts and exponents saturate here: far past any decision point, far from int64 overflow.
static constexpr int64_t count_cap = 1000000000000000;

// 5^13, the largest power of five that fits a limb.
static constexpr uint32_t five_pow_13 = 1220703125;

// True for an ASCII decimal digit.
static bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Parses the whole text as [blanks][sign]digits[.digits][e[sign]digits]; false on anything else.
static bool parse_decimal(std::string_view text, t_decimal* decimal) {
    std::size_t i = 0;
    std::size_t n = text.size();
    decimal->negative = false;
    decimal->digits.clear();
    decimal->sticky = false;
    while (i < n && text[i] == ' ')
        ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        decimal->negative = text[i] == '-';
        ++i;
    }
    bool any_digit = false;
    bool after_point = false;
    int64_t position = 0;
    for (; i < n && (is_digit(text[i]) || (text[i] == '.' && !after_point)); ++i) {
        if (text[i] == '.') {
            after_point = true;
            continue;
        }
        any_digit = true;
        if (decimal->digits.empty() && text[i] == '0') {
            if (after_point && position > -count_cap)
                --position; // each zero right after the point shifts the first digit down
            continue;       // leading zeros of the integer part do not move the point
        }
        if (decimal->digits.size() < max_kept_digits)
            decimal->digits.push_back(text[i]);
        else if (text[i] != '0')
            decimal->sticky = true; // past the kept digits only their nonzeroness counts
        if (!after_point && position < count_cap)
            ++position;
    }
    if (!any_digit)
        return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool exponent_negative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            exponent_negative = text[i] == '-';
            ++i;
        }
        if (i == n || !is_digit(text[i]))
            return false;
        int64_t exponent = 0;
        for (; i < n && is_digit(text[i]); ++i)
            if (exponent < count_cap)
                exponent = exponent * 10 + (text[i] - '0');
        position += exponent_negative ? -exponent : exponent;
    }
    decimal->position = position;
    return i == n;
}

// a = a * factor + addend.
static void big_mul_add(t_big* a, uint32_t factor, uint32_t addend) {
    uint64_t carry = addend;
    for (uint32_t& limb : a->limbs) {
        uint64_t t = uint64_t(limb) * factor + carry; // at most 2^64 - 2^32: no wrap
        limb = uint32_t(t);
        carry = t >> 32;
    }
    if (carry != 0)
        a->limbs.push_back(uint32_t(carry));
}

// a = floor(a / 5^(13 x times)), for times up to 4, in one pass: each division by 5^13 takes the
// quotient limbs of the one before as they come, so that their chains overlap. True when a
// remainder is nonzero.
static bool big_divide_five_pow_13(t_big* a, int times) {
    uint64_t remainders[4] = {};
    for (std::size_t i = a->limbs.size(); i-- > 0;) {
        uint32_t limb = a->limbs[i];
        for (int d = 0; d < times; ++d) {
            uint64_t t = (remainders[d] << 32) | limb; // remainder < 5^13: no wrap
            limb = uint32_t(t / five_pow_13);
            remainders[d] = t % five_pow_13;
        }
        a->limbs[i] = limb;
    }
    while (!a->limbs.empty() && a->limbs.back() == 0)
        a->limbs.pop_back();
    return (remainders[0] | remainders[1] | remainders[2] | remainders[3]) != 0;
}

// 5^count, for a count of at most 13.
static uint32_t five_pow(uint64_t count) {
    uint32_t power = 1;
    for (; count > 0; --count)
        power *= 5;
    return power;
}

// Number of significant bits; 0 for zero.
static int64_t big_bit_length(const t_big& a) {
    if (a.limbs.empty())
        return 0;
    return int64_t(a.limbs.size() - 1) * 32 + int64_t(std::bit_width(a.limbs.back()));
}

// Bit i of a; 0 below bit 0.
static uint64_t big_bit(const t_big& a, int64_t i) {
    return i < 0 ? 0 : (a.limbs[std::size_t(i / 32)] >> (i % 32)) & 1;
}

// The decimal digit string as a big integer, nine digits per step.
static t_big digits_to_big(const std::string& digits) {
    t_big a;
    for (std::size_t i = 0; i < digits.size(); i += 9) {
        uint32_t factor = 1;
        uint32_t chunk = 0;
        for (std::size_t k = i; k < i + 9 && k < digits.size(); ++k) {
            factor *= 10;
            chunk = chunk * 10 + uint32_t(digits[k] - '0');
        }
        big_mul_add(&a, factor, chunk);
    }
    return a;
}

// Cuts a x 2^binary_exponent (a positive) to its first 64 bits, where sticky means the true value
// is a trace above that. The kept digits never come closer than the dropped trace to a cut or
// halfway point, and a quotient keeps at least two bits below the cut, so the trace only moves an
// exact remainder up.
static void cut_big(const t_big& a, int64_t binary_exponent, bool sticky, t_cut* cut) {
    const int64_t length = big_bit_length(a);
    uint64_t significand = 0;
    for (int64_t i = length - 1; i >= length - 64; --i)
        significand = (significand << 1) | big_bit(a, i);
    bool below = sticky; // anything nonzero below the halfway bit
    for (int64_t i = length - 66; i >= 0 && !below; --i)
        below = big_bit(a, i) != 0;
    cut->significand = significand;
    cut->exponent = length - 1 + binary_exponent;
    const bool half_bit = big_bit(a, length - 65) != 0;
    cut->rest = half_bit ? (below ? rest_above_half : rest_half) : (below ? rest_below_half : rest_zero);
}

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 u128;

// What a remainder weighs against half the unit of the last kept bit, given it doubled.
static t_rest rest_of(u128 twice_remainder, u128 unit) {
    if (twice_remainder == 0)
        return rest_zero;
    return twice_remainder < unit ? rest_below_half : twice_remainder == unit ? rest_half : rest_above_half;
}

// The common short number, at most 19 significant digits times 10 to a power from -19 to 19, cut
// with 128-bit integers: digits x 10^k is exact in 128 bits, and digits / 10^k is taken to 64
// bits with its remainder. False when the number is not short.
static bool cut_short_decimal(const t_decimal& decimal, int64_t exponent10, t_cut* cut) {
    if (decimal.sticky || decimal.digits.size() > 19 || exponent10 < -19 || exponent10 > 19)
        return false;
    uint64_t digits = 0;
    for (char c : decimal.digits)
        digits = digits * 10 + uint64_t(c - '0');
    uint64_t power = 1;
    for (int64_t k = exponent10 < 0 ? -exponent10 : exponent10; k > 0; --k)
        power *= 10;
    if (exponent10 >= 0) {
        // digits x 10^k, below 2^127, moved up to bit 127: the low half is what the cut leaves off
        u128 value = u128(digits) * power;
        const uint64_t high = uint64_t(value >> 64);
        const int zeros = high != 0 ? std::countl_zero(high) : 64 + std::countl_zero(uint64_t(value));
        value <<= zeros;
        cut->significand = uint64_t(value >> 64);
        cut->exponent = 127 - zeros;
        cut->rest = rest_of(u128(uint64_t(value)) << 1, u128(1) << 64);
        return true;
    }
    // (digits << shift) / power lies in [2^63, 2^65); one shift less when it reaches 2^64.
    int shift = 64 + static_cast<int>(std::bit_width(power)) - static_cast<int>(std::bit_width(digits));
    u128 numerator = u128(digits) << shift;
    u128 quotient = numerator / power;
    if (quotient >> 64 != 0) {
        --shift;
        numerator >>= 1;
        quotient = numerator / power;
    }
    cut->significand = uint64_t(quotient);
    cut->exponent = 63 - shift;
    cut->rest = rest_of((numerator - quotient * power) << 1, u128(power));
    return true;
}
#endif

static bool cut_text(std::string_view text, t_cut* cut, bool exactly) {
    t_decimal decimal;
    if (!parse_decimal(text, &decimal))
        return false;
    *cut = {decimal.negative, 0, 0, rest_zero};
    while (!decimal.digits.empty() && decimal.digits.back() == '0')
        decimal.digits.pop_back(); // trailing zeros only cost work; position keeps the scale
    // Zero, or far below half of every format's smallest subnormal: a zero of the text's sign.
    if (decimal.digits.empty() || decimal.position < underflow_position)
        return true;
    if (decimal.position > overflow_position) {
        cut->significand = uint64_t(1) << 63;
        cut->exponent = beyond_every_format;
        return true;
    }
    // value = digits x 10^exponent10 = digits x 5^exponent10 x 2^exponent10
    const int64_t exponent10 = decimal.position - int64_t(decimal.digits.size());
#if defined(__SIZEOF_INT128__)
    if (!exactly && cut_short_decimal(decimal, exponent10, cut))
        return true;
#else
    (void)exactly;
#endif
    t_big a = digits_to_big(decimal.digits);
    int64_t binary_exponent = exponent10;
    bool sticky = decimal.sticky;
    if (exponent10 >= 0) {
        uint64_t k = uint64_t(exponent10);
        for (; k >= 13; k -= 13)
            big_mul_add(&a, five_pow_13, 0);
        big_mul_add(&a, five_pow(k), 0);
    } else {
        // a / 5^k is a x 5^m / 5^(13 x steps) with m below 13, and floor(floor(a / b) / c) = floor(a / bc),
        // so it is divided by 5^13 throughout, any remainder sticky. Whole zero limbs under a give the
        // quotient at least 66 bits: 5^n has at most n x 2.322 + 1.
        uint64_t steps = (uint64_t(-exponent10) + 12) / 13;
        big_mul_add(&a, five_pow(steps * 13 - uint64_t(-exponent10)), 0);
        const int64_t missing = 66 + int64_t(steps * 13 * 2322 / 1000 + 1) - big_bit_length(a);
        const int64_t zero_limbs = missing > 0 ? (missing + 31) / 32 : 0;
        a.limbs.insert(a.limbs.begin(), std::size_t(zero_limbs), 0u);
        binary_exponent -= zero_limbs * 32;
        while (steps > 0) {
            const int times = steps < 4 ? int(steps) : 4;
            sticky = big_divide_five_pow_13(&a, times) || sticky;
            steps -= uint64_t(times);
        }
    }
    cut_big(a, binary_exponent, sticky, cut);
    return true;
}

bool cut_decimal(std::string_view text, t_cut* cut) {
    return cut_text(text, cut, false);
}

bool cut_decimal_exactly(std::string_view text, t_cut* cut) {
    return cut_text(text, cut, true);
}

// Rounds a cut's magnitude to a binary format of the given significand precision (integer bit
// included) and exponent width: nearest, ties to even, on the grid of the smallest normal below
// it, which gives subnormals. Gives the significand with its integer bit (clear for subnormals
// and zero) and the biased exponent field; false when it rounds beyond the largest finite value.
static bool round_cut(const t_cut& cut, int precision, int exponent_bits, uint64_t* significand, uint64_t* field) {
    const int64_t bias = (int64_t(1) << (exponent_bits - 1)) - 1;
    const uint64_t top = uint64_t(1) << (precision - 1);
    *significand = 0;
    *field = 0;
    if (cut.significand == 0)
        return true;
    int64_t scale = cut.exponent < 1 - bias ? 1 - bias : cut.exponent; // what the kept top bit weighs
    // The cut's low bits that fall below the grid; past 64 the value is under half a step.
    const int64_t dropped = 64 - precision + (scale - cut.exponent);
    uint64_t kept = 0;
    bool up = false;
    if (dropped == 0) {
        kept = cut.significand;
        up = cut.rest == rest_above_half || (cut.rest == rest_half && (kept & 1) != 0);
    } else if (dropped <= 64) {
        const uint64_t low = dropped == 64 ? cut.significand : cut.significand & ((uint64_t(1) << dropped) - 1);
        const uint64_t half = uint64_t(1) << (dropped - 1);
        kept = dropped == 64 ? 0 : cut.significand >> dropped;
        up = low > half || (low == half && (cut.rest != rest_zero || (kept & 1) != 0));
    }
    if (up) {
        ++kept;
        if (kept == top << 1) { // carried out of the precision (at 64 bits both wrap to zero)
            kept = top;
            ++scale;
        }
    }
    if (scale > bias)
        return false;
    *significand = kept;
    *field = (kept & top) != 0 ? uint64_t(scale + bias) : 0; // a subnormal has field 0
    return true;
}

// Rounds the text's value to an IEEE format and gives its bits.
static bool decimal_to_ieee(std::string_view text, int precision, int exponent_bits, uint64_t* bits) {
    t_cut cut{};
    uint64_t significand = 0;
    uint64_t field = 0;
    if (!cut_decimal(text, &cut) || !round_cut(cut, precision, exponent_bits, &significand, &field))
        return false;
    const uint64_t sign = cut.negative ? 1 : 0;
    *bits = (sign << (precision + exponent_bits - 1)) | (field << (precision - 1)) |
            (significand & ((uint64_t(1) << (precision - 1)) - 1));
    return true;
}

bool decimal_to_single(std::string_view text, uint32_t* bits) {
    uint64_t wide = 0;
    if (!decimal_to_ieee(text, 24, 8, &wide))
        return false;
    *bits = uint32_t(wide);
    return true;
}

bool decimal_to_double(std::string_view text, uint64_t* bits) {
    return decimal_to_ieee(text, 53, 11, bits);
}

bool decimal_to_extended(std::string_view text, t_extended* result) {
    t_cut cut{};
    uint64_t significand = 0;
    uint64_t field = 0;
    if (!cut_decimal(text, &cut) || !round_cut(cut, 64, 15, &significand, &field))
        return false;
    *result = {significand, uint16_t(field | (cut.negative ? 0x8000u : 0u))};
    return true;
}
