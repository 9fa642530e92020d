#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "layer.h"

namespace pcm {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(material_law, gaussian_peak_around_the_peak_temperature) {
    const MaterialLaw law{2000.0, 20000.0, 25.0, -1.0 / 4.0};
    EXPECT_EQ(effectiveHeatCapacity(law, 25.0), 22000.0);
    // (2 K)^2 / 4 K2 is exactly 1: the excess is the peak times e^-1, and
    // symmetric about the centre.
    const double atTwoKelvin = 2000.0 + 20000.0 * 0.36787944117144233;
    EXPECT_EQ(effectiveHeatCapacity(law, 27.0), atTwoKelvin);
    EXPECT_EQ(effectiveHeatCapacity(law, 23.0), atTwoKelvin);

    const MaterialLaw peakOnly{0.0, 20000.0, 25.0, -1.0 / 4.0};
    const double farAway = effectiveHeatCapacity(peakOnly, 45.0);
    EXPECT_GT(farAway, 0.0);
    EXPECT_LT(farAway, 1e-43 * 20000.0);
}

TEST(material_law, zero_peak_is_a_plain_conduction_layer) {
    const MaterialLaw law{1400.0, 0.0, 25.0, -1.0 / 4.0};
    for (double T : {-40.0, 0.0, 24.9, 25.0, 60.0}) EXPECT_EQ(effectiveHeatCapacity(law, T), 1400.0);
}

TEST(layer_state, create_fills_current_and_zeroes_next_and_release_empties) {
    LayerState state;
    ASSERT_TRUE(createLayer(state, 11, 20.0));
    EXPECT_EQ(state.nodeCount, 11);
    EXPECT_EQ(state.nodeTemperatures[0], 20.0);
    EXPECT_EQ(state.nodeTemperatures[10], 20.0);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(state.nextTemperatures[i], 0.0);

    ASSERT_TRUE(createLayer(state, 3, -5.0));  // replaces the earlier arrays
    EXPECT_EQ(state.nodeCount, 3);
    EXPECT_EQ(state.nodeTemperatures[2], -5.0);

    releaseLayer(state);
    EXPECT_FALSE(state.holdsLayer());
    releaseLayer(state);  // harmless on an empty layer
    EXPECT_FALSE(createLayer(state, 0, 20.0));
    EXPECT_FALSE(state.holdsLayer());
}

TEST(node_count, truncates_toward_zero_and_maps_unconvertible_values) {
    EXPECT_EQ(truncateNodeCount(5.7), 5);
    EXPECT_EQ(truncateNodeCount(9.9), 9);
    EXPECT_EQ(truncateNodeCount(-0.5), 0);
    EXPECT_EQ(truncateNodeCount(2147483647.9), 2147483647);
    for (double v : {kNaN, kInf, -kInf, 2147483648.0, -2147483649.0, 1e300}) EXPECT_EQ(truncateNodeCount(v), INT32_MIN);

    EXPECT_TRUE(isUsableNodeCount(1.0));
    EXPECT_TRUE(isUsableNodeCount(2147483647.5));
    for (double v : {0.999, 0.0, -3.0, kNaN, kInf, 2147483648.0}) EXPECT_FALSE(isUsableNodeCount(v));
}

TEST(node_count, spacing_divides_thickness_by_gaps) {
    const double parameters[kParameterCount] = {0.2, 800, 2000, 20000, 4, 11.9, 0.02, 20};
    const double inputs[kInputCount] = {25, 30, 8, 100, 18, 25, 0};
    LayerInputs in = readLayerInputs(parameters, inputs);
    EXPECT_EQ(in.nodeCount, 11);
    EXPECT_EQ(in.nodeSpacing, 0.02 / 10.0);
    EXPECT_EQ(in.rightFilmCoefficient, 25.0);

    const double one[kParameterCount] = {0.2, 800, 2000, 20000, 4, 1, 0.02, 20};
    EXPECT_EQ(readLayerInputs(one, inputs).nodeSpacing, kInf);
}

struct SubStepCase {
    const char* name;
    double conductivity, density, baseSpecificHeat, nodeSpacing, leftFilm, rightFilm, hostStepHours;
    double stableStep;
    std::int32_t subStepCount;
    double subStep;
};

class sub_step : public ::testing::TestWithParam<SubStepCase> {};

TEST_P(sub_step, follows_the_smallest_stability_bound) {
    const SubStepCase& c = GetParam();
    LayerInputs in;
    in.conductivity = c.conductivity;
    in.density = c.density;
    in.baseSpecificHeat = c.baseSpecificHeat;
    in.nodeSpacing = c.nodeSpacing;
    in.leftFilmCoefficient = c.leftFilm;
    in.rightFilmCoefficient = c.rightFilm;
    const SubStep s = chooseSubStep(in, c.hostStepHours);
    if (std::isnan(c.stableStep))
        EXPECT_TRUE(std::isnan(s.stableStep));
    else
        EXPECT_EQ(s.stableStep, c.stableStep);
    EXPECT_EQ(s.subStepCount, c.subStepCount);
    if (std::isnan(c.subStep))
        EXPECT_TRUE(std::isnan(s.subStep));
    else
        EXPECT_EQ(s.subStep, c.subStep);
}

INSTANTIATE_TEST_SUITE_P(
    layer, sub_step,
    ::testing::Values(
        // The right face's film bounds the step: 900 s / 12.8 s = 70.3125 -> 71.
        SubStepCase{"right_face_bound", 0.2, 800, 2000, 0.002, 8, 25, 0.25, 12.8, 71, 12.67605633802817},
        // Two nodes 20 mm apart: two sub-steps of 450 s.
        SubStepCase{"two_nodes", 0.2, 800, 2000, 0.02, 8, 25, 0.25, 457.1428571428571, 2, 450.0},
        // Without films all three bounds are 16 s exactly; 56.25 -> 57.
        SubStepCase{"no_films_equal_bounds", 0.2, 800, 2000, 0.002, 0, 0, 0.25, 16.0, 57, 900.0 / 57.0},
        // The inner bound rounds to 14.000000000000002, the face bounds to 14:
        // the strict test picks the smaller.
        SubStepCase{"no_films_face_bound_smaller", 0.15, 750, 1400, 0.002, 0, 0, 0.25, 14.0, 65, 900.0 / 65.0},
        // A whole product stays whole: 3600 / 16 = 225.
        SubStepCase{"whole_product", 0.2, 800, 2000, 0.002, 0, 0, 1.0, 16.0, 225, 16.0},
        SubStepCase{"bound_above_host_step", 0.2, 800, 2000, 0.002, 8, 25, 0.001, 12.8, 1, 3.6},
        // No conduction and no films: nothing limits the step, nothing moves.
        SubStepCase{"no_conduction_no_films", 0.0, 800, 2000, 0.002, 0, 0, 0.25, kInf, 0, kInf},
        // One node: infinite spacing, zero product.
        SubStepCase{"single_node", 0.2, 800, 2000, kInf, 8, 25, 0.25, kInf, 0, kInf},
        // Zero thickness: zero bound, infinite product.
        SubStepCase{"zero_thickness", 0.2, 800, 2000, 0.0, 8, 25, 0.25, 0.0, 0, kInf},
        // A finite count beyond 32 bits (2.25e14) advances nothing.
        SubStepCase{"count_beyond_32_bits", 0.2, 800, 2000, 1e-9, 8, 25, 0.25, 3.9999995000000634e-12, 0, kInf},
        SubStepCase{"nan_conductivity", kNaN, 800, 2000, 0.002, 8, 25, 0.25, kNaN, 0, kInf}),
    [](const auto& info) { return std::string(info.param.name); });

// A small layer with its own state, for driving advanceLayer directly.
struct LayerFixture : ::testing::Test {
    LayerState state;
    LayerInputs in;

    void SetUp() override {
        in.conductivity = 0.2;
        in.density = 800;
        in.baseSpecificHeat = 2000;
        in.peakSpecificHeat = 20000;
        in.peakWidth = 4;
        in.nodeCount = 5;
        in.thickness = 0.008;
        in.nodeSpacing = 0.002;
        in.peakTemperature = 21;
        ASSERT_TRUE(createLayer(state, 5, 20.0));
    }
    void setFaces(double fluidLeft, double filmLeft, double fluxLeft, double fluidRight, double filmRight,
                  double fluxRight) {
        in.leftFluidTemperature = fluidLeft;
        in.leftFilmCoefficient = filmLeft;
        in.leftHeatFlux = fluxLeft;
        in.rightFluidTemperature = fluidRight;
        in.rightFilmCoefficient = filmRight;
        in.rightHeatFlux = fluxRight;
    }
    double node(int i) const { return state.nodeTemperatures[i]; }
};

using advance_layer = LayerFixture;

TEST_F(advance_layer, uniform_layer_at_fluid_temperature_stays_put) {
    for (double film : {0.0, 8.0, 1e4}) {
        setFaces(20.0, film, 0.0, 20.0, film * 3, 0.0);
        in.peakTemperature = 20.0;  // right on the peak
        advanceLayer(state, 50, 1.0, in);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(node(i), 20.0) << "film " << film << " node " << i;
    }
}

TEST_F(advance_layer, heat_flux_alone_moves_only_its_face_node_first) {
    setFaces(0.0, 0.0, 100.0, 0.0, 0.0, 0.0);
    const double s = 12.0;
    advanceLayer(state, 1, s, in);
    const double c0 = effectiveHeatCapacity(materialLaw(in), 20.0);
    const double qL = s * 100.0 * 2.0;
    EXPECT_EQ(node(0), 20.0 + qL / (c0 * 0.002 * 800.0));
    for (int i = 1; i < 5; ++i) EXPECT_EQ(node(i), 20.0);
}

TEST_F(advance_layer, without_conduction_inner_nodes_never_change) {
    in.conductivity = 0.0;
    state.nodeTemperatures[1] = 30.0;
    state.nodeTemperatures[2] = 10.0;
    setFaces(40.0, 8.0, 0.0, 20.0, 0.0, 50.0);
    advanceLayer(state, 20, 10.0, in);
    EXPECT_EQ(node(1), 30.0);
    EXPECT_EQ(node(2), 10.0);
    EXPECT_EQ(node(3), 20.0);
    EXPECT_GT(node(0), 20.0);  // warmed by its fluid alone
    EXPECT_LT(node(0), 40.0);
    EXPECT_GT(node(4), 20.0);  // warmed by its flux alone
}

TEST_F(advance_layer, no_sub_steps_or_a_single_node_change_nothing) {
    setFaces(40.0, 8.0, 100.0, 0.0, 25.0, 0.0);
    advanceLayer(state, 0, 10.0, in);
    advanceLayer(state, -3, 10.0, in);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(node(i), 20.0);

    LayerState single;
    ASSERT_TRUE(createLayer(single, 1, 20.0));
    advanceLayer(single, 10, 10.0, in);
    EXPECT_EQ(single.nodeTemperatures[0], 20.0);

    LayerState empty;
    advanceLayer(empty, 10, 10.0, in);  // no arrays: nothing to do, no crash
    EXPECT_FALSE(empty.holdsLayer());
}

TEST_F(advance_layer, sub_step_reads_only_previous_temperatures) {
    // A step in the middle of the layer spreads symmetrically in one sub-step:
    // had node 2 read its left neighbour's new value, the two sides would differ.
    setFaces(20.0, 0.0, 0.0, 20.0, 0.0, 0.0);
    in.peakSpecificHeat = 0.0;
    state.nodeTemperatures[2] = 30.0;
    advanceLayer(state, 1, 1.0, in);
    EXPECT_EQ(node(1), node(3));
    EXPECT_GT(node(1), 20.0);
    EXPECT_EQ(node(0), 20.0);
    EXPECT_EQ(node(4), 20.0);
}

}  // namespace
}  // namespace pcm
