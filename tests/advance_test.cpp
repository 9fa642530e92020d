// The fast solver against the literal one, bit for bit.
//
// pcm::advanceLayer batches the exponentials, skips those that cannot change
// the specific heat and vectorises across nodes; pcm::literal::advanceLayer
// walks the scheme node by node as it is written.  Whatever the layer, the
// grid and the face conditions, both must leave the same bits in both node
// arrays.  NaNs are compared as "both NaN": a vector unit may keep the other
// operand's payload when two different NaNs meet.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "advance_detail.h"
#include "host_driver.h"
#include "layer.h"
#include "literal_advance.h"

// Every allocation of this program is counted, to show that advancing the
// layer allocates nothing: its scratch comes with the layer.
namespace {
std::size_t allocationCount = 0;
}  // namespace

// The replacements pair malloc with free; GCC's check of matching new and
// delete cannot see that once they are inlined into each other.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace pcm {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kMinNormal = std::numeric_limits<double>::min();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();

bool sameValue(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (a != a && b != b);
}

// The first node whose two values differ, or -1.
int firstDifference(const double* a, const double* b, int n) {
    for (int i = 0; i < n; ++i)
        if (!sameValue(a[i], b[i])) return i;
    return -1;
}

class LayerGenerator {
public:
    explicit LayerGenerator(std::uint64_t seed) : rng_(seed) {}

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(double p) { return uniform(0.0, 1.0) < p; }

    double special() {
        static constexpr double kSpecials[] = {kNaN, -kNaN, kInf, -kInf, 0.0, -0.0, kTiny, -kTiny, 3e-310, -3e-310,
                                               kMinNormal, kMax, -kMax, 1e300, -1e-300};
        return kSpecials[integer(0, std::size(kSpecials) - 1)];
    }
    // A value of the usual magnitude, sometimes of either sign, rarely special.
    double value(double lo, double hi, double pSpecial = 0.03) {
        if (chance(pSpecial)) return special();
        const double v = uniform(lo, hi);
        return chance(0.05) ? -v : v;
    }
    // Specific heats that put the skip threshold to work: powers of two
    // (closest neighbours below them), odd mantissas, mantissas at their top.
    double awkwardHeat(double magnitude) {
        const int e = std::ilogb(magnitude);
        switch (integer(0, 3)) {
            case 0: return std::ldexp(1.0, e);
            case 1: return std::ldexp(1.0 + 0x1p-52, e);
            case 2: return std::nextafter(std::ldexp(1.0, e + 1), 0.0);
            default: return magnitude;
        }
    }

    LayerInputs inputs(int nodeCount) {
        LayerInputs in;
        in.conductivity = value(0.05, 2.0);
        in.density = value(200.0, 2500.0);
        in.baseSpecificHeat = value(500.0, 5000.0);
        in.peakSpecificHeat = chance(0.1) ? 0.0 : value(0.0, 1e5);
        if (chance(0.2)) in.baseSpecificHeat = (chance(0.1) ? -1 : 1) * awkwardHeat(std::fabs(in.baseSpecificHeat));
        if (chance(0.2)) in.peakSpecificHeat = (chance(0.2) ? -1 : 1) * awkwardHeat(std::fabs(in.peakSpecificHeat));
        if (chance(0.05)) in.peakSpecificHeat = in.baseSpecificHeat * std::ldexp(1.0, integer(-1100, 1100));
        in.peakWidth = value(0.1, 20.0);
        in.nodeCount = nodeCount;
        in.thickness = value(0.002, 0.2);
        in.nodeSpacing = in.thickness / (static_cast<double>(nodeCount) - 1.0);
        in.peakTemperature = value(-20.0, 80.0);
        in.leftFluidTemperature = value(-20.0, 80.0);
        in.leftFilmCoefficient = chance(0.2) ? 0.0 : value(0.0, 100.0);
        in.leftHeatFlux = chance(0.3) ? 0.0 : value(-500.0, 500.0);
        in.rightFluidTemperature = value(-20.0, 80.0);
        in.rightFilmCoefficient = chance(0.2) ? 0.0 : value(0.0, 100.0);
        in.rightHeatFlux = chance(0.3) ? 0.0 : value(-500.0, 500.0);
        return in;
    }

    // Node temperatures in one of several regimes around the peak.
    void temperatures(double* t, int n, const LayerInputs& in) {
        const double tp = std::isfinite(in.peakTemperature) ? in.peakTemperature : 25.0;
        const double w = std::isfinite(in.peakWidth) && in.peakWidth > 0 ? in.peakWidth : 4.0;
        const double width = std::sqrt(w);
        // Distance of the skip threshold from the centre, where it exists.
        const double threshold = detail::peakSkipThreshold(in.baseSpecificHeat, in.peakSpecificHeat);
        const double edge = std::isfinite(threshold) ? std::sqrt(-threshold * w) : 10.0 * width;
        const int regime = integer(0, 4);
        for (int i = 0; i < n; ++i) {
            const double u = n > 1 ? static_cast<double>(i) / (n - 1) : 0.5;
            double v = 0;
            switch (regime) {
                case 0:  // every node near the peak
                    v = tp + uniform(-2.0, 2.0) * width;
                    break;
                case 1:  // none near it
                    v = tp + (chance(0.5) ? 1 : -1) * uniform(20, 60) * width;
                    break;
                case 2:  // a front through the layer
                    v = tp + (u - 0.5) * 60.0 * width + uniform(-0.1, 0.1);
                    break;
                case 3:  // right at the skip threshold
                    v = tp + (chance(0.5) ? 1 : -1) * edge * (1.0 + uniform(-1e-9, 1e-9));
                    break;
                default:
                    v = uniform(-1e3, 1e3);
                    break;
            }
            t[i] = v;
        }
        if (chance(0.1)) {
            const int count = integer(1, 3);
            for (int j = 0; j < count; ++j) t[integer(0, n - 1)] = special();
        }
    }

    // A stable sub-step for these inputs where there is one, sometimes an
    // arbitrary or absurd one.
    double subStep(const LayerInputs& in) {
        const SubStep sub = chooseSubStep(in, uniform(0.01, 1.0));
        if (chance(0.1)) return special();
        if (chance(0.1) || !std::isfinite(sub.subStep) || sub.subStepCount <= 0) return uniform(0.0, 1e4);
        return sub.subStep;
    }

private:
    std::mt19937_64 rng_;
};

std::string describe(const LayerInputs& in, int steps, double s) {
    std::ostringstream o;
    o.precision(17);
    o << "N=" << in.nodeCount << " steps=" << steps << " s=" << s << " lambda=" << in.conductivity
      << " rho=" << in.density << " c=" << in.baseSpecificHeat << " peak=" << in.peakSpecificHeat
      << " w=" << in.peakWidth << " dx=" << in.nodeSpacing << " Tp=" << in.peakTemperature
      << " left(" << in.leftFluidTemperature << "," << in.leftFilmCoefficient << "," << in.leftHeatFlux << ")"
      << " right(" << in.rightFluidTemperature << "," << in.rightFilmCoefficient << "," << in.rightHeatFlux << ")";
    return o.str();
}

// Runs the same calls on two copies of one layer, the fast and the literal
// solver, and compares both arrays after every call.
void expectSameAsLiteral(LayerGenerator& gen, int nodeCount, int trial) {
    LayerInputs in = gen.inputs(nodeCount);
    LayerState fast, literal;
    ASSERT_TRUE(createLayer(fast, nodeCount, 0.0));
    ASSERT_TRUE(createLayer(literal, nodeCount, 0.0));
    gen.temperatures(fast.nodeTemperatures.get(), nodeCount, in);
    for (int i = 0; i < nodeCount; ++i) literal.nodeTemperatures[i] = fast.nodeTemperatures[i];

    const int calls = gen.integer(1, 3);
    for (int call = 0; call < calls; ++call) {
        const int steps = gen.integer(1, 6);
        const double s = gen.subStep(in);
        advanceLayer(fast, steps, s, in);
        literal::advanceLayer(literal, steps, s, in);
        const int current = firstDifference(fast.nodeTemperatures.get(), literal.nodeTemperatures.get(), nodeCount);
        const int next = firstDifference(fast.nextTemperatures.get(), literal.nextTemperatures.get(), nodeCount);
        ASSERT_EQ(current, -1) << "trial " << trial << " call " << call << ": fast "
                               << fast.nodeTemperatures[current] << " literal " << literal.nodeTemperatures[current]
                               << "\n" << describe(in, steps, s);
        ASSERT_EQ(next, -1) << "trial " << trial << " call " << call << " (scratch array)\n" << describe(in, steps, s);
        // The face conditions may change between calls, the peak may move.
        if (gen.chance(0.5)) in.peakTemperature += gen.uniform(-5.0, 5.0);
        if (gen.chance(0.3)) in.leftHeatFlux = gen.value(-500.0, 500.0);
    }
}

TEST(fast_solver, matches_the_literal_one_bit_for_bit_on_random_layers) {
    LayerGenerator gen(0x5eed1e55u);
    for (int trial = 0; trial < 1500; ++trial) {
        // Every small grid, including a single node (nothing to advance) and
        // two face nodes without an inner node, then grids up to 300 nodes
        // (past the vector widths, their remainders and the switch to wider
        // vectors on long layers).
        const int nodeCount = trial < 42 ? 1 + trial % 21 : gen.integer(1, 300);
        expectSameAsLiteral(gen, nodeCount, trial);
        if (HasFatalFailure()) return;
    }
}

// The worked example's layer with nodeCount nodes, its left fluid at 60 degC
// so that a melting front runs through it.
LayerInputs meltingExample(int nodeCount) {
    auto parameters = pcm::testing::kExampleParameters;
    auto inputs = pcm::testing::kExampleInputs;
    parameters[5] = nodeCount;
    inputs[1] = 60.0;
    return readLayerInputs(parameters.data(), inputs.data());
}

TEST(fast_solver, matches_the_literal_one_on_the_worked_example) {
    // Realistic: the layer melts from its warm face over many sub-steps, so the
    // front (nodes that need the exponential and nodes that do not) moves.
    for (int nodeCount : {2, 3, 11, 51}) {
        const LayerInputs in = meltingExample(nodeCount);
        const SubStep sub = chooseSubStep(in, 0.25);
        LayerState fast, literal;
        ASSERT_TRUE(createLayer(fast, nodeCount, -10.0));
        ASSERT_TRUE(createLayer(literal, nodeCount, -10.0));
        for (int call = 0; call < 8; ++call) {
            advanceLayer(fast, sub.subStepCount, sub.subStep, in);
            literal::advanceLayer(literal, sub.subStepCount, sub.subStep, in);
            ASSERT_EQ(firstDifference(fast.nodeTemperatures.get(), literal.nodeTemperatures.get(), nodeCount), -1)
                << "N=" << nodeCount << " call " << call;
            ASSERT_EQ(firstDifference(fast.nextTemperatures.get(), literal.nextTemperatures.get(), nodeCount), -1);
        }
    }
}

TEST(fast_solver, allocates_nothing_while_advancing) {
    LayerInputs in = meltingExample(201);
    LayerState state;
    ASSERT_TRUE(createLayer(state, 201, 20.0));
    const SubStep sub = chooseSubStep(in, 0.25);
    const std::size_t before = allocationCount;
    advanceLayer(state, 500, sub.subStep, in);   // a front enters from the warm face
    in.peakTemperature = 20.0;
    advanceLayer(state, 50, sub.subStep, in);    // every node near the peak
    in.peakTemperature = 200.0;
    advanceLayer(state, 50, sub.subStep, in);    // none
    EXPECT_EQ(allocationCount, before);
}

// The proof behind the threshold, checked on numbers: right below it the
// peak term leaves the base specific heat as it is, for bases and peaks over
// the whole range of doubles, including the adversarial ones (a base that is
// a power of two has its nearest neighbour below at half the usual spacing;
// a negative peak rounds towards it).
TEST(peak_skip_threshold, peak_term_cannot_change_the_base_below_it) {
    std::mt19937_64 rng(12345);
    std::uniform_int_distribution<int> exponent(-1022, 1023);
    std::uniform_int_distribution<int> shape(0, 3);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    auto draw = [&](int e) {
        switch (shape(rng)) {
            case 0: return std::ldexp(1.0, e);
            case 1: return std::ldexp(1.0 + 0x1p-52, e);
            case 2: return std::nextafter(std::ldexp(2.0, e), 0.0);
            default: return std::ldexp(mantissa(rng), e);
        }
    };
    int skipping = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const double base = (trial % 5 == 0 ? -1 : 1) * draw(exponent(rng));
        const double peak = (trial % 3 == 0 ? -1 : 1) * (trial % 7 == 0 ? std::ldexp(mantissa(rng), -1074 + trial % 60)
                                                                       : draw(exponent(rng)));
        const double threshold = detail::peakSkipThreshold(base, peak);
        if (!std::isfinite(threshold)) continue;
        ++skipping;
        // Exponent T T k with T = 1 is exactly k: the law sees x itself.
        double x = std::nextafter(threshold, -kInf);
        for (int k = 0; k < 4; ++k, x = x * 1.5 - 1.0) {
            const MaterialLaw law{base, peak, 0.0, x};
            ASSERT_TRUE(sameValue(effectiveHeatCapacity(law, 1.0), base))
                << "base " << base << " peak " << peak << " exponent " << x;
        }
        const MaterialLaw atMinusInfinity{base, peak, 0.0, -kInf};
        ASSERT_TRUE(sameValue(effectiveHeatCapacity(atMinusInfinity, 1.0), base));
    }
    EXPECT_GT(skipping, 15000);  // the usual case does skip
}

TEST(peak_skip_threshold, only_where_the_proof_holds) {
    // The material of the worked example: the peak term vanishes more than
    // about 6.5 K (exponent -43.4) from the centre of a 4 K2 peak.
    const double usual = detail::peakSkipThreshold(2000.0, 20000.0);
    EXPECT_LT(usual, -40.0);
    EXPECT_GT(usual, -50.0);
    // No peak: the product is a zero for every exponent with a finite exponential.
    EXPECT_EQ(detail::peakSkipThreshold(2000.0, 0.0), -0.7);
    EXPECT_EQ(detail::peakSkipThreshold(2000.0, -0.0), -0.7);
    // Never: a base whose sum with a zero may not be itself, or without a
    // normal spacing; a peak that is not finite; a peak beyond 2^1000 times the base.
    for (double base : {0.0, -0.0, kTiny, -3e-310, kInf, -kInf, kNaN})
        EXPECT_EQ(detail::peakSkipThreshold(base, 20000.0), -kInf) << base;
    for (double peak : {kInf, -kInf, kNaN}) EXPECT_EQ(detail::peakSkipThreshold(2000.0, peak), -kInf) << peak;
    EXPECT_EQ(detail::peakSkipThreshold(1e-300, 1e300), -kInf);
    // Finite at the edges of the range where the proof still holds.
    EXPECT_TRUE(std::isfinite(detail::peakSkipThreshold(kMinNormal, 0x1p-100)));
    EXPECT_TRUE(std::isfinite(detail::peakSkipThreshold(kMax, kTiny)));
    EXPECT_TRUE(std::isfinite(detail::peakSkipThreshold(-2000.0, -20000.0)));
}

}  // namespace
}  // namespace pcm
