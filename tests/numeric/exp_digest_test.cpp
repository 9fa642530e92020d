// Our exponential gives MPFR's bits on this target too: the digest of a
// fixed sample, whose correctly rounded values the MPFR test checks on a
// machine that has MPFR.  Runs everywhere, 32-bit builds included.
#include <gtest/gtest.h>

#include <vector>

#include "exp.h"
#include "exp_arguments.h"

TEST(exp, sample_has_the_digest_of_the_correctly_rounded_values) {
    std::vector<double> x(pcm::test::kSampleSize);
    pcm::test::fillSample(x.data());
    std::vector<double> scalar(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) scalar[i] = pcm::numeric::exp(x[i]);
    EXPECT_EQ(pcm::test::digestOf(scalar.data(), scalar.size()), pcm::test::kSampleDigest);

    std::vector<double> batched(x.size());
    pcm::numeric::expBatch(x.data(), batched.data(), x.size());
    EXPECT_EQ(pcm::test::digestOf(batched.data(), batched.size()), pcm::test::kSampleDigest);
}
