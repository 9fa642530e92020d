// The figure writer: whole files or an error line, never a stray part file.
#include "plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "runner_test_support.h"

namespace pcm::testing {
namespace {

plot::Chart rampChart() {
    plot::Series s{"ramp", {0, 1, 2, 3}, {0, 1, std::nan(""), 3}};  // a gap, drawn around
    plot::Series flat{"flat", {0, 3}, {2, 2}, true, 4};
    return {"title", "x", "y", {s, flat}};
}

TEST(plot, writes_png_and_svg_and_nothing_else) {
    ScratchFolder folder("plot");
    ASSERT_EQ(plot::writeFigure({rampChart(), rampChart()}, folder.file("fig"), 400, 200), "");
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder.path())) names.insert(e.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"fig.png", "fig.svg"}));
    EXPECT_EQ(readText(folder.file("fig.png")).substr(0, 4), "\x89PNG");
}

TEST(plot, reports_what_it_cannot_draw_or_write) {
    ScratchFolder folder("plot-bad");
    plot::Chart bad = rampChart();
    bad.series[0].y.pop_back();
    EXPECT_EQ(plot::writeFigure({bad}, folder.file("fig")),
              "cannot write " + folder.file("fig") + ": series 'ramp' has 4 x values but 3 y values");
    EXPECT_EQ(plot::writeFigure({}, folder.file("fig")),
              "cannot write " + folder.file("fig") + ": a figure needs at least one panel");
    const std::string missing = folder.file("no/such/folder/fig");
    EXPECT_EQ(plot::writeFigure({rampChart()}, missing).rfind("cannot write " + missing + ".png.part-", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

}  // namespace
}  // namespace pcm::testing
