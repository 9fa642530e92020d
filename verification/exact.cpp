#include <cmath>
#include <limits>
#include <numbers>

#include "verification.h"

namespace pcm::verify {

namespace {

// A root of f in [lo, hi] with f(lo), f(hi) of opposite signs: Newton steps,
// replaced by bisection whenever they would leave the bracket, which shrinks
// around the root at every step.
template <class F, class DF>
double bracketedNewton(F f, DF df, double lo, double hi) {
    double flo = f(lo);
    double x = 0.5 * (lo + hi);
    for (int iteration = 0; iteration < 200; ++iteration) {
        const double fx = f(x);
        if (fx == 0.0) return x;
        if ((fx < 0.0) == (flo < 0.0)) {
            lo = x;
            flo = fx;
        } else {
            hi = x;
        }
        double next = x - fx / df(x);
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (std::fabs(next - x) <= 4.0 * std::numeric_limits<double>::epsilon() * std::fabs(x)) return next;
        x = next;
    }
    return x;
}

}  // namespace

std::vector<double> slabEigenvalues(double biot, int count) {
    using std::numbers::pi;
    std::vector<double> roots;
    roots.reserve(static_cast<std::size_t>(count));
    // f = l sin l - Bi cos l is l cos l (l tan l - Bi): the same roots without
    // the poles of tan.  At l = (n - 1) pi it is -Bi (-1)^(n-1), at
    // l = (n - 1) pi + pi / 2 it is l (-1)^(n-1): a sign change in every interval.
    const auto f = [biot](double l) { return l * std::sin(l) - biot * std::cos(l); };
    const auto df = [biot](double l) { return (1.0 + biot) * std::sin(l) + l * std::cos(l); };
    for (int n = 0; n < count; ++n) {
        const double lo = n * pi;
        const double hi = n * pi + 0.5 * pi;
        roots.push_back(bracketedNewton(f, df, lo, hi));
    }
    return roots;
}

double slabTheta(const std::vector<double>& eigenvalues, double xi, double fourier) {
    double sum = 0.0;
    for (double l : eigenvalues) {
        const double decay = std::exp(-l * l * fourier);
        if (decay < 1e-18) break;
        sum += 4.0 * std::sin(l) / (2.0 * l + std::sin(2.0 * l)) * decay * std::cos(l * xi);
    }
    return sum;
}

double neumannGamma(double stefan, double solidStefan) {
    // Multiplied through by erf(gamma) erfc(gamma) the condition has no poles:
    // f = Ste_l erfc - Ste_s erf - sqrt(pi) gamma exp(gamma^2) erf erfc is
    // Ste_l > 0 at gamma = 0 and negative for large gamma.  Bisection to the
    // last bit: the root is needed once per case.
    const double rootPi = std::sqrt(std::numbers::pi);
    const auto f = [=](double g) {
        const double e = std::erf(g), ec = std::erfc(g);
        return stefan * ec - solidStefan * e - rootPi * g * std::exp(g * g) * e * ec;
    };
    double lo = 0.0, hi = 1.0;
    while (f(hi) > 0.0) {
        lo = hi;
        hi *= 2.0;
    }
    for (int iteration = 0; iteration < 2000; ++iteration) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi) break;
        (f(mid) > 0.0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

double specificHeatIntegral(const MaterialLaw& law, double peakWidth, double from, double to) {
    const double root = std::sqrt(peakWidth);
    const double peak = law.peakSpecificHeat * 0.5 * std::sqrt(std::numbers::pi) * root *
                        (std::erf((to - law.peakTemperature) / root) - std::erf((from - law.peakTemperature) / root));
    return law.baseSpecificHeat * (to - from) + peak;
}

double observedOrder(double coarseError, double fineError, double ratio) {
    return std::log(coarseError / fineError) / std::log(ratio);
}

}  // namespace pcm::verify
