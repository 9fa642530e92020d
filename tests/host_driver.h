// Drives the component's entry as the host does: one record per unit holding
// the host's arrays, and one call per event of the unit's life.
#pragma once

#include <array>
#include <cstdint>

#include "layer.h"

namespace pcm::testing {

using Entry = std::int32_t (*)(double*, double*, double*, double*, double*, double*, std::int32_t*);

// The worked example: a 20 mm layer of 11 nodes with its peak at 25 degC,
// warmed from the left by a 30 degC fluid and 100 W/m2, cooled on the right.
inline constexpr std::array<double, kParameterCount> kExampleParameters = {0.2, 800, 2000, 20000, 4, 11, 0.02, 20};
inline constexpr std::array<double, kInputCount> kExampleInputs = {25, 30, 8, 100, 18, 25, 0};

struct HostUnit {
    Entry entry;
    std::array<double, kParameterCount> parameters = kExampleParameters;
    std::array<double, kInputCount> inputs = kExampleInputs;
    // Sentinels, so that a test sees which outputs a call wrote.
    std::array<double, kOutputCount> outputs = {-999.0, -999.0};
    std::array<std::int32_t, 15> info = {};

    HostUnit(Entry e, std::int32_t unit, std::int32_t type = 471) : entry(e) {
        info[0] = unit;
        info[1] = type;
    }

    std::int32_t call(double time, std::int32_t callKind, std::int32_t endOfRun = 0, std::int32_t converged = 0) {
        info[6] = callKind;
        info[7] = endOfRun;
        info[12] = converged;
        double t = time;
        return entry(&t, inputs.data(), outputs.data(), nullptr, nullptr, parameters.data(), info.data());
    }
    std::int32_t version() { return call(0.0, -2); }
    std::int32_t initialize(double time = 0.0) { return call(time, -1); }
    std::int32_t step(double time, std::int32_t iteration = 0) { return call(time, iteration); }
    std::int32_t afterConvergence(double time) { return call(time, 0, 0, 1); }
    std::int32_t endOfRun(double time) { return call(time, 0, -1); }
};

}  // namespace pcm::testing
