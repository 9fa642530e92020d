#include <algorithm>
#include <cmath>
#include <numbers>

#include "verification.h"

namespace pcm::verify {

namespace {

// Sums many small terms of either sign without letting the rounding of the
// running total swamp them (Neumaier's compensated summation): the energy
// balance compares two totals of tens of thousands of sub-step terms.
struct CompensatedSum {
    double sum = 0.0;
    double compensation = 0.0;

    void add(double value) {
        const double t = sum + value;
        if (std::fabs(sum) >= std::fabs(value))
            compensation += (sum - t) + value;
        else
            compensation += (value - t) + sum;
        sum = t;
    }
    double value() const { return sum + compensation; }
};

LayerInputs baseInputs(const Material& m, int nodeCount, double thickness, double initialTemperature) {
    LayerInputs in;
    in.conductivity = m.conductivity;
    in.density = m.density;
    in.baseSpecificHeat = m.baseSpecificHeat;
    in.nodeCount = nodeCount;
    in.thickness = thickness;
    in.initialTemperature = initialTemperature;
    in.peakWidth = 1.0;  // any positive width; the peak height is zero unless set
    in.nodeSpacing = thickness / (static_cast<double>(nodeCount) - 1.0);
    return in;
}

// Heat stored per unit of face area relative to `reference`, J/m2: each node's
// integral of rho c_eff dT over its slice, half slices at the faces.
double storedHeat(const LayerInputs& in, const double* temperatures, const double* reference) {
    const MaterialLaw law = materialLaw(in);
    CompensatedSum total;
    for (int i = 0; i < in.nodeCount; ++i) {
        const bool face = i == 0 || i == in.nodeCount - 1;
        const double slice = face ? 0.5 * in.nodeSpacing : in.nodeSpacing;
        total.add(in.density * slice * specificHeatIntegral(law, in.peakWidth, reference[i], temperatures[i]));
    }
    return total.value();
}

// The heat balance of a run, kept sub-step by sub-step.
struct HeatAccount {
    CompensatedSum heatIn;   // J/m2, net heat into the layer through both faces
    CompensatedSum crossed;  // J/m2, |heat| through each face, summed
    double maxStepRise = 0;  // K, largest change of one node in one sub-step
    double maxPeakStep = 0;  // K, the same, counting only steps that end or pass near the peak
};

// Runs `count` sub-steps one after another, as advanceLayer does inside one
// call (the same working values, so the same temperatures to the last bit),
// adding up the face terms exactly as the scheme applies them: film and flux,
// from the previous sub-step's face temperatures.
void advanceAccounting(LayerState& state, std::int32_t count, double subStep, const LayerInputs& in,
                       std::vector<double>& previous, HeatAccount& account) {
    const int n = state.nodeCount;
    const double peakBand = 2.0 * std::sqrt(in.peakWidth);
    for (std::int32_t k = 0; k < count; ++k) {
        // Fetched anew each sub-step: the solver may hand back either array.
        const double* t = state.nodeTemperatures.get();
        const double left = subStep * (in.leftFilmCoefficient * (in.leftFluidTemperature - t[0]) + in.leftHeatFlux);
        const double right =
            subStep * (in.rightFilmCoefficient * (in.rightFluidTemperature - t[n - 1]) + in.rightHeatFlux);
        account.heatIn.add(left);
        account.heatIn.add(right);
        account.crossed.add(std::fabs(left));
        account.crossed.add(std::fabs(right));
        std::copy_n(t, n, previous.begin());
        advanceLayer(state, 1, subStep, in);
        t = state.nodeTemperatures.get();
        for (int i = 0; i < n; ++i) {
            const double change = std::fabs(t[i] - previous[i]);
            account.maxStepRise = std::max(account.maxStepRise, change);
            // Near the peak: the step's interval comes within two sqrt(width)
            // of the centre, where the specific heat is above base + 2 % of the peak.
            const double lo = std::min(t[i], previous[i]), hi = std::max(t[i], previous[i]);
            if (hi > in.peakTemperature - peakBand && lo < in.peakTemperature + peakBand)
                account.maxPeakStep = std::max(account.maxPeakStep, change);
        }
    }
}

}  // namespace

double isothermPosition(const double* temperatures, int nodeCount, double nodeSpacing, double level) {
    if (temperatures[0] < level) return 0.0;
    for (int i = 1; i < nodeCount; ++i) {
        if (temperatures[i] < level) {
            const double above = temperatures[i - 1] - level;
            return (i - 1) * nodeSpacing + nodeSpacing * above / (temperatures[i - 1] - temperatures[i]);
        }
    }
    return (nodeCount - 1) * nodeSpacing;
}

SteadyStateResult runSteadyState(const SteadyStateCase& c, const Material& m) {
    LayerInputs in = baseInputs(m, c.nodeCount, c.thickness, c.initialTemperature);
    in.peakSpecificHeat = c.peakSpecificHeat;
    in.peakWidth = c.peakWidth;
    in.peakTemperature = c.peakTemperature;
    in.leftFluidTemperature = c.leftFluid;
    in.leftFilmCoefficient = c.leftFilm;
    in.rightFluidTemperature = c.rightFluid;
    in.rightFilmCoefficient = c.rightFilm;

    SteadyStateResult r;
    // Three resistances in series: film, layer, film.  The profile inside the
    // layer is the straight line between the two face temperatures.
    r.heatFlow = (c.leftFluid - c.rightFluid) / (1.0 / c.leftFilm + c.thickness / m.conductivity + 1.0 / c.rightFilm);
    for (int i = 0; i < c.nodeCount; ++i) {
        const double x = i * in.nodeSpacing;
        r.position.push_back(x);
        r.exact.push_back(c.leftFluid - r.heatFlow / c.leftFilm - r.heatFlow * x / m.conductivity);
    }

    LayerState state;
    createLayer(state, c.nodeCount, c.initialTemperature);
    const SubStep sub = chooseSubStep(in, c.hostStepHours);
    const int hostSteps = static_cast<int>(std::lround(c.hours / c.hostStepHours));
    for (int k = 1; k <= hostSteps; ++k) {
        advanceLayer(state, sub.subStepCount, sub.subStep, in);
        double err = 0.0;
        for (int i = 0; i < c.nodeCount; ++i) err = std::max(err, std::fabs(state.nodeTemperatures[i] - r.exact[i]));
        r.timeHours.push_back(k * c.hostStepHours);
        r.maxError.push_back(err);
    }
    r.temperature.assign(state.nodeTemperatures.get(), state.nodeTemperatures.get() + c.nodeCount);
    r.finalMaxError = r.maxError.empty() ? 0.0 : r.maxError.back();
    return r;
}

TransientResult runTransient(const TransientCase& c, const std::vector<double>& eigenvalues, const Material& m) {
    LayerInputs in = baseInputs(m, c.nodeCount, c.thickness, c.initialTemperature);
    in.leftFluidTemperature = c.fluidTemperature;
    in.leftFilmCoefficient = c.filmCoefficient;
    // Right face: no film, no flux, so no heat crosses it.

    TransientResult r;
    r.biot = c.filmCoefficient * c.thickness / m.conductivity;
    const SubStep sub = chooseSubStep(in, c.hostStepHours);
    const std::int32_t count = sub.subStepCount * c.subStepRefinement;
    const double subStep = c.hostStepHours * 3600.0 / count;
    r.subStep = subStep;

    LayerState state;
    createLayer(state, c.nodeCount, c.initialTemperature);
    const double alpha = m.diffusivity();
    const double span = c.initialTemperature - c.fluidTemperature;
    const int hostSteps = static_cast<int>(std::lround(c.hours / c.hostStepHours));
    for (int k = 1; k <= hostSteps; ++k) {
        advanceLayer(state, count, subStep, in);
        const double hours = k * c.hostStepHours;
        const double fourier = alpha * hours * 3600.0 / (c.thickness * c.thickness);
        // The series measures xi from the adiabatic face: the left face is xi = 1.
        const double left = c.fluidTemperature + span * slabTheta(eigenvalues, 1.0, fourier);
        const double right = c.fluidTemperature + span * slabTheta(eigenvalues, 0.0, fourier);
        r.timeHours.push_back(hours);
        r.leftFace.push_back(state.nodeTemperatures[0]);
        r.rightFace.push_back(state.nodeTemperatures[c.nodeCount - 1]);
        r.leftExact.push_back(left);
        r.rightExact.push_back(right);
        const double err = std::max(std::fabs(r.leftFace.back() - left), std::fabs(r.rightFace.back() - right));
        if (hours > c.errorFromHours) r.maxError = std::max(r.maxError, err);
        r.finalError = err;
    }
    return r;
}

EnergyBalanceResult runEnergyBalance(const EnergyBalanceCase& c, const Material& m) {
    LayerInputs in = baseInputs(m, c.nodeCount, c.thickness, c.initialTemperature);
    in.peakSpecificHeat = c.peakSpecificHeat;
    in.peakWidth = c.peakWidth;
    in.peakTemperature = c.peakTemperature;
    in.leftFilmCoefficient = c.leftFilm;
    in.rightFluidTemperature = c.rightFluid;
    in.rightFilmCoefficient = c.rightFilm;

    LayerState state;
    createLayer(state, c.nodeCount, c.initialTemperature);
    const int n = c.nodeCount;
    const std::vector<double> initial(n, c.initialTemperature);
    std::vector<double> previous(n);

    EnergyBalanceResult r;
    HeatAccount account;
    const int hostSteps = static_cast<int>(std::lround(c.hours / c.hostStepHours));
    for (int k = 1; k <= hostSteps; ++k) {
        // The host hands over the inputs of the step being computed: the
        // values at its end.
        const double hours = k * c.hostStepHours;
        const double phase = std::sin(2.0 * std::numbers::pi * hours / 24.0);
        in.leftFluidTemperature = c.leftMean + c.leftSwing * phase;
        in.leftHeatFlux = std::max(0.0, c.solarPeak * phase);

        const SubStep sub = chooseSubStep(in, c.hostStepHours);
        r.subStep = sub.subStep;
        advanceAccounting(state, sub.subStepCount, sub.subStep, in, previous, account);
        r.timeHours.push_back(hours);
        r.heatInHistory.push_back(account.heatIn.value());
        r.storedHistory.push_back(storedHeat(in, state.nodeTemperatures.get(), initial.data()));
    }
    r.heatIn = account.heatIn.value();
    r.heatCrossed = account.crossed.value();
    r.maxStepRise = account.maxStepRise;
    r.maxPeakStep = account.maxPeakStep;
    r.storedChange = r.storedHistory.empty() ? 0.0 : r.storedHistory.back();
    r.imbalance = r.storedChange - r.heatIn;
    r.relativeImbalance = r.heatCrossed > 0.0 ? std::fabs(r.imbalance) / r.heatCrossed : 0.0;
    return r;
}

MeltingFrontResult runMeltingFront(const MeltingFrontCase& c, const Material& m) {
    const double root = std::sqrt(c.peakWidth);
    LayerInputs in = baseInputs(m, c.nodeCount, c.thickness, c.peakTemperature - c.subcoolingWidths * root);
    in.peakWidth = c.peakWidth;
    in.peakSpecificHeat = c.latentHeat / std::sqrt(std::numbers::pi * c.peakWidth);
    in.peakTemperature = c.peakTemperature;
    in.leftFluidTemperature = c.fluidTemperature;
    in.leftFilmCoefficient = c.filmCoefficient;

    MeltingFrontResult r;
    r.stefan = m.baseSpecificHeat * (c.fluidTemperature - c.peakTemperature) / c.latentHeat;
    r.gamma = neumannGamma(r.stefan);
    r.solidStefan = m.baseSpecificHeat * (c.peakTemperature - in.initialTemperature) / c.latentHeat;
    r.twoPhaseGamma = neumannGamma(r.stefan, r.solidStefan);
    const SubStep sub = chooseSubStep(in, c.hostStepHours);
    r.subStep = sub.subStep;

    LayerState state;
    createLayer(state, c.nodeCount, in.initialTemperature);
    std::vector<double> previous(c.nodeCount);
    const std::vector<double> initial(c.nodeCount, in.initialTemperature);
    HeatAccount account;
    const double alpha = m.diffusivity();
    const int hostSteps = static_cast<int>(std::lround(c.hours / c.hostStepHours));
    for (int k = 1; k <= hostSteps; ++k) {
        advanceAccounting(state, sub.subStepCount, sub.subStep, in, previous, account);
        const double hours = k * c.hostStepHours;
        const double exact = 2.0 * r.gamma * std::sqrt(alpha * hours * 3600.0);
        const double front =
            isothermPosition(state.nodeTemperatures.get(), c.nodeCount, in.nodeSpacing, c.peakTemperature);
        r.timeHours.push_back(hours);
        r.front.push_back(front);
        r.exact.push_back(exact);
        const double relative = std::fabs(front - exact) / exact;
        if (hours > c.errorFromHours) r.maxRelativeError = std::max(r.maxRelativeError, relative);
        r.finalRelativeError = relative;
        r.finalError = front - exact;
    }
    if (!r.front.empty()) {
        const double twoPhase = 2.0 * r.twoPhaseGamma * std::sqrt(alpha * r.timeHours.back() * 3600.0);
        r.finalTwoPhaseRelativeError = std::fabs(r.front.back() - twoPhase) / twoPhase;
    }
    r.maxStepRise = account.maxStepRise;
    r.maxPeakStep = account.maxPeakStep;
    r.heatIn = account.heatIn.value();
    r.storedChange = storedHeat(in, state.nodeTemperatures.get(), initial.data());
    r.relativeImbalance = (r.storedChange - r.heatIn) / r.heatIn;
    return r;
}

}  // namespace pcm::verify
