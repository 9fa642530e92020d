#include "outputs.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "plot.h"

namespace pcm::runner {
namespace {

void appendNumber(std::string& out, double v) {
    // A NaN's sign means nothing; "-nan" would only puzzle a reader.
    if (std::isnan(v)) {
        out += "nan";
        return;
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    out.append(text, end);
}

std::string asidePath(const std::string& path) { return path + ".part-" + std::to_string(::getpid()); }

bool writeAside(const std::string& path, const std::string& text, std::string& error) {
    const std::string aside = asidePath(path);
    std::ofstream out(aside, std::ios::binary | std::ios::trunc);
    if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (out) out.close();
    if (!out) {
        error = "cannot write " + aside + ": " + std::strerror(errno);
        std::remove(aside.c_str());
        return false;
    }
    return true;
}

std::string axisLabel(const RunSpec& spec) {
    return spec.temperatureUnit.empty() ? std::string("temperature") : "temperature, " + spec.temperatureUnit;
}

// Where an input's values come from, to show each distinct fluid once.
std::string sourceKey(const InputSource& s) {
    if (s.isColumn()) return s.file + "\n" + s.column;
    std::string key;
    appendNumber(key, s.constant);
    return key;
}

std::vector<plot::Chart> makeCharts(const RunSpec& spec, const RunResults& results) {
    // The component reports 0 at the start time, before its first step: the
    // curves leave that point out (a gap) rather than plunge to 0.
    const std::vector<double>& time = results.time;
    const auto slice = [](std::vector<double> v) {
        if (v.size() > 1) v.front() = std::numeric_limits<double>::quiet_NaN();
        return v;
    };

    plot::Chart surfaces{
        "Surface temperatures (solid: left face; dashed or pale: right face)", "time, h", axisLabel(spec), {}};
    for (std::size_t u = 0; u < spec.units.size(); ++u) {
        const int colour = static_cast<int>(u);
        surfaces.series.push_back({spec.units[u].name + " left", time, slice(results.surface[2 * u]), false, colour});
        surfaces.series.push_back(
            {spec.units[u].name + " right", time, slice(results.surface[2 * u + 1]), true, colour});
    }

    plot::Chart fluids{"Fluid temperatures", "time, h", axisLabel(spec), {}};
    std::vector<std::string> shown;
    for (std::size_t u = 0; u < spec.units.size(); ++u) {
        for (int face = 0; face < 2; ++face) {
            const InputSource& source = spec.units[u].inputs[face == 0 ? 1 : 4];
            const std::string key = sourceKey(source);
            if (std::find(shown.begin(), shown.end(), key) != shown.end()) continue;
            shown.push_back(key);
            std::string label =
                source.isColumn() ? source.column : spec.units[u].name + (face == 0 ? " left" : " right") + " fluid";
            const int colour = static_cast<int>(spec.units.size() + shown.size() - 1);
            fluids.series.push_back({label, time, results.fluid[2 * u + face], false, colour});
        }
    }
    // A tick per day while the days can be told apart.
    const double span = results.time.back() - results.time.front();
    if (span >= 48 && span <= 24 * 21) surfaces.xTick = fluids.xTick = 24;
    return {surfaces, fluids};
}

}  // namespace

OutputPaths outputPaths(const RunSpec& spec) {
    const std::filesystem::path dir(spec.outputDirectory);
    return {(dir / "results.csv").string(), (dir / "messages.log").string(), (dir / "temperatures").string()};
}

std::string formatResults(const RunSpec& spec, const RunResults& results) {
    std::string out = "time";
    for (const UnitSpec& unit : spec.units)
        out += "," + unit.name + ".leftSurfaceTemperature," + unit.name + ".rightSurfaceTemperature";
    out += '\n';
    out.reserve(out.size() + results.time.size() * (1 + results.surface.size()) * 20);
    for (std::size_t n = 0; n < results.time.size(); ++n) {
        appendNumber(out, results.time[n]);
        for (const auto& column : results.surface) {
            out += ',';
            appendNumber(out, column[n]);
        }
        out += '\n';
    }
    return out;
}

std::string formatMessages(const RunResults& results) {
    std::string out;
    for (const LoggedMessage& m : results.messages) {
        out += m.severity + " unit " + std::to_string(m.unitNumber);
        if (!m.unitName.empty()) out += " (" + m.unitName + ")";
        out += ": " + m.text + "\n";
    }
    return out;
}

std::string writeOutputs(const RunSpec& spec, const RunResults& results, const OutputPaths& paths) {
    std::error_code ec;
    std::filesystem::create_directories(spec.outputDirectory, ec);
    if (ec) return "cannot create the output folder " + spec.outputDirectory + ": " + ec.message();

    std::string error;
    if (!writeAside(paths.results, formatResults(spec, results), error)) return error;
    if (!writeAside(paths.messages, formatMessages(results), error)) {
        std::remove(asidePath(paths.results).c_str());
        return error;
    }
    error = plot::writeFigure(makeCharts(spec, results), paths.figure);
    for (const std::string* path : {&paths.results, &paths.messages}) {
        const std::string aside = asidePath(*path);
        if (error.empty() && std::rename(aside.c_str(), path->c_str()) != 0)
            error = "cannot rename " + aside + " to " + *path + ": " + std::strerror(errno);
        std::remove(aside.c_str());
    }
    return error;
}

}  // namespace pcm::runner
