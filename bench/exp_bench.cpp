// The correctly rounded exponential against the C runtime's (glibc's) exp,
// per element, on two argument mixes:
//  * material law: (T - Tp)^2 * (-1/peakWidth) with peakWidth 4 K^2 for node
//    temperatures within 15 K of the peak, and one node in ten far away
//    (up to 200 K, where the result is 0 or subnormal) - a run's mix;
//  * uniform: x uniform in [-746, 0], the whole range of the law.
// Scalar calls in a loop, then the batched form (the widest lanes this
// processor has, and each width on its own).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "exp.h"

namespace {

constexpr std::size_t kCount = 1 << 16;  // enough for the rare slow path to weigh in as in a run

// The same fixed sequence on every run.
std::uint64_t nextBits(std::uint64_t& state) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return state >> 11;
}
double between(std::uint64_t& state, double low, double high) {
    return low + (high - low) * (static_cast<double>(nextBits(state)) * 0x1p-53);
}

const std::vector<double>& materialLawMix() {
    static const std::vector<double> x = [] {
        std::vector<double> v(kCount);
        std::uint64_t state = 7;
        const double k = -1.0 / 4.0;
        for (std::size_t i = 0; i < kCount; ++i) {
            const double d = i % 10 == 9 ? between(state, -200.0, 200.0) : between(state, -15.0, 15.0);
            v[i] = d * d * k;
        }
        return v;
    }();
    return x;
}

const std::vector<double>& uniformMix() {
    static const std::vector<double> x = [] {
        std::vector<double> v(kCount);
        std::uint64_t state = 11;
        for (double& e : v) e = between(state, -746.0, 0.0);
        return v;
    }();
    return x;
}

const std::vector<double>& mix(std::int64_t which) { return which == 0 ? materialLawMix() : uniformMix(); }
const char* mixName(std::int64_t which) { return which == 0 ? "material law" : "uniform [-746,0]"; }

void finish(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kCount));
    state.SetLabel(mixName(state.range(0)));
}

void BM_exp_glibc(benchmark::State& state) {
    const std::vector<double>& x = mix(state.range(0));
    std::vector<double> y(kCount);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kCount; ++i) y[i] = std::exp(x[i]);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    finish(state);
}

void BM_exp_ours_scalar(benchmark::State& state) {
    const std::vector<double>& x = mix(state.range(0));
    std::vector<double> y(kCount);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kCount; ++i) y[i] = pcm::numeric::exp(x[i]);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    finish(state);
}

void BM_exp_ours_batch(benchmark::State& state) {
    const std::vector<double>& x = mix(state.range(0));
    std::vector<double> y(kCount);
    for (auto _ : state) {
        pcm::numeric::expBatch(x.data(), y.data(), kCount);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    finish(state);
    state.counters["lanes"] = pcm::numeric::detail::batchLanes();
}

// Each width on its own: 2 lanes (SSE2) is what the 32-bit Windows module
// has; 4 and 8 run where the processor has AVX2 or AVX-512F.
void BM_exp_ours_batch_lanes(benchmark::State& state) {
    const std::vector<double>& x = mix(state.range(0));
    const int lanes = static_cast<int>(state.range(1));
    std::vector<double> y(kCount);
    if (!pcm::numeric::detail::expBatchWithLanes(lanes, x.data(), y.data(), 0)) {
        state.SkipWithError("this processor lacks that width");
        return;
    }
    for (auto _ : state) {
        pcm::numeric::detail::expBatchWithLanes(lanes, x.data(), y.data(), kCount);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    finish(state);
}

BENCHMARK(BM_exp_glibc)->Arg(0)->Arg(1);
BENCHMARK(BM_exp_ours_scalar)->Arg(0)->Arg(1);
BENCHMARK(BM_exp_ours_batch)->Arg(0)->Arg(1);
BENCHMARK(BM_exp_ours_batch_lanes)->ArgsProduct({{0, 1}, {2, 4, 8}});

}  // namespace

BENCHMARK_MAIN();
