// Runs the units of a run file through the component's entry in the order a
// host calls it, with the stand-in kernel answering start time and step.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "run_file.h"

namespace pcm::runner {

using Entry = std::int32_t (*)(double*, double*, double*, double*, double*, double*, std::int32_t*);

// The type number the units carry in info(2).
inline constexpr std::int32_t kTypeNumber = 471;

// The component's module, loaded as a host loads it.
class Module {
public:
    Module() = default;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module();

    // dlopen()s the library and looks up TYPE471.  Returns an empty string or
    // one error line.
    std::string open(const std::string& path);
    Entry entry() const { return entry_; }

private:
    void* handle_ = nullptr;
    Entry entry_ = nullptr;
};

// One MESSAGES call of the component.
struct LoggedMessage {
    std::string severity;
    std::int32_t unitNumber = 0;
    std::string unitName;  // empty if the number is not one of the run's units
    std::string text;
};

struct RunResults {
    std::vector<double> time;  // h, start + n step
    // surface[2 u] and surface[2 u + 1]: unit u's left and right surface
    // temperature at each time.
    std::vector<std::vector<double>> surface;
    // fluid[2 u] and fluid[2 u + 1]: the left and right fluid temperatures the
    // unit was given at each time.
    std::vector<std::vector<double>> fluid;
    std::vector<LoggedMessage> messages;
};

// Called now and then with the steps done and the steps in all.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

// Runs the whole protocol: version, initialization, time steps with the call
// after convergence, end of run.  Unit k of the run file is unit number k + 1.
// A "FATAL" or "ERROR" message from the component, or a failed count check,
// stops the run with an error line (the units are still ended).
Parsed<RunResults> simulate(const RunSpec& spec, const RunInputs& inputs, Entry entry, const Progress& progress = {});

// For each unit whose outputs stop being finite numbers: the unit and the
// first time it happened.
struct NonFinite {
    std::size_t unit;
    double time;  // h
};
std::vector<NonFinite> findNonFiniteOutputs(const RunResults& results);

}  // namespace pcm::runner
