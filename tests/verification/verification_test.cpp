#include "verification.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace pcm::verify {
namespace {

using std::numbers::pi;

// ------------------------------------------------------------------ exact solutions

TEST(exact_solution, slab_roots_solve_their_equation_one_per_interval) {
    for (double biot : {0.01, 1.0, 2.0, 1e6}) {
        const std::vector<double> roots = slabEigenvalues(biot, 200);
        ASSERT_EQ(roots.size(), 200u);
        for (std::size_t n = 0; n < roots.size(); ++n) {
            const double l = roots[n];
            EXPECT_GT(l, n * pi) << "Bi " << biot << " root " << n;
            EXPECT_LT(l, n * pi + pi / 2) << "Bi " << biot << " root " << n;
            // Residual of f = l sin l - Bi cos l: a root within a few units in the
            // last place of l (about 1e-16 l) leaves the slope of f (about
            // l + Bi) times that; 1e-14 allows some 40 units.
            EXPECT_LE(std::fabs(l * std::sin(l) - biot * std::cos(l)), 1e-14 * (1.0 + l) * (l + biot)) << "Bi " << biot;
        }
    }
    // Published first root for Bi = 1 (Carslaw and Jaeger's table: 0.8603).
    EXPECT_NEAR(slabEigenvalues(1.0, 1)[0], 0.8603335890193798, 1e-15);
    // A very large Biot number approaches a fixed face temperature: (n + 1/2) pi.
    EXPECT_NEAR(slabEigenvalues(1e9, 3)[2], 2.5 * pi, 1e-8);
}

TEST(exact_solution, slab_series_starts_at_one_and_decays) {
    const std::vector<double> roots = slabEigenvalues(2.0, 4000);
    // Before the disturbance has crossed the slab the adiabatic face is untouched.
    EXPECT_NEAR(slabTheta(roots, 0.0, 1e-3), 1.0, 1e-12);
    double previous = 1.0;
    for (double fourier : {0.01, 0.1, 0.5, 1.0, 3.0}) {
        const double theta = slabTheta(roots, 0.0, fourier);
        EXPECT_LT(theta, previous);
        EXPECT_GT(theta, 0.0);
        previous = theta;
    }
    // Long after the start only the first term is left.
    const double l = roots[0];
    EXPECT_NEAR(slabTheta(roots, 1.0, 3.0),
                4 * std::sin(l) / (2 * l + std::sin(2 * l)) * std::exp(-l * l * 3.0) * std::cos(l), 1e-15);
}

TEST(exact_solution, neumann_root_solves_the_stefan_condition) {
    for (double stefan : {0.01, 0.2, 1.0, 5.0}) {
        const double g = neumannGamma(stefan);
        EXPECT_NEAR(g * std::exp(g * g) * std::erf(g), stefan / std::sqrt(pi), 1e-14 * (1 + stefan)) << stefan;
        EXPECT_EQ(neumannGamma(stefan, 0.0), g);
    }
    // Small Stefan numbers: the quasi-steady front, gamma = sqrt(Ste / 2), whose
    // next term is a relative -Ste / 6.
    EXPECT_NEAR(neumannGamma(1e-4), std::sqrt(0.5e-4) * (1.0 - 1e-4 / 6.0), 1e-9 * std::sqrt(0.5e-4));
    // A solid that starts below the melting point slows the front.
    const double g = neumannGamma(0.2, 0.05);
    EXPECT_LT(g, neumannGamma(0.2));
    EXPECT_NEAR(0.2 / (std::exp(g * g) * std::erf(g)) - 0.05 / (std::exp(g * g) * std::erfc(g)), std::sqrt(pi) * g,
                1e-13);
}

TEST(exact_solution, stored_heat_integral_holds_the_latent_heat) {
    const MaterialLaw law{2000.0, 20000.0, 25.0, -1.0 / 4.0};
    // Far across the peak: the base part plus the whole latent heat peak sqrt(pi width).
    const double across = specificHeatIntegral(law, 4.0, -25.0, 75.0);
    EXPECT_NEAR(across, 2000.0 * 100.0 + 20000.0 * std::sqrt(4.0 * pi), 1e-9);
    // Half of it lies below the centre; reversing the limits changes the sign.
    EXPECT_NEAR(specificHeatIntegral(law, 4.0, 5.0, 25.0) - 2000.0 * 20.0, 10000.0 * std::sqrt(4.0 * pi), 1e-9);
    EXPECT_EQ(specificHeatIntegral(law, 4.0, 30.0, 20.0), -specificHeatIntegral(law, 4.0, 20.0, 30.0));
    const MaterialLaw plain{1400.0, 0.0, 25.0, -1.0};
    EXPECT_EQ(specificHeatIntegral(plain, 1.0, 10.0, 12.5), 1400.0 * 2.5);
}

TEST(exact_solution, isotherm_is_interpolated_between_the_straddling_nodes) {
    const double profile[] = {40.0, 30.0, 20.0, 20.0};
    EXPECT_EQ(isothermPosition(profile, 4, 0.002, 25.0), 0.002 + 0.001);
    EXPECT_EQ(isothermPosition(profile, 4, 0.002, 30.0), 0.002);  // a node at the level: not yet below
    EXPECT_EQ(isothermPosition(profile, 4, 0.002, 50.0), 0.0);    // the face is already below
    EXPECT_EQ(isothermPosition(profile, 4, 0.002, 10.0), 0.006);  // no node is below
}

// ------------------------------------------------------------------ the cases

// The discrete steady state is the exact line (half-slice face balances hold
// exactly for a linear profile), so the only error left after 24 h is
// rounding: the report reaches 2.7e-12 K on 41 nodes and less on fewer.
TEST(steady_state, every_grid_settles_on_the_exact_line) {
    for (int nodes : {2, 5, 11}) {
        SteadyStateCase c;
        c.nodeCount = nodes;
        const SteadyStateResult r = runSteadyState(c);
        EXPECT_LE(r.finalMaxError, 1e-12) << nodes << " nodes";
        EXPECT_NEAR(r.exact.front() - r.exact.back(), r.heatFlow * c.thickness / 0.2, 1e-12);
    }
}

// Face errors against the series solution (Bi = 2, 1 h).  Bounds are the
// report's errors at 1 h (0.0293, 0.00799, 0.00215 K) with 10 % of air; the
// order between the two finer grids is 1.90 there.
TEST(transient_slab, face_error_falls_as_the_square_of_the_spacing) {
    const std::vector<double> roots = slabEigenvalues(2.0, 4000);
    struct Grid {
        int nodes;
        double bound;  // K, error at 1 h
    };
    double errors[3] = {};
    const Grid grids[] = {{9, 0.032}, {17, 0.0088}, {33, 0.0024}};
    for (int g = 0; g < 3; ++g) {
        TransientCase c;
        c.nodeCount = grids[g].nodes;
        const TransientResult r = runTransient(c, roots);
        EXPECT_EQ(r.biot, 2.0);
        EXPECT_LE(r.finalError, grids[g].bound) << grids[g].nodes << " nodes";
        errors[g] = r.finalError;
    }
    EXPECT_GE(observedOrder(errors[1], errors[2]), 1.8);
}

// Forward Euler: on a fixed grid the error against a run with 16 times more
// sub-steps halves with the sub-step (the report finds 1.05 to 1.10).
TEST(transient_slab, time_error_is_first_order) {
    const std::vector<double> roots = slabEigenvalues(2.0, 4000);
    TransientCase c;
    c.nodeCount = 17;
    c.subStepRefinement = 16;
    const TransientResult reference = runTransient(c, roots);
    double difference[2] = {};
    for (int m = 1; m <= 2; ++m) {
        c.subStepRefinement = m;
        const TransientResult r = runTransient(c, roots);
        for (std::size_t k = 0; k < r.leftFace.size(); ++k)
            difference[m - 1] = std::max(difference[m - 1], std::fabs(r.leftFace[k] - reference.leftFace[k]));
    }
    const double order = observedOrder(difference[0], difference[1]);
    EXPECT_GT(order, 0.9);
    EXPECT_LT(order, 1.4);  // m = 16 is not the limit, which pushes the ratio a little above 2
}

// Without a peak the scheme conserves heat exactly up to rounding (the report
// finds 7e-17 of the heat crossed).  With the peak the imbalance is the
// first-order error of taking c at the previous temperature: 4.66e-4 (6
// nodes), 1.40e-4 (11), 3.90e-5 (21) of the heat crossed in the report.
TEST(energy_balance, exact_without_peak_first_order_with_it) {
    EnergyBalanceCase plain;
    plain.peakSpecificHeat = 0.0;
    EXPECT_LE(runEnergyBalance(plain).relativeImbalance, 1e-14);

    double imbalance[3] = {};
    const int grids[] = {6, 11, 21};
    const double bounds[] = {5e-4, 1.5e-4, 4.2e-5};
    for (int g = 0; g < 3; ++g) {
        EnergyBalanceCase c;
        c.nodeCount = grids[g];
        const EnergyBalanceResult r = runEnergyBalance(c);
        EXPECT_LE(r.relativeImbalance, bounds[g]) << grids[g] << " nodes";
        EXPECT_GT(r.heatCrossed, 1e7);  // J/m2: the daily cycle really drives the layer
        imbalance[g] = r.relativeImbalance;
    }
    // Halving the spacing quarters the sub-step and the imbalance with it.
    EXPECT_GE(observedOrder(imbalance[1], imbalance[2]), 1.7);
}

// The known limit of the explicit heat capacity: a peak far narrower than the
// temperature change of a node in one sub-step near it (up to about 0.2 K
// here) is stepped over and its latent heat is not absorbed (101 % missed in
// the report at sqrt(width) = 0.01 K, 0.8 % at 0.1 K).
TEST(energy_balance, a_peak_narrower_than_one_sub_step_is_stepped_over) {
    EnergyBalanceCase c;
    const double latent = c.peakSpecificHeat * std::sqrt(pi * c.peakWidth);
    const double layerLatent = 800.0 * c.thickness * latent;
    c.peakWidth = 1e-4;
    c.peakSpecificHeat = latent / std::sqrt(pi * c.peakWidth);
    const EnergyBalanceResult narrow = runEnergyBalance(c);
    EXPECT_GT(narrow.imbalance / layerLatent, 0.9);

    c.peakWidth = 0.01;
    c.peakSpecificHeat = latent / std::sqrt(pi * c.peakWidth);
    EXPECT_LT(std::fabs(runEnergyBalance(c).imbalance / layerLatent), 0.02);
}

// Melting from a face 15 K above the peak (Ste = 0.2), width 0.25 K2 on 2 mm
// nodes: the report finds the front 1.50 % behind the one-phase Neumann
// solution after 8 h, 0.06 % from the two-phase one that accounts for the
// start below the peak, and 2.13 % of the heat in never absorbed (the face
// node's half slice, stepped across the peak in its first sub-steps).
TEST(melting_front, follows_neumann_within_the_smearing_of_the_peak) {
    MeltingFrontCase c;
    c.nodeCount = 31;
    c.peakWidth = 0.25;
    const MeltingFrontResult r = runMeltingFront(c);
    EXPECT_DOUBLE_EQ(r.stefan, 0.2);
    EXPECT_LE(r.finalRelativeError, 0.017);
    EXPECT_LT(r.finalError, 0.0);  // behind
    EXPECT_LE(r.finalTwoPhaseRelativeError, 0.002);
    EXPECT_GT(r.relativeImbalance, 0.015);
    EXPECT_LT(r.relativeImbalance, 0.025);
}

}  // namespace
}  // namespace pcm::verify
