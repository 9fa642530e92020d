// Verification of the layer model against exact solutions and conservation.
//
// Each case drives the physics core directly (createLayer, chooseSubStep,
// advanceLayer), exactly as the component does for one unit, so whole node
// profiles and the heat crossing each face are visible.  The cases are:
//
//   steady state      both faces convective, no latent heat: the profile must
//                     settle on the straight line through the film resistances;
//   transient slab    one face convective, the other adiabatic, no latent heat:
//                     face temperatures against the exact eigenfunction series;
//   energy balance    with latent heat: heat through the faces (as the scheme
//                     applies it, sub-step by sub-step) against the change of
//                     the stored heat, integral of rho c_eff(T) dT per slice;
//   melting front     a thick layer just below its peak temperature melted from
//                     one face: the peak-temperature isotherm against the
//                     Neumann solution of the one-phase Stefan problem.
//
// The program pcm-verify runs them at report resolution; the tests run the
// light ones on small grids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layer.h"

namespace pcm::verify {

// ---------------------------------------------------------------- exact solutions

// The first `count` positive roots of lambda tan(lambda) = biot (biot > 0), in
// increasing order.  Root n lies in ((n - 1) pi, (n - 1) pi + pi / 2); each is
// found by Newton steps kept inside a shrinking bracket, on the form
// lambda sin(lambda) - biot cos(lambda), which has no poles.
std::vector<double> slabEigenvalues(double biot, int count);

// Dimensionless temperature (T - Tfluid) / (Tinitial - Tfluid) of a slab of
// thickness L, initially uniform, whose face at xi = 1 meets a fluid through a
// film (Biot number hL / lambda) while the face at xi = 0 is adiabatic:
//
//   theta = sum_n 4 sin(l_n) / (2 l_n + sin(2 l_n)) exp(-l_n^2 Fo) cos(l_n xi),
//
// with Fo = alpha t / L^2 and l_n the roots above.  Terms are summed until the
// exponential factor has fallen below 1e-18 (or the roots run out).
double slabTheta(const std::vector<double>& eigenvalues, double xi, double fourier);

// Neumann's similarity solution of melting from a face held at Ts, for a
// material whose solid and liquid share conductivity and heat capacity: the
// front advances as X = 2 gamma sqrt(alpha t), where gamma solves
//
//   Ste / (exp(g^2) erf g) - SteSolid / (exp(g^2) erfc g) = sqrt(pi) g,
//
// Ste = c (Ts - Tm) / latent and SteSolid = c (Tm - Tinitial) / latent.  With
// SteSolid = 0 (the solid starts at the melting point) this is the one-phase
// problem, g exp(g^2) erf g = Ste / sqrt(pi).
double neumannGamma(double stefan, double solidStefan = 0.0);

// Integral of the layer's specific heat from `from` to `to`, J/kg: the base part
// plus the Gaussian peak integrated with erf.
double specificHeatIntegral(const MaterialLaw& law, double peakWidth, double from, double to);

// ---------------------------------------------------------------- the material

// The layer material used throughout: a paraffin-like PCM board.
struct Material {
    double conductivity = 0.2;       // W/(m K)
    double density = 800.0;          // kg/m3
    double baseSpecificHeat = 2000;  // J/(kg K)

    double diffusivity() const { return conductivity / (density * baseSpecificHeat); }  // m2/s
};

// ---------------------------------------------------------------- 1. steady state

struct SteadyStateCase {
    int nodeCount = 11;
    double thickness = 0.02;                     // m
    double initialTemperature = 20.0;            // degC
    double leftFluid = 30.0, leftFilm = 8.0;     // degC, W/(m2 K)
    double rightFluid = 18.0, rightFilm = 25.0;  // degC, W/(m2 K)
    double peakSpecificHeat = 0.0;               // J/(kg K); the steady profile must not depend on it
    double peakWidth = 4.0;                      // K2
    double peakTemperature = 25.0;               // degC
    double hostStepHours = 0.25;
    double hours = 24.0;  // length of the run
};

struct SteadyStateResult {
    std::vector<double> position;     // m, node positions
    std::vector<double> temperature;  // degC, nodes at the end of the run
    std::vector<double> exact;        // degC, exact steady profile at the nodes
    std::vector<double> timeHours;    // end of each host step
    std::vector<double> maxError;     // K, max over nodes of |T - exact| after each host step
    double finalMaxError = 0;         // K
    double heatFlow = 0;              // W/m2, exact steady flow from left to right
};

SteadyStateResult runSteadyState(const SteadyStateCase& c, const Material& m = {});

// ---------------------------------------------------------------- 2. transient slab

struct TransientCase {
    int nodeCount = 11;
    double thickness = 0.02;           // m
    double initialTemperature = 20.0;  // degC
    double fluidTemperature = 40.0;    // degC, at the left face
    double filmCoefficient = 20.0;     // W/(m2 K), left face; the right face is adiabatic
    double hostStepHours = 1.0 / 60.0;
    double hours = 1.0;
    int subStepRefinement = 1;    // run this many times more sub-steps than the component would
    double errorFromHours = 0.0;  // errors are taken over host steps ending after this time
};

struct TransientResult {
    double biot = 0;     // h L / lambda
    double subStep = 0;  // s, as run
    std::vector<double> timeHours;
    std::vector<double> leftFace, rightFace;    // degC, numerical
    std::vector<double> leftExact, rightExact;  // degC, exact series
    double maxError = 0;                        // K, max over both faces and the sampled times
    double finalError = 0;                      // K, max over both faces at the end of the run
};

// The exact roots are computed once per Biot number by the caller and reused.
TransientResult runTransient(const TransientCase& c, const std::vector<double>& eigenvalues, const Material& m = {});

// ---------------------------------------------------------------- 3. energy balance

// A daily cycle: the left fluid swings around the peak temperature and a solar
// gain falls on the left face in daytime; the right face meets a steady room.
struct EnergyBalanceCase {
    int nodeCount = 11;
    double thickness = 0.02;                     // m
    double initialTemperature = 20.0;            // degC
    double peakSpecificHeat = 20000.0;           // J/(kg K)
    double peakWidth = 4.0;                      // K2
    double peakTemperature = 25.0;               // degC
    double leftMean = 25.0, leftSwing = 10.0;    // degC, fluid = mean + swing sin(2 pi t / 24 h)
    double leftFilm = 8.0;                       // W/(m2 K)
    double solarPeak = 300.0;                    // W/m2, flux = max(0, peak sin(2 pi t / 24 h))
    double rightFluid = 22.0, rightFilm = 25.0;  // degC, W/(m2 K)
    double hostStepHours = 0.25;
    double hours = 48.0;
};

struct EnergyBalanceResult {
    double subStep = 0;            // s
    double heatIn = 0;             // J/m2, net heat into the layer through both faces
    double heatCrossed = 0;        // J/m2, sum of |heat| through each face and sub-step
    double storedChange = 0;       // J/m2, change of stored heat from the material law
    double imbalance = 0;          // J/m2, storedChange - heatIn
    double relativeImbalance = 0;  // |imbalance| / heatCrossed
    double maxStepRise = 0;        // K, largest change of one node in one sub-step
    double maxPeakStep = 0;        // K, the same for steps that end in or pass within 2 sqrt(width) of the peak
    std::vector<double> timeHours;
    std::vector<double> heatInHistory;  // J/m2, running net heat in
    std::vector<double> storedHistory;  // J/m2, running change of stored heat
};

EnergyBalanceResult runEnergyBalance(const EnergyBalanceCase& c, const Material& m = {});

// ---------------------------------------------------------------- 4. melting front

struct MeltingFrontCase {
    int nodeCount = 61;
    double thickness = 0.06;          // m; deep enough that the far face stays solid
    double latentHeat = 150000.0;     // J/kg, = peakSpecificHeat sqrt(pi peakWidth)
    double peakWidth = 1.0;           // K2
    double peakTemperature = 25.0;    // degC, taken as the melting temperature
    double subcoolingWidths = 2.0;    // start this many sqrt(peakWidth) below the peak
    double fluidTemperature = 40.0;   // degC, at the left face
    double filmCoefficient = 5000.0;  // W/(m2 K): large, the face follows the fluid
    double hostStepHours = 1.0 / 12.0;
    double hours = 8.0;
    double errorFromHours = 1.0;  // errors are taken over host steps ending after this time
};

struct MeltingFrontResult {
    double stefan = 0;             // c (Tfluid - Tpeak) / latent heat
    double gamma = 0;              // Neumann root, one-phase (solid at the melting point)
    double solidStefan = 0;        // c (Tpeak - Tinitial) / latent heat
    double twoPhaseGamma = 0;      // Neumann root with the solid starting below the peak
    double subStep = 0;            // s
    double maxStepRise = 0;        // K, largest change of one node in one sub-step
    double maxPeakStep = 0;        // K, the same for steps that end in or pass within 2 sqrt(width) of the peak
    double heatIn = 0;             // J/m2, heat that entered through the heated face
    double storedChange = 0;       // J/m2, change of stored heat from the material law
    double relativeImbalance = 0;  // (storedChange - heatIn) / heatIn, signed
    std::vector<double> timeHours;
    std::vector<double> front;    // m, peak-temperature isotherm, interpolated between nodes
    std::vector<double> exact;    // m, Neumann front
    double maxRelativeError = 0;  // max |front - exact| / exact over the sampled times
    double finalRelativeError = 0;
    double finalError = 0;                  // m, front - exact at the end (signed)
    double finalTwoPhaseRelativeError = 0;  // |front - two-phase front| / two-phase front at the end
};

MeltingFrontResult runMeltingFront(const MeltingFrontCase& c, const Material& m = {});

// Where the profile first falls below `level` going from the left face,
// interpolated linearly between the two nodes that straddle it; 0 if the face
// itself is below, the thickness if no node is.
double isothermPosition(const double* temperatures, int nodeCount, double nodeSpacing, double level);

// ---------------------------------------------------------------- helpers

// log2(coarseError / fineError) for a halving of the grid spacing.
double observedOrder(double coarseError, double fineError, double ratio = 2.0);

}  // namespace pcm::verify
