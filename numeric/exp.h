// The exponential function, correctly rounded to nearest for every double,
// computed with IEEE double operations alone.
//
// The material law takes one exponential per node and sub-step, and results
// must be the same to the last bit on every platform.  A C runtime's exp is
// only "nearly" correctly rounded, and on 32-bit Windows it runs on the x87
// unit, whose precision depends on the calling thread's control word.  This
// one depends on nothing but IEEE double arithmetic in round-to-nearest (the
// default), with no fused multiply-add, no wider format and no library call.
#pragma once

#include <cstddef>

namespace pcm::numeric {

// e^x rounded to the nearest double (ties to even, which exp never meets
// for a finite non-zero x).  exp(±0) = 1, exp(-inf) = +0, exp(+inf) = +inf,
// NaN gives NaN; results beyond the largest double are +inf, results below
// half the smallest subnormal are +0, and subnormal results are rounded once,
// to the subnormal grid.  Raises no error; may set the IEEE status flags.
double exp(double x);

// y[i] = exp(x[i]) for i < n, bit for bit the same as the scalar function.
// y may be the same array as x (in place); other overlaps are not allowed.
// The common path runs over the array without branches so the compiler can
// vectorise it; the rare arguments it cannot settle are redone one by one.
void expBatch(const double* x, double* y, std::size_t n);

namespace detail {

// The fast path alone: returns true and sets y when its error bound proves
// that y is the correctly rounded value, false otherwise (about 1 argument
// in 10^4).  Exposed for tests and benchmarks.
bool expFast(double x, double& y);

// The accurate path alone: correctly rounded for every double; about two
// microseconds per call.  Exposed so tests can check it on its own.
double expAccurate(double x);

// Lanes per step that expBatch uses on this processor: 8 (AVX-512F),
// 4 (AVX2) or 2 (SSE2, and every other target).
int batchLanes();

// expBatch with a chosen number of lanes (2, 4 or 8), so tests and
// benchmarks can run each variant.  Returns false, doing nothing, when the
// processor lacks that width.
bool expBatchWithLanes(int lanes, const double* x, double* y, std::size_t n);

}  // namespace detail

}  // namespace pcm::numeric
