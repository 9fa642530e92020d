// The run-file and CSV parsers on their own: what a good file turns into.
// Bad files are in the command's table (command_test.cpp).
#include "run_file.h"

#include <gtest/gtest.h>

namespace pcm::testing {
namespace {

constexpr char kRun[] = R"(# a comment
[simulation]
start = 24
stop = 48
step = 1

[output]
directory = "out"

[[unit]]
name = "board"
conductivity = 1
density = 2
baseSpecificHeat = 3
peakSpecificHeat = 4
peakWidth = 5
nodeCount = 6.5
thickness = 7
initialTemperature = 8
peakTemperature = 9.5
leftFluidTemperature = "data/weather.csv:outdoor air"
leftFilmCoefficient = { file = "/abs/x.csv", column = "h:left" }
leftHeatFlux = -12
rightFluidTemperature = 13
rightFilmCoefficient = 14
rightHeatFlux = 15

[[unit]]
name = "thin"
like = "board"
thickness = 0.5

[[unit]]
name = "thinner"
like = "thin"
nodeCount = 2
)";

TEST(run_file, reads_period_units_sources_and_likes) {
    const auto parsed = runner::parseRunText(kRun, "cases/run.toml", "cases");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const runner::RunSpec& spec = parsed.value;
    EXPECT_EQ(spec.start, 24.0);
    EXPECT_EQ(spec.stop, 48.0);
    EXPECT_EQ(spec.step, 1.0);
    EXPECT_EQ(spec.stepCount, 24u);
    EXPECT_EQ(spec.outputDirectory, "cases/out");
    ASSERT_EQ(spec.units.size(), 3u);

    const runner::UnitSpec& board = spec.units[0];
    EXPECT_EQ(board.parameters, (std::array<double, kParameterCount>{1, 2, 3, 4, 5, 6.5, 7, 8}));
    EXPECT_EQ(board.inputs[0].constant, 9.5);
    EXPECT_FALSE(board.inputs[0].isColumn());
    // Paths relative to the run file's folder; the column after the last colon.
    EXPECT_EQ(board.inputs[1].file, "cases/data/weather.csv");
    EXPECT_EQ(board.inputs[1].column, "outdoor air");
    EXPECT_EQ(board.inputs[2].file, "/abs/x.csv");
    EXPECT_EQ(board.inputs[2].column, "h:left");
    EXPECT_EQ(board.inputs[3].constant, -12.0);

    // `like` copies every value and a chain of likes resolves in order.
    const runner::UnitSpec& thinner = spec.units[2];
    EXPECT_EQ(thinner.name, "thinner");
    EXPECT_EQ(thinner.parameters, (std::array<double, kParameterCount>{1, 2, 3, 4, 5, 2, 0.5, 8}));
    EXPECT_EQ(thinner.inputs[1].file, "cases/data/weather.csv");
}

TEST(run_file, output_folder_defaults_to_the_run_files_name) {
    std::string text = kRun;
    text.erase(text.find("[output]"), std::string("[output]\ndirectory = \"out\"\n").size());
    const auto parsed = runner::parseRunText(text, "cases/week.toml", "cases");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.value.outputDirectory, "cases/week-results");
}

TEST(input_table, reads_comments_crlf_and_spaces_and_interpolates_linearly) {
    const auto parsed =
        runner::parseCsvText("# measured\r\ntime, a ,b\r\n\r\n0, 1, 10\r\n2,+3,-10\r\n3,3,1e1\r\n", "t.csv");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const runner::InputTable& t = parsed.value;
    EXPECT_EQ(t.columns, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(t.time, (std::vector<double>{0, 2, 3}));
    EXPECT_EQ(t.findColumn("b"), 1);
    EXPECT_EQ(t.findColumn("c"), -1);
    EXPECT_EQ(t.at(0, 0), 1.0);
    EXPECT_EQ(t.at(0, 1), 2.0);
    EXPECT_EQ(t.at(1, 0.5), 5.0);
    EXPECT_EQ(t.at(1, 2), -10.0);  // a row's own time gives its value
    EXPECT_EQ(t.at(1, 2.5), 0.0);
    EXPECT_EQ(t.at(1, 3), 10.0);
}

// The parsers are a fuzzing target: whatever the text, they answer with a
// value or an error line and never throw.
TEST(run_file, odd_texts_give_an_error_line) {
    for (const char* text : {"", "\xff\xfe", "[[simulation]]", "simulation = 3", "[simulation]\nstart = 1e400",
                             "[simulation]\nstart=0\nstop=1e300\nstep=1e-300", "unit = [1, 2]",
                             "[[unit]]\nname = \"a\"\nleftHeatFlux = {}\n"}) {
        const auto parsed = runner::parseRunText(text, "x.toml", "");
        EXPECT_FALSE(parsed.ok()) << text;
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << parsed.error;
        EXPECT_EQ(parsed.error.rfind("x.toml", 0), 0u) << parsed.error;
    }
    for (const char* text : {"", "time", "time,a\n", "time,a,a\n0,1,2", "time,,b\n0,1,2", "time,a\nnan,1",
                             "time,a\n0,inf", "time,a\n0,1,2"}) {
        const auto parsed = runner::parseCsvText(text, "x.csv");
        EXPECT_FALSE(parsed.ok()) << text;
        EXPECT_EQ(parsed.error.rfind("x.csv", 0), 0u) << parsed.error;
    }
}

}  // namespace
}  // namespace pcm::testing
