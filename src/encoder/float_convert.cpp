// Decimal text to x87 extended, and extended to single / double. Everything is exact integer
// arithmetic on a small private big integer, so the result never depends on the host's C library,
// its long double or the floating-point environment.
#include "encoder/float_convert.h"

#include <bit>
#include <cstddef>
#include <string>
#include <vector>

struct t_big {
    std::vector<uint32_t> limbs; // little-endian, no high zero limbs; empty means zero
};

struct t_decimal {
    bool negative;
    std::string digits; // kept significant digits, the first nonzero; empty for zero
    bool sticky;        // a nonzero digit was dropped after the kept ones
    int64_t position;   // value = 0.d1d2d3... x 10^position
};

static constexpr int64_t extended_bias = 16383;
static constexpr int64_t extended_min_exponent = -16382; // unbiased exponent of the smallest normal
static constexpr int64_t extended_max_exponent = 16383;

// Every extended halfway point has at most about 11520 significant digits, so 12000 digits tell
// any of them apart; later digits only matter as "something nonzero follows".
static constexpr std::size_t max_kept_digits = 12000;

// 10^4933 exceeds the largest extended and 10^-4951 is below half the smallest subnormal; the
// margins leave every close call to the exact arithmetic.
static constexpr int64_t overflow_position = 4940;
static constexpr int64_t underflow_position = -4960;

// Digit counts and exponents saturate here: far past any decision point, far from int64 overflow.
static constexpr int64_t count_cap = 1000000000000000;

// 5^13, the largest power of five that fits a limb.
static constexpr uint32_t five_pow_13 = 1220703125;

// True for an ASCII decimal digit.
static bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Records one significant digit, or only its nonzeroness once the kept digits are full.
static void keep_digit(t_decimal* decimal, char c) {
    if (decimal->digits.size() < max_kept_digits)
        decimal->digits.push_back(c);
    else if (c != '0')
        decimal->sticky = true;
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
    bool seen_nonzero = false;
    int64_t position = 0;
    for (; i < n && is_digit(text[i]); ++i) {
        any_digit = true;
        if (!seen_nonzero && text[i] == '0')
            continue; // leading zeros of the integer part do not move the point
        seen_nonzero = true;
        keep_digit(decimal, text[i]);
        if (position < count_cap)
            ++position;
    }
    if (i < n && text[i] == '.') {
        for (++i; i < n && is_digit(text[i]); ++i) {
            any_digit = true;
            if (!seen_nonzero && text[i] == '0') {
                if (position > -count_cap)
                    --position; // each zero right after the point shifts the first digit down
                continue;
            }
            seen_nonzero = true;
            keep_digit(decimal, text[i]);
        }
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

// Drops high zero limbs so that comparisons can start from the sizes.
static void big_trim(t_big* a) {
    while (!a->limbs.empty() && a->limbs.back() == 0)
        a->limbs.pop_back();
}

// a = a * factor + addend.
static void big_mul_add(t_big* a, uint32_t factor, uint32_t addend) {
    uint64_t carry = addend;
    uint32_t* limb = a->limbs.data();
    for (std::size_t i = 0, n = a->limbs.size(); i < n; ++i) {
        uint64_t t = uint64_t(limb[i]) * factor + carry; // at most 2^64 - 2^32: no wrap
        limb[i] = uint32_t(t);
        carry = t >> 32;
    }
    if (carry != 0)
        a->limbs.push_back(uint32_t(carry));
}

// a = a * 5^count.
static void big_mul_pow5(t_big* a, uint64_t count) {
    for (; count >= 13; count -= 13)
        big_mul_add(a, five_pow_13, 0);
    uint32_t rest = 1;
    for (; count > 0; --count)
        rest *= 5;
    big_mul_add(a, rest, 0);
}

// a = a * 2^bits.
static void big_shift_left(t_big* a, uint64_t bits) {
    if (a->limbs.empty())
        return;
    unsigned bit_shift = unsigned(bits % 32);
    if (bit_shift != 0) {
        uint32_t carry = 0;
        uint32_t* limb = a->limbs.data();
        for (std::size_t i = 0, n = a->limbs.size(); i < n; ++i) {
            uint32_t next = limb[i] >> (32 - bit_shift);
            limb[i] = (limb[i] << bit_shift) | carry;
            carry = next;
        }
        if (carry != 0)
            a->limbs.push_back(carry);
    }
    a->limbs.insert(a->limbs.begin(), std::size_t(bits / 32), 0u);
}

// a = floor(a / 2).
static void big_shift_right_one(t_big* a) {
    uint32_t* limb = a->limbs.data();
    std::size_t n = a->limbs.size();
    for (std::size_t i = 0; i + 1 < n; ++i)
        limb[i] = (limb[i] >> 1) | (limb[i + 1] << 31);
    if (n != 0)
        limb[n - 1] >>= 1;
    big_trim(a);
}

// Sign of a - b.
static int big_compare(const t_big& a, const t_big& b) {
    std::size_t n = a.limbs.size();
    if (n != b.limbs.size())
        return n < b.limbs.size() ? -1 : 1;
    const uint32_t* x = a.limbs.data();
    const uint32_t* y = b.limbs.data();
    for (std::size_t i = n; i-- > 0;)
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    return 0;
}

// a = a - b; requires a >= b.
static void big_subtract(t_big* a, const t_big& b) {
    uint32_t* x = a->limbs.data();
    const uint32_t* y = b.limbs.data();
    std::size_t n = a->limbs.size();
    std::size_t m = b.limbs.size();
    uint64_t borrow = 0;
    for (std::size_t i = 0; i < n && (i < m || borrow != 0); ++i) {
        uint64_t take = (i < m ? y[i] : 0u) + borrow;
        uint64_t have = x[i];
        x[i] = uint32_t(have - take); // unsigned wrap gives the low limb of the difference
        borrow = have < take ? 1 : 0;
    }
    big_trim(a);
}

// Number of significant bits; 0 for zero.
static int64_t big_bit_length(const t_big& a) {
    if (a.limbs.empty())
        return 0;
    return int64_t(a.limbs.size() - 1) * 32 + int64_t(std::bit_width(a.limbs.back()));
}

// The decimal digit string as a big integer, nine digits per step.
static t_big digits_to_big(const std::string& digits) {
    t_big a;
    std::size_t i = 0;
    while (i < digits.size()) {
        uint32_t factor = 1;
        uint32_t chunk = 0;
        for (int k = 0; k < 9 && i < digits.size(); ++k, ++i) {
            factor *= 10;
            chunk = chunk * 10 + uint32_t(digits[i] - '0');
        }
        big_mul_add(&a, factor, chunk);
    }
    return a;
}

// Rounds num / den x 2^binary_exponent to extended (unsigned), where sticky means the true value
// is a trace above that; false when it rounds beyond the largest finite extended.
static bool round_to_extended(t_big num, t_big den, int64_t binary_exponent, bool sticky,
                              t_extended* result) {
    // num / den lies in [2^(e-1), 2^(e+1)) with e from the bit lengths; one comparison settles it.
    int64_t e = big_bit_length(num) - big_bit_length(den);
    {
        t_big a = num;
        t_big b = den;
        if (e >= 0)
            big_shift_left(&b, uint64_t(e));
        else
            big_shift_left(&a, uint64_t(-e));
        if (big_compare(a, b) < 0)
            --e;
    }
    e += binary_exponent;
    if (e > extended_max_exponent)
        return false;
    // Below the normal range the scale stays at the smallest normal's, which yields subnormals.
    int64_t scale = e < extended_min_exponent ? extended_min_exponent : e;
    int64_t shift = binary_exponent + 63 - scale;
    if (shift >= 0)
        big_shift_left(&num, uint64_t(shift));
    else
        big_shift_left(&den, uint64_t(-shift));

    // Now num / den < 2^64: take the quotient bit by bit, subtracting den x 2^bit where it fits.
    t_big step = den;
    big_shift_left(&step, 63);
    uint64_t q = 0;
    for (int bit = 63; bit >= 0; --bit) {
        if (big_compare(num, step) >= 0) {
            big_subtract(&num, step);
            q |= uint64_t(1) << bit;
        }
        if (bit > 0)
            big_shift_right_one(&step);
    }
    // The remainder against half the divisor decides; an exact half goes up only with a sticky
    // trace, else to the even neighbour.
    big_shift_left(&num, 1);
    int half = big_compare(num, den);
    if (half > 0 || (half == 0 && (sticky || (q & 1) != 0))) {
        ++q;
        if (q == 0) { // carried out of 64 bits: the next binade's 1.0
            q = uint64_t(1) << 63;
            ++scale;
        }
    }
    if (scale > extended_max_exponent)
        return false;
    result->significand = q;
    // A subnormal quotient has bit 63 clear; one that rounded up into bit 63 is the smallest normal.
    result->sign_exponent = (q >> 63) != 0 ? uint16_t(scale + extended_bias) : uint16_t(0);
    return true;
}

#if defined(__SIZEOF_INT128__)
// The common short number, at most 19 significant digits times 10 to a power from -19 to 19,
// rounded with 128-bit integers: digits x 10^k is exact in 128 bits, and digits / 10^k is taken
// to 64 bits with its remainder. Rounds as round_to_extended does (nearest, ties to even).
static bool short_decimal_to_extended(const t_decimal& decimal, int64_t exponent10, t_extended* magnitude) {
    __extension__ typedef unsigned __int128 u128;
    if (decimal.sticky || decimal.digits.size() > 19 || exponent10 < -19 || exponent10 > 19)
        return false;
    uint64_t digits = 0;
    for (char c : decimal.digits)
        digits = digits * 10 + uint64_t(c - '0');
    uint64_t power = 1;
    for (int64_t k = exponent10 < 0 ? -exponent10 : exponent10; k > 0; --k)
        power *= 10;
    uint64_t q = 0;
    bool above_half = false;
    bool half = false;
    int64_t exponent = 0; // bit 63 of q weighs 2^exponent
    if (exponent10 >= 0) {
        const u128 value = u128(digits) * power;
        const uint64_t high = uint64_t(value >> 64);
        const int length = high != 0 ? 128 - std::countl_zero(high) : 64 - std::countl_zero(uint64_t(value));
        exponent = length - 1;
        if (length <= 64) {
            q = uint64_t(value) << (64 - length);
        } else {
            const int dropped = length - 64;
            q = uint64_t(value >> dropped);
            const u128 rest = value & ((u128(1) << dropped) - 1);
            const u128 halfway = u128(1) << (dropped - 1);
            above_half = rest > halfway;
            half = rest == halfway;
        }
    } else {
        // (digits << shift) / power lies in [2^63, 2^65); one shift less when it reaches 2^64.
        int shift = 64 + static_cast<int>(std::bit_width(power)) - static_cast<int>(std::bit_width(digits));
        u128 numerator = u128(digits) << shift;
        u128 quotient = numerator / power;
        if (quotient >> 64 != 0) {
            --shift;
            numerator >>= 1;
            quotient = numerator / power;
        }
        q = uint64_t(quotient);
        const u128 twice_rest = (numerator - quotient * power) << 1;
        above_half = twice_rest > power;
        half = twice_rest == power;
        exponent = 63 - shift;
    }
    if (above_half || (half && (q & 1) != 0)) {
        ++q;
        if (q == 0) { // carried out of 64 bits: the next binade's 1.0
            q = uint64_t(1) << 63;
            ++exponent;
        }
    }
    magnitude->significand = q;
    magnitude->sign_exponent = uint16_t(exponent + extended_bias);
    return true;
}
#endif

static bool convert_decimal(std::string_view text, t_extended* result, bool exactly) {
    t_decimal decimal;
    if (!parse_decimal(text, &decimal))
        return false;
    uint16_t sign = decimal.negative ? uint16_t(0x8000) : uint16_t(0);
    while (!decimal.digits.empty() && decimal.digits.back() == '0')
        decimal.digits.pop_back(); // trailing zeros only cost work; position keeps the scale
    if (decimal.digits.empty()) {
        *result = {0, sign};
        return true;
    }
    if (decimal.position > overflow_position)
        return false;
    if (decimal.position < underflow_position) {
        *result = {0, sign};
        return true;
    }
    // value = digits x 10^exponent10 = digits x 5^exponent10 x 2^exponent10
    int64_t exponent10 = decimal.position - int64_t(decimal.digits.size());
#if defined(__SIZEOF_INT128__)
    if (t_extended magnitude; !exactly && short_decimal_to_extended(decimal, exponent10, &magnitude)) {
        *result = {magnitude.significand, uint16_t(magnitude.sign_exponent | sign)};
        return true;
    }
#endif
    t_big num = digits_to_big(decimal.digits);
    t_big den;
    den.limbs.push_back(1);
    if (exponent10 >= 0)
        big_mul_pow5(&num, uint64_t(exponent10));
    else
        big_mul_pow5(&den, uint64_t(-exponent10));
    t_extended magnitude;
    if (!round_to_extended(num, den, exponent10, decimal.sticky, &magnitude))
        return false;
    *result = {magnitude.significand, uint16_t(magnitude.sign_exponent | sign)};
    return true;
}

bool decimal_to_extended(std::string_view text, t_extended* result) { return convert_decimal(text, result, false); }

bool decimal_to_extended_exactly(std::string_view text, t_extended* result) {
    return convert_decimal(text, result, true);
}

// Rounds the magnitude of an extended value to a binary format of the given significand precision
// (hidden bit included) and exponent width, giving the unsigned bits; false when the result is
// infinite, either by overflow or because the value is an infinity or NaN.
static bool narrow_extended(t_extended value, int precision, int exponent_bits, uint64_t* bits) {
    int64_t bias = (int64_t(1) << (exponent_bits - 1)) - 1;
    int64_t min_exponent = 1 - bias;
    uint64_t infinity = ((uint64_t(1) << exponent_bits) - 1) << (precision - 1);
    uint64_t significand = value.significand;
    int64_t field = value.sign_exponent & 0x7FFF;
    if (field == 0x7FFF) {
        // Infinity stays infinity; a NaN stays a quiet NaN.
        *bits = (significand << 1) == 0 ? infinity : infinity | (uint64_t(1) << (precision - 2));
        return false;
    }
    if (significand == 0) {
        *bits = 0;
        return true;
    }
    // value = significand x 2^(max(field, 1) - 16383 - 63); subnormals and pseudo-denormals share
    // the scale of exponent field 1.
    int leading = std::countl_zero(significand);
    significand <<= leading;
    int64_t e = (field == 0 ? 1 : field) - extended_bias - leading; // now bit 63 weighs 2^e
    if (e > bias) {
        *bits = infinity;
        return false;
    }
    int64_t scale = e < min_exponent ? min_exponent : e;
    int64_t dropped = 64 - precision + (scale - e); // low bits of significand that do not fit
    uint64_t kept = 0;
    bool up = false;
    if (dropped <= 64) {
        uint64_t rest = dropped == 64 ? significand : significand & ((uint64_t(1) << dropped) - 1);
        uint64_t half = uint64_t(1) << (dropped - 1);
        kept = dropped == 64 ? 0 : significand >> dropped;
        up = rest > half || (rest == half && (kept & 1) != 0);
    } // else the value is below half the smallest subnormal
    kept += up ? 1 : 0;
    // Adding kept (hidden bit included) to field - 1 lets a carry, or a subnormal rounding up to
    // the smallest normal, bump the exponent field by itself.
    *bits = (uint64_t(scale + bias - 1) << (precision - 1)) + kept;
    if (*bits >= infinity) {
        *bits = infinity;
        return false;
    }
    return true;
}

bool extended_to_single(t_extended value, uint32_t* bits) {
    uint64_t magnitude = 0;
    bool finite = narrow_extended(value, 24, 8, &magnitude);
    *bits = uint32_t(magnitude) | ((value.sign_exponent & 0x8000u) != 0 ? 0x80000000u : 0u);
    return finite;
}

bool extended_to_double(t_extended value, uint64_t* bits) {
    uint64_t magnitude = 0;
    bool finite = narrow_extended(value, 53, 11, &magnitude);
    *bits = magnitude | ((value.sign_exponent & 0x8000u) != 0 ? uint64_t(1) << 63 : 0u);
    return finite;
}
