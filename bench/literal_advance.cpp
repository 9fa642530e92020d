#include "literal_advance.h"

#include <cmath>

namespace pcm::literal {

namespace {

// The material law with the C runtime's exp, otherwise as effectiveHeatCapacity.
double heatCapacityWithRuntimeExp(const MaterialLaw& law, double T) {
    const double d = T - law.peakTemperature;
    return law.baseSpecificHeat + law.peakSpecificHeat * std::exp(d * d * law.k);
}

template <double (*heatCapacity)(const MaterialLaw&, double)>
void advance(LayerState& state, std::int32_t subStepCount, double subStep, const LayerInputs& in) {
    if (subStepCount <= 0 || state.nodeCount < 2 || !state.holdsLayer()) return;

    const double s = subStep;
    const double aL = s * in.leftFilmCoefficient * 2.0;
    const double qL = s * in.leftHeatFlux * 2.0;
    const double kk = s * in.conductivity;
    const double k2 = kk * 2.0;
    const double aR = s * in.rightFilmCoefficient * 2.0;
    const double qR = s * in.rightHeatFlux * 2.0;
    const MaterialLaw law = materialLaw(in);

    const double dx = in.nodeSpacing;
    const double rho = in.density;
    const double tL = in.leftFluidTemperature;
    const double tR = in.rightFluidTemperature;
    const std::int32_t n = state.nodeCount;
    double* t = state.nodeTemperatures.get();
    double* next = state.nextTemperatures.get();

    for (std::int32_t step = 0; step < subStepCount; ++step) {
        const double c0 = heatCapacity(law, t[0]);
        next[0] = t[0] + (k2 / (c0 * dx * dx * rho) * (t[1] - t[0]) + aL / (c0 * dx * rho) * (tL - t[0]) +
                          qL / (c0 * dx * rho));

        for (std::int32_t i = 1; i < n - 1; ++i) {
            const double ci = heatCapacity(law, t[i]);
            next[i] = kk / (ci * dx * dx * rho) * ((t[i - 1] - 2.0 * t[i]) + t[i + 1]) + t[i];
        }

        const double cn = heatCapacity(law, t[n - 1]);
        next[n - 1] = t[n - 1] + (k2 / (cn * dx * dx * rho) * (t[n - 2] - t[n - 1]) +
                                  aR / (cn * dx * rho) * (tR - t[n - 1]) + qR / (cn * dx * rho));

        for (std::int32_t i = 0; i < n; ++i) t[i] = next[i];
    }
}

}  // namespace

void advanceLayer(LayerState& state, std::int32_t subStepCount, double subStep, const LayerInputs& in) {
    advance<pcm::effectiveHeatCapacity>(state, subStepCount, subStep, in);
}

void advanceLayerWithRuntimeExp(LayerState& state, std::int32_t subStepCount, double subStep,
                                const LayerInputs& in) {
    advance<heatCapacityWithRuntimeExp>(state, subStepCount, subStep, in);
}

}  // namespace pcm::literal
