// Feeds the component's entry whatever a host could hand it, in whatever order:
// a fuzz input is decoded into the simulation's start time and step and then a
// sequence of calls, each with its own info values, unit number, time and
// changes to the unit's parameters and inputs.  Every call is checked against
// what the host may rely on:
//
//   - the entry returns 1;
//   - the entry writes info(6), (9), (10) and (12) only, with the values its
//     call kind gives them, and leaves the other info elements, the time, the
//     parameters, the inputs and the fourth and fifth arrays as they were;
//   - outputs are written by time-step calls only: 0.0 before the start time
//     plus half a step or when the unit holds no layer, otherwise the first
//     and last node temperatures of the unit's layer;
//   - a unit holds a layer exactly from an initialization call with a usable
//     node count to its end-of-run call, with the node count and temperatures
//     that call gave it; no call disturbs another unit's layer, and a layer
//     that cannot advance (one node, a sub-step count of 0 or less) keeps its
//     temperatures to the last bit;
//   - every MESSAGES call carries lengths equal to the texts' own, within the
//     host's buffers (799 and 11 characters); an initialization call sends
//     exactly one message (the notice, or "FATAL" for an unusable node count)
//     and one TYPECK, other calls none.
//
// Every host array is a heap block of exactly its size (the fourth and fifth
// of size zero), so AddressSanitizer catches a single element read or written
// beyond it.
//
// Input format (bytes read in order; a missing byte reads as 0 and ends the
// sequence): one byte choosing start time and step, then per call a kind byte,
// a unit byte, a time byte and a change-count byte, followed by the changes.
// make_entry_seeds.py writes the seeds in this format.
//
// Cost guard: the module has no upper limit on the node count or the sub-step
// count, and a legal layer of 10^9 nodes or a call of 10^9 sub-steps would be
// correct but would take memory and minutes the fuzzer does not have.  Node
// counts are therefore generated up to about 1000 (or far beyond 32 bits,
// where they must be refused), and a time-step call whose sub-steps times
// nodes exceed a budget is not made.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "layer.h"
#include "stand_in_kernel.h"
#include "type471.h"

namespace pcm::fuzz {
namespace {

[[noreturn]] void fail(const char* what, int call) {
    std::fprintf(stderr, "entry fuzzer: call %d: %s\n", call, what);
    std::abort();
}

#define EXPECT(cond, what)                 \
    do {                                   \
        if (!(cond)) fail((what), callNo); \
    } while (0)

// PCM_FUZZ_TRACE=1 prints every call, for reading a reproducer.
const bool kTrace = std::getenv("PCM_FUZZ_TRACE") != nullptr;

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// Reads the fuzz input front to back; past its end every read gives 0.
struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;

    bool done() const { return pos >= size; }
    std::uint8_t byte() { return pos < size ? data[pos++] : 0; }
    std::uint64_t u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= std::uint64_t{byte()} << (8 * i);
        return v;
    }
    std::int32_t i32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= std::uint32_t{byte()} << (8 * i);
        return static_cast<std::int32_t>(v);
    }
    double f64() { return std::bit_cast<double>(u64()); }
};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();
constexpr double kMin = std::numeric_limits<double>::min();

// The values that break arithmetic: NaN, infinities, signed zeros,
// subnormals, extremes and a few plain ones.
constexpr double kSpecial[] = {kNaN, kInf, -kInf, 0.0,  -0.0, kTiny, -kTiny, kMin, kMax, -kMax,
                               1e300, 1e-300, -1.0, 1.0, 0.5, 2.0,  1e6,    -1e6, 1e-9, 4.9e-310};
constexpr int kSpecialCount = sizeof kSpecial / sizeof kSpecial[0];

// A value for a parameter or input slot whose plain value is `plain`:
// a special value, the plain value scaled by 0.5 to 2.5, or any 64 bits.
double pickValue(Reader& in, double plain) {
    const std::uint8_t sel = in.byte();
    if (sel < 128) return kSpecial[sel % kSpecialCount];
    if (sel < 192) return plain * (0.5 + (sel - 128) / 32.0);
    return in.f64();
}

// Node counts that must be refused: below 1, NaN, and beyond 32 bits.
constexpr double kBadNodeCounts[] = {0.0,           -0.0,         0.999,        -1.0,   -5.5,  kNaN,
                                     kInf,          -kInf,        2147483648.0, 2147483648.5, 4294967296.0, 1e10,
                                     1e19,          kMax,         -2147483648.0, -2147483649.0, kTiny, -2147483649.5};
constexpr int kBadNodeCountCount = sizeof kBadNodeCounts / sizeof kBadNodeCounts[0];

// Largest node count generated that a layer accepts: see the cost guard.
constexpr double kMaxGeneratedNodes = 1000.0;

double pickNodeCount(Reader& in) {
    const std::uint8_t sel = in.byte();
    if (sel < 64) return 1 + sel % 12;                           // the usual few nodes
    if (sel < 96) return 1 + (sel - 64) * 31;                    // up to 962
    if (sel < 112) return 1 + sel % 12 + (sel & 1 ? 0.5 : 0.999);  // truncated toward zero
    if (sel < 160) return kBadNodeCounts[sel % kBadNodeCountCount];
    double v = in.f64();
    // A legal count beyond what the fuzzer can afford becomes a small one.
    if (v > kMaxGeneratedNodes && v < 2147483648.0) v = std::fmod(v, kMaxGeneratedNodes);
    return v;
}

// info values: the meaningful ones and the extremes, or any 32 bits.
constexpr std::int32_t kInfoValues[] = {-2, -1, 0, 1, 2, 3, 100, -3, INT32_MIN, INT32_MAX};

std::int32_t pickInfo(Reader& in) {
    const std::uint8_t sel = in.byte();
    if (sel < 200) return kInfoValues[sel % 10];
    return in.i32();
}

std::int32_t pickUnit(Reader& in) {
    const std::uint8_t sel = in.byte();
    if (sel < 200) return 1 + sel % 3;
    static constexpr std::int32_t kOdd[] = {0, -1, INT32_MIN, INT32_MAX, 471};
    if (sel < 250) return kOdd[sel % 5];
    return in.i32();
}

// The host's arrays of one unit, which persist between its calls as a
// host's do, starting from the worked example.
struct HostArrays {
    double parameters[kParameterCount] = {0.2, 800, 2000, 20000, 4, 11, 0.02, 20};
    double inputs[kInputCount] = {25, 30, 8, 100, 18, 25, 0};
    std::int32_t typeNumber = 471;
};

// What the harness expects a unit to hold.
struct UnitModel {
    bool holdsLayer = false;
    std::int32_t nodeCount = 0;
    std::vector<double> temperatures;  // as seen after the unit's latest call
};

// Sub-steps times nodes of one call, and of one input, above which a call is
// skipped (see the cost guard above).
constexpr double kCallBudget = 50000.0;
constexpr double kInputBudget = 400000.0;

// A heap copy of exactly n elements, so any access beyond it is caught.
template <class T>
std::unique_ptr<T[]> exactCopy(const T* values, std::size_t n) {
    std::unique_ptr<T[]> copy(new T[n]);
    for (std::size_t i = 0; i < n; ++i) copy[i] = values[i];
    return copy;
}

std::vector<double> layerTemperatures(const LayerState* state) {
    if (!state || !state->holdsLayer()) return {};
    return std::vector<double>(state->nodeTemperatures.get(), state->nodeTemperatures.get() + state->nodeCount);
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!sameBits(a[i], b[i])) return false;
    return true;
}

void runSequence(Reader& in) {
    int callNo = 0;

    // Start time and step, hours.
    static constexpr double kTimes[][2] = {{0, 0.25}, {0, 1}, {0, 1.0 / 60}, {8760, 0.5}, {-24, 0.1}, {0.5, 1e-3}};
    double start = 0, step = 0.25;
    const std::uint8_t timesSel = in.byte();
    if (timesSel < 200) {
        start = kTimes[timesSel % 6][0];
        step = kTimes[timesSel % 6][1];
    } else if (timesSel < 240) {
        start = pickValue(in, 0.0);
        step = pickValue(in, 0.25);
    } else {
        start = in.f64();
        step = in.f64();
    }
    standin::setSimulationStartTime(start);
    standin::setSimulationTimeStep(step);
    const double halfStepAfterStart = start + 0.5 * step;

    std::map<std::int32_t, HostArrays> hosts;
    std::map<std::int32_t, UnitModel> models;
    double spent = 0;

    for (callNo = 1; callNo <= 200 && !in.done(); ++callNo) {
        const std::uint8_t kind = in.byte();
        const std::int32_t unit = pickUnit(in);
        HostArrays& host = hosts[unit];
        UnitModel& model = models[unit];

        // info(7), info(8), info(13) for the kind of call.
        std::int32_t callKind = 0, endOfRun = 0, converged = 0;
        bool scramble = false;
        switch (kind % 8) {
            case 0: callKind = -2; break;
            case 1: callKind = -1; break;
            case 2: break;
            case 3: callKind = 1 + (kind >> 3) % 5; break;
            case 4: callKind = (kind >> 3) % 3; converged = 1 + (kind >> 5); break;
            case 5: endOfRun = -1; converged = (kind >> 3) & 1; break;
            case 7: scramble = true; [[fallthrough]];
            case 6:
                callKind = pickInfo(in);
                endOfRun = pickInfo(in);
                converged = pickInfo(in);
                break;
        }

        const std::uint8_t timeSel = in.byte();
        double time;
        if (timeSel < 128) {
            time = start + (timeSel % 16) * step;
        } else if (timeSel < 160) {
            const double kNearHalf[] = {halfStepAfterStart, std::nextafter(halfStepAfterStart, -kInf),
                                               std::nextafter(halfStepAfterStart, kInf)};
            time = kNearHalf[timeSel % 3];
        } else if (timeSel < 192) {
            time = kSpecial[timeSel % kSpecialCount];
        } else {
            time = in.f64();
        }

        const int changes = in.byte() % 4;
        for (int c = 0; c < changes; ++c) {
            const int slot = in.byte() % (kParameterCount + kInputCount);
            if (slot == 5)
                host.parameters[5] = pickNodeCount(in);
            else if (slot < kParameterCount)
                host.parameters[slot] = pickValue(in, HostArrays{}.parameters[slot]);
            else
                host.inputs[slot - kParameterCount] = pickValue(in, HostArrays{}.inputs[slot - kParameterCount]);
        }

        std::int32_t info[standin::kInfoSize];
        for (int k = 0; k < standin::kInfoSize; ++k) info[k] = 1000 + k;  // elements the host keeps for itself
        info[0] = unit;
        info[1] = host.typeNumber;
        info[6] = callKind;
        info[7] = endOfRun;
        info[12] = converged;
        if (scramble) {
            host.typeNumber = in.i32();
            info[1] = host.typeNumber;
            for (int k : {2, 3, 4, 5, 8, 9, 10, 11, 13, 14}) info[k] = in.i32();
        }

        // Dispatch as the host's info values select it.
        enum class Kind { version, endOfRun, afterConvergence, initialization, timeStep };
        const Kind expected = callKind == -2   ? Kind::version
                              : endOfRun == -1 ? Kind::endOfRun
                              : converged > 0  ? Kind::afterConvergence
                              : callKind == -1 ? Kind::initialization
                                               : Kind::timeStep;

        const LayerInputs layerInputs = readLayerInputs(host.parameters, host.inputs);
        const SubStep sub = chooseSubStep(layerInputs, step);
        const bool advances = expected == Kind::timeStep && model.holdsLayer && !(time < halfStepAfterStart) &&
                              sub.subStepCount > 0 && model.nodeCount >= 2;
        if (advances) {
            const double cost = static_cast<double>(sub.subStepCount) * model.nodeCount;
            if (cost > kCallBudget || spent + cost > kInputBudget) continue;
            spent += cost;
        }

        // The call, with every array a heap block of exactly its size.
        auto timeArg = exactCopy(&time, 1);
        auto inputs = exactCopy(host.inputs, kInputCount);
        const double sentinel[kOutputCount] = {-999.0, -998.0};
        auto outputs = exactCopy(sentinel, kOutputCount);
        auto parameters = exactCopy(host.parameters, kParameterCount);
        auto infoArg = exactCopy(info, standin::kInfoSize);
        std::unique_ptr<double[]> fourth(new double[0]);
        std::unique_ptr<double[]> fifth(new double[0]);

        const std::size_t messagesBefore = standin::messageCalls().size();
        const std::size_t typecksBefore = standin::typeckCalls().size();

        const std::int32_t result = TYPE471(timeArg.get(), inputs.get(), outputs.get(), fourth.get(), fifth.get(),
                                            parameters.get(), infoArg.get());

        if (kTrace)
            std::fprintf(stderr,
                         "call %d: unit %d info(7)=%d info(8)=%d info(13)=%d time %.17g nodeCount %.17g "
                         "thickness %.17g subStepCount %d outputs %.17g %.17g\n",
                         callNo, unit, callKind, endOfRun, converged, time, host.parameters[5], host.parameters[6],
                         sub.subStepCount, outputs[0], outputs[1]);
        EXPECT(result == 1, "the entry returned something other than 1");
        EXPECT(sameBits(timeArg[0], time), "the time was changed");
        for (int i = 0; i < kInputCount; ++i) EXPECT(sameBits(inputs[i], host.inputs[i]), "an input was changed");
        for (int i = 0; i < kParameterCount; ++i)
            EXPECT(sameBits(parameters[i], host.parameters[i]), "a parameter was changed");

        // info: four elements written, the rest as the host left them.
        std::int32_t infoExpected[standin::kInfoSize];
        std::memcpy(infoExpected, info, sizeof info);
        infoExpected[5] = kOutputCount;
        infoExpected[8] = expected == Kind::initialization ? 1 : 0;
        infoExpected[9] = 0;
        if (expected == Kind::version) infoExpected[11] = 16;
        for (int k = 0; k < standin::kInfoSize; ++k)
            EXPECT(infoArg[k] == infoExpected[k], "an info element has an unexpected value");

        // The model of what each unit holds after the call.
        if (expected == Kind::endOfRun) {
            model = UnitModel{};
        } else if (expected == Kind::initialization) {
            if (isUsableNodeCount(host.parameters[5])) {
                model.holdsLayer = true;
                model.nodeCount = truncateNodeCount(host.parameters[5]);
                model.temperatures.assign(static_cast<std::size_t>(model.nodeCount), host.parameters[7]);
            } else {
                model = UnitModel{};
            }
        }

        const LayerState* state = detail::findUnitState(unit);
        if (model.holdsLayer) {
            EXPECT(state && state->holdsLayer(), "a unit lost its layer");
            EXPECT(state->nodeCount == model.nodeCount, "a layer's node count changed");
            EXPECT(state->unitNumber == unit, "a layer is filed under another unit");
            EXPECT(state->typeNumber == info[1], "a layer did not take the type number of the latest call");
            EXPECT(std::memchr(state->noticeText, '\0', sizeof state->noticeText), "the notice text is not terminated");
            if (expected == Kind::initialization) {
                for (std::int32_t i = 0; i < state->nodeCount; ++i)
                    EXPECT(sameBits(state->nextTemperatures[i], 0.0), "a new layer's scratch is not zero");
            }
        } else {
            EXPECT(!state || !state->holdsLayer(), "a unit holds a layer it should not");
        }
        const std::vector<double> now = layerTemperatures(state);
        if (!advances) EXPECT(sameBits(now, model.temperatures), "a layer changed on a call that must not move it");
        model.temperatures = now;
        for (auto& [other, otherModel] : models) {
            if (other == unit) continue;
            const LayerState* otherState = detail::findUnitState(other);
            EXPECT(otherModel.holdsLayer == (otherState && otherState->holdsLayer()),
                   "a call changed whether another unit holds a layer");
            EXPECT(sameBits(layerTemperatures(otherState), otherModel.temperatures),
                   "a call changed another unit's layer");
        }

        // Outputs: written by time-step calls alone.
        if (expected == Kind::timeStep) {
            if (time < halfStepAfterStart || !model.holdsLayer) {
                EXPECT(sameBits(outputs[0], 0.0) && sameBits(outputs[1], 0.0),
                       "outputs are not 0.0 before the start or without a layer");
            } else {
                EXPECT(sameBits(outputs[0], now.front()) && sameBits(outputs[1], now.back()),
                       "outputs are not the layer's face temperatures");
            }
        } else {
            EXPECT(sameBits(outputs[0], sentinel[0]) && sameBits(outputs[1], sentinel[1]),
                   "a call other than a time step wrote the outputs");
        }

        // Messages: one per initialization, each within the host's buffers.
        const auto& messages = standin::messageCalls();
        for (std::size_t m = messagesBefore; m < messages.size(); ++m) {
            const standin::MessageCall& msg = messages[m];
            EXPECT(msg.errorCode == -1, "a message with an error code other than -1");
            EXPECT(msg.messageLength >= 0 && static_cast<std::size_t>(msg.messageLength) == msg.message.size(),
                   "a message length that is not the text's");
            EXPECT(msg.severityLength >= 0 && static_cast<std::size_t>(msg.severityLength) == msg.severity.size(),
                   "a severity length that is not the text's");
            EXPECT(msg.messageLength <= 799 && msg.severityLength <= 11, "a text longer than the host's buffer");
            EXPECT(msg.unitNumber == unit && msg.typeNumber == info[1], "a message names another unit or type");
        }
        const std::size_t sent = messages.size() - messagesBefore;
        const std::size_t checks = standin::typeckCalls().size() - typecksBefore;
        if (expected == Kind::initialization) {
            EXPECT(sent == 1, "an initialization call did not send exactly one message");
            const bool usable = isUsableNodeCount(host.parameters[5]);
            EXPECT(messages.back().severity == (usable ? "NOTICE" : "FATAL"), "the message has the wrong severity");
            if (usable) {
                EXPECT(messages.back().message.rfind("Casovy krok pro numericky vypocet PCM byl zvolen ", 0) == 0,
                       "the notice has the wrong text");
                EXPECT(messages.back().message.size() <= 99, "the notice overran its 100-character buffer");
            }
            EXPECT(checks == 1, "an initialization call did not call TYPECK once");
            const standin::TypeckCall& check = standin::typeckCalls().back();
            EXPECT(check.option == 1 && check.inputCount == kInputCount && check.parameterCount == kParameterCount &&
                       check.derivativeCount == 0,
                   "TYPECK was given the wrong counts");
            EXPECT(check.info[8] == 1 && check.info[5] == kOutputCount && check.info[9] == 0,
                   "TYPECK saw info before the entry set it");
        } else {
            EXPECT(sent == 0 && checks == 0, "a call other than initialization sent a message or a check");
        }
    }
}

}  // namespace
}  // namespace pcm::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Each input is one fresh run: no layer, an empty kernel record.
    pcm::detail::releaseAllUnits();
    standin::reset();
    pcm::fuzz::Reader in{data, size};
    pcm::fuzz::runSequence(in);
    // Nothing may outlive the run: libFuzzer's leak check counts what is left.
    pcm::detail::releaseAllUnits();
    standin::reset();
    return 0;
}
