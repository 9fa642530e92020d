// One layer of phase-change material: transient 1-D conduction with an
// effective heat capacity.
//
// Problem.  rho c(T) dT/dt = lambda d2T/dx2 on 0 <= x <= L, where the
// specific heat carries the latent heat as a Gaussian peak,
//
//     c(T) = baseSpecificHeat + peakSpecificHeat exp(-(T - Tp)^2 / peakWidth),
//
// so the peak stores peakSpecificHeat sqrt(pi peakWidth) J/kg beyond the base
// and no melt front has to be tracked.  Each face meets a fluid through a film
// coefficient and absorbs a heat flux (positive into the layer):
//
//     -lambda dT/dx|0 = hL (TL - T0) + qL,   lambda dT/dx|L = hR (TR - TN) + qR.
//
// Discretisation.  N equally spaced nodes, dx = L / (N - 1).  Inner nodes own a
// full slice dx, face nodes a half slice dx/2; the face balances therefore
// carry a factor 2.  Forward Euler in time, each node's specific heat taken at
// its own temperature of the previous sub-step.
//
// Stability.  With C1 = dx c rho and C2 = dx c dx rho (base specific heat: the
// effective one is never smaller, so the bound holds at every temperature):
//
//     inner nodes   s <= C2 / (2 lambda)                 (Fourier number 1/2)
//     face nodes    s <= 1 / (2h / C1 + 2 lambda / C2)
//
// One host step becomes the smallest whole number of equal sub-steps below the
// smallest bound.  Every operation is an IEEE double operation in a fixed order,
// so results are reproducible to the last bit on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pcm {

// The values that drive the layer on one host call, as read from the host's
// parameter and input arrays.  Formed anew on every call.
struct LayerInputs {
    // Parameters
    double conductivity = 0;        // W/(m K)
    double density = 0;             // kg/m3
    double baseSpecificHeat = 0;    // J/(kg K), away from the peak
    double peakSpecificHeat = 0;    // J/(kg K), height of the Gaussian peak
    double peakWidth = 0;           // K2, divisor of the squared distance
    std::int32_t nodeCount = 0;     // nodes across the layer (truncated)
    double thickness = 0;           // m
    double initialTemperature = 0;  // K or degC
    // Inputs
    double peakTemperature = 0;        // K or degC, centre of the peak
    double leftFluidTemperature = 0;   // K or degC
    double leftFilmCoefficient = 0;    // W/(m2 K)
    double leftHeatFlux = 0;           // W/m2, positive into the layer
    double rightFluidTemperature = 0;  // K or degC
    double rightFilmCoefficient = 0;   // W/(m2 K)
    double rightHeatFlux = 0;          // W/m2, positive into the layer
    // Derived
    double nodeSpacing = 0;  // m, thickness / (nodeCount - 1)
};

// Number of slots in the host's arrays.
inline constexpr int kParameterCount = 8;
inline constexpr int kInputCount = 7;
inline constexpr int kOutputCount = 2;

// The node count as the host's double parameter gives it, truncated toward
// zero.  NaN and values outside the 32-bit range give INT32_MIN, as the x86
// truncating conversion does, instead of undefined behaviour.
std::int32_t truncateNodeCount(double parameter);

// True when the parameter truncates to a node count a layer can be built from
// (at least 1 and within 32 bits).
bool isUsableNodeCount(double parameter);

// Reads the eight parameters and seven inputs (host order) and derives the
// node spacing.
LayerInputs readLayerInputs(const double* parameters, const double* inputs);

// Elements of the solver's exponent scratch beyond the last node: the
// exponentials are evaluated in whole vectors of up to this many doubles.
inline constexpr std::size_t kExponentPadding = 8;

// The layer's own state between host calls: its node temperatures and the
// identity of the unit that owns it.
struct LayerState {
    std::int32_t nodeCount = 0;                   // nodes in both arrays, 0 when empty
    std::unique_ptr<double[]> nodeTemperatures;   // current temperatures, index = node
    std::unique_ptr<double[]> nextTemperatures;   // scratch of one sub-step
    // Scratch of the solver, allocated with the node arrays so that advancing
    // the layer never allocates: each node's exponent of the material law,
    // then its exponential; nodeCount + kExponentPadding elements.
    std::unique_ptr<double[]> peakExponents;
    std::int32_t unitNumber = 0;                  // info(1) of the latest call
    std::int32_t typeNumber = 0;                  // info(2) of the latest call
    char noticeText[100] = {};                    // the formatted start-up notice

    bool holdsLayer() const { return nodeTemperatures != nullptr; }
};

// Creates both arrays (next all zero, current at initialTemperature), replacing
// any earlier ones.  Returns false, leaving the state empty, if the arrays
// cannot be allocated or nodeCount is below 1.
bool createLayer(LayerState& state, std::int32_t nodeCount, double initialTemperature);

// Releases both arrays; harmless on an empty layer.
void releaseLayer(LayerState& state);

// The material law's per-call constants.
struct MaterialLaw {
    double baseSpecificHeat;  // J/(kg K)
    double peakSpecificHeat;  // J/(kg K)
    double peakTemperature;   // K or degC
    double k;                 // 1/K2, -1 / peakWidth
};

MaterialLaw materialLaw(const LayerInputs& in);

// Specific heat at temperature T, J/(kg K).
double effectiveHeatCapacity(const MaterialLaw& law, double T);

struct SubStep {
    double stableStep;          // s, smallest of the three stability bounds
    std::int32_t subStepCount;  // sub-steps per host step; <= 0 means none
    double subStep;             // s
};

// The stable sub-step for a host step of hostStepHours.
SubStep chooseSubStep(const LayerInputs& in, double hostStepHours);

// Runs subStepCount sub-steps of length subStep over the layer.  Changes
// nothing when subStepCount <= 0 or the layer holds fewer than two nodes.
// The node count walked is the layer's own (from its creation).
void advanceLayer(LayerState& state, std::int32_t subStepCount, double subStep, const LayerInputs& in);

}  // namespace pcm
