// The reference: MPFR's exponential rounded to nearest in double's format,
// subnormals included.
#pragma once

#include <mpfr.h>

namespace pcm::test {

// MPFR numbers have no subnormals; with the exponent range of doubles
// (emin = -1073, emax = 1024 in MPFR's convention of significands in
// [1/2, 1)) and mpfr_subnormalize after the operation, results below 2^-1022
// are rounded once, to the subnormal grid, as a double would be.
class MpfrExp {
public:
    MpfrExp() {
        savedEmin_ = mpfr_get_emin();
        savedEmax_ = mpfr_get_emax();
        mpfr_set_emin(-1073);
        mpfr_set_emax(1024);
        mpfr_init2(value_, 53);
    }
    ~MpfrExp() {
        mpfr_clear(value_);
        mpfr_set_emin(savedEmin_);
        mpfr_set_emax(savedEmax_);
        mpfr_free_cache();
    }
    MpfrExp(const MpfrExp&) = delete;
    MpfrExp& operator=(const MpfrExp&) = delete;

    double operator()(double x) {
        mpfr_set_d(value_, x, MPFR_RNDN);  // exact: 53 bits
        int ternary = mpfr_exp(value_, value_, MPFR_RNDN);
        ternary = mpfr_subnormalize(value_, ternary, MPFR_RNDN);
        return mpfr_get_d(value_, MPFR_RNDN);  // exact: already a double
    }

private:
    mpfr_t value_;
    mpfr_exp_t savedEmin_;
    mpfr_exp_t savedEmax_;
};

}  // namespace pcm::test
