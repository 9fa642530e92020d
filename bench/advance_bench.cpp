// Cost of advancing the layer, per node update (one node, one sub-step).
//
//   advance/fast/<regime>/N      pcm::advanceLayer, the component's solver
//   advance/literal/<regime>/N   the scheme written node by node (baseline)
//   advance/literal_crt/<regime>/N  the same with the C runtime's exp (not
//                                bit-identical: speed comparison only)
//   exp_loop/N                   the C runtime's exp alone, one call per node
//                                update: what the plain approach cannot beat
//
// Regimes: "near" keeps every node within 2 K of the peak temperature of a
// 4 K2 peak, so every exponential is needed; "far" keeps the layer 30 K below
// it, where no exponential can change the specific heat; "front" spans 40 K
// across the peak, so about a third of the nodes are near it, as in a layer
// melting through.  The material is the worked example's (0.2 W/(m K),
// 800 kg/m3, 2000 + 20000 J/(kg K)), 2 cm thick, at its stable sub-step.
//
// Each iteration restores the same starting profile (N doubles, inside the
// timing, a small fraction of the work) and runs a fixed number of sub-steps,
// so every repetition measures the same work.  The counter "per_update" is
// the time per node update; scripts/bench turns the medians into ratios.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "layer.h"
#include "literal_advance.h"

namespace {

using pcm::LayerInputs;
using pcm::LayerState;

enum class Regime { near, far, front };

const char* name(Regime r) {
    switch (r) {
        case Regime::near: return "near";
        case Regime::far: return "far";
        default: return "front";
    }
}

constexpr double kPeakTemperature = 25.0;

LayerInputs layerInputs(int nodeCount, Regime regime) {
    LayerInputs in;
    in.conductivity = 0.2;
    in.density = 800;
    in.baseSpecificHeat = 2000;
    in.peakSpecificHeat = 20000;
    in.peakWidth = 4;
    in.nodeCount = nodeCount;
    in.thickness = 0.02;
    in.nodeSpacing = in.thickness / (static_cast<double>(nodeCount) - 1.0);
    in.peakTemperature = kPeakTemperature;
    in.leftFilmCoefficient = 8;
    in.rightFilmCoefficient = 25;
    switch (regime) {
        case Regime::near:
            in.leftFluidTemperature = kPeakTemperature + 1.0;
            in.rightFluidTemperature = kPeakTemperature - 1.0;
            break;
        case Regime::far:
            in.leftFluidTemperature = kPeakTemperature - 29.0;
            in.rightFluidTemperature = kPeakTemperature - 31.0;
            break;
        case Regime::front:
            in.leftFluidTemperature = kPeakTemperature + 20.0;
            in.rightFluidTemperature = kPeakTemperature - 20.0;
            break;
    }
    return in;
}

// A starting profile that is not smooth, so that it keeps changing.
std::vector<double> startingProfile(int nodeCount, Regime regime) {
    std::vector<double> t(static_cast<std::size_t>(nodeCount));
    for (int i = 0; i < nodeCount; ++i) {
        const double u = static_cast<double>(i) / (nodeCount - 1);
        const double ripple = std::sin(7.0 * i);
        switch (regime) {
            case Regime::near: t[i] = kPeakTemperature + 1.5 * ripple; break;
            case Regime::far: t[i] = kPeakTemperature - 30.0 + 1.5 * ripple; break;
            case Regime::front: t[i] = kPeakTemperature + 20.0 - 40.0 * u + 0.5 * ripple; break;
        }
    }
    return t;
}

// Sub-steps per iteration: about 20,000 node updates.
int subStepsPerIteration(int nodeCount) { return 20000 / nodeCount + 1; }

void setCounters(benchmark::State& st, int nodeCount, int subSteps) {
    const auto updates = static_cast<std::int64_t>(st.iterations()) * subSteps * nodeCount;
    st.SetItemsProcessed(updates);
    st.counters["per_update"] = benchmark::Counter(static_cast<double>(updates),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <void (*Advance)(LayerState&, std::int32_t, double, const LayerInputs&)>
void advance(benchmark::State& st, int nodeCount, Regime regime) {
    const LayerInputs in = layerInputs(nodeCount, regime);
    const pcm::SubStep sub = pcm::chooseSubStep(in, 0.25);
    const std::vector<double> start = startingProfile(nodeCount, regime);
    const int subSteps = subStepsPerIteration(nodeCount);
    LayerState state;
    if (!pcm::createLayer(state, nodeCount, 0.0)) {
        st.SkipWithError("no memory for the layer");
        return;
    }
    for (auto _ : st) {
        std::memcpy(state.nodeTemperatures.get(), start.data(), start.size() * sizeof(double));
        Advance(state, subSteps, sub.subStep, in);
        benchmark::DoNotOptimize(state.nodeTemperatures[0]);
        benchmark::ClobberMemory();
    }
    setCounters(st, nodeCount, subSteps);
}

// The exponentials of the near regime's starting profile, one call each per
// node update, nothing else.
void expLoop(benchmark::State& st, int nodeCount) {
    const LayerInputs in = layerInputs(nodeCount, Regime::near);
    const std::vector<double> start = startingProfile(nodeCount, Regime::near);
    const double k = -1.0 / in.peakWidth;
    std::vector<double> x(start.size()), y(start.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double d = start[i] - in.peakTemperature;
        x[i] = d * d * k;
    }
    const int subSteps = subStepsPerIteration(nodeCount);
    for (auto _ : st) {
        for (int s = 0; s < subSteps; ++s) {
            for (std::size_t i = 0; i < x.size(); ++i) y[i] = std::exp(x[i]);
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(y.data());
    }
    setCounters(st, nodeCount, subSteps);
}

void registerAll() {
    for (int n : {11, 51, 201}) {
        for (Regime r : {Regime::near, Regime::front, Regime::far}) {
            const std::string suffix = std::string(name(r)) + "/" + std::to_string(n);
            benchmark::RegisterBenchmark(("advance/fast/" + suffix).c_str(),
                                         [n, r](benchmark::State& st) { advance<pcm::advanceLayer>(st, n, r); });
            benchmark::RegisterBenchmark(("advance/literal/" + suffix).c_str(), [n, r](benchmark::State& st) {
                advance<pcm::literal::advanceLayer>(st, n, r);
            });
            benchmark::RegisterBenchmark(("advance/literal_crt/" + suffix).c_str(), [n, r](benchmark::State& st) {
                advance<pcm::literal::advanceLayerWithRuntimeExp>(st, n, r);
            });
        }
        benchmark::RegisterBenchmark(("exp_loop/" + std::to_string(n)).c_str(),
                                     [n](benchmark::State& st) { expLoop(st, n); });
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
