#include "type471.h"

#include <memory>
#include <new>

#include "decimal.h"
#include "host_kernel.h"
#include "notice.h"

namespace pcm {
namespace {

// info(k) of the host, counted from 1.
enum InfoSlot : int {
    kUnitNumber = 0,       // info(1)
    kTypeNumber = 1,       // info(2)
    kOutputCountSlot = 5,  // info(6)
    kCallKind = 6,         // info(7): -2 version, -1 initialization, otherwise iteration
    kEndOfRun = 7,         // info(8): -1 at the end of the run
    kStoredCount = 8,      // info(9)
    kDerivedCount = 9,     // info(10)
    kVersionSlot = 11,     // info(12)
    kConverged = 12,       // info(13): > 0 after convergence
};

constexpr std::int32_t kHostVersion = 16;

// One layer per unit number, so that several PCM layers in one simulation keep
// their own temperatures.  A short singly linked list: a simulation has few
// units, and nodes are allocated without exceptions so that a failed
// allocation is reported rather than fatal.
struct UnitNode {
    LayerState state;
    std::unique_ptr<UnitNode> next;
};

struct UnitList {
    std::unique_ptr<UnitNode> head;
    // Unlinks one node at a time: a recursive chain of destructors could
    // exhaust the stack for a host that created very many units.
    void clear() {
        while (head) head = std::move(head->next);
    }
    ~UnitList() { clear(); }
};

UnitList unitList;
std::unique_ptr<UnitNode>& units = unitList.head;

LayerState* findUnit(std::int32_t unitNumber) {
    for (UnitNode* node = units.get(); node; node = node->next.get())
        if (node->state.unitNumber == unitNumber) return &node->state;
    return nullptr;
}

LayerState* findOrAddUnit(std::int32_t unitNumber) {
    if (LayerState* state = findUnit(unitNumber)) return state;
    std::unique_ptr<UnitNode> node(new (std::nothrow) UnitNode);
    if (!node) return nullptr;
    node->state.unitNumber = unitNumber;
    node->next = std::move(units);
    units = std::move(node);
    return &units->state;
}

void removeUnit(std::int32_t unitNumber) {
    for (std::unique_ptr<UnitNode>* link = &units; *link; link = &(*link)->next) {
        if ((*link)->state.unitNumber == unitNumber) {
            *link = std::move((*link)->next);
            return;
        }
    }
}

void sendFatal(const char* what, double nodeCountParameter, std::int32_t unitNumber, std::int32_t typeNumber) {
    char value[32];
    formatShort(nodeCountParameter, value, sizeof value);
    char message[200];
    std::size_t n = 0;
    const char* const parts[] = {"nodeCount (parameter 6) = ", value, ": ", what, "; no layer was created"};
    for (const char* part : parts)
        for (; *part != '\0' && n + 1 < sizeof message; ++part) message[n++] = *part;
    message[n] = '\0';
    sendNotice(message, kFatalSeverity, unitNumber, typeNumber);
}

void initializeUnit(const LayerInputs& in, const SubStep& sub, double nodeCountParameter, std::int32_t unitNumber,
                    std::int32_t typeNumber) {
    if (!isUsableNodeCount(nodeCountParameter)) {
        removeUnit(unitNumber);
        sendFatal("a layer needs at least 1 node and at most 2147483647", nodeCountParameter, unitNumber, typeNumber);
        return;
    }
    LayerState* state = findOrAddUnit(unitNumber);
    if (!state) {
        sendFatal("out of memory", nodeCountParameter, unitNumber, typeNumber);
        return;
    }
    state->typeNumber = typeNumber;
    formatNotice(sub.subStep, state->noticeText);
    sendNotice(state->noticeText, kNoticeSeverity, unitNumber, typeNumber);
    if (!createLayer(*state, in.nodeCount, in.initialTemperature)) {
        removeUnit(unitNumber);
        sendFatal("the node arrays could not be allocated", nodeCountParameter, unitNumber, typeNumber);
    }
}

}  // namespace

namespace detail {

const LayerState* findUnitState(std::int32_t unitNumber) { return findUnit(unitNumber); }

void releaseAllUnits() { unitList.clear(); }

}  // namespace detail
}  // namespace pcm

std::int32_t TYPE471(double* time, double* inputs, double* outputs, double* /*fourth*/, double* /*fifth*/,
                     double* parameters, std::int32_t* info) {
    using namespace pcm;
    const std::int32_t unitNumber = info[kUnitNumber];
    const std::int32_t typeNumber = info[kTypeNumber];
    LayerState* state = findUnit(unitNumber);
    if (state) state->typeNumber = typeNumber;

    const LayerInputs in = readLayerInputs(parameters, inputs);
    const SubStep sub = chooseSubStep(in, TRNSYSFUNCTIONS_mp_GETSIMULATIONTIMESTEP());

    info[kOutputCountSlot] = kOutputCount;
    info[kStoredCount] = 0;
    info[kDerivedCount] = 0;

    if (info[kCallKind] == -2) {
        info[kVersionSlot] = kHostVersion;
        return 1;
    }
    if (info[kEndOfRun] == -1) {
        removeUnit(unitNumber);
        return 1;
    }
    if (info[kConverged] > 0) return 1;

    if (info[kCallKind] == -1) {
        initializeUnit(in, sub, parameters[5], unitNumber, typeNumber);
        info[kDerivedCount] = 0;
        info[kOutputCountSlot] = kOutputCount;
        info[kStoredCount] = 1;
        std::int32_t option = 1, inputCount = kInputCount, parameterCount = kParameterCount, derivativeCount = 0;
        TYPECK(&option, info, &inputCount, &parameterCount, &derivativeCount);
        return 1;
    }

    const double halfStepAfterStart =
        TRNSYSFUNCTIONS_mp_GETSIMULATIONSTARTTIME() + 0.5 * TRNSYSFUNCTIONS_mp_GETSIMULATIONTIMESTEP();
    if (*time < halfStepAfterStart || !state || !state->holdsLayer()) {
        outputs[0] = 0.0;
        outputs[1] = 0.0;
        return 1;
    }
    advanceLayer(*state, sub.subStepCount, sub.subStep, in);
    outputs[0] = state->nodeTemperatures[0];
    outputs[1] = state->nodeTemperatures[state->nodeCount - 1];
    return 1;
}
