#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "decimal.h"

namespace pcm {
namespace {

// significantDigits as "d.ddd...e+XX", the form std::to_chars gives.
std::string scientific(double value, int count) {
    char digits[17];
    const int exponent = significantDigits(value, count, digits);
    std::string text(1, digits[0]);
    if (count > 1) text += '.' + std::string(digits + 1, digits + count);
    text += exponent < 0 ? "e-" : "e+";
    const int magnitude = std::abs(exponent);
    if (magnitude < 10) text += '0';
    return text + std::to_string(magnitude);
}

std::string reference(double value, int count) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific, count - 1).ptr;
    return std::string(text, end);
}

std::string shortForm(double value) {
    char text[32];
    const std::size_t n = formatShort(value, text, sizeof text);
    EXPECT_EQ(n, std::string(text).size());
    return text;
}

// The digits are computed from the exact binary value; the C++ library's
// to_chars (Ryu) is an independent correctly rounded reference.
TEST(decimal_digits, agree_with_the_correctly_rounded_library_conversion) {
    constexpr double kMin = std::numeric_limits<double>::denorm_min();
    const double edges[] = {1.0,   0.1,    5.7,     28.125,  1e22, 1e23,  2.5e-5, 9.5,
                            kMin,  2 * kMin, std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
                            0x1.fffffffffffffp-1, 0x1p-1074 * 4503599627370495.0, 3600.0 / 7.0};
    for (double v : edges)
        for (int count : {17, 15, 1})
            EXPECT_EQ(scientific(v, count), reference(v, count)) << std::hexfloat << v << " count " << count;

    // Random bit patterns cover every exponent, subnormals included.
    std::mt19937_64 random(471);
    int mismatches = 0;
    for (int i = 0; i < 20000; ++i) {
        const double v = std::bit_cast<double>(random());
        if (!std::isfinite(v)) continue;
        for (int count : {17, 15}) mismatches += scientific(v, count) != reference(v, count);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(decimal_digits, round_an_exact_half_to_even_and_carry_into_the_exponent) {
    // 2^50 + 0.25 = 1125899906842624.25 and 2^50 + 0.75: eighteen digits whose
    // last is an exact 5.
    EXPECT_EQ(scientific(0x1p50 + 0.25, 17), "1.1258999068426242e+15");
    EXPECT_EQ(scientific(0x1p50 + 0.75, 17), "1.1258999068426248e+15");
    // 1 - 2^-53 = 0.99999999999999988898 to fifteen digits carries to 1.
    EXPECT_EQ(scientific(0x1.fffffffffffffp-1, 15), "1.00000000000000e+00");
    EXPECT_EQ(scientific(0.0, 17), "0.0000000000000000e+00");
    EXPECT_EQ(scientific(-2.5, 2), "2.5e+00");  // the magnitude only
}

TEST(decimal_short, writes_the_shorter_notation_with_at_most_fifteen_digits) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {5.7, "5.7"},
        {-3.0, "-3"},
        {0.5, "0.5"},
        {0.0, "0"},
        {-0.0, "-0"},
        {1e-3, "0.001"},     // 5 characters either way: fixed
        {1e-4, "1e-04"},
        {1e-5, "1e-05"},
        {1e20, "1e+20"},
        {3e9, "3e+09"},
        {2147483648.0, "2147483648"},
        {0.1 + 0.2, "0.3"},  // fifteen digits, not the 17 that tell it from 0.3
        {123456789012345678.0, "123456789012346000"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247e-324"},
        {-std::numeric_limits<double>::max(), "-1.79769313486232e+308"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(shortForm(c.value), c.text) << c.text;

    char small[4];
    EXPECT_EQ(formatShort(123.5, small, sizeof small), 3u);
    EXPECT_STREQ(small, "123");
}

}  // namespace
}  // namespace pcm
