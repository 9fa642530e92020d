#include "layer.h"

#include "exp.h"

#include <cmath>
#include <new>

namespace pcm {

std::int32_t truncateNodeCount(double parameter) {
    // -2^31 - 1 < x < 2^31 is exactly the set of doubles whose truncation fits;
    // the comparisons are false for NaN.
    if (parameter > -2147483649.0 && parameter < 2147483648.0) return static_cast<std::int32_t>(parameter);
    return INT32_MIN;
}

bool isUsableNodeCount(double parameter) { return parameter >= 1.0 && parameter < 2147483648.0; }

LayerInputs readLayerInputs(const double* parameters, const double* inputs) {
    LayerInputs in;
    in.conductivity = parameters[0];
    in.density = parameters[1];
    in.baseSpecificHeat = parameters[2];
    in.peakSpecificHeat = parameters[3];
    in.peakWidth = parameters[4];
    in.nodeCount = truncateNodeCount(parameters[5]);
    in.thickness = parameters[6];
    in.initialTemperature = parameters[7];
    in.peakTemperature = inputs[0];
    in.leftFluidTemperature = inputs[1];
    in.leftFilmCoefficient = inputs[2];
    in.leftHeatFlux = inputs[3];
    in.rightFluidTemperature = inputs[4];
    in.rightFilmCoefficient = inputs[5];
    in.rightHeatFlux = inputs[6];
    // Subtracting in double is exact for every 32-bit count and cannot
    // overflow, unlike nodeCount - 1 in integers at INT32_MIN.
    in.nodeSpacing = in.thickness / (static_cast<double>(in.nodeCount) - 1.0);
    return in;
}

bool createLayer(LayerState& state, std::int32_t nodeCount, double initialTemperature) {
    releaseLayer(state);
    if (nodeCount < 1) return false;
    const auto n = static_cast<std::size_t>(nodeCount);
    std::unique_ptr<double[]> current(new (std::nothrow) double[n]());
    std::unique_ptr<double[]> next(new (std::nothrow) double[n]());
    std::unique_ptr<double[]> exponents(new (std::nothrow) double[n + kExponentPadding]());
    if (!current || !next || !exponents) return false;
    for (std::size_t i = 0; i < n; ++i) current[i] = initialTemperature;
    state.nodeTemperatures = std::move(current);
    state.nextTemperatures = std::move(next);
    state.peakExponents = std::move(exponents);
    state.nodeCount = nodeCount;
    return true;
}

void releaseLayer(LayerState& state) {
    state.nodeTemperatures.reset();
    state.nextTemperatures.reset();
    state.peakExponents.reset();
    state.nodeCount = 0;
}

MaterialLaw materialLaw(const LayerInputs& in) {
    return {in.baseSpecificHeat, in.peakSpecificHeat, in.peakTemperature, -1.0 / in.peakWidth};
}

double effectiveHeatCapacity(const MaterialLaw& law, double T) {
    const double d = T - law.peakTemperature;
    return law.baseSpecificHeat + law.peakSpecificHeat * numeric::exp(d * d * law.k);
}

SubStep chooseSubStep(const LayerInputs& in, double hostStepHours) {
    const double lambda = in.conductivity;
    const double rho = in.density;
    const double c = in.baseSpecificHeat;
    const double dx = in.nodeSpacing;

    const double c1 = dx * c * rho;       // heat capacity of a full slice per face area
    const double c2 = dx * c * dx * rho;  // c1 * dx, formed in this order

    double stableStep = c2 / (2.0 * lambda);
    const double leftBound = 1.0 / (2.0 * in.leftFilmCoefficient / c1 + 2.0 * lambda / c2);
    const double rightBound = 1.0 / (2.0 * in.rightFilmCoefficient / c1 + 2.0 * lambda / c2);
    // Strict tests: an equal bound or a NaN on either side keeps the current one.
    if (leftBound < stableStep) stableStep = leftBound;
    if (rightBound < stableStep) stableStep = rightBound;

    const double count = std::ceil(hostStepHours / stableStep * 3600.0);
    // An infinite, NaN or out-of-range count advances nothing.
    std::int32_t subStepCount = 0;
    if (count >= -2147483648.0 && count <= 2147483647.0) subStepCount = static_cast<std::int32_t>(count);

    const double subStep = hostStepHours * 3600.0 / static_cast<double>(subStepCount);
    return {stableStep, subStepCount, subStep};
}

}  // namespace pcm
