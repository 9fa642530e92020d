// The order in which the runner calls the component, seen by a spy between
// the runner and the real module and by the stand-in kernel's record.
#include <gtest/gtest.h>

#include <cmath>

#include "runner_test_support.h"
#include "simulation.h"
#include "stand_in_kernel.h"

namespace pcm::testing {
namespace {

struct Call {
    std::int32_t unit, type, kind, endOfRun, converged;
    double time;
    double leftFluid;          // the input the host array held
    std::size_t typeckAdded;   // TYPECK calls the component made during this call
    std::size_t messageAdded;  // MESSAGES calls likewise
};

std::vector<Call> calls;
runner::Entry realEntry = nullptr;

std::int32_t spy(double* time, double* inputs, double* outputs, double* fourth, double* fifth, double* parameters,
                 std::int32_t* info) {
    const std::size_t typecks = standin::typeckCalls().size(), messages = standin::messageCalls().size();
    Call c{info[0], info[1], info[6], info[7], info[12], *time, inputs[1], 0, 0};
    const std::int32_t result = realEntry(time, inputs, outputs, fourth, fifth, parameters, info);
    c.typeckAdded = standin::typeckCalls().size() - typecks;
    c.messageAdded = standin::messageCalls().size() - messages;
    calls.push_back(c);
    return result;
}

constexpr char kTwoUnits[] = R"([simulation]
start = 0.1
stop = 1.0
step = 0.1

[[unit]]
name = "first"
conductivity = 0.2
density = 800
baseSpecificHeat = 2000
peakSpecificHeat = 20000
peakWidth = 4
nodeCount = 11
thickness = 0.02
initialTemperature = 20
peakTemperature = 25
leftFluidTemperature = { file = "ramp.csv", column = "air" }
leftFilmCoefficient = 8
leftHeatFlux = 100
rightFluidTemperature = 18
rightFilmCoefficient = 25
rightHeatFlux = 0

[[unit]]
name = "second"
like = "first"
nodeCount = 5
)";

class runner_protocol : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        ASSERT_EQ(module.open(PCM_MODULE_PATH), "");
        realEntry = module.entry();
        writeText(folder.file("run.toml"), kTwoUnits);
        writeText(folder.file("ramp.csv"), "time,air\n0,10\n2,30\n");
        auto parsed = runner::parseRunFile(folder.file("run.toml"));
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        spec = parsed.value;
        auto loaded = runner::loadRunInputs(spec);
        ASSERT_TRUE(loaded.ok()) << loaded.error;
        inputs = loaded.value;
    }

    ScratchFolder folder{"protocol"};
    runner::Module module;
    runner::RunSpec spec;
    runner::RunInputs inputs;
};

TEST_F(runner_protocol, calls_each_unit_in_the_hosts_order) {
    auto results = runner::simulate(spec, inputs, spy);
    ASSERT_TRUE(results.ok()) << results.error;
    ASSERT_EQ(spec.stepCount, 9u);
    const std::size_t times = spec.stepCount + 1;
    ASSERT_EQ(calls.size(), 2 + 2 + 4 * times + 2);

    std::size_t k = 0;
    for (std::int32_t kind : {-2, -1}) {
        for (std::int32_t unit : {1, 2}) {
            const Call& c = calls[k++];
            EXPECT_EQ(c.unit, unit);
            EXPECT_EQ(c.type, 471);
            EXPECT_EQ(c.kind, kind);
            EXPECT_EQ(c.endOfRun, 0);
            EXPECT_EQ(c.converged, 0);
            EXPECT_EQ(c.time, 0.1);
            // Only the initialization call checks the counts and sends the notice.
            EXPECT_EQ(c.typeckAdded, kind == -1 ? 1u : 0u);
            EXPECT_EQ(c.messageAdded, kind == -1 ? 1u : 0u);
        }
    }
    bool anyDiffersFromASum = false;
    double sum = spec.start;
    for (std::size_t n = 0; n < times; ++n) {
        // Each time from the start, not by adding steps up (which drifts).
        const double t = spec.start + static_cast<double>(n) * spec.step;
        anyDiffersFromASum |= t != sum;
        sum += spec.step;
        for (std::int32_t converged : {0, 1}) {
            for (std::int32_t unit : {1, 2}) {
                const Call& c = calls[k++];
                EXPECT_EQ(c.unit, unit);
                EXPECT_EQ(c.kind, 0);
                EXPECT_EQ(c.endOfRun, 0);
                EXPECT_EQ(c.converged, converged);
                EXPECT_EQ(c.time, t) << "step " << n;
                EXPECT_NEAR(c.leftFluid, 10 + 10 * t, 1e-12);  // the ramp, interpolated
                EXPECT_EQ(c.typeckAdded + c.messageAdded, 0u);
            }
        }
    }
    EXPECT_TRUE(anyDiffersFromASum) << "the period should show the drift of a running sum";
    for (std::int32_t unit : {1, 2}) {
        const Call& c = calls[k++];
        EXPECT_EQ(c.unit, unit);
        EXPECT_EQ(c.endOfRun, -1);
        EXPECT_EQ(c.time, spec.start + 9 * spec.step);
    }

    // The kernel's record: one count check per unit, with the initialization
    // call's info and the counts the deck declares.
    const auto& typeck = standin::typeckCalls();
    ASSERT_EQ(typeck.size(), 2u);
    for (std::size_t u = 0; u < 2; ++u) {
        EXPECT_EQ(typeck[u].info[0], static_cast<std::int32_t>(u + 1));
        EXPECT_EQ(typeck[u].info[6], -1);
        EXPECT_TRUE(typeck[u].countsMatch);
    }
}

// The units run side by side: each keeps its own layer, so the run equals
// each unit run alone.
TEST_F(runner_protocol, units_side_by_side_match_units_run_alone) {
    auto both = runner::simulate(spec, inputs, module.entry());
    ASSERT_TRUE(both.ok()) << both.error;
    for (std::size_t u = 0; u < 2; ++u) {
        runner::RunSpec alone = spec;
        alone.units = {spec.units[u]};
        runner::RunInputs aloneInputs = inputs;
        aloneInputs.sources = {inputs.sources[u]};
        auto single = runner::simulate(alone, aloneInputs, module.entry());
        ASSERT_TRUE(single.ok()) << single.error;
        EXPECT_EQ(single.value.surface[0], both.value.surface[2 * u]);
        EXPECT_EQ(single.value.surface[1], both.value.surface[2 * u + 1]);
    }
    EXPECT_NE(both.value.surface[0], both.value.surface[2]);  // 11 nodes against 5
}

}  // namespace
}  // namespace pcm::testing
