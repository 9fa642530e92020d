// The component writes numbers into its messages with its own decimal
// conversion (exact integer arithmetic, so that the module needs no printf).
// This fuzzer holds it against the C library's printf and strtod for any
// double, and checks that no text is written beyond the buffer it is given:
//
//   - significantDigits gives the digits and exponent printf("%.*e") gives;
//   - formatShort reads back as the value rounded to 15 significant digits,
//     in at most 22 characters, and cut to any smaller buffer;
//   - formatTwoDecimals reads back within half a hundredth of the value (plus
//     the 17-digit rounding), and cut to any smaller buffer;
//   - the notice never exceeds its 99 characters.
//
// Input: 8 bytes of a double (little-endian), then a byte for the digit count
// and one for the size of the smaller buffer.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "decimal.h"
#include "notice.h"

namespace {

[[noreturn]] void fail(const char* what, double value, const std::string& detail) {
    std::fprintf(stderr, "decimal fuzzer: %s for %.17g (bits %016llx)\n  %s\n", what, value,
                 static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)), detail.c_str());
    std::abort();
}

#define EXPECT(cond, what, detail)                 \
    do {                                           \
        if (!(cond)) fail((what), value, (detail)); \
    } while (0)

// A buffer of exactly size characters on the heap, so that AddressSanitizer
// sees a single character written beyond it.
std::unique_ptr<char[]> exactBuffer(std::size_t size) { return std::unique_ptr<char[]>(new char[size]); }

void checkSignificantDigits(double value, int count) {
    char digits[17];
    const int exponent = pcm::significantDigits(value, count, digits);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.*e", count - 1, std::fabs(value));
    // d.ddd...e+XX, or d e+XX for one digit
    std::string expectedDigits(1, expected[0]);
    const char* e = std::strchr(expected, 'e');
    if (count > 1) expectedDigits.append(expected + 2, static_cast<std::size_t>(e - (expected + 2)));
    const int expectedExponent = std::atoi(e + 1);
    const std::string got(digits, static_cast<std::size_t>(count));
    EXPECT(got == expectedDigits && exponent == expectedExponent, "significant digits differ from printf's",
           std::to_string(count) + " digits: got " + got + "e" + std::to_string(exponent) + ", printf " + expected);
}

void checkFormatShort(double value, std::size_t smallSize) {
    char text[32];
    const std::size_t length = pcm::formatShort(value, text, sizeof text);
    EXPECT(length <= 22 && std::strlen(text) == length, "formatShort wrote more than 22 characters", text);
    if (std::isnan(value)) {
        // With its sign, as std::to_chars writes it.
        EXPECT(std::strcmp(text, std::signbit(value) ? "-nan" : "nan") == 0, "NaN is not written nan", text);
    } else if (std::isinf(value)) {
        EXPECT(std::strcmp(text, value < 0 ? "-inf" : "inf") == 0, "an infinity is misspelt", text);
    } else {
        char rounded[64];
        std::snprintf(rounded, sizeof rounded, "%.14e", value);
        const double expected = std::strtod(rounded, nullptr);
        const double readBack = std::strtod(text, nullptr);
        EXPECT(readBack == expected && std::signbit(readBack) == std::signbit(value),
               "formatShort does not read back as the value to 15 digits", std::string(text) + " vs " + rounded);
    }
    auto small = exactBuffer(smallSize);
    const std::size_t cut = pcm::formatShort(value, small.get(), smallSize);
    if (smallSize > 0) {
        EXPECT(cut == std::strlen(small.get()) && cut < smallSize, "a cut text is not terminated in its buffer", "");
        EXPECT(std::strncmp(small.get(), text, cut) == 0, "a cut text is not the start of the whole one", small.get());
    }
}

void checkTwoDecimals(double value, std::size_t smallSize) {
    char text[400];
    const std::size_t length = pcm::formatTwoDecimals(value, text, sizeof text);
    EXPECT(length < sizeof text && std::strlen(text) == length, "the text is not terminated", "");
    if (std::isfinite(value)) {
        const char* dot = std::strchr(text, '.');
        EXPECT(dot && std::strlen(dot) == 3, "not two decimals", text);
        const double readBack = std::strtod(text, nullptr);
        // 0.005 from the rounding to hundredths, plus what the 17-digit step
        // and reading back may add.
        const double tolerance = 0.005 + std::fabs(value) * 4e-16 + 1e-300;
        EXPECT(std::fabs(readBack - value) <= tolerance, "two decimals far from the value", text);
    }
    auto small = exactBuffer(smallSize);
    const std::size_t cut = pcm::formatTwoDecimals(value, small.get(), smallSize);
    if (smallSize > 0) {
        EXPECT(cut == std::strlen(small.get()) && cut < smallSize, "a cut text is not terminated in its buffer", "");
        EXPECT(std::strncmp(small.get(), text, cut) == 0, "a cut text is not the start of the whole one", small.get());
    }

    char notice[100];
    std::memset(notice, 'x', sizeof notice);
    pcm::formatNotice(value, notice);
    EXPECT(std::memchr(notice, '\0', sizeof notice) != nullptr, "the notice is not terminated in its buffer", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= std::uint64_t{data[i]} << (8 * i);
    const double value = std::bit_cast<double>(bits);
    const int count = 1 + (size > 8 ? data[8] % 17 : 16);
    const std::size_t smallSize = size > 9 ? data[9] % 40 : 8;

    if (std::isfinite(value)) checkSignificantDigits(value, count);
    checkFormatShort(value, smallSize);
    checkTwoDecimals(value, smallSize);
    return 0;
}
