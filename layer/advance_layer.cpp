// The explicit advance of the layer, arranged for speed without changing a bit.
//
// Each sub-step computes, per node i with c_i = effectiveHeatCapacity(T[i]),
//
//   inner  T'[i] = K / (c_i dx dx rho) ((T[i-1] - 2 T[i]) + T[i+1]) + T[i]
//   faces  T'[0] = T[0] + ((K2 / (c_0 dx dx rho) (T[1] - T[0])
//                          + A_L / (c_0 dx rho) (T_L - T[0])) + Q_L / (c_0 dx rho))
//
// (the right face alike), every product left to right.  The cost is in the
// N exponentials and N divisions of a sub-step; everything else is a few
// multiplications and additions.  This file keeps every node's operations
// exactly as written (same operations, same order, same rounding) and only
// changes how they are scheduled:
//
//  * the exponents of all nodes are formed first, then their exponentials in
//    one batch (whose common path runs several arguments at once), then the
//    updates, in loops without dependences between nodes that the compiler
//    turns into SIMD code.  IEEE add, subtract, multiply and divide give the
//    same bits in a vector lane as in a scalar register, and contraction into
//    fused multiply-adds stays off.  The loop that forms the new temperatures
//    also forms their exponents for the next sub-step;
//  * an exponent below peakSkipThreshold cannot change the specific heat (see
//    the proof there), so such a node has the base specific heat without an
//    exponential.  The nodes that need one lie between the first and the last
//    such node (a melting front is one run of nodes); only that run goes
//    through the exponential, and the nodes outside it share the quotients
//    K / (c dx dx rho) etc. at the base specific heat, formed once per call:
//    the literal update computes those very values at each of them.  Inside
//    the run a node below the threshold still takes base + peak exp(x), which
//    is the base by the same proof;
//  * the two node arrays swap roles from one sub-step to the next instead of
//    being copied; at the end both hold the final temperatures, as after the
//    literal element copy.
//
// The scratch lives in LayerState, allocated with the layer: a call never
// allocates.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "advance_detail.h"
#include "exp.h"
#include "layer.h"

// On 64-bit x86 the loops are also built for AVX2 (four doubles at a time
// instead of SSE2's two) and AVX-512F (eight), and chosen at run time.  Only
// the vector width differs: no fused multiply-add is formed (contraction is
// off), so the bits are the same.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define PCM_ADVANCE_WIDE 1
#else
#define PCM_ADVANCE_WIDE 0
#endif

namespace pcm {

namespace detail {

// The binary exponent E of a finite non-zero x, 2^E <= |x| < 2^(E+1), the
// true one for subnormals too, as std::ilogb gives it, but read from the bits:
// MinGW's ilogb computes on the x87 unit, which the Windows module must not.
// |x| by clearing the sign bit: the same value as std::fabs, but in integer
// registers.  32-bit x86 compilers take std::fabs on the x87 unit even when
// all arithmetic is SSE2, and the module keeps its doubles off that unit.
static double magnitude(double x) { return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) & ~(std::uint64_t{1} << 63)); }

static int binaryExponent(double x) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x) & ~(std::uint64_t{1} << 63);
    const int biased = static_cast<int>(bits >> 52);
    if (biased != 0) return biased - 1023;
    return -1011 - std::countl_zero(bits);  // subnormal: 2^-1074 is bit 0, 63 leading zeros
}

// Proof that x < peakSkipThreshold(b, p) gives b + p * exp(x) == b.
//
// Let b be finite, normal and non-zero, p finite, and write Eb, Ep for the
// binary exponents of |b| and |p| (2^Eb <= |b| < 2^(Eb+1), likewise p; p = 0
// is treated below).  Take an integer M with
//
//     M <= Eb - Ep - 58,   -1070 <= M <= -1,
//
// and the threshold fl(M * 0.7).  0.7 exceeds ln 2 = 0.693147... by more than
// 0.0068, far more than the rounding of the product (a relative 2^-53), so
// the threshold is below M ln 2 and x < threshold gives x < M ln 2 (this also
// excludes a NaN x; x = -inf is allowed).
//
//  1. e^x < 2^M, a double (M >= -1074).  The exponential as computed is
//     rounded to nearest (or at least faithfully, to one of the two doubles
//     around e^x), so e = exp(x) <= 2^M <= 1/2: finite, non-negative.
//  2. |p e| < 2^(Ep+1) 2^M.  Rounding to nearest is monotonic and 2^(Ep+M+1)
//     is a double or below half the smallest subnormal (then the product
//     rounds to zero), so t = fl(p e) has |t| <= 2^(Ep+M+1) <= 2^(Eb-57).
//  3. The doubles nearest b lie at least 2^(Eb-53) away from it (that is the
//     spacing below a power of two; Eb >= -1022, so it is a normal spacing).
//     |t| <= 2^(Eb-57) is less than a sixteenth of it, so b + t rounds to b,
//     far from any tie, and a zero t of either sign leaves the non-zero b as
//     it is.
//
// With p = 0 the peak term is a zero for every finite e, and e is finite for
// x < -0.7 (M = -1).  Everything else never skips: a zero b (-0 + +0 is +0,
// not b), a subnormal b (no normal spacing), an infinite or NaN b or p (an
// infinite p times a zero e is a NaN), and M < -1070, where 2^M would not be
// a double (a peak more than 2^1000 times the base).
double peakSkipThreshold(double baseSpecificHeat, double peakSpecificHeat) {
    constexpr double kNever = -std::numeric_limits<double>::infinity();
    const double base = magnitude(baseSpecificHeat);
    const double peak = magnitude(peakSpecificHeat);
    if (!(base >= std::numeric_limits<double>::min() && base <= std::numeric_limits<double>::max())) return kNever;
    if (!(peak <= std::numeric_limits<double>::max())) return kNever;
    int m = -1;
    if (peak != 0.0) {
        m = binaryExponent(base) - binaryExponent(peak) - 58;
        if (m > -1) m = -1;
        if (m < -1070) return kNever;
    }
    return static_cast<double>(m) * 0.7;
}

}  // namespace detail

namespace {

// The values of one call, formed as the literal scheme forms them, and the
// arrays the sub-steps work on.
struct Work {
    double kk, k2, aL, qL, aR, qR;  // K, K2, A_L, Q_L, A_R, Q_R
    double dx, rho, tL, tR;
    double base, peak, tp, k;  // the material law
    double skipBelow;          // exponents below this need no exponential
    // The quotients of the updates at the base specific heat:
    // K / (c dx dx rho), K2 / (c dx dx rho), A / (c dx rho), Q / (c dx rho).
    double baseInner, baseFaceK2, baseLeftA, baseLeftQ, baseRightA, baseRightQ;
    std::size_t n;
    double* current;
    double* next;
    double* exponents;
};

// The widest vector of the batched exponential, in doubles; the exponent
// array has this many elements beyond the last node.
constexpr std::size_t kBatchLanes = kExponentPadding;

// Two doubles in one SSE2 register, for the two face nodes side by side:
// their six divisions take three vector divisions.  Element-wise IEEE
// operations, so each lane rounds as the scalar operation would.
typedef double Pair __attribute__((vector_size(16)));

// Both face nodes from their quotients (lane 0 the left face, lane 1 the
// right), summed as the scheme writes it.
[[gnu::always_inline]] inline void faceUpdates(const Work& w, const double* t, double* next, Pair gK2, Pair gA,
                                               Pair gQ) {
    const std::size_t n = w.n;
    const Pair self = {t[0], t[n - 1]};
    const Pair neighbour = {t[1], t[n - 2]};
    const Pair fluid = {w.tL, w.tR};
    const Pair out = self + ((gK2 * (neighbour - self) + gA * (fluid - self)) + gQ);
    next[0] = out[0];
    next[n - 1] = out[1];
}

// Both face nodes at specific heats c (lane 0 left, lane 1 right).  The
// denominator c dx rho of the film and the flux term is one expression.
[[gnu::always_inline]] inline void faceUpdatesAt(const Work& w, const double* t, double* next, Pair c) {
    const Pair k2 = {w.k2, w.k2};
    const Pair a = {w.aL, w.aR};
    const Pair q = {w.qL, w.qR};
    const Pair cdx = c * w.dx;
    const Pair full = cdx * w.dx * w.rho;
    const Pair half = cdx * w.rho;
    faceUpdates(w, t, next, k2 / full, a / half, q / half);
}

// The exponent of the material law at temperature v, as the law forms it.
[[gnu::always_inline]] inline double exponentAt(const Work& w, double v) {
    const double d = v - w.tp;
    return d * d * w.k;
}

// 1 where the node's exponential is needed: exponent not below the threshold,
// or NaN (quiet comparison: no invalid-operation flag).
[[gnu::always_inline]] inline std::size_t needsExp(const Work& w, double x) {
    return std::isless(x, w.skipBelow) ? 0u : 1u;
}

// Forms the exponents of nodes [0, n) and returns how many need their exponential.
[[gnu::always_inline]] inline std::size_t formExponents(const Work& w, const double* __restrict t,
                                                        double* __restrict x) {
    std::size_t need = 0;
    for (std::size_t i = 0; i < w.n; ++i) {
        x[i] = exponentAt(w, t[i]);
        need += needsExp(w, x[i]);
    }
    return need;
}

// Inner nodes [from, to) at the base specific heat, sharing its quotient;
// forms the new exponents and returns how many need their exponential.
[[gnu::always_inline]] inline std::size_t innerAtBase(const Work& w, const double* __restrict t,
                                                      double* __restrict next, double* __restrict x,
                                                      std::size_t from, std::size_t to) {
    const double g = w.baseInner;
    std::size_t need = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double v = g * ((t[i - 1] - 2.0 * t[i]) + t[i + 1]) + t[i];
        next[i] = v;
        x[i] = exponentAt(w, v);
        need += needsExp(w, x[i]);
    }
    return need;
}

// Inner nodes [from, to) whose x holds the exponential: specific heat
// base + peak x[i].  Replaces x[i] by the new exponent and returns how many
// need their exponential.
[[gnu::always_inline]] inline std::size_t innerAtPeak(const Work& w, const double* __restrict t,
                                                      double* __restrict next, double* __restrict x,
                                                      std::size_t from, std::size_t to) {
    const double kk = w.kk, dx = w.dx, rho = w.rho, base = w.base, peak = w.peak;
    std::size_t need = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double c = base + peak * x[i];
        const double v = kk / (c * dx * dx * rho) * ((t[i - 1] - 2.0 * t[i]) + t[i + 1]) + t[i];
        next[i] = v;
        x[i] = exponentAt(w, v);
        need += needsExp(w, x[i]);
    }
    return need;
}

// One sub-step from w.current into w.next.  On entry x holds the exponents
// of w.current and need counts those that need their exponential; returns
// the same for w.next.
[[gnu::always_inline]] inline std::size_t subStep(Work& w, std::size_t need) {
    const std::size_t n = w.n;
    const double* t = w.current;
    double* next = w.next;
    double* x = w.exponents;

    if (need == 0) {
        // Far from the peak: every quotient the one at the base specific heat.
        faceUpdates(w, t, next, Pair{w.baseFaceK2, w.baseFaceK2}, Pair{w.baseLeftA, w.baseRightA},
                    Pair{w.baseLeftQ, w.baseRightQ});
        need = innerAtBase(w, t, next, x, 1, n - 1);
    } else {
        // The run [lo, hi) from the first to the last node that needs its
        // exponential; the whole layer when every node does.
        std::size_t lo = 0;
        std::size_t hi = n;
        if (need < n) {
            while (!needsExp(w, x[lo])) ++lo;
            while (!needsExp(w, x[hi - 1])) --hi;
        }
        // The batch runs in whole vectors: a remainder would go through the
        // scalar function, several times slower per argument.  The run is
        // widened to a multiple of the widest vector, first over nodes before
        // it (their exponentials are not used: the nodes outside [lo, hi)
        // take the base specific heat), then into the zeros after the last node.
        std::size_t from = lo;
        std::size_t to = lo + (hi - lo + kBatchLanes - 1) / kBatchLanes * kBatchLanes;
        const std::size_t beyond = to - hi;
        from = from > beyond ? from - beyond : 0;
        to = from + (to - lo);
        for (std::size_t i = n; i < to; ++i) x[i] = 0.0;
        numeric::expBatch(x + from, x + from, to - from);
        const double cLeft = lo == 0 ? w.base + w.peak * x[0] : w.base;
        const double cRight = hi == n ? w.base + w.peak * x[n - 1] : w.base;
        faceUpdatesAt(w, t, next, Pair{cLeft, cRight});
        // Inner nodes: [1, a) and [b, n - 1) at the base, [a, b) at the peak.
        const std::size_t a = lo < 1 ? 1 : (lo > n - 1 ? n - 1 : lo);
        const std::size_t b = hi > n - 1 ? n - 1 : (hi < a ? a : hi);
        need = innerAtBase(w, t, next, x, 1, a);
        need += innerAtPeak(w, t, next, x, a, b);
        need += innerAtBase(w, t, next, x, b, n - 1);
    }
    x[0] = exponentAt(w, next[0]);
    x[n - 1] = exponentAt(w, next[n - 1]);
    return need + needsExp(w, x[0]) + needsExp(w, x[n - 1]);
}

[[gnu::always_inline]] inline void runSubSteps(Work& w, std::int32_t subStepCount) {
    std::size_t need = formExponents(w, w.current, w.exponents);
    for (std::int32_t step = 0; step < subStepCount; ++step) {
        need = subStep(w, need);
        std::swap(w.current, w.next);
    }
}

void runSubStepsBaseline(Work& w, std::int32_t subStepCount) { runSubSteps(w, subStepCount); }

#if PCM_ADVANCE_WIDE
[[gnu::target("avx2")]] void runSubStepsAvx2(Work& w, std::int32_t subStepCount) { runSubSteps(w, subStepCount); }

[[gnu::target("avx512f,prefer-vector-width=512")]] void runSubStepsAvx512(Work& w, std::int32_t subStepCount) {
    runSubSteps(w, subStepCount);
}

// Eight lanes pay off only on long layers: on short ones the loops are mostly
// their remainders, and AVX2 is faster (measured, docs/performance.md).
constexpr std::size_t kAvx512From = 128;

int widestVector() {
    static const int lanes = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) return 8;
        if (__builtin_cpu_supports("avx2")) return 4;
        return 2;
    }();
    return lanes;
}
#endif

}  // namespace

void advanceLayer(LayerState& state, std::int32_t subStepCount, double subStep, const LayerInputs& in) {
    if (subStepCount <= 0 || state.nodeCount < 2 || !state.holdsLayer()) return;
    if (!state.nextTemperatures || !state.peakExponents) return;

    const double s = subStep;
    const MaterialLaw law = materialLaw(in);
    Work w{};
    w.aL = s * in.leftFilmCoefficient * 2.0;
    w.qL = s * in.leftHeatFlux * 2.0;
    w.kk = s * in.conductivity;
    w.k2 = w.kk * 2.0;
    w.aR = s * in.rightFilmCoefficient * 2.0;
    w.qR = s * in.rightHeatFlux * 2.0;
    w.dx = in.nodeSpacing;
    w.rho = in.density;
    w.tL = in.leftFluidTemperature;
    w.tR = in.rightFluidTemperature;
    w.base = law.baseSpecificHeat;
    w.peak = law.peakSpecificHeat;
    w.tp = law.peakTemperature;
    w.k = law.k;
    w.skipBelow = detail::peakSkipThreshold(law.baseSpecificHeat, law.peakSpecificHeat);
    const double c = w.base;
    w.baseInner = w.kk / (c * w.dx * w.dx * w.rho);
    w.baseFaceK2 = w.k2 / (c * w.dx * w.dx * w.rho);
    w.baseLeftA = w.aL / (c * w.dx * w.rho);
    w.baseLeftQ = w.qL / (c * w.dx * w.rho);
    w.baseRightA = w.aR / (c * w.dx * w.rho);
    w.baseRightQ = w.qR / (c * w.dx * w.rho);
    w.n = static_cast<std::size_t>(state.nodeCount);
    w.current = state.nodeTemperatures.get();
    w.next = state.nextTemperatures.get();
    w.exponents = state.peakExponents.get();

#if PCM_ADVANCE_WIDE
    const int lanes = widestVector();
    if (lanes == 8 && w.n >= kAvx512From)
        runSubStepsAvx512(w, subStepCount);
    else if (lanes >= 4)
        runSubStepsAvx2(w, subStepCount);
    else
#endif
        runSubStepsBaseline(w, subStepCount);

    // The arrays swapped roles after every sub-step; the final temperatures
    // are in w.current.  Both arrays end up holding them, as after the plain
    // element copy of every sub-step.
    double* other = w.current == state.nodeTemperatures.get() ? state.nextTemperatures.get()
                                                              : state.nodeTemperatures.get();
    std::memcpy(other, w.current, w.n * sizeof(double));
}

}  // namespace pcm
