// The entry driven as the host drives it, through whole runs.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

#include "host_driver.h"
#include "stand_in_kernel.h"
#include "type471.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace pcm::testing {
namespace {

// The worked example's face temperatures after one, two and three advancing
// calls with the same inputs: exact to the last bit.
constexpr double kExampleLeft[3] = {24.92222845091021, 25.901341706505004, 26.588139120364435};
constexpr double kExampleRight[3] = {19.3054225579143, 19.676799396303906, 19.899105589246087};

// A run with the host's default times: start 0 h, step 0.25 h.
struct Entry : ::testing::Test {
    void SetUp() override {
        detail::releaseAllUnits();
        standin::reset();
        standin::setSimulationStartTime(0.0);
        standin::setSimulationTimeStep(0.25);
    }
    void TearDown() override { detail::releaseAllUnits(); }

    static const std::vector<standin::MessageCall>& messages() { return standin::messageCalls(); }
};

TEST_F(Entry, version_call_answers_and_touches_nothing_else) {
    HostUnit unit(&TYPE471, 3);
    for (int k = 2; k < 15; ++k) unit.info[k] = 100 + k;
    unit.info[6] = -2;
    auto before = unit.info;
    double time = 0.0;
    EXPECT_EQ(TYPE471(&time, unit.inputs.data(), unit.outputs.data(), nullptr, nullptr, unit.parameters.data(),
                      unit.info.data()),
              1);

    before[5] = 2;    // info(6): outputs
    before[8] = 0;    // info(9)
    before[9] = 0;    // info(10)
    before[11] = 16;  // info(12): the host version this was written for
    EXPECT_EQ(unit.info, before);
    EXPECT_EQ(unit.outputs[0], -999.0);
    EXPECT_EQ(unit.outputs[1], -999.0);
    EXPECT_EQ(detail::findUnitState(3), nullptr);
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(standin::typeckCalls().empty());
}

TEST_F(Entry, whole_run_follows_the_worked_example_bit_for_bit) {
    HostUnit unit(&TYPE471, 1);
    unit.version();

    EXPECT_EQ(unit.initialize(), 1);
    EXPECT_EQ(unit.info[8], 1);  // info(9) after initialization
    EXPECT_EQ(unit.info[5], 2);
    EXPECT_EQ(unit.outputs[0], -999.0);  // initialization writes no outputs
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].message, "Casovy krok pro numericky vypocet PCM byl zvolen 12.68 s.");
    EXPECT_EQ(messages()[0].severity, "NOTICE");
    EXPECT_EQ(messages()[0].unitNumber, 1);
    EXPECT_EQ(messages()[0].typeNumber, 471);
    ASSERT_EQ(standin::typeckCalls().size(), 1u);
    const standin::TypeckCall& check = standin::typeckCalls()[0];
    EXPECT_EQ(check.option, 1);
    EXPECT_EQ(check.inputCount, 7);
    EXPECT_EQ(check.parameterCount, 8);
    EXPECT_EQ(check.derivativeCount, 0);
    EXPECT_EQ(check.info[0], 1);
    EXPECT_EQ(check.info[8], 1);

    // Before the start time plus half a step: zeros, not the initial temperature.
    for (double time : {0.0, 0.1249}) {
        unit.outputs = {-999.0, -999.0};
        unit.step(time);
        EXPECT_EQ(unit.outputs[0], 0.0) << time;
        EXPECT_EQ(unit.outputs[1], 0.0) << time;
        EXPECT_EQ(unit.info[8], 0);
    }
    EXPECT_EQ(detail::findUnitState(1)->nodeTemperatures[0], 20.0);

    // Exactly half a step after the start advances; so does every later call,
    // even a second one at the same time (the host iterating within a step).
    unit.step(0.125);
    EXPECT_EQ(unit.outputs[0], kExampleLeft[0]);
    EXPECT_EQ(unit.outputs[1], kExampleRight[0]);
    unit.step(0.25, 1);
    EXPECT_EQ(unit.outputs[0], kExampleLeft[1]);
    EXPECT_EQ(unit.outputs[1], kExampleRight[1]);
    unit.step(0.25, 2);
    EXPECT_EQ(unit.outputs[0], kExampleLeft[2]);
    EXPECT_EQ(unit.outputs[1], kExampleRight[2]);

    // After convergence: outputs and layer stay as they are.
    unit.outputs = {-1.0, -2.0};
    unit.afterConvergence(0.25);
    EXPECT_EQ(unit.outputs[0], -1.0);
    EXPECT_EQ(unit.outputs[1], -2.0);
    EXPECT_EQ(detail::findUnitState(1)->nodeTemperatures[0], kExampleLeft[2]);

    unit.endOfRun(0.25);
    EXPECT_EQ(detail::findUnitState(1), nullptr);
    EXPECT_EQ(messages().size(), 1u);  // the notice went out once, at initialization
    EXPECT_EQ(standin::typeckCalls().size(), 1u);
}

TEST_F(Entry, two_node_layer_follows_its_worked_example) {
    HostUnit unit(&TYPE471, 1);
    unit.parameters[5] = 2;
    unit.initialize();
    EXPECT_EQ(messages().at(0).message, "Casovy krok pro numericky vypocet PCM byl zvolen 450.00 s.");
    unit.step(0.125);
    EXPECT_EQ(unit.outputs[0], 25.16304687419578);
    EXPECT_EQ(unit.outputs[1], 19.968541957488195);
}

TEST_F(Entry, fractional_node_count_is_truncated) {
    HostUnit unit(&TYPE471, 1);
    unit.parameters[5] = 5.7;
    unit.initialize();
    EXPECT_EQ(detail::findUnitState(1)->nodeCount, 5);
}

TEST_F(Entry, single_node_keeps_its_initial_temperature) {
    HostUnit unit(&TYPE471, 1);
    unit.parameters[5] = 1;
    unit.initialize();
    EXPECT_EQ(messages().at(0).message, "Casovy krok pro numericky vypocet PCM byl zvolen inf s.");
    EXPECT_EQ(messages()[0].severity, "NOTICE");
    unit.step(0.0);
    EXPECT_EQ(unit.outputs[0], 0.0);
    for (double time : {0.125, 0.25, 10.0}) {
        unit.step(time);
        EXPECT_EQ(unit.outputs[0], 20.0);
        EXPECT_EQ(unit.outputs[1], 20.0);
    }
}

TEST_F(Entry, unusable_node_count_creates_no_layer_and_says_why) {
    struct Case {
        double nodeCount;
        const char* shown;
    };
    const Case cases[] = {{0.0, "0"},  {0.5, "0.5"},   {-4.0, "-4"}, {std::numeric_limits<double>::quiet_NaN(), "nan"},
                          {3e9, "3e+09"}, {-std::numeric_limits<double>::infinity(), "-inf"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        standin::reset();
        standin::setSimulationTimeStep(0.25);
        HostUnit unit(&TYPE471, 9);
        unit.parameters[5] = c.nodeCount;
        EXPECT_EQ(unit.initialize(), 1);
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_EQ(messages()[0].severity, "FATAL");
        EXPECT_EQ(messages()[0].unitNumber, 9);
        EXPECT_NE(messages()[0].message.find(std::string("nodeCount (parameter 6) = ") + c.shown + ":"),
                  std::string::npos)
            << messages()[0].message;
        EXPECT_EQ(standin::typeckCalls().size(), 1u);  // the host still checks the counts
        EXPECT_EQ(unit.info[8], 1);
        EXPECT_EQ(detail::findUnitState(9), nullptr);

        unit.step(0.25);
        EXPECT_EQ(unit.outputs[0], 0.0);
        EXPECT_EQ(unit.outputs[1], 0.0);
    }
}

TEST_F(Entry, an_unusable_repeated_initialization_drops_the_earlier_layer) {
    HostUnit unit(&TYPE471, 2);
    unit.initialize();
    unit.step(0.25);
    unit.parameters[5] = 0;
    unit.initialize();
    EXPECT_EQ(detail::findUnitState(2), nullptr);
    unit.step(0.5);
    EXPECT_EQ(unit.outputs[0], 0.0);
}

TEST_F(Entry, time_step_without_a_layer_writes_zeros) {
    HostUnit unit(&TYPE471, 4);
    unit.step(1.0);  // never initialized
    EXPECT_EQ(unit.outputs[0], 0.0);
    EXPECT_EQ(unit.outputs[1], 0.0);
    unit.initialize();
    unit.endOfRun(1.0);
    unit.outputs = {-999.0, -999.0};
    unit.step(1.25);  // after the end of the run
    EXPECT_EQ(unit.outputs[0], 0.0);
    EXPECT_EQ(unit.outputs[1], 0.0);
    unit.endOfRun(1.25);  // a second end of run is harmless
}

TEST_F(Entry, repeated_initialization_starts_the_layer_over) {
    HostUnit unit(&TYPE471, 1);
    unit.initialize();
    unit.step(0.25);
    unit.step(0.5);
    unit.initialize();
    EXPECT_EQ(messages().size(), 2u);
    unit.step(0.25);
    EXPECT_EQ(unit.outputs[0], kExampleLeft[0]);
    EXPECT_EQ(unit.outputs[1], kExampleRight[0]);
}

TEST_F(Entry, end_of_run_releases_even_after_convergence) {
    HostUnit unit(&TYPE471, 1);
    unit.initialize();
    unit.call(0.25, 0, -1, 1);
    EXPECT_EQ(detail::findUnitState(1), nullptr);
}

TEST_F(Entry, units_keep_their_own_layers) {
    HostUnit example(&TYPE471, 10);
    HostUnit twoNodes(&TYPE471, 20, 472);
    twoNodes.parameters[5] = 2;
    example.version();
    twoNodes.version();
    example.initialize();
    twoNodes.initialize();
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[1].unitNumber, 20);
    EXPECT_EQ(messages()[1].typeNumber, 472);
    EXPECT_EQ(messages()[1].message, "Casovy krok pro numericky vypocet PCM byl zvolen 450.00 s.");

    for (int i = 0; i < 3; ++i) {
        example.step(0.25);
        if (i == 0) {
            twoNodes.step(0.25);
            EXPECT_EQ(twoNodes.outputs[0], 25.16304687419578);
            EXPECT_EQ(twoNodes.outputs[1], 19.968541957488195);
            twoNodes.endOfRun(0.25);  // touches only its own layer
        }
        EXPECT_EQ(example.outputs[0], kExampleLeft[i]);
        EXPECT_EQ(example.outputs[1], kExampleRight[i]);
        example.version();  // nor does a version call in between
    }
}

TEST_F(Entry, node_count_changed_after_initialization_keeps_the_arrays) {
    // The layer walks the node count it was created with; spacing and
    // sub-step follow the current parameters.
    for (double later : {50.0, 2.0, 1.0, 0.0, -7.0, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(later);
        HostUnit unit(&TYPE471, 1);
        unit.parameters[5] = 4;
        unit.initialize();
        unit.parameters[5] = later;
        unit.step(0.25);
        unit.step(0.5);
        EXPECT_EQ(detail::findUnitState(1)->nodeCount, 4);
        EXPECT_FALSE(std::isnan(unit.outputs[0]));
        unit.endOfRun(0.5);
    }
}

TEST_F(Entry, start_time_and_step_come_from_the_kernel) {
    standin::setSimulationStartTime(8760.0);
    standin::setSimulationTimeStep(1.0);
    HostUnit unit(&TYPE471, 1);
    unit.initialize(8760.0);
    EXPECT_EQ(messages().at(0).message, "Casovy krok pro numericky vypocet PCM byl zvolen 12.77 s.");  // 3600 / 282
    unit.step(8760.4999);
    EXPECT_EQ(unit.outputs[0], 0.0);
    unit.step(8760.5);
    EXPECT_GT(unit.outputs[0], 20.0);
}

TEST_F(Entry, leaves_the_floating_point_environment_alone) {
    const int roundingBefore = std::fegetround();
#if defined(__SSE__) || defined(_M_X64)
    const unsigned controlBefore = _mm_getcsr() & ~0x3Fu;  // all but the sticky flags
#endif
    HostUnit unit(&TYPE471, 1);
    unit.parameters[4] = 0.0;  // a zero peak width: -1/0 and inf*0 on the way
    unit.initialize();
    unit.step(0.25);
    unit.endOfRun(0.25);
    EXPECT_EQ(std::fegetround(), roundingBefore);
#if defined(__SSE__) || defined(_M_X64)
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, controlBefore);
#endif
}

}  // namespace
}  // namespace pcm::testing
