// A stand-in for the host's kernel library, for running the component without
// the host: it answers the start time and time step its driver sets, and
// records every TYPECK and MESSAGES call the component makes.  The component
// sees only the four kernel routines; this interface is for the driver (tests,
// the runner).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#define STANDIN_API __declspec(dllexport)
#else
#define STANDIN_API __attribute__((visibility("default")))
#endif

namespace standin {

// The host's info array has 15 elements; TYPECK records them all.
inline constexpr int kInfoSize = 15;

struct TypeckCall {
    std::int32_t option;
    std::array<std::int32_t, kInfoSize> info;
    std::int32_t inputCount;
    std::int32_t parameterCount;
    std::int32_t derivativeCount;
    // False when the unit was declared with other counts (see declareUnit).
    bool countsMatch;
};

struct MessageCall {
    std::int32_t errorCode;
    std::string message;   // the text up to its terminating zero
    std::string severity;  // likewise
    std::int32_t unitNumber;
    std::int32_t typeNumber;
    std::int32_t messageLength;   // as passed
    std::int32_t severityLength;  // as passed
};

STANDIN_API void setSimulationStartTime(double hours);
STANDIN_API void setSimulationTimeStep(double hours);

// Declares the counts a unit has in the deck; TYPECK compares against them.
// Undeclared units are not checked.
STANDIN_API void declareUnit(std::int32_t unitNumber, std::int32_t inputs, std::int32_t parameters,
                             std::int32_t derivatives);

STANDIN_API const std::vector<TypeckCall>& typeckCalls();
STANDIN_API const std::vector<MessageCall>& messageCalls();
// How often the component asked for the time step and the start time.
STANDIN_API long timeStepQueries();
STANDIN_API long startTimeQueries();

// Forgets the record, the declared units, and resets start 0 h, step 1 h.
STANDIN_API void reset();

}  // namespace standin
