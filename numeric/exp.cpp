// Correctly rounded exp with IEEE double operations only.
//
// Two paths, after Ziv: a fast one that is accurate to about 2^-67 and proves,
// with a rounding test, that its double is the correctly rounded result (for
// all but about 1 argument in 10^4), and an accurate one for the rest.
//
// Fast path.  x = k ln2/128 + r with k = round(128 x / ln2), |r| <= ln2/256,
// k = 128 e + j, so e^x = 2^e * 2^(j/128) * e^r.  2^(j/128) comes from a table
// as a 26-bit head plus a tail; e^r - 1 = r + r^2 P(r) with the Taylor
// polynomial of degree 6; the head of the table times r is formed exactly by
// Veltkamp splitting (no fused multiply-add is assumed or wanted).  The sum
// yh + yl approximates M = 2^(j/128) e^r, 0.99 < M < 2, within 2^-67 (bound
// below).  If yh + (yl - 2^-67) and yh + (yl + 2^-67) round to the same
// double, so does the exact M, because rounding to nearest is monotonic.
// The exponent is then added to the bits of that double.  Results that are
// subnormal are rounded to the subnormal grid instead (the grid is an integer
// grid after scaling by 2^1074), with the same kind of test.
//
// Accurate path.  Fixed point with eight base-2^24 digits held in doubles
// (value = sum d[i] 2^(-24 i)); every digit product and column sum is an
// integer below 2^53, so the arithmetic is exact except where digits below
// 2^-168 are dropped.  The same reduction, e^r by 15 Horner steps of the
// Taylor series, 2^(j/128) from a table of such numbers, and the rounding
// decided exactly on the fixed-point value: M within 2^-163, far closer
// than e^x comes to a midpoint between doubles (the hardest case listed
// from Lefevre and Muller's exhaustive search of the double arguments,
// x = 0x1.9e9cbbfd6080bp-31, comes within 2^-110.6 of one; tiny arguments,
// where e^x = 1 + x + x^2/2 + ..., within 2^-109, at x = -2^-54).
#include "exp.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace pcm::numeric {

namespace detail {
#include "exp_table.inc"
}  // namespace detail

namespace {

using detail::kInverseFactorial;
using detail::kInvLn2N;
using detail::kLn2NDigits;
using detail::kPow2Digits;
using detail::kLn2NHi;
using detail::kLn2NLo;
using detail::kOverflowAbove;
using detail::kPow2Hi;
using detail::kPow2Lo;
using detail::kSubnormalBelow;
using detail::kZeroBelow;

// The fast path is written once, as a template over the arithmetic type: a
// double, or a vector of 2, 4 or 8 doubles (GCC's vector extension: SSE2,
// AVX2 or AVX-512 registers).  Every operation acts on each lane exactly as
// on a double, rounded once to nearest, so the batched results are the
// scalar ones bit for bit.
template <int N>
struct Lanes;
template <>
struct Lanes<2> {
    using V = double __attribute__((vector_size(16)));
    using U = std::uint64_t __attribute__((vector_size(16)));
};
template <>
struct Lanes<4> {
    using V = double __attribute__((vector_size(32)));
    using U = std::uint64_t __attribute__((vector_size(32)));
};
template <>
struct Lanes<8> {
    using V = double __attribute__((vector_size(64)));
    using U = std::uint64_t __attribute__((vector_size(64)));
};

// The integer type of the same width: the bits of each lane.
template <class V>
struct BitsOf {
    using Type = std::uint64_t;
};
template <>
struct BitsOf<Lanes<2>::V> {
    using Type = Lanes<2>::U;
};
template <>
struct BitsOf<Lanes<4>::V> {
    using Type = Lanes<4>::U;
};
template <>
struct BitsOf<Lanes<8>::V> {
    using Type = Lanes<8>::U;
};
template <class V>
using Bits = typename BitsOf<V>::Type;

template <class V>
[[gnu::always_inline]] inline Bits<V> bitsOf(V v) {
    if constexpr (std::is_same_v<V, double>)
        return std::bit_cast<std::uint64_t>(v);
    else
        return reinterpret_cast<Bits<V>>(v);
}

template <class V>
[[gnu::always_inline]] inline V fromBits(Bits<V> b) {
    if constexpr (std::is_same_v<V, double>)
        return std::bit_cast<double>(b);
    else
        return reinterpret_cast<V>(b);
}

// All ones where the comparison holds, else zero.
template <class V>
[[gnu::always_inline]] inline Bits<V> lessMask(V a, V b) {
    if constexpr (std::is_same_v<V, double>)
        return a < b ? ~std::uint64_t{0} : 0;
    else
        return reinterpret_cast<Bits<V>>(a < b);
}
template <class V>
[[gnu::always_inline]] inline Bits<V> equalMask(V a, V b) {
    if constexpr (std::is_same_v<V, double>)
        return a == b ? ~std::uint64_t{0} : 0;
    else
        return reinterpret_cast<Bits<V>>(a == b);
}

// table[index], lane by lane.
template <class V>
[[gnu::always_inline]] inline V lookUp(const double* table, Bits<V> index) {
    if constexpr (std::is_same_v<V, double>) {
        return table[index];
    } else {
        V v{};
        for (std::size_t lane = 0; lane < sizeof(V) / sizeof(double); ++lane) v[lane] = table[index[lane]];
        return v;
    }
}

// Adding and subtracting 1.5 * 2^52 rounds |v| < 2^51 to an integer, and the
// low bits of the sum hold that integer in two's complement.
constexpr double kShift = 0x1.8p52;
// Veltkamp's constant 2^27 + 1: splits a double into two halves of 26 bits
// (and a sign), whose products with a 26-bit number are exact.
constexpr double kSplit = 134217729.0;

// Taylor coefficients of (e^r - 1 - r) / r^2, each rounded to nearest.
constexpr double kC2 = 0.5;
constexpr double kC3 = 1.0 / 6.0;
constexpr double kC4 = 1.0 / 24.0;
constexpr double kC5 = 1.0 / 120.0;
constexpr double kC6 = 1.0 / 720.0;

// Bound on |M - (yh + yl)| of the fast path, M = 2^(j/128) e^r < 2.
//   reduction: |r - (rh + rl)| <= |k| 2^-97 + 2^-79 <= 2^-78.4 (k < 2^17.1)
//   dropping rl * rh in e^(rh+rl) ~ e^rh (1 + rl):           <= 2^-70.5
//   Taylor remainder of degree 6, |rh| <= 2^-8.53:              <= 2^-72.0
//   evaluating q = rh^2 P(rh) (3.01 ulp of |q| <= 2^-18.06):    <= 2^-69.47
//   so |e^r - 1 - (sh + sl)| <= 2^-68.73, times 2^(j/128) < 2: <= 2^-67.73
//   table tail 2^-80, products and the sum of yl (< 2^-25):    <= 2^-75.9
// Total below 2^-67.7; 2^-67 leaves room for the rounding of yl -+ kErr.
constexpr double kErr = 0x1p-67;

// Arguments are clamped to this range before the reduction so that every
// lane stays finite and k small; the results outside it are selected later.
constexpr double kClampLow = -746.0;
constexpr double kClampHigh = 710.0;

// M = 2^(j/128) e^r as yh + yl, within kErr, and the bits of 2^e placed in
// the exponent field, for x clamped to [kClampLow, kClampHigh].
template <class V, class U>
struct Approximation {
    V yh;
    V yl;
    U exponentBits;
};

template <class V, class U>
[[gnu::always_inline]] inline Approximation<V, U> approximate(V xc) {
    // k = round(128 x / ln2) from the low bits of t.  |k| <= 137,728.
    const V t = xc * kInvLn2N + kShift;
    const V kd = t - kShift;
    const U ki = bitsOf(t) - bitsOf(kShift);

    // r = x - k ln2/128 as rh + rl.  k * kLn2NHi is exact (18 x 35 bits) and so
    // is a = x - k * kLn2NHi: for |k| >= 2 the two are within a factor 2
    // (Sterbenz); for |k| = 1 both are multiples of 2^-61 and |a| < 2^-8.
    // b = k * kLn2NLo is rounded (error <= 2^-79); rh + rl = a - b exactly.
    const V a = xc - kd * kLn2NHi;
    const V b = kd * kLn2NLo;
    const V rh = a - b;
    const V bv = rh - a;
    const V rl = (a - (rh - bv)) - (b + bv);

    // e^rh - 1 = rh + q; sh + sl = rh + q + rl exactly up to 2^-114.
    const V w = rh * rh;
    const V q = w * (kC2 + rh * (kC3 + rh * (kC4 + rh * (kC5 + rh * kC6))));
    const V sh = rh + q;  // |q| < |rh|: Fast2Sum
    const V sl = ((rh - sh) + q) + rl;

    // M = (th + tl)(1 + sh + sl).  th has 26 bits, so th * shHi and th * shLo
    // are exact; yh + e1 = th + th * shHi exactly (Fast2Sum, th >= 1 > |p1|).
    const U j = ki & 127u;
    const V th = lookUp<V>(kPow2Hi, j);
    const V tl = lookUp<V>(kPow2Lo, j);
    const V c = sh * kSplit;
    const V shHi = c - (c - sh);
    const V shLo = sh - shHi;
    const V p1 = th * shHi;
    const V p2 = th * shLo;
    const V yh = th + p1;
    const V e1 = (th - yh) + p1;
    const V yl = e1 + (p2 + (th * sl + (tl + tl * sh)));

    // 2^e in the exponent field: e = (k - j) / 128, shifted to bit 52.
    return {yh, yl, (ki & ~std::uint64_t{127}) << 45};
}

// The fast path without branches: returns the candidate result and sets the
// bits of `unsettled` (all ones) where the rounding test fails.
template <class V, class U>
[[gnu::always_inline]] inline V fastCore(V x, U& unsettled) {
    // Clamped on the bits; NaN becomes +0 (its result is selected at the end).
    const U below = lessMask(x, V{} + kClampLow);
    const U above = lessMask(V{} + kClampHigh, x);
    const U isNan = ~equalMask(x, x);
    const U keep = ~(below | above | isNan);
    const V xc = fromBits<V>((bitsOf(x) & keep) | (bitsOf(kClampLow) & below) | (bitsOf(kClampHigh) & above));
    const auto [yh, yl, exponentBits] = approximate<V, U>(xc);

    // Normal result: round M, then add e to its exponent (exact, M's double
    // lies in [0.99, 2] and the result is normal when x >= kSubnormalBelow).
    const V lowN = yh + (yl - kErr);
    const V highN = yh + (yl + kErr);
    const U normal = bitsOf(lowN) + exponentBits;
    const U settledN = equalMask(lowN, highN);

    // Subnormal result: Z = M 2^(e + 1074) is the result in units of 2^-1074
    // and Z < 2^52; it must be rounded to an integer.  After renormalising
    // yh + yl (Fast2Sum), u = 2^52 + zh rounds zh to an integer and
    // zh - (u - 2^52) is that rounding's exact error.  The margin adds 2^-50
    // for the rounding of d and of d -+ ez (each below 2^-53 of |d| <= 1).
    // In the other lanes the scale is 0, which keeps their arithmetic here
    // away from subnormal numbers (slow on most processors) and gives 0.
    const U isSub = lessMask(x, V{} + kSubnormalBelow);
    const V nh = yh + yl;
    const V nl = (yh - nh) + yl;
    const V scale = fromBits<V>((exponentBits + (std::uint64_t{1074 + 1023} << 52)) & isSub);
    const V zh = nh * scale;
    const V zl = nl * scale;
    const V ez = kErr * scale + 0x1p-50;
    const V u = 0x1p52 + zh;
    const V d = (zh - (u - 0x1p52)) + zl;
    const V lowS = u + (d - ez);
    const V highS = u + (d + ez);
    // lowS = 2^52 + m with 0 <= m <= 2^52: the bits of m are those of the
    // double m 2^-1074 (formed on the bits: arithmetic on subnormal numbers
    // is slow on most processors).
    const U subnormal = bitsOf(lowS) - bitsOf(0x1p52);
    const U settledS = equalMask(lowS, highS);

    // Selects as bit masks: every value above is computed in every lane.
    const V nanResult = x + x;
    const U overflows = lessMask(V{} + kOverflowAbove, x);
    const U vanishes = lessMask(x, V{} + kZeroBelow);
    U y = (subnormal & isSub) | (normal & ~isSub);
    y = (bitsOf(std::numeric_limits<double>::infinity()) & overflows) | (y & ~overflows);
    y = y & ~vanishes;  // +0
    y = (bitsOf(nanResult) & isNan) | (y & ~isNan);
    const U settled = (settledS & isSub) | (settledN & ~isSub) | overflows | vanishes | isNan;
    unsettled = ~settled;
    return fromBits<V>(y);
}

// The batched fast path, leaner than fastCore: no clamp (out-of-range lanes
// compute garbage that is selected away; the table index is masked, so it
// stays in bounds) and no subnormal rounding: those lanes are reported as
// unsettled and redone by the scalar function.
template <class V, class U = Bits<V>>
[[gnu::always_inline]] inline V batchCore(V x, U& unsettled) {
    const auto [yh, yl, exponentBits] = approximate<V, U>(x);
    const V low = yh + (yl - kErr);
    const V high = yh + (yl + kErr);
    const V nanResult = x + x;
    const U isNan = ~equalMask(x, x);
    const U overflows = lessMask(V{} + kOverflowAbove, x);
    const U vanishes = lessMask(x, V{} + kZeroBelow);
    const U isSub = lessMask(x, V{} + kSubnormalBelow) & ~vanishes;
    U y = bitsOf(low) + exponentBits;
    y = (bitsOf(std::numeric_limits<double>::infinity()) & overflows) | (y & ~overflows);
    y = y & ~vanishes;  // +0
    y = (bitsOf(nanResult) & isNan) | (y & ~isNan);
    unsettled = ~(equalMask(low, high) | overflows | vanishes | isNan) | isSub;
    return fromBits<V>(y);
}

// Runs batchCore over the array, N lanes at a time.
template <int N>
[[gnu::always_inline]] inline void batchKernel(const double* x, double* y, std::size_t n) {
    using V = typename Lanes<N>::V;
    using U = typename Lanes<N>::U;
    std::size_t i = 0;
    for (; i + N <= n; i += N) {
        V in;
        std::memcpy(&in, x + i, sizeof in);
        U unsettled;
        const V out = batchCore<V>(in, unsettled);
        std::memcpy(y + i, &out, sizeof out);
        std::uint64_t any = 0;
        for (int lane = 0; lane < N; ++lane) any |= unsettled[lane];
        // A rarely taken branch; `in` still holds the arguments when y == x.
        if (any != 0) [[unlikely]] {
            for (int lane = 0; lane < N; ++lane)
                if (unsettled[lane] != 0) y[i + lane] = exp(in[lane]);
        }
    }
    for (; i < n; ++i) y[i] = exp(x[i]);
}

// ---------------------------------------------------------------------------
// Accurate path: fixed point with base-2^24 digits in doubles.

constexpr int kDigits = 8;
constexpr double kRadix = 0x1p24;
constexpr double kInvRadix = 0x1p-24;
constexpr double kDigitWeight[kDigits] = {1.0,      0x1p-24,  0x1p-48,  0x1p-72,
                                          0x1p-96, 0x1p-120, 0x1p-144, 0x1p-168};

// value = sum d[i] 2^(-24 i).  Normalised: every d[i], i >= 1, an integer
// with |d[i]| <= 2^23 + 16, so the sign of the value is the sign of its
// first non-zero digit (the digits after it sum to less than one unit of
// it) and digit products stay below 2^47.
struct Wide {
    double d[kDigits];
};

inline double nearestInteger(double v) { return (v + kShift) - kShift; }  // |v| < 2^51

// Moves each digit's excess over 2^23 into the digit above, all digits at
// once; two rounds normalise any digits below 2^52 (after the first round
// the carries are below 2^28.1, after the second below 17).  Exact: only
// integers below 2^53 are formed.
// (Inlined with a constant count, so the digits stay in registers.)
template <int Count>
[[gnu::always_inline]] inline void normalise(double* digit) {
    for (int round = 0; round < 2; ++round) {
        double carry[Count];
#pragma GCC unroll 16
        for (int i = 1; i < Count; ++i) carry[i] = nearestInteger(digit[i] * kInvRadix);
#pragma GCC unroll 16
        for (int i = 1; i < Count; ++i) {
            digit[i] -= carry[i] * kRadix;
            digit[i - 1] += carry[i];
        }
    }
}

// Exact for doubles whose last bit is at or above 2^-168; otherwise rounded
// to that digit (error <= 2^-169).  |x| < 2^51.
Wide fromDouble(double x) {
    Wide w{};
    w.d[0] = nearestInteger(x);
    double rest = x - w.d[0];
    for (int i = 1; i < kDigits; ++i) {
        const double v = rest * kRadix;
        w.d[i] = nearestInteger(v);
        rest = v - w.d[i];
    }
    return w;
}

Wide add(const Wide& a, const Wide& b) {
    Wide w{};
    for (int i = 0; i < kDigits; ++i) w.d[i] = a.d[i] + b.d[i];
    normalise<kDigits>(w.d);
    return w;
}

Wide sub(const Wide& a, const Wide& b) {
    Wide w{};
    for (int i = 0; i < kDigits; ++i) w.d[i] = a.d[i] - b.d[i];
    normalise<kDigits>(w.d);
    return w;
}

// Product of two values with digits below 2^24 + 32 (integer parts below
// 2^4), keeping the columns down to 2^-192 and dropping the rest: error
// below 2^-165.2 (the dropped columns hold at most 6 products below 2^48.1
// at 2^-216 and fewer further down; the normalised ninth digit less than
// 2^-169).  Column sums stay below 9 * 2^48.1, hence exact; the result is
// normalised.
Wide mul(const Wide& a, const Wide& b) {
    double col[kDigits + 1];
#pragma GCC unroll 16
    for (int c = 0; c <= kDigits; ++c) {
        double sum = 0.0;
#pragma GCC unroll 16
        for (int i = c < kDigits ? 0 : c - kDigits + 1; i <= c && i < kDigits; ++i) sum += a.d[i] * b.d[c - i];
        col[c] = sum;
    }
    normalise<kDigits + 1>(col);
    Wide w{};
    for (int i = 0; i < kDigits; ++i) w.d[i] = col[i];
    return w;
}

int sign(const Wide& w) {
    for (int i = 0; i < kDigits; ++i) {
        if (w.d[i] > 0) return 1;
        if (w.d[i] < 0) return -1;
    }
    return 0;
}

double approximate(const Wide& w) {
    double s = 0.0;
    for (int i = kDigits - 1; i >= 0; --i) s += w.d[i] * kDigitWeight[i];
    return s;
}

// 2^n for -1022 <= n <= 1023.
inline double pow2(int n) { return fromBits<double>(static_cast<std::uint64_t>(n + 1023) << 52); }

// Rounds m 2^e to the nearest double, 0.5 < m < 2, given m within 2^-150.
double roundScaled(const Wide& m, int e) {
    // The grid of the result in units of 2^e: the binade's ulp for normal
    // results, coarser for subnormal ones (whose grid is 2^-1074).
    const double approx = approximate(m);
    int gridExponent = approx >= 1.0 ? -52 : -53;
    if (-1074 - e > gridExponent) gridExponent = -1074 - e;
    const double grid = pow2(gridExponent);

    // q = nearest integer to m / grid, first from the approximation, then
    // corrected from the exact remainder m - q grid.
    const double scaled = approx * pow2(-gridExponent);
    double q = scaled >= 0x1p52 ? scaled : (scaled + 0x1p52) - 0x1p52;
    Wide rest = sub(m, fromDouble(q * grid));
    const Wide step = fromDouble(grid);
    const Wide half = fromDouble(grid * 0.5);
    for (int i = 0; i < 4 && sign(sub(rest, half)) > 0; ++i) {
        q += 1.0;
        rest = sub(rest, step);
    }
    for (int i = 0; i < 4 && sign(add(rest, half)) < 0; ++i) {
        q -= 1.0;
        rest = add(rest, step);
    }
    // q grid 2^e is a double (or overflows to +inf as it should); scale in
    // two exact steps so neither power of two leaves the normal range.
    const int e1 = e / 2;
    return q * grid * pow2(e1) * pow2(e - e1);
}

}  // namespace

namespace detail {

bool expFast(double x, double& y) {
    std::uint64_t unsettled = 0;
    y = fastCore(x, unsettled);
    return unsettled == 0;
}

double expAccurate(double x) {
    if (x != x) return x + x;
    if (x > kOverflowAbove) return std::numeric_limits<double>::infinity();
    if (x < kZeroBelow) return 0.0;

    // x = k ln2/128 + r, |r| <= 0.00271, k = 128 e + j, with the reduction
    // of the fast path (|k| <= 137,728).  k ln2/128 is formed digit by digit
    // (each product exact, below 2^42); the eighth digit is folded into the
    // seventh place: |r - computed r| < 2^-168.9.
    const double kd = (x * kInvLn2N + kShift) - kShift;
    const auto k = static_cast<std::int32_t>(kd);
    Wide kLn2{};
    for (int i = 0; i < kDigits - 1; ++i) kLn2.d[i + 1] = kd * kLn2NDigits[i];
    kLn2.d[kDigits - 1] += nearestInteger(kd * kLn2NDigits[kDigits - 1] * kInvRadix);
    normalise<kDigits>(kLn2.d);
    const Wide r = sub(fromDouble(x), kLn2);

    // e^r = sum of r^n/n! for n <= 15 by Horner's rule: the remainder is
    // below 2^-179.  Each step adds a normalised coefficient to a normalised
    // product without carrying (digits stay below 2^24 + 32, as mul allows),
    // adds at most 2^-165.2 and damps the earlier errors by |r| < 2^-8; the
    // coefficients are within 2^-169.  Then M = 2^(j/128) e^r (table within
    // 2^-169, one more product; r within 2^-168.9): M is within 2^-163 of
    // its value, and 0.99 < M < 2.
    Wide m{};
    for (int i = 0; i < kDigits; ++i) m.d[i] = kInverseFactorial[15][i];
    for (int n = 14; n >= 0; --n) {
        m = mul(m, r);
        for (int i = 0; i < kDigits; ++i) m.d[i] += kInverseFactorial[n][i];
    }
    const std::int32_t j = k & 127;
    Wide table{};
    for (int i = 0; i < kDigits; ++i) table.d[i] = kPow2Digits[j][i];
    m = mul(table, m);  // normalised
    return roundScaled(m, (k - j) / 128);
}

}  // namespace detail

double exp(double x) {
    // Normal results (false for NaN) take the lean path; the rest, the
    // branch-free one with its special cases.
    if (x >= kSubnormalBelow && x <= kOverflowAbove) [[likely]] {
        const auto [yh, yl, exponentBits] = approximate<double, std::uint64_t>(x);
        const double low = yh + (yl - kErr);
        const double high = yh + (yl + kErr);
        if (low == high) [[likely]]
            return fromBits<double>(bitsOf(low) + exponentBits);
        return detail::expAccurate(x);
    }
    // Far below the peak of the material law the result is 0.
    if (x < kZeroBelow) return 0.0;
    std::uint64_t unsettled = 0;
    const double y = fastCore(x, unsettled);
    if (unsettled != 0) [[unlikely]]
        return detail::expAccurate(x);
    return y;
}

namespace {

void batchSse2(const double* x, double* y, std::size_t n) { batchKernel<2>(x, y, n); }

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PCM_EXP_WIDE_LANES 1
// Wider registers where the processor has them: the same IEEE operations on
// more lanes, so the results do not depend on the choice.  (AVX-512F also
// offers fused multiply-adds, but contraction is off, so none are formed.)
[[gnu::target("avx2")]] void batchAvx2(const double* x, double* y, std::size_t n) { batchKernel<4>(x, y, n); }
[[gnu::target("avx512f")]] void batchAvx512(const double* x, double* y, std::size_t n) {
    batchKernel<8>(x, y, n);
}

bool hasLanes(int lanes) {
    __builtin_cpu_init();
    if (lanes == 8) return __builtin_cpu_supports("avx512f");
    if (lanes == 4) return __builtin_cpu_supports("avx2");
    return lanes == 2;
}
#else
bool hasLanes(int lanes) { return lanes == 2; }
#endif

using BatchFunction = void (*)(const double*, double*, std::size_t);

BatchFunction batchFor(int lanes) {
#ifdef PCM_EXP_WIDE_LANES
    if (lanes == 8) return batchAvx512;
    if (lanes == 4) return batchAvx2;
#endif
    return lanes == 2 ? batchSse2 : nullptr;
}

int widestLanes() {
    for (int lanes = 8; lanes > 2; lanes /= 2)
        if (hasLanes(lanes)) return lanes;
    return 2;
}

}  // namespace

namespace detail {

int batchLanes() {
    static const int lanes = widestLanes();
    return lanes;
}

bool expBatchWithLanes(int lanes, const double* x, double* y, std::size_t n) {
    const BatchFunction batch = hasLanes(lanes) ? batchFor(lanes) : nullptr;
    if (batch == nullptr) return false;
    batch(x, y, n);
    return true;
}

}  // namespace detail

void expBatch(const double* x, double* y, std::size_t n) {
    static const BatchFunction batch = batchFor(detail::batchLanes());
    batch(x, y, n);
}

}  // namespace pcm::numeric
