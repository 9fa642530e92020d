// The exponential against MPFR: every result must be MPFR's correctly
// rounded one, bit for bit, on the scalar, the batched and the accurate path.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "exp.h"
#include "exp_arguments.h"
#include "mpfr_exp.h"

namespace {

using pcm::numeric::exp;
using pcm::numeric::expBatch;
using pcm::test::ArgumentSource;
using pcm::test::MpfrExp;

// Sanitised builds run an order of magnitude slower: fewer arguments there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
constexpr std::size_t kScale = 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
constexpr std::size_t kScale = 10;
#else
constexpr std::size_t kScale = 1;
#endif
#else
constexpr std::size_t kScale = 1;
#endif

bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (a != a && b != b);
}

// Compares scalar and batched results for x with MPFR; returns a
// description of the first mismatches, empty when there are none.
std::string mismatches(const std::vector<double>& x) {
    MpfrExp reference;
    std::vector<double> batched(x.size());
    expBatch(x.data(), batched.data(), x.size());
    std::ostringstream out;
    std::size_t count = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double want = reference(x[i]);
        const double scalar = exp(x[i]);
        if (sameBits(scalar, want) && sameBits(batched[i], want)) continue;
        if (++count <= 5)
            out << std::hexfloat << "exp(" << x[i] << "): MPFR " << want << ", scalar " << scalar << ", batched "
                << batched[i] << "\n";
    }
    if (count > 0) out << count << " of " << x.size() << " arguments differ";
    return out.str();
}

TEST(exp, matches_mpfr_over_the_material_law_range) {
    // The solver's exponents lie in [-746, 0]; the Gaussian peak with a
    // width of 4 K^2 and nodes within 15 K of it gives the dense part.
    ArgumentSource source(1);
    std::vector<double> x;
    for (std::size_t i = 0; i < 1'200'000 / kScale; ++i) x.push_back(source.between(-746.0, 0.0));
    for (std::size_t i = 0; i < 400'000 / kScale; ++i) x.push_back(source.materialLawExponent(4.0, 15.0));
    EXPECT_EQ(mismatches(x), "");
}

TEST(exp, matches_mpfr_in_every_binade_of_the_argument) {
    // Both signs, from the smallest subnormal argument to beyond overflow.
    ArgumentSource source(2);
    std::vector<double> x;
    for (int exponent = -1074; exponent <= 11; ++exponent)
        for (std::size_t i = 0; i < 200 / kScale; ++i) {
            x.push_back(source.inBinade(exponent, false));
            x.push_back(source.inBinade(exponent, true));
        }
    EXPECT_EQ(mismatches(x), "");
}

TEST(exp, matches_mpfr_where_the_result_is_subnormal) {
    // exp(x) < 2^-1022 for x < -708.40, and rounds to 0 below -745.13.
    ArgumentSource source(3);
    std::vector<double> x;
    for (std::size_t i = 0; i < 400'000 / kScale; ++i) x.push_back(source.between(-745.2, -708.3));
    EXPECT_EQ(mismatches(x), "");
}

TEST(exp, accurate_path_alone_matches_mpfr) {
    // The path that settles what the fast one cannot, run on arguments the
    // fast path settles too, so it is checked far beyond its rare use.
    ArgumentSource source(4);
    MpfrExp reference;
    std::size_t wrong = 0;
    std::size_t unsettled = 0;
    const std::size_t count = 60'000 / kScale;
    for (std::size_t i = 0; i < count; ++i) {
        const double x = i % 3 == 0   ? source.between(-746.0, 710.0)
                         : i % 3 == 1 ? source.between(-745.2, -708.3)
                                      : source.inBinade(static_cast<int>(source.next() % 1085) - 1074, i % 2 == 0);
        const double want = reference(x);
        if (!sameBits(pcm::numeric::detail::expAccurate(x), want)) ++wrong;
        double fast = 0.0;
        if (!pcm::numeric::detail::expFast(x, fast))
            ++unsettled;
        else if (!sameBits(fast, want))
            ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
    // The fast path's bound of 2^-67 leaves about 1 argument in 10^4 to the
    // accurate path; many more would mean a wrong bound or a slow solver.
    EXPECT_LT(unsettled, count / 1000 + 5);
}

TEST(exp, sample_digest_is_mpfr_s) {
    // The digest the 32-bit builds compare their own results with.
    std::vector<double> x(pcm::test::kSampleSize);
    pcm::test::fillSample(x.data());
    MpfrExp reference;
    std::vector<double> want(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) want[i] = reference(x[i]);
    EXPECT_EQ(pcm::test::digestOf(want.data(), want.size()), pcm::test::kSampleDigest);
    EXPECT_EQ(mismatches(x), "");
}

struct Case {
    const char* what;
    double x;
    double expected;
};

class ExpCase : public testing::TestWithParam<Case> {};

TEST_P(ExpCase, is_rounded_correctly) {
    const Case& c = GetParam();
    MpfrExp reference;
    EXPECT_PRED2(sameBits, reference(c.x), c.expected) << "the table itself disagrees with MPFR";
    EXPECT_PRED2(sameBits, exp(c.x), c.expected);
    // Every batch width, alone and among neighbours that take other paths.
    const double neighbours[] = {-1.0, 0.0, -745.0, 1000.0};
    for (const int lanes : {2, 4, 8}) {
        std::vector<double> y;
        for (const double n : neighbours) y.push_back(n);
        y.insert(y.begin() + 1, c.x);
        if (!pcm::numeric::detail::expBatchWithLanes(lanes, y.data(), y.data(), y.size())) continue;
        EXPECT_PRED2(sameBits, y[1], c.expected) << lanes << " lanes";
    }
}

constexpr double kInf = std::numeric_limits<double>::infinity();

// Exact results, results that round to 1 or just below it, the thresholds
// of overflow, of subnormal results and of underflow to 0.
const Case kEdgeCases[] = {
    {"+0", 0.0, 1.0},
    {"-0", -0.0, 1.0},
    {"smallest subnormal", 0x1p-1074, 1.0},
    {"minus smallest subnormal", -0x1p-1074, 1.0},
    // e^x = 1 - 2^-54 + 2^-109: just above the midpoint 1 - 2^-54.
    {"-2^-54", -0x1p-54, 1.0},
    {"just below -2^-54", -0x1.0000000000001p-54, 0x1.fffffffffffffp-1},
    {"2^-54", 0x1p-54, 1.0},
    // e^x = 1 + 2^-53 + 2^-107: just above the midpoint 1 + 2^-53.
    {"2^-53", 0x1p-53, 0x1.0000000000001p+0},
    {"just below 2^-53", 0x1.fffffffffffffp-54, 1.0},
    {"-2^-53", -0x1p-53, 0x1.fffffffffffffp-1},
    {"ln 2 rounded", 0x1.62e42fefa39efp-1, 2.0},
    {"1", 1.0, 0x1.5bf0a8b145769p+1},
    {"-1", -1.0, 0x1.78b56362cef38p-2},
    {"largest finite result", 0x1.62e42fefa39efp+9, 0x1.fffffffffff2ap+1023},
    {"first overflow", 0x1.62e42fefa39fp+9, kInf},
    {"+inf", kInf, kInf},
    {"largest double", std::numeric_limits<double>::max(), kInf},
    {"smallest normal result", -0x1.6232bdd7abcd2p+9, 0x1.000000000007cp-1022},
    {"largest subnormal result", -0x1.6232bdd7abcd3p+9, 0x0.ffffffffffe7cp-1022},
    {"-708", -708.0, 0x1.7c8ab2288c9abp-1022},
    {"-745", -745.0, 0x0.0000000000001p-1022},
    {"last non-zero result", -0x1.74910d52d3051p+9, 0x0.0000000000001p-1022},
    {"first zero result", -0x1.74910d52d3052p+9, 0.0},
    {"-inf", -kInf, 0.0},
    {"lowest double", std::numeric_limits<double>::lowest(), 0.0},
};
INSTANTIATE_TEST_SUITE_P(edges, ExpCase, testing::ValuesIn(kEdgeCases));

// Hard-to-round arguments of exp in double precision from V. Lefevre and
// J.-M. Muller's exhaustive search ("Worst cases for correct rounding of the
// elementary functions in double precision", ARITH 15, 2001), as published
// with their exact values among Intel's libm test vectors (carried in
// Android bionic, tests/math_data/exp_intel_data.h).  Taken here as facts;
// the expected doubles are those values rounded to nearest, and MPFR agrees.
// For rounding to nearest the hard ones are those next to a midpoint:
// 0x1.9e9cbbfd6080bp-31 (within 2^-110.6, relative) and
// 0x1.836b2fff6d6cbp-33 (2^-106.7); the others lie next to a double (hard
// for directed rounding) and are kept as listed.
const Case kHardCases[] = {
    {"0x1.ffffffffffffep-52 (e^x = 0x1.0000000000001fff...f p0)", 0x1.ffffffffffffep-52, 0x1.0000000000002p+0},
    {"0x1.1ffffffffff5ep-44 (0x1.000000000011fff...f)", 0x1.1ffffffffff5ep-44, 0x1.000000000012p+0},
    {"0x1.03fffffffef7fp-39 (0x1.000000000207fff...fd34)", 0x1.03fffffffef7fp-39, 0x1.000000000208p+0},
    {"0x1.836b2fff6d6cbp-33 (0x1.00000000c1b598000...27a7d5)", 0x1.836b2fff6d6cbp-33, 0x1.00000000c1b5ap+0},
    {"0x1.9e9cbbfd6080bp-31 (0x1.000000033d3978000...2a51d)", 0x1.9e9cbbfd6080bp-31, 0x1.000000033d398p+0},
    {"0x1.d77fd13d27fffp-11 (0x1.003af6c37c1d30000...9446e)", 0x1.d77fd13d27fffp-11, 0x1.003af6c37c1d3p+0},
};
INSTANTIATE_TEST_SUITE_P(hard, ExpCase, testing::ValuesIn(kHardCases));

TEST(exp, nan_gives_nan) {
    const double quiet = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(exp(quiet)));
    EXPECT_TRUE(std::isnan(exp(-quiet)));
    double y[3] = {1.0, quiet, -2.0};
    expBatch(y, y, 3);
    EXPECT_TRUE(std::isnan(y[1]));
}

TEST(expBatch, equals_the_scalar_function_for_every_width_length_and_overlap) {
    // Lengths around the widths, every path in every lane position, both
    // into another array and in place.
    ArgumentSource source(5);
    std::vector<double> pool = {0.0, -0.0, 1e-300, -0x1p-54, 0x1.9e9cbbfd6080bp-31, -745.0, -746.0, -708.5, -1.0,
                                700.0, 709.9, 1e300, -kInf, kInf, std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < 200; ++i) pool.push_back(source.between(-746.0, 0.0));
    for (const int lanes : {2, 4, 8}) {
        for (const std::size_t length : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 215u}) {
            std::vector<double> x(length);
            for (std::size_t i = 0; i < length; ++i) x[i] = pool[(i * 7 + length) % pool.size()];
            std::vector<double> y(length, 12345.0);
            if (!pcm::numeric::detail::expBatchWithLanes(lanes, x.data(), y.data(), length)) break;
            std::vector<double> inPlace = x;
            pcm::numeric::detail::expBatchWithLanes(lanes, inPlace.data(), inPlace.data(), length);
            for (std::size_t i = 0; i < length; ++i) {
                EXPECT_PRED2(sameBits, y[i], exp(x[i])) << lanes << " lanes, length " << length << ", i " << i;
                EXPECT_PRED2(sameBits, inPlace[i], exp(x[i])) << "in place, " << lanes << " lanes";
            }
        }
    }
    EXPECT_FALSE(pcm::numeric::detail::expBatchWithLanes(3, nullptr, nullptr, 0));
}

}  // namespace
