// Arguments for testing the exponential, drawn from a fixed integer sequence
// so that every platform sees the same doubles: only integer arithmetic,
// exact integer-to-double conversions and single IEEE operations.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace pcm::test {

// A 64-bit linear congruential sequence (Knuth's MMIX constants).
class ArgumentSource {
public:
    explicit ArgumentSource(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        state_ = state_ * 6364136223846793005u + 1442695040888963407u;
        return state_;
    }

    // Uniform in [0, 1) on the 2^-53 grid.
    double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }

    // Uniform in [low, high).
    double between(double low, double high) { return low + (high - low) * unit(); }

    // The material law's exponent (T - Tp)^2 * (-1/peakWidth) as the solver
    // forms it, for a node within +-spread kelvin of the peak.
    double materialLawExponent(double peakWidth, double spread) {
        const double d = between(-spread, spread);
        return d * d * (-1.0 / peakWidth);
    }

    // A random double with binary exponent `exponent` (-1074 ... 1023; below
    // -1022 a subnormal of that size) and the given sign.
    double inBinade(int exponent, bool negative) {
        const std::uint64_t mantissa = next() >> 12;  // 52 bits
        std::uint64_t bits = 0;
        if (exponent >= -1022) {
            bits = (static_cast<std::uint64_t>(exponent + 1023) << 52) | mantissa;
        } else {
            const int width = exponent + 1074;  // bits below the leading one
            bits = (std::uint64_t{1} << width) | (mantissa >> (52 - width));
        }
        if (negative) bits |= std::uint64_t{1} << 63;
        return std::bit_cast<double>(bits);
    }

private:
    std::uint64_t state_;
};

// FNV-1a over the bits of the values: equal digests, equal bits (to any
// practical certainty).
inline std::uint64_t digestOf(const double* values, std::size_t count) {
    std::uint64_t hash = 14695981039346656037u;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t bits = std::bit_cast<std::uint64_t>(values[i]);
        for (int byte = 0; byte < 8; ++byte) {
            hash ^= bits & 0xffu;
            hash *= 1099511628211u;
            bits >>= 8;
        }
    }
    return hash;
}

// A fixed sample over the whole domain: the material law's range, every
// binade of the argument and the subnormal results.  Its correctly rounded
// exponentials (from MPFR) have the digest kSampleDigest; the MPFR test
// checks that, and the digest test checks our bits against it on targets
// without MPFR (32-bit builds).
constexpr std::size_t kSampleSize = 1 << 16;
constexpr std::uint64_t kSampleDigest = 10352552554904771395u;

inline void fillSample(double* x) {
    ArgumentSource source(20260101);
    for (std::size_t i = 0; i < kSampleSize; ++i) {
        switch (i % 4) {
            case 0: x[i] = source.between(-746.0, 0.0); break;
            case 1: x[i] = source.materialLawExponent(4.0, 15.0); break;
            case 2: x[i] = source.between(-745.2, -708.3); break;
            default: {
                // Drawn one after the other: the order in which a call's
                // arguments are evaluated differs between compilers.
                const bool negative = (source.next() & 1) != 0;
                const int exponent = static_cast<int>(source.next() % 1085) - 1074;
                x[i] = source.inBinade(exponent, negative);
            }
        }
    }
}

}  // namespace pcm::test
