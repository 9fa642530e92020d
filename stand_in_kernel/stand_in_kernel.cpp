#include "stand_in_kernel.h"

#include <map>
#include <tuple>

#include "host_kernel.h"

namespace standin {
namespace {

struct Kernel {
    double startTime = 0.0;
    double timeStep = 1.0;
    long timeStepQueries = 0;
    long startTimeQueries = 0;
    std::map<std::int32_t, std::tuple<std::int32_t, std::int32_t, std::int32_t>> declared;
    std::vector<TypeckCall> typeck;
    std::vector<MessageCall> messages;
};

Kernel& kernel() {
    static Kernel k;
    return k;
}

}  // namespace

void setSimulationStartTime(double hours) { kernel().startTime = hours; }
void setSimulationTimeStep(double hours) { kernel().timeStep = hours; }

void declareUnit(std::int32_t unitNumber, std::int32_t inputs, std::int32_t parameters, std::int32_t derivatives) {
    kernel().declared[unitNumber] = {inputs, parameters, derivatives};
}

const std::vector<TypeckCall>& typeckCalls() { return kernel().typeck; }
const std::vector<MessageCall>& messageCalls() { return kernel().messages; }
long timeStepQueries() { return kernel().timeStepQueries; }
long startTimeQueries() { return kernel().startTimeQueries; }

void reset() { kernel() = Kernel{}; }

}  // namespace standin

extern "C" {

STANDIN_API double TRNSYSFUNCTIONS_mp_GETSIMULATIONTIMESTEP() {
    ++standin::kernel().timeStepQueries;
    return standin::kernel().timeStep;
}

STANDIN_API double TRNSYSFUNCTIONS_mp_GETSIMULATIONSTARTTIME() {
    ++standin::kernel().startTimeQueries;
    return standin::kernel().startTime;
}

STANDIN_API void TYPECK(std::int32_t* option, std::int32_t* info, std::int32_t* inputCount,
                        std::int32_t* parameterCount, std::int32_t* derivativeCount) {
    standin::TypeckCall call{*option, {}, *inputCount, *parameterCount, *derivativeCount, true};
    for (int k = 0; k < standin::kInfoSize; ++k) call.info[k] = info[k];
    const auto& declared = standin::kernel().declared;
    if (auto it = declared.find(info[0]); it != declared.end())
        call.countsMatch = it->second == std::tuple{*inputCount, *parameterCount, *derivativeCount};
    standin::kernel().typeck.push_back(call);
}

STANDIN_API void MESSAGES(std::int32_t* errorCode, char* message, char* severity, std::int32_t* unitNumber,
                          std::int32_t* typeNumber, std::int32_t messageLength, std::int32_t severityLength) {
    standin::kernel().messages.push_back(
        {*errorCode, message, severity, *unitNumber, *typeNumber, messageLength, severityLength});
}
}
