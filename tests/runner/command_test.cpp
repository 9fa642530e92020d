// pcm-run as a user runs it: the bundled example, bad input, a run that turns
// NaN, and the latent-heat conversion.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <set>
#include <vector>

#include "outputs.h"
#include "runner_test_support.h"
#include "simulation.h"

namespace pcm::testing {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs pcm-run with args in folder, capturing its two streams elsewhere.
Outcome runCommand(const std::filesystem::path& folder, const std::string& args) {
    ScratchFolder capture("capture");
    const std::string command = "cd '" + folder.string() + "' && '" PCM_RUN_PATH "' " + args + " >'" +
                                capture.file("out") + "' 2>'" + capture.file("err") + "'";
    const int raw = std::system(command.c_str());
    Outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = readText(capture.file("out"));
    o.err = readText(capture.file("err"));
    return o;
}

std::set<std::string> folderEntries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::vector<std::vector<double>> readNumbers(const std::string& csv, std::string& heading) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(csv);
    std::getline(in, heading);
    for (std::string line; std::getline(in, line);) {
        std::vector<double> row;
        std::size_t begin = 0;
        while (begin <= line.size()) {
            std::size_t end = line.find(',', begin);
            if (end == std::string::npos) end = line.size();
            double v = 0;
            std::from_chars(line.data() + begin, line.data() + end, v);
            row.push_back(v);
            begin = end + 1;
        }
        rows.push_back(row);
    }
    return rows;
}

// ---------------------------------------------------------------- example

TEST(runner_example, pcm_board_damps_and_delays_the_daily_swing) {
    ScratchFolder out("example");
    const Outcome o = runCommand(PCM_EXAMPLES_DIR, "--quiet --output '" + out.path().string() + "' pcm-wallboard.toml");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(folderEntries(out.path()),
              (std::set<std::string>{"results.csv", "messages.log", "temperatures.png", "temperatures.svg"}));

    std::string heading;
    const auto rows = readNumbers(readText(out.file("results.csv")), heading);
    EXPECT_EQ(heading,
              "time,pcm-board.leftSurfaceTemperature,pcm-board.rightSurfaceTemperature,"
              "plain-board.leftSurfaceTemperature,plain-board.rightSurfaceTemperature");
    ASSERT_EQ(rows.size(), 673u);                              // a week of quarter hours, both ends included
    EXPECT_EQ(rows[0], (std::vector<double>{0, 0, 0, 0, 0}));  // before the first step
    EXPECT_EQ(rows[672][0], 168.0);

    // Golden values of this build's arithmetic (exact: every step is an IEEE
    // double operation in a fixed order).  Regenerate them only for a change
    // of the model or of the example, never for a new platform.
    EXPECT_EQ(rows[1], (std::vector<double>{0.25, 21.974173083181785, 21.92866554963203, 21.831401328016316,
                                            21.749668773508848}));
    EXPECT_EQ(rows[672], (std::vector<double>{168, 22.996262515576497, 23.160679485251816, 21.929578814418377,
                                              21.864602010154908}));

    // Physics of the last four days, away from the initial state: the board
    // with latent heat swings less on the room side and peaks later.
    double pcmLow = 1e9, pcmHigh = -1e9, plainLow = 1e9, plainHigh = -1e9, pcmPeakAt = 0, plainPeakAt = 0;
    for (const auto& r : rows) {
        if (r[0] < 96 || r[0] >= 120) continue;  // one day: Thursday
        if (r[1] > pcmHigh) pcmHigh = r[1], pcmPeakAt = r[0];
        if (r[3] > plainHigh) plainHigh = r[3], plainPeakAt = r[0];
        pcmLow = std::min(pcmLow, r[1]);
        plainLow = std::min(plainLow, r[3]);
    }
    EXPECT_LT(pcmHigh - pcmLow, 0.85 * (plainHigh - plainLow));
    EXPECT_GT(pcmPeakAt - plainPeakAt, 1.0);  // h

    EXPECT_EQ(readText(out.file("messages.log")),
              "NOTICE unit 1 (pcm-board): Casovy krok pro numericky vypocet PCM byl zvolen 11.69 s.\n"
              "NOTICE unit 2 (plain-board): Casovy krok pro numericky vypocet PCM byl zvolen 11.69 s.\n");
    const std::string png = readText(out.file("temperatures.png"));
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_NE(readText(out.file("temperatures.svg")).find("<svg"), std::string::npos);
}

// The table the command writes is the in-process run's, number for number:
// the shortest round-trip form loses nothing.
TEST(runner_example, results_file_reads_back_to_the_same_doubles) {
    ScratchFolder out("roundtrip");
    ASSERT_EQ(runCommand(PCM_EXAMPLES_DIR, "-q --output '" + out.path().string() + "' pcm-wallboard.toml").status, 0);
    auto spec = runner::parseRunFile(std::string(PCM_EXAMPLES_DIR) + "/pcm-wallboard.toml");
    ASSERT_TRUE(spec.ok()) << spec.error;
    auto inputs = runner::loadRunInputs(spec.value);
    ASSERT_TRUE(inputs.ok()) << inputs.error;
    runner::Module module;
    ASSERT_EQ(module.open(PCM_MODULE_PATH), "");
    auto results = runner::simulate(spec.value, inputs.value, module.entry());
    ASSERT_TRUE(results.ok()) << results.error;

    std::string heading;
    const auto rows = readNumbers(readText(out.file("results.csv")), heading);
    ASSERT_EQ(rows.size(), results.value.time.size());
    for (std::size_t n = 0; n < rows.size(); ++n) {
        ASSERT_EQ(rows[n][0], results.value.time[n]);
        for (std::size_t c = 0; c < results.value.surface.size(); ++c)
            ASSERT_EQ(rows[n][c + 1], results.value.surface[c][n]) << "row " << n << " column " << c + 1;
    }
}

// ---------------------------------------------------------------- bad input

constexpr char kRunFile[] = R"([simulation]
start = 0
stop = 2
step = 0.5

[[unit]]
name = "a"
conductivity = 0.27
density = 770
baseSpecificHeat = 1000
peakSpecificHeat = 8060
peakWidth = 4
nodeCount = 6
thickness = 0.015
initialTemperature = 22
peakTemperature = 23
leftFluidTemperature = "air.csv:room"
leftFilmCoefficient = 8
leftHeatFlux = 0
rightFluidTemperature = 20
rightFilmCoefficient = 0.3
rightHeatFlux = 0
)";

constexpr char kAirCsv[] = "time,room\n0,21\n1,23\n2,22\n";

struct BadInput {
    const char* what;
    const char* file;  // "run.toml", "air.csv" or "" for the command line
    const char* from;  // replaced in that file; "" appends to
    const char* to;
    const char* error;  // the whole line on standard error
};

const BadInput kBadInputs[] = {
    {"unknown key, near a known one", "run.toml",
     "density =", "densty =", "run.toml:9: [[unit]] 'a' unknown key 'densty' (did you mean 'density'?)"},
    {"unknown key", "run.toml", "name = \"a\"", "name = \"a\"\ncolour = 3",
     "run.toml:8: [[unit]] 'a' unknown key 'colour' (expected one of: name like conductivity density "
     "baseSpecificHeat peakSpecificHeat peakWidth nodeCount thickness initialTemperature peakTemperature "
     "leftFluidTemperature leftFilmCoefficient leftHeatFlux rightFluidTemperature rightFilmCoefficient "
     "rightHeatFlux)"},
    {"unknown table", "run.toml", "", "[outputs]\ndirectory = \"x\"\n",
     "run.toml:24: unknown key 'outputs' (did you mean 'output'?)"},
    {"missing parameter", "run.toml", "thickness = 0.015\n", "", "run.toml:6: [[unit]] 'a': missing key 'thickness'"},
    {"missing input", "run.toml", "rightHeatFlux = 0\n", "", "run.toml:6: [[unit]] 'a': missing key 'rightHeatFlux'"},
    {"missing step", "run.toml", "step = 0.5\n", "", "run.toml:1: [simulation]: missing key 'step' (hours)"},
    {"missing unit name", "run.toml", "name = \"a\"\n", "", "run.toml:6: [[unit]] 1: missing key 'name'"},
    {"text for a number", "run.toml", "nodeCount = 6", "nodeCount = \"6\"",
     "run.toml:13: [[unit]] 'a' 'nodeCount': expected a number, got a string"},
    {"boolean for an input", "run.toml", "leftFilmCoefficient = 8", "leftFilmCoefficient = true",
     "run.toml:18: [[unit]] 'a' 'leftFilmCoefficient': expected a number, \"FILE.csv:COLUMN\" or { file = "
     "\"FILE.csv\", column = \"COLUMN\" }, got a boolean"},
    {"NaN parameter", "run.toml", "density = 770", "density = nan",
     "run.toml:9: [[unit]] 'a' 'density': expected a finite number, got nan"},
    {"reference without a column", "run.toml", "\"air.csv:room\"", "\"air.csv\"",
     "run.toml:17: [[unit]] 'a' 'leftFluidTemperature': expected a number, \"FILE.csv:COLUMN\" or { file = "
     "\"FILE.csv\", column = \"COLUMN\" }, got \"air.csv\""},
    {"unknown column", "run.toml", "air.csv:room", "air.csv:rooom",
     "run.toml:17: [[unit]] 'a' 'leftFluidTemperature': air.csv has no column 'rooom' (it has: room)"},
    {"missing input file", "run.toml", "air.csv:room", "weather.csv:room",
     "weather.csv: cannot be opened: No such file or directory"},
    {"not TOML", "run.toml", "stop = 2", "stop = = 2",
     "run.toml:3: not valid TOML: Error while parsing value: could not determine value type"},
    {"stop before start", "run.toml", "stop = 2", "stop = -1",
     "run.toml:1: [simulation]: stop = -1 h is before start = 0 h"},
    {"zero step", "run.toml", "step = 0.5", "step = 0",
     "run.toml:1: [simulation]: step = 0 h: expected a step greater than 0"},
    {"negative step", "run.toml", "step = 0.5", "step = -0.5",
     "run.toml:1: [simulation]: step = -0.5 h: expected a step greater than 0"},
    {"period not whole steps", "run.toml", "step = 0.5", "step = 0.3",
     "run.toml:1: [simulation]: stop - start = 2 h is not a whole number of steps of 0.3 h"},
    {"duplicate unit name", "run.toml", "", "[[unit]]\nname = \"a\"\nlike = \"a\"\n",
     "run.toml:24: [[unit]] 'a': the name is already used by the unit on line 6"},
    {"like an unknown unit", "run.toml", "", "[[unit]]\nname = \"b\"\nlike = \"c\"\n",
     "run.toml:24: [[unit]] 'b': 'like' = \"c\": expected the name of a unit above this one"},
    {"bad unit name", "run.toml", "name = \"a\"", "name = \"a,b\"",
     "run.toml:7: [[unit]] 1: 'name' = \"a,b\": expected 1 to 64 letters, digits, '-' or '_'"},
    {"input file too short", "run.toml", "stop = 2", "stop = 3",
     "air.csv: covers 0 h to 2 h, but the run needs 0 h to 3 h"},
    {"input file starts late", "air.csv", "0,21\n", "", "air.csv: covers 1 h to 2 h, but the run needs 0 h to 2 h"},
    {"non-numeric cell", "air.csv", "1,23", "1,2x3", "air.csv:3: column 'room': expected a finite number, got \"2x3\""},
    {"empty cell", "air.csv", "1,23", "1,", "air.csv:3: column 'room': the cell is empty, expected a number"},
    {"missing cell", "air.csv", "1,23", "1", "air.csv:3: expected 2 cells as in the heading, got 1"},
    {"time not increasing", "air.csv", "2,22", "1,22",
     "air.csv:4: time 1 h does not increase (the row before is at 1 h)"},
    {"heading only", "air.csv", "0,21\n1,23\n2,22\n", "", "air.csv: has a heading but no rows"},
    {"node count below 1", "run.toml", "nodeCount = 6", "nodeCount = 0.5",
     "run.toml: [[unit]] 'a': the component stopped the run: FATAL: nodeCount (parameter 6) = 0.5: a layer needs "
     "at least 1 node and at most 2147483647; no layer was created"},
    {"peak without width", "", "", "peak --latent 1000", "--width is required"},
    {"peak with zero width", "", "", "peak --latent 1000 --width 0",
     "--width 0: expected a peakWidth greater than 0 (K2)"},
    {"peak with negative latent heat", "", "", "peak --latent -5 --width 4",
     "--latent -5: expected a latent heat of 0 or more (J/kg)"},
    {"no run file", "", "", "", "expected a run file: pcm-run RUNFILE (see pcm-run --help)"},
    {"run file missing", "", "", "nothere.toml", "nothere.toml: cannot be opened: No such file or directory"},
    {"module missing", "", "", "--module ./nothere.so run.toml",
     "cannot load the component ./nothere.so: ./nothere.so: cannot open shared object file: No such file or directory"},
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.what; }

class runner_bad_input : public ::testing::TestWithParam<BadInput> {};

TEST_P(runner_bad_input, one_error_line_status_2_and_no_output) {
    const BadInput& c = GetParam();
    ScratchFolder folder("bad");
    std::string run = kRunFile, air = kAirCsv;
    if (!std::string(c.file).empty()) {
        std::string& target = std::string(c.file) == "air.csv" ? air : run;
        target = std::string(c.from).empty() ? target + "\n" + c.to : replaced(target, c.from, c.to);
    }
    writeText(folder.file("run.toml"), run);
    writeText(folder.file("air.csv"), air);

    const Outcome o = runCommand(folder.path(), std::string(c.file).empty() ? c.to : "run.toml");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, "pcm-run: error: " + std::string(c.error) + "\n");
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(folderEntries(folder.path()), (std::set<std::string>{"air.csv", "run.toml"}));
}

INSTANTIATE_TEST_SUITE_P(table, runner_bad_input, ::testing::ValuesIn(kBadInputs),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             std::string name = info.param.what;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

// ---------------------------------------------------------------- NaN

// A zero peak width makes the peak's exponent 0 x infinity at the peak
// temperature: the node that sits there turns NaN on the first step.  The run
// finishes, writes its outputs and says so at the end.
TEST(runner_nan, a_run_whose_outputs_turn_nan_says_so_and_exits_1) {
    ScratchFolder folder("nan");
    writeText(folder.file("run.toml"), replaced(replaced(kRunFile, "peakWidth = 4", "peakWidth = 0"),
                                                "initialTemperature = 22", "initialTemperature = 23"));
    writeText(folder.file("air.csv"), kAirCsv);
    const Outcome o = runCommand(folder.path(), "-q run.toml");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "pcm-run: warning: unit 'a': the outputs are not finite numbers (NaN or infinite) from 0.5 h on; "
              "check its parameters and inputs\n");
    const std::string csv = readText(folder.file("run-results/results.csv"));
    EXPECT_NE(csv.find("\n0.5,nan,nan\n"), std::string::npos) << csv;
}

// ---------------------------------------------------------------- peak

TEST(runner_peak, converts_latent_heat_to_peak_height_and_back) {
    ScratchFolder folder("peak");
    const Outcome forward = runCommand(folder.path(), "peak --latent 28571 --width 4");
    ASSERT_EQ(forward.status, 0) << forward.err;
    const double expected = 28571 / std::sqrt(std::numbers::pi * 4);
    const std::size_t eq = forward.out.find("= ");
    ASSERT_EQ(forward.out.substr(0, eq), "peakSpecificHeat ");
    double printed = 0;
    std::from_chars(forward.out.data() + eq + 2, forward.out.data() + forward.out.size(), printed);
    EXPECT_EQ(printed, expected);

    const Outcome back = runCommand(folder.path(), "peak --peak-specific-heat 8060 --width 9");
    ASSERT_EQ(back.status, 0) << back.err;
    const std::size_t backEq = back.out.find("= ");
    ASSERT_EQ(back.out.substr(0, backEq), "latentHeat ");
    std::from_chars(back.out.data() + backEq + 2, back.out.data() + back.out.size(), printed);
    EXPECT_EQ(printed, 8060 * std::sqrt(std::numbers::pi * 9));
}

}  // namespace
}  // namespace pcm::testing
