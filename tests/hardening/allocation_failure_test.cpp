// The entry when memory runs out: a host process that cannot give the layer
// its node arrays (or the unit its record) must get a clear message and a unit
// without a layer, never a crash, a leak or a half-built layer.
//
// This program replaces the global allocation functions with malloc/free ones
// that can be told to refuse the next non-throwing allocation, the kind the
// component makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "host_driver.h"
#include "stand_in_kernel.h"
#include "type471.h"

namespace {

// Non-throwing allocations to let through before refusing one; -1 refuses none.
int nothrowAllocationsBeforeFailure = -1;

void* allocate(std::size_t size) { return std::malloc(size ? size : 1); }

void* allocateOrRefuse(std::size_t size) {
    if (nothrowAllocationsBeforeFailure == 0) {
        nothrowAllocationsBeforeFailure = -1;
        return nullptr;
    }
    if (nothrowAllocationsBeforeFailure > 0) --nothrowAllocationsBeforeFailure;
    return allocate(size);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateOrRefuse(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocateOrRefuse(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace pcm::testing {
namespace {

struct OutOfMemory : ::testing::Test {
    void SetUp() override {
        detail::releaseAllUnits();
        standin::reset();
        standin::setSimulationTimeStep(0.25);
    }
    void TearDown() override {
        nothrowAllocationsBeforeFailure = -1;
        detail::releaseAllUnits();
    }
};

struct OutOfMemoryAt : OutOfMemory, ::testing::WithParamInterface<int> {};

// The initialization of a new unit makes three non-throwing allocations: the
// unit's record, then the two node arrays.  Each may be the one refused.
TEST_P(OutOfMemoryAt, initialization_leaves_no_layer_and_says_so) {
    HostUnit other(&TYPE471, 2);
    other.initialize();
    other.step(0.25);
    const double otherLeft = other.outputs[0];
    const std::size_t messagesBefore = standin::messageCalls().size();

    HostUnit unit(&TYPE471, 1);
    nothrowAllocationsBeforeFailure = GetParam();
    EXPECT_EQ(unit.initialize(), 1);
    EXPECT_EQ(nothrowAllocationsBeforeFailure, -1) << "the refusal was not reached";

    EXPECT_EQ(detail::findUnitState(1), nullptr);
    const auto& messages = standin::messageCalls();
    ASSERT_GT(messages.size(), messagesBefore);
    const standin::MessageCall& last = messages.back();
    EXPECT_EQ(last.severity, "FATAL");
    EXPECT_EQ(last.unitNumber, 1);
    EXPECT_NE(last.message.find("nodeCount (parameter 6) = 11:"), std::string::npos) << last.message;
    EXPECT_EQ(static_cast<std::size_t>(last.messageLength), last.message.size());
    EXPECT_EQ(unit.info[8], 1);
    EXPECT_EQ(standin::typeckCalls().size(), 2u);  // the host still checks the counts

    unit.step(0.25);
    EXPECT_EQ(unit.outputs[0], 0.0);
    EXPECT_EQ(unit.outputs[1], 0.0);
    unit.endOfRun(0.25);

    // The other unit's layer runs on untouched.
    ASSERT_NE(detail::findUnitState(2), nullptr);
    EXPECT_EQ(detail::findUnitState(2)->nodeTemperatures[0], otherLeft);

    // Once memory is there again, the same unit starts normally.
    unit.initialize();
    ASSERT_NE(detail::findUnitState(1), nullptr);
    unit.step(0.25);
    EXPECT_EQ(unit.outputs[0], otherLeft);
}

INSTANTIATE_TEST_SUITE_P(unit_record_first_array_second_array, OutOfMemoryAt, ::testing::Values(0, 1, 2));

// A repeated initialization of a unit that holds a layer needs only the
// arrays; refused, it leaves the unit without a layer rather than with the
// old one under a new notice.
TEST_F(OutOfMemory, repeated_initialization_drops_the_earlier_layer) {
    HostUnit unit(&TYPE471, 1);
    unit.initialize();
    unit.step(0.25);
    nothrowAllocationsBeforeFailure = 1;  // the second array
    unit.initialize();
    EXPECT_EQ(detail::findUnitState(1), nullptr);
    EXPECT_EQ(standin::messageCalls().back().severity, "FATAL");
    unit.step(0.5);
    EXPECT_EQ(unit.outputs[0], 0.0);
}

}  // namespace
}  // namespace pcm::testing
