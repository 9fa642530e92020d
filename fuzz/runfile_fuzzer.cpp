// Feeds the runner's parsing whatever a user could type: a run file (TOML), an
// input table (CSV), or both, the run file naming columns of the table.  The
// parse functions must never crash, and must either accept the text with
// every value the run relies on in range, or reject it with exactly one
// non-empty line that says what is wrong.
//
// Input format: the first byte picks what the rest is:
//   0  run-file text alone;
//   1  CSV text alone;
//   2  a run file, a line "%%", then the text of input.csv, a file in a
//      private folder the run file's relative paths are taken from.  When the
//      run file is accepted and names no other file, the tables are loaded.
// Other values of the first byte repeat the same three (modulo 3).
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "run_file.h"

namespace pcm::fuzz {
namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "run-file fuzzer: %s\n  %s\n", what, detail.c_str());
    std::abort();
}

#define EXPECT(cond, what, detail)          \
    do {                                    \
        if (!(cond)) fail((what), (detail)); \
    } while (0)

// One line that a terminal or a log shows as one line: not empty, and no
// line break or other control character (a tab is fine).
void expectOneLine(const std::string& error) {
    EXPECT(!error.empty(), "a rejection without a message", "");
    for (unsigned char c : error)
        EXPECT(c >= 0x20 || c == '\t', "an error message that is not a single line", error);
}

// The private folder the combined inputs' table lives in; removed at exit.
std::filesystem::path folder;

void removeFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

void checkRunSpec(const runner::RunSpec& spec) {
    EXPECT(std::isfinite(spec.start) && std::isfinite(spec.stop) && std::isfinite(spec.step), "a non-finite time", "");
    EXPECT(spec.step > 0 && spec.stop >= spec.start, "an accepted period that runs backwards or stands still", "");
    EXPECT(!spec.units.empty(), "an accepted run without units", "");
    EXPECT(!spec.outputDirectory.empty(), "an accepted run without an output folder", "");
    for (const runner::UnitSpec& unit : spec.units) {
        EXPECT(!unit.name.empty(), "an accepted unit without a name", "");
        for (double p : unit.parameters) EXPECT(std::isfinite(p), "an accepted non-finite parameter", unit.name);
        for (const runner::InputSource& source : unit.inputs) {
            if (source.isColumn())
                EXPECT(!source.column.empty(), "an accepted input column without a heading", unit.name);
            else
                EXPECT(std::isfinite(source.constant), "an accepted non-finite input", unit.name);
        }
    }
}

// Interpolation must give each row's own value at its time and stay between
// the two rows around any time in between.
void checkTable(const runner::InputTable& table) {
    EXPECT(!table.columns.empty() && table.values.size() == table.columns.size(), "columns and values disagree",
           table.name);
    EXPECT(!table.time.empty(), "an accepted table without rows", table.name);
    for (std::size_t r = 0; r < table.time.size(); ++r) {
        EXPECT(std::isfinite(table.time[r]), "an accepted non-finite time", table.name);
        if (r > 0) EXPECT(table.time[r] > table.time[r - 1], "accepted times that do not increase", table.name);
    }
    const std::size_t rows = std::min<std::size_t>(table.time.size(), 64);
    const std::size_t columns = std::min<std::size_t>(table.columns.size(), 16);
    for (std::size_t c = 0; c < columns; ++c) {
        const int column = static_cast<int>(c);
        EXPECT(table.findColumn(table.columns[c]) == column, "a heading that is not found or found twice",
               table.columns[c]);
        const std::vector<double>& v = table.values[c];
        EXPECT(v.size() == table.time.size(), "a column with another number of rows than the time", table.name);
        for (std::size_t r = 0; r < rows; ++r) {
            EXPECT(std::isfinite(v[r]), "an accepted non-finite value", table.name);
            const double atRow = table.at(column, table.time[r]);
            EXPECT(atRow == v[r], "interpolation does not give a row's own value at its time",
                   table.name + " column " + table.columns[c] + " row " + std::to_string(r));
            if (r + 1 < table.time.size()) {
                const double mid = table.time[r] + (table.time[r + 1] - table.time[r]) / 2;
                const double between = table.at(column, mid);
                EXPECT(between >= std::min(v[r], v[r + 1]) && between <= std::max(v[r], v[r + 1]),
                       "interpolation leaves the range of the two rows around it",
                       table.name + " column " + table.columns[c] + " row " + std::to_string(r));
            }
        }
    }
}

void fuzzRunText(std::string_view text, const std::string& baseDirectory) {
    const runner::Parsed<runner::RunSpec> run = runner::parseRunText(text, "fuzz.toml", baseDirectory);
    if (!run.ok()) {
        expectOneLine(run.error);
        return;
    }
    checkRunSpec(run.value);
    if (baseDirectory.empty()) return;

    // Load the tables only when the run names none but our own input.csv:
    // a fuzzed path could name a device or a file of any size.
    const std::string ours = (folder / "input.csv").lexically_normal().string();
    for (const runner::UnitSpec& unit : run.value.units)
        for (const runner::InputSource& source : unit.inputs)
            if (source.isColumn() && source.file != ours) return;
    const runner::Parsed<runner::RunInputs> inputs = runner::loadRunInputs(run.value);
    if (!inputs.ok()) {
        expectOneLine(inputs.error);
        return;
    }
    EXPECT(inputs.value.sources.size() == run.value.units.size(), "sources and units disagree", "");
    for (const runner::InputTable& table : inputs.value.tables) checkTable(table);
    const double times[] = {run.value.start, run.value.stop, run.value.start + (run.value.stop - run.value.start) / 3};
    for (std::size_t u = 0; u < run.value.units.size() && u < 8; ++u) {
        for (int k = 0; k < kInputCount; ++k) {
            const runner::InputSource& source = run.value.units[u].inputs[static_cast<std::size_t>(k)];
            for (double t : times) {
                const double v = inputs.value.value(run.value, u, k, t);
                if (!source.isColumn()) EXPECT(v == source.constant, "a constant input changed", run.value.units[u].name);
            }
        }
    }
}

void fuzzCsvText(std::string_view text) {
    const runner::Parsed<runner::InputTable> table = runner::parseCsvText(text, "fuzz.csv");
    if (!table.ok()) {
        expectOneLine(table.error);
        return;
    }
    checkTable(table.value);
}

}  // namespace
}  // namespace pcm::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/pcm-runfile-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("run-file fuzzer: mkdtemp");
        std::abort();
    }
    pcm::fuzz::folder = pattern;
    std::atexit(pcm::fuzz::removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pcm::fuzz;
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0: fuzzRunText(text, ""); break;
        case 1: fuzzCsvText(text); break;
        case 2: {
            std::size_t split = text.find("\n%%\n");
            const std::string_view run = text.substr(0, split);
            const std::string_view csv = split == std::string_view::npos ? std::string_view() : text.substr(split + 4);
            {
                std::ofstream out(folder / "input.csv", std::ios::binary | std::ios::trunc);
                out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
            }
            fuzzRunText(run, folder.string());
            break;
        }
    }
    return 0;
}
