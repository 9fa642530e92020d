#include "decimal.h"

#include <bit>
#include <cstdint>

namespace pcm {
namespace {

// A non-negative integer in base 10^9, least significant limb first.  A double
// is m 2^e with m < 2^53 and -1074 <= e <= 971.  For e >= 0 the value itself,
// m 2^e < 2^1024, has at most 309 digits; for e < 0 the value is m 5^-e
// 10^e, and m 5^-e < 2^53 5^1074 has at most 767 digits: 86 limbs.
class BigDecimal {
public:
    explicit BigDecimal(std::uint64_t value) {
        for (; value != 0; value /= kBase) limb_[size_++] = static_cast<std::uint32_t>(value % kBase);
    }

    // factor below 2^32: a limb times it plus the carry stays below 2^63.
    void multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (int i = 0; i < size_; ++i) {
            const std::uint64_t product = std::uint64_t{limb_[i]} * factor + carry;
            limb_[i] = static_cast<std::uint32_t>(product % kBase);
            carry = product / kBase;
        }
        for (; carry != 0; carry /= kBase) limb_[size_++] = static_cast<std::uint32_t>(carry % kBase);
    }

    // Writes the decimal digits, most significant first, and returns their
    // number (0 for zero).
    int writeDigits(char* out) const {
        int n = 0;
        for (int i = size_ - 1; i >= 0; --i) {
            char group[9];
            std::uint32_t v = limb_[i];
            for (int k = 8; k >= 0; --k, v /= 10) group[k] = static_cast<char>('0' + v % 10);
            int k = 0;
            if (i == size_ - 1)
                while (k < 8 && group[k] == '0') ++k;  // no leading zeros
            for (; k < 9; ++k) out[n++] = group[k];
        }
        return n;
    }

private:
    static constexpr std::uint32_t kBase = 1000000000;
    std::uint32_t limb_[90] = {};
    int size_ = 0;
};

std::size_t copyCut(const char* text, std::size_t length, char* out, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t n = length < size - 1 ? length : size - 1;
    for (std::size_t i = 0; i < n; ++i) out[i] = text[i];
    out[n] = '\0';
    return n;
}

}  // namespace

int significantDigits(double value, int count, char* digits) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const int biasedExponent = static_cast<int>((bits >> 52) & 0x7ff);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    for (int i = 0; i < count; ++i) digits[i] = '0';
    if (biasedExponent == 0 && fraction == 0) return 0;

    // |value| = m 2^e exactly.
    const std::uint64_t m = biasedExponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int e = biasedExponent == 0 ? -1074 : biasedExponent - 1075;

    // The exact value's decimal digits: m 2^e, or m 5^-e shifted by e places.
    BigDecimal exact(m);
    if (e >= 0) {
        for (int left = e; left > 0; left -= 31) exact.multiply(std::uint32_t{1} << (left < 31 ? left : 31));
    } else {
        constexpr std::uint32_t kFivePowers[14] = {1,       5,        25,        125,        625,
                                                   3125,    15625,    78125,     390625,     1953125,
                                                   9765625, 48828125, 244140625, 1220703125};
        for (int left = -e; left > 0; left -= 13) exact.multiply(kFivePowers[left < 13 ? left : 13]);
    }
    char all[800];
    const int length = exact.writeDigits(all);
    int exponent = length - 1 + (e < 0 ? e : 0);

    for (int i = 0; i < count && i < length; ++i) digits[i] = all[i];
    if (count >= length) return exponent;

    // Round on the rest: above half up, below half down, an exact half to an
    // even last digit.
    bool up = all[count] > '5';
    if (all[count] == '5') {
        bool beyondHalf = false;
        for (int i = count + 1; i < length; ++i) beyondHalf = beyondHalf || all[i] != '0';
        up = beyondHalf || (digits[count - 1] - '0') % 2 == 1;
    }
    if (up) {
        int i = count - 1;
        while (i >= 0 && digits[i] == '9') digits[i--] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {  // 9.99...9 became 10.00...0
            digits[0] = '1';
            ++exponent;
        }
    }
    return exponent;
}

std::size_t formatShort(double value, char* out, std::size_t size) {
    char text[32];
    int n = 0;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    if (bits >> 63) text[n++] = '-';
    constexpr std::uint64_t kInfinityBits = std::uint64_t{0x7ff} << 52;
    const std::uint64_t magnitudeBits = bits & ~(std::uint64_t{1} << 63);
    if (magnitudeBits >= kInfinityBits) {
        for (const char* word = magnitudeBits == kInfinityBits ? "inf" : "nan"; *word != '\0'; ++word) text[n++] = *word;
        return copyCut(text, static_cast<std::size_t>(n), out, size);
    }

    char digits[15];
    const int exponent = significantDigits(value, 15, digits);
    int kept = 15;
    while (kept > 1 && digits[kept - 1] == '0') --kept;

    // Lengths of the two notations without the sign.
    const int magnitude = exponent < 0 ? -exponent : exponent;
    const int scientificLength = kept + (kept > 1 ? 1 : 0) + 2 + (magnitude >= 100 ? 3 : 2);
    const int fixedLength = exponent < 0 ? 1 - exponent + kept
                                         : (kept > exponent + 1 ? kept + 1 : exponent + 1);
    if (fixedLength <= scientificLength) {
        if (exponent < 0) {
            text[n++] = '0';
            text[n++] = '.';
            for (int i = -1; i > exponent; --i) text[n++] = '0';
            for (int i = 0; i < kept; ++i) text[n++] = digits[i];
        } else {
            for (int i = 0; i <= exponent; ++i) text[n++] = i < kept ? digits[i] : '0';
            if (kept > exponent + 1) {
                text[n++] = '.';
                for (int i = exponent + 1; i < kept; ++i) text[n++] = digits[i];
            }
        }
    } else {
        text[n++] = digits[0];
        if (kept > 1) {
            text[n++] = '.';
            for (int i = 1; i < kept; ++i) text[n++] = digits[i];
        }
        text[n++] = 'e';
        text[n++] = exponent < 0 ? '-' : '+';
        if (magnitude >= 100) text[n++] = static_cast<char>('0' + magnitude / 100);
        text[n++] = static_cast<char>('0' + magnitude / 10 % 10);
        text[n++] = static_cast<char>('0' + magnitude % 10);
    }
    return copyCut(text, static_cast<std::size_t>(n), out, size);
}

}  // namespace pcm
