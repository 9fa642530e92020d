// Internals of the layer solver, exposed for its tests and benchmarks.
#pragma once

namespace pcm::detail {

// The exponent below which the peak term of the material law cannot change
// the specific heat:  for every exponent x < peakSkipThreshold(base, peak)
// (x as the law forms it, (T - Tp) (T - Tp) k),
//
//     base + peak * exp(x) == base   (the same bits),
//
// so the exponential need not be evaluated.  Minus infinity, so that no
// exponent is below it, where the law must always be evaluated: a base that
// is zero, subnormal, infinite or NaN, a peak that is infinite or NaN, or a
// peak so much larger than the base that the bound does not fit the range of
// doubles.  The proof is beside the definition.
double peakSkipThreshold(double baseSpecificHeat, double peakSpecificHeat);

}  // namespace pcm::detail
