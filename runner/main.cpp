// pcm-run: simulates PCM layers without the host program.  Reads a run file,
// loads the component's module as the host does, drives it through the host's
// call protocol and writes the results table, the message log and a figure.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

#include "outputs.h"
#include "run_file.h"
#include "simulation.h"

namespace {

using namespace pcm::runner;

// Exit statuses: 0 success, 1 a run that finished with non-finite outputs,
// 2 bad input or outputs that cannot be written (no outputs left behind).
constexpr int kBadInput = 2;
constexpr int kNonFinite = 1;

int failWith(const std::string& line) {
    std::fprintf(stderr, "pcm-run: error: %s\n", line.c_str());
    return kBadInput;
}

std::string formatNumber(double v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}

// The module beside the executable (an installed or copied runner), else the
// one this runner was built with.
std::string defaultModulePath() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto beside = self.parent_path() / "libType471Lib.so";
        if (std::filesystem::exists(beside, ec)) return beside.string();
    }
    return PCM_MODULE_PATH;
}

// A bar on standard error, shown only to a person watching a terminal and
// only once the run has taken a second.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : enabled_(enabled && ::isatty(STDERR_FILENO)) {}
    ~ProgressBar() { finish(); }

    void update(std::size_t done, std::size_t total) {
        if (!enabled_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!shown_ && now - begin_ < std::chrono::seconds(1)) return;
        if (shown_ && now - last_ < std::chrono::milliseconds(100) && done < total) return;
        shown_ = true;
        last_ = now;
        constexpr int kWidth = 40;
        const double fraction = total ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
        const int filled = static_cast<int>(fraction * kWidth);
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################", kWidth - filled,
                     "", static_cast<int>(fraction * 100));
        std::fflush(stderr);
    }
    void finish() {
        if (!shown_) return;
        std::fprintf(stderr, "\r%*s\r", 48, "");
        std::fflush(stderr);
        shown_ = false;
    }

private:
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point begin_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = begin_;
};

int runPeak(double latent, double peak, double width, bool haveLatent) {
    if (!std::isfinite(width) || !(width > 0))
        return failWith("--width " + formatNumber(width) + ": expected a peakWidth greater than 0 (K2)");
    // The Gaussian peak stores peakSpecificHeat * sqrt(pi * peakWidth) per kg.
    const double spread = std::sqrt(std::numbers::pi * width);
    if (haveLatent) {
        if (!std::isfinite(latent) || latent < 0)
            return failWith("--latent " + formatNumber(latent) + ": expected a latent heat of 0 or more (J/kg)");
        std::printf("peakSpecificHeat = %s  # J/(kg K): stores %s J/kg over peakWidth = %s K2\n",
                    formatNumber(latent / spread).c_str(), formatNumber(latent).c_str(), formatNumber(width).c_str());
    } else {
        if (!std::isfinite(peak) || peak < 0)
            return failWith("--peak-specific-heat " + formatNumber(peak) +
                            ": expected a peak height of 0 or more (J/(kg K))");
        std::printf("latentHeat = %s  # J/kg stored by peakSpecificHeat = %s J/(kg K) over peakWidth = %s K2\n",
                    formatNumber(peak * spread).c_str(), formatNumber(peak).c_str(), formatNumber(width).c_str());
    }
    return 0;
}

int simulateRunFile(const std::string& runFile, const std::string& modulePath, const std::string& outputOverride,
                    bool quiet) {
    const auto started = std::chrono::steady_clock::now();
    Parsed<RunSpec> spec = parseRunFile(runFile);
    if (!spec.ok()) return failWith(spec.error);
    if (!outputOverride.empty()) spec.value.outputDirectory = outputOverride;
    Parsed<RunInputs> inputs = loadRunInputs(spec.value);
    if (!inputs.ok()) return failWith(inputs.error);

    Module module;
    const std::string path = modulePath.empty() ? defaultModulePath() : modulePath;
    if (std::string error = module.open(path); !error.empty()) return failWith(error);

    Parsed<RunResults> results;
    {
        ProgressBar bar(!quiet);
        results = simulate(spec.value, inputs.value, module.entry(),
                           [&](std::size_t done, std::size_t total) { bar.update(done, total); });
    }
    if (!results.ok()) return failWith(results.error);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const OutputPaths paths = outputPaths(spec.value);
    if (std::string error = writeOutputs(spec.value, results.value, paths); !error.empty()) return failWith(error);

    if (!quiet) {
        std::printf("pcm-run: simulated %zu steps of %s h for %zu unit%s in %.3f s\n", spec.value.stepCount,
                    formatNumber(spec.value.step).c_str(), spec.value.units.size(),
                    spec.value.units.size() == 1 ? "" : "s", seconds);
        std::printf("  results   %s\n  messages  %s\n  figure    %s.png, %s.svg\n", paths.results.c_str(),
                    paths.messages.c_str(), paths.figure.c_str(), paths.figure.c_str());
    }
    const std::vector<NonFinite> bad = findNonFiniteOutputs(results.value);
    for (const NonFinite& n : bad)
        std::fprintf(stderr,
                     "pcm-run: warning: unit '%s': the outputs are not finite numbers (NaN or infinite) from %s h "
                     "on; check its parameters and inputs\n",
                     spec.value.units[n.unit].name.c_str(), formatNumber(n.time).c_str());
    return bad.empty() ? 0 : kNonFinite;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Simulates layers of phase-change material with the component, as the host would.", "pcm-run"};
    app.set_help_flag("-h,--help", "Show this help and exit");
    std::string runFile, modulePath, outputDirectory;
    bool quiet = false;
    app.add_option("RUNFILE", runFile, "Run file (TOML): period, units, inputs; see docs/runner.md");
    app.add_option("--module", modulePath, "Component module to load (default: beside pcm-run, else the built one)");
    app.add_option("--output", outputDirectory, "Folder for the outputs (overrides [output] directory)");
    app.add_flag("-q,--quiet", quiet, "Print nothing but errors and warnings; no progress bar");

    CLI::App* peak = app.add_subcommand("peak", "Converts a latent heat to the peak height and back");
    double latent = std::nan(""), peakHeight = std::nan(""), width = std::nan("");
    auto* latentOption = peak->add_option("--latent", latent, "Latent heat, J/kg");
    auto* peakOption = peak->add_option("--peak-specific-heat", peakHeight, "Peak height, J/(kg K)");
    peak->add_option("--width", width, "peakWidth, K2")->required();
    latentOption->excludes(peakOption);
    peakOption->excludes(latentOption);

    try {
        app.parse(argc, argv);
        if (peak->parsed()) {
            if (latentOption->count() == 0 && peakOption->count() == 0)
                return failWith("peak: expected --latent J_PER_KG or --peak-specific-heat J_PER_KG_K");
            return runPeak(latent, peakHeight, width, latentOption->count() > 0);
        }
        if (runFile.empty()) return failWith("expected a run file: pcm-run RUNFILE (see pcm-run --help)");
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& e) {
        return failWith(e.what());
    }
    try {
        return simulateRunFile(runFile, modulePath, outputDirectory, quiet);
    } catch (const std::exception& e) {
        return failWith(std::string("unexpected failure: ") + e.what());
    }
}
