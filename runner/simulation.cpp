#include "simulation.h"

#include <dlfcn.h>

#include <array>
#include <cmath>

#include "stand_in_kernel.h"

namespace pcm::runner {
namespace {

// info(k) of the host, counted from 1.
constexpr int kUnitNumberSlot = 0;  // info(1)
constexpr int kTypeNumberSlot = 1;  // info(2)
constexpr int kCallKindSlot = 6;    // info(7): -2 version, -1 initialization, 0 first iteration
constexpr int kEndOfRunSlot = 7;    // info(8): -1 at the end of the run
constexpr int kConvergedSlot = 12;  // info(13): 1 after convergence

// What the host keeps per unit: its arrays, which live for the whole run.
struct HostUnit {
    std::array<double, kParameterCount> parameters{};
    std::array<double, kInputCount> inputs{};
    std::array<double, kOutputCount> outputs{};
    std::array<std::int32_t, standin::kInfoSize> info{};
};

void call(Entry entry, HostUnit& unit, double time, std::int32_t callKind, std::int32_t endOfRun,
          std::int32_t converged) {
    unit.info[kCallKindSlot] = callKind;
    unit.info[kEndOfRunSlot] = endOfRun;
    unit.info[kConvergedSlot] = converged;
    double t = time;  // the host passes its own copy
    entry(&t, unit.inputs.data(), unit.outputs.data(), nullptr, nullptr, unit.parameters.data(), unit.info.data());
}

void readInputs(const RunSpec& spec, const RunInputs& inputs, std::size_t u, double t, HostUnit& unit) {
    for (int k = 0; k < kInputCount; ++k) unit.inputs[static_cast<std::size_t>(k)] = inputs.value(spec, u, k, t);
}

std::string unitName(const RunSpec& spec, std::int32_t number) {
    if (number < 1 || static_cast<std::size_t>(number) > spec.units.size()) return {};
    return spec.units[static_cast<std::size_t>(number - 1)].name;
}

// The component's messages since the record was reset, and the first one
// that stops a run, if any.
std::string collectMessages(const RunSpec& spec, std::vector<LoggedMessage>& log) {
    std::string stop;
    const auto& calls = standin::messageCalls();
    for (std::size_t k = log.size(); k < calls.size(); ++k) {
        const standin::MessageCall& m = calls[k];
        log.push_back({m.severity, m.unitNumber, unitName(spec, m.unitNumber), m.message});
        if (stop.empty() && (m.severity == "FATAL" || m.severity == "ERROR")) {
            const std::string name = log.back().unitName.empty() ? "unit " + std::to_string(m.unitNumber)
                                                                 : "[[unit]] '" + log.back().unitName + "'";
            stop = spec.runFile + ": " + name + ": the component stopped the run: " + m.severity + ": " + m.message;
        }
    }
    return stop;
}

}  // namespace

Module::~Module() {
    if (handle_) dlclose(handle_);
}

std::string Module::open(const std::string& path) {
    if (handle_) dlclose(handle_);
    entry_ = nullptr;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        return "cannot load the component " + path + ": " + (why ? why : "unknown reason");
    }
    void* symbol = dlsym(handle_, "TYPE471");
    if (!symbol) {
        dlclose(handle_);
        handle_ = nullptr;
        return path + ": exports no TYPE471; expected the component's module";
    }
    entry_ = reinterpret_cast<Entry>(symbol);
    return {};
}

Parsed<RunResults> simulate(const RunSpec& spec, const RunInputs& inputs, Entry entry, const Progress& progress) {
    Parsed<RunResults> result;
    RunResults& out = result.value;
    const std::size_t unitCount = spec.units.size();
    const std::size_t rows = spec.stepCount + 1;

    standin::reset();
    standin::setSimulationStartTime(spec.start);
    standin::setSimulationTimeStep(spec.step);

    std::vector<HostUnit> units(unitCount);
    for (std::size_t u = 0; u < unitCount; ++u) {
        const std::int32_t number = static_cast<std::int32_t>(u + 1);
        units[u].parameters = spec.units[u].parameters;
        units[u].info[kUnitNumberSlot] = number;
        units[u].info[kTypeNumberSlot] = kTypeNumber;
        standin::declareUnit(number, kInputCount, kParameterCount, 0);
        readInputs(spec, inputs, u, spec.start, units[u]);
    }
    out.time.reserve(rows);
    out.surface.assign(2 * unitCount, {});
    out.fluid.assign(2 * unitCount, {});
    for (auto& column : out.surface) column.reserve(rows);
    for (auto& column : out.fluid) column.reserve(rows);

    const auto endRun = [&](double time) {
        for (HostUnit& unit : units) call(entry, unit, time, 0, -1, 0);
    };

    for (HostUnit& unit : units) call(entry, unit, spec.start, -2, 0, 0);
    for (HostUnit& unit : units) call(entry, unit, spec.start, -1, 0, 0);
    std::string stop = collectMessages(spec, out.messages);
    for (const standin::TypeckCall& check : standin::typeckCalls()) {
        if (!stop.empty()) break;
        if (!check.countsMatch)
            stop = spec.runFile + ": [[unit]] '" + unitName(spec, check.info[kUnitNumberSlot]) +
                   "': the component declared " + std::to_string(check.inputCount) + " inputs, " +
                   std::to_string(check.parameterCount) + " parameters and " + std::to_string(check.derivativeCount) +
                   " derivatives; expected 7, 8 and 0";
    }
    if (!stop.empty()) {
        endRun(spec.start);
        collectMessages(spec, out.messages);
        result.error = stop;
        return result;
    }

    for (std::size_t n = 0; n < rows; ++n) {
        // Each time from the start, never by adding steps up, so that a long
        // run does not drift.
        const double t = spec.start + static_cast<double>(n) * spec.step;
        out.time.push_back(t);
        for (std::size_t u = 0; u < unitCount; ++u) {
            HostUnit& unit = units[u];
            readInputs(spec, inputs, u, t, unit);
            call(entry, unit, t, 0, 0, 0);
            out.surface[2 * u].push_back(unit.outputs[0]);
            out.surface[2 * u + 1].push_back(unit.outputs[1]);
            out.fluid[2 * u].push_back(unit.inputs[1]);
            out.fluid[2 * u + 1].push_back(unit.inputs[4]);
        }
        // The units need no iteration: their outputs feed nothing, so the
        // first iteration has converged.
        for (HostUnit& unit : units) call(entry, unit, t, 0, 0, 1);
        if (progress && (n % 512 == 0 || n + 1 == rows)) progress(n + 1, rows);
    }
    endRun(out.time.back());
    stop = collectMessages(spec, out.messages);
    if (!stop.empty()) result.error = stop;
    return result;
}

std::vector<NonFinite> findNonFiniteOutputs(const RunResults& results) {
    std::vector<NonFinite> found;
    for (std::size_t u = 0; 2 * u + 1 < results.surface.size(); ++u) {
        const auto& left = results.surface[2 * u];
        const auto& right = results.surface[2 * u + 1];
        for (std::size_t n = 0; n < results.time.size(); ++n) {
            if (!std::isfinite(left[n]) || !std::isfinite(right[n])) {
                found.push_back({u, results.time[n]});
                break;
            }
        }
    }
    return found;
}

}  // namespace pcm::runner
