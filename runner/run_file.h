// The runner's inputs: the run file (TOML) that names the period and the
// units, and the input tables (CSV) whose columns drive the units' inputs.
//
// Every function here reports bad input as one line that names the file, the
// line or key, and what was expected; none prints, exits or throws.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "layer.h"

namespace pcm::runner {

// The component's parameter and input names in the host's slot order.
inline constexpr std::array<const char*, kParameterCount> kParameterNames = {
    "conductivity", "density",   "baseSpecificHeat", "peakSpecificHeat",
    "peakWidth",    "nodeCount", "thickness",        "initialTemperature"};
inline constexpr std::array<const char*, kInputCount> kInputNames = {
    "peakTemperature",       "leftFluidTemperature", "leftFilmCoefficient", "leftHeatFlux",
    "rightFluidTemperature", "rightFilmCoefficient", "rightHeatFlux"};

// An input of a unit: a constant, or a column of an input table.
struct InputSource {
    double constant = 0;  // used when file is empty
    std::string file;     // path of the CSV, resolved against the run file's folder; empty for a constant
    std::string column;   // heading of the column
    int line = 0;         // line of the run file that names it, for messages

    bool isColumn() const { return !file.empty(); }
};

struct UnitSpec {
    std::string name;
    std::array<double, kParameterCount> parameters{};  // host slot order, units as the component takes them
    std::array<InputSource, kInputCount> inputs{};     // host slot order
};

struct RunSpec {
    std::string runFile;          // as given, for messages
    double start = 0;             // h, time of the first time-step call
    double stop = 0;              // h, time of the last time-step call
    double step = 0;              // h, host time step
    std::size_t stepCount = 0;    // host steps from start to stop: (stop - start) / step
    std::string outputDirectory;  // resolved against the run file's folder
    std::string temperatureUnit;  // for the plot's axis, e.g. "°C"; the component itself works in any one scale
    std::vector<UnitSpec> units;
};

// A value or one error line.
template <class T>
struct Parsed {
    T value{};
    std::string error;  // empty on success

    bool ok() const { return error.empty(); }
};

// Parses run-file text.  name is the file's name for messages; baseDirectory
// is the folder relative paths in the file are taken from ("" for the current
// one).  Does not read any input table.
Parsed<RunSpec> parseRunText(std::string_view text, const std::string& name, const std::string& baseDirectory);

// Reads and parses the run file at path.
Parsed<RunSpec> parseRunFile(const std::string& path);

// An input table: time in hours in the first column, one headed column per
// quantity, linearly interpolated between rows.
struct InputTable {
    std::string name;                         // the file, for messages
    std::vector<std::string> columns;         // headings after the time column
    std::vector<double> time;                 // h, strictly increasing
    std::vector<std::vector<double>> values;  // values[column][row]

    // Index of the column with this heading, or -1.
    int findColumn(std::string_view heading) const;
    // The column's value at time t (h), linear between rows.  t must lie
    // within [time.front(), time.back()].
    double at(int column, double t) const;
};

// Parses CSV text: a heading line, then one line of numbers per row.  Blank
// lines and lines starting with '#' are skipped; cells are separated by commas
// and may carry spaces around them.
Parsed<InputTable> parseCsvText(std::string_view text, const std::string& name);

// Reads and parses the CSV at path.
Parsed<InputTable> parseCsvFile(const std::string& path);

// The tables a run needs, loaded once each, and each input column checked to
// exist and to cover the run period.
struct RunInputs {
    std::vector<InputTable> tables;
    // For each unit and input: the table index and column, or -1 for a constant.
    std::vector<std::array<std::pair<int, int>, kInputCount>> sources;

    // The value of a unit's input at time t (h).
    double value(const RunSpec& spec, std::size_t unit, int input, double t) const;
};

Parsed<RunInputs> loadRunInputs(const RunSpec& spec);

// Reads a whole file.  Returns false and an error line if it cannot.
bool readWholeFile(const std::string& path, std::string& text, std::string& error);

}  // namespace pcm::runner
