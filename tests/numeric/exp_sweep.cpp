// The long sweep: compares the exponential (scalar and batched) with MPFR on
// a large number of arguments and reports the count, the mismatches, the
// share the fast path could not settle, and the time taken.
//
//     PCM_EXP_SWEEP=100000000 build/<dir>/tests/numeric/exp_sweep
//
// Arguments as in the tests, in these shares: 45 % uniform in [-746, 0],
// 20 % material-law exponents (peak width 4 K^2, nodes within 15 K), 15 %
// subnormal results, 20 % random binades of both signs; the accurate path is
// also checked alone on one argument in 50.  Exits non-zero on any mismatch.
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "exp.h"
#include "exp_arguments.h"
#include "mpfr_exp.h"

int main(int argc, char** argv) {
    const char* setting = argc > 1 ? argv[1] : std::getenv("PCM_EXP_SWEEP");
    const std::uint64_t total = setting != nullptr ? std::strtoull(setting, nullptr, 10) : 10'000'000u;
    pcm::test::ArgumentSource source(20261211);
    pcm::test::MpfrExp reference;
    constexpr std::size_t kChunk = 1 << 16;
    std::vector<double> x(kChunk), batched(kChunk);
    std::uint64_t done = 0, mismatches = 0, unsettled = 0, accurateChecked = 0, accurateWrong = 0;
    const auto start = std::chrono::steady_clock::now();
    while (done < total) {
        const std::size_t count = total - done < kChunk ? static_cast<std::size_t>(total - done) : kChunk;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t pick = (done + i) % 20;
            x[i] = pick < 9    ? source.between(-746.0, 0.0)
                   : pick < 13 ? source.materialLawExponent(4.0, 15.0)
                   : pick < 16 ? source.between(-745.2, -708.3)
                               : source.inBinade(static_cast<int>(source.next() % 1085) - 1074, (pick & 1) != 0);
        }
        pcm::numeric::expBatch(x.data(), batched.data(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const double want = reference(x[i]);
            const double scalar = pcm::numeric::exp(x[i]);
            double fast = 0.0;
            if (!pcm::numeric::detail::expFast(x[i], fast)) ++unsettled;
            const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
            // The accurate path alone on one argument in 50.
            if ((done + i) % 50 == 0) {
                ++accurateChecked;
                const double accurate = pcm::numeric::detail::expAccurate(x[i]);
                if (bits(accurate) != bits(want) && !(accurate != accurate && want != want)) {
                    if (++accurateWrong <= 20) std::printf("accurate path: exp(%a): MPFR %a, got %a\n", x[i], want, accurate);
                }
            }
            const bool nan = want != want && scalar != scalar && batched[i] != batched[i];
            if (!nan && (bits(scalar) != bits(want) || bits(batched[i]) != bits(want))) {
                if (++mismatches <= 20)
                    std::printf("mismatch: exp(%a): MPFR %a, scalar %a, batched %a\n", x[i], want, scalar, batched[i]);
            }
        }
        done += count;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("arguments %llu, mismatches %llu, unsettled by the fast path %llu (1 in %.0f), "
                "accurate path alone on %llu with %llu mismatches, %.1f s, batch width %d\n",
                static_cast<unsigned long long>(done), static_cast<unsigned long long>(mismatches),
                static_cast<unsigned long long>(unsettled),
                unsettled ? static_cast<double>(done) / static_cast<double>(unsettled) : 0.0,
                static_cast<unsigned long long>(accurateChecked), static_cast<unsigned long long>(accurateWrong), seconds,
                pcm::numeric::detail::batchLanes());
    return mismatches == 0 && accurateWrong == 0 ? 0 : 1;
}
