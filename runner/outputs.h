// What a run leaves behind: the results table, the component's message log
// and the figure of surface and fluid temperatures.
#pragma once

#include <string>

#include "run_file.h"
#include "simulation.h"

namespace pcm::runner {

// The files of one run, in spec.outputDirectory.
struct OutputPaths {
    std::string results;   // results.csv
    std::string messages;  // messages.log
    std::string figure;    // temperatures, without .png / .svg
};

OutputPaths outputPaths(const RunSpec& spec);

// The results table: a heading line (time, then unit.leftSurfaceTemperature
// and unit.rightSurfaceTemperature per unit), then one row per time-step call.
// Numbers are written in the shortest form that reads back to the same double.
std::string formatResults(const RunSpec& spec, const RunResults& results);

// One line per MESSAGES call: severity, unit number and name, text.
std::string formatMessages(const RunResults& results);

// Writes the three outputs.  Each file is written aside and renamed into
// place, the figure first and the tables last, so a failure leaves no table.
// Returns an empty string or one error line.
std::string writeOutputs(const RunSpec& spec, const RunResults& results, const OutputPaths& paths);

}  // namespace pcm::runner
