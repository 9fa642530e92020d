#include "run_file.h"

#include "toml_guard.h"

// toml++ as a header-only library without exceptions: a parse error comes back
// as a value, so nothing can escape the parse functions.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
// toml++ 3.3 asserts (aborting a debug build) on some malformed table headers,
// "[{a]" or "[[[a]]]", where it means to report a parse error; without the
// assertion it reports the error, as a release build does.
#define TOML_ASSERT(expr) static_assert(true)
#include <toml++/toml.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

namespace pcm::runner {
namespace {

// Bounds that keep a run within memory: the results hold one row per step.
constexpr std::size_t kMaxSteps = 10'000'000;
constexpr std::size_t kMaxUnits = 1000;

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about
// "'" + std::string(s).
std::string quote(std::string_view s) {
    std::string q;
    q.reserve(s.size() + 2);
    q += '\'';
    q += s;
    q += '\'';
    return q;
}

std::string formatNumber(double v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}

std::string at(const std::string& file, std::int64_t line) {
    return line > 0 ? file + ":" + std::to_string(line) + ": " : file + ": ";
}

std::int64_t lineOf(const toml::node& node) { return static_cast<std::int64_t>(node.source().begin.line); }
std::int64_t lineOf(const toml::key& key) { return static_cast<std::int64_t>(key.source().begin.line); }

const char* typeName(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::string:
            return "a string";
        case toml::node_type::integer:
            return "an integer";
        case toml::node_type::floating_point:
            return "a number";
        case toml::node_type::boolean:
            return "a boolean";
        case toml::node_type::table:
            return "a table";
        case toml::node_type::array:
            return "an array";
        case toml::node_type::date:
            return "a date";
        case toml::node_type::time:
            return "a time";
        case toml::node_type::date_time:
            return "a date-time";
        default:
            return "nothing";
    }
}

// Edit distance, for suggesting the key a misspelt one was meant to be.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::string unknownKey(const std::string& where, std::string_view key, const std::vector<std::string_view>& known) {
    std::string message = where + "unknown key " + quote(key);
    std::string_view best;
    std::size_t bestDistance = 3;
    for (std::string_view k : known) {
        const std::size_t d = distance(key, k);
        if (d < bestDistance) bestDistance = d, best = k;
    }
    if (!best.empty()) return message + " (did you mean " + quote(best) + "?)";
    message += " (expected one of:";
    for (std::string_view k : known) {
        message += ' ';
        message += k;
    }
    return message + ")";
}

// Reads a finite number (a TOML integer or float) or says what was wrong.
std::optional<double> finiteNumber(const toml::node& node, const std::string& where, std::string_view key,
                                   std::string& error) {
    if (!node.is_number()) {
        error = where + quote(key) + ": expected a number, got " + typeName(node);
        return std::nullopt;
    }
    const double v = node.value<double>().value_or(std::nan(""));
    if (!std::isfinite(v)) {
        error = where + quote(key) + ": expected a finite number, got " + formatNumber(v);
        return std::nullopt;
    }
    return v;
}

std::string resolvePath(const std::string& baseDirectory, std::string_view path) {
    std::filesystem::path p{std::string(path)};
    if (p.is_absolute() || baseDirectory.empty()) return p.lexically_normal().string();
    return (std::filesystem::path(baseDirectory) / p).lexically_normal().string();
}

bool isGoodUnitName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

// One [[unit]] as written, before `like` is applied: every key it gives.
struct UnitEntry {
    std::string name;
    std::string like;
    std::int64_t line = 0;
    std::map<int, double> parameters;   // slot -> value
    std::map<int, InputSource> inputs;  // slot -> source
};

struct Parser {
    std::string file;
    std::string baseDirectory;
    std::string error;

    bool fail(std::string message) {
        if (error.empty()) error = std::move(message);
        return false;
    }

    bool readSimulation(const toml::table& table, RunSpec& spec, std::int64_t tableLine) {
        const std::vector<std::string_view> known = {"start", "stop", "step"};
        std::optional<double> values[3];
        for (auto&& [key, node] : table) {
            const std::string where = at(file, lineOf(key)) + "[simulation] ";
            const auto it = std::find(known.begin(), known.end(), key.str());
            if (it == known.end()) return fail(unknownKey(where, key.str(), known));
            values[it - known.begin()] = finiteNumber(node, where, key.str(), error);
            if (!values[it - known.begin()]) return false;
        }
        for (std::size_t k = 0; k < known.size(); ++k)
            if (!values[k])
                return fail(at(file, tableLine) + "[simulation]: missing key " + quote(known[k]) + " (hours)");
        spec.start = *values[0];
        spec.stop = *values[1];
        spec.step = *values[2];
        const std::string where = at(file, tableLine) + "[simulation]: ";
        if (!(spec.step > 0))
            return fail(where + "step = " + formatNumber(spec.step) + " h: expected a step greater than 0");
        if (spec.stop < spec.start)
            return fail(where + "stop = " + formatNumber(spec.stop) +
                        " h is before start = " + formatNumber(spec.start) + " h");
        const double steps = (spec.stop - spec.start) / spec.step;
        if (!(steps <= static_cast<double>(kMaxSteps)))
            return fail(where + "the period holds " + formatNumber(std::floor(steps)) + " steps; at most " +
                        std::to_string(kMaxSteps) + " are allowed");
        spec.stepCount = static_cast<std::size_t>(std::llround(steps));
        // The last time-step call falls on the stop time: the period must be a
        // whole number of steps (up to the rounding of the three numbers).
        const double last = spec.start + static_cast<double>(spec.stepCount) * spec.step;
        const double slack = 1e-9 * std::max({1.0, std::fabs(spec.start), std::fabs(spec.stop)});
        if (std::fabs(last - spec.stop) > slack)
            return fail(where + "stop - start = " + formatNumber(spec.stop - spec.start) +
                        " h is not a whole number of steps of " + formatNumber(spec.step) + " h");
        return true;
    }

    bool readOutput(const toml::table& table, RunSpec& spec) {
        const std::vector<std::string_view> known = {"directory", "temperatureUnit"};
        for (auto&& [key, node] : table) {
            const std::string where = at(file, lineOf(key)) + "[output] ";
            const std::string_view k = key.str();
            if (std::find(known.begin(), known.end(), k) == known.end()) return fail(unknownKey(where, k, known));
            const auto* s = node.as_string();
            if (!s) return fail(where + quote(k) + ": expected a string, got " + typeName(node));
            if (k == "temperatureUnit") {
                spec.temperatureUnit = s->get();
                continue;
            }
            if (s->get().empty()) return fail(where + "'directory': expected a folder, got an empty string");
            spec.outputDirectory = resolvePath(baseDirectory, s->get());
        }
        return true;
    }

    bool readSource(const toml::node& node, const std::string& where, std::string_view key, InputSource& source) {
        source.line = static_cast<int>(lineOf(node));
        const std::string expected =
            ": expected a number, \"FILE.csv:COLUMN\" or { file = \"FILE.csv\", column = \"COLUMN\" }";
        if (node.is_number()) {
            const auto v = finiteNumber(node, where, key, error);
            if (!v) return false;
            source.constant = *v;
            return true;
        }
        std::string_view fileName, column;
        if (const auto* s = node.as_string()) {
            const std::string_view text = s->get();
            const std::size_t colon = text.rfind(':');
            if (colon == std::string_view::npos)
                return fail(where + quote(key) + expected + ", got \"" + std::string(text) + "\"");
            fileName = text.substr(0, colon);
            column = text.substr(colon + 1);
        } else if (const auto* t = node.as_table()) {
            for (auto&& [k, v] : *t) {
                const std::string inner = at(file, lineOf(k)) + where.substr(where.find(' ') + 1);
                if (k.str() != "file" && k.str() != "column")
                    return fail(unknownKey(inner + quote(key) + ": ", k.str(), {"file", "column"}));
                const auto* s = v.as_string();
                if (!s)
                    return fail(inner + quote(key) + "." + std::string(k.str()) + ": expected a string, got " +
                                typeName(v));
                (k.str() == "file" ? fileName : column) = s->get();
            }
            if (fileName.empty() && column.empty() && t->empty())
                return fail(where + quote(key) + expected + ", got an empty table");
        } else {
            return fail(where + quote(key) + expected + ", got " + typeName(node));
        }
        if (fileName.empty()) return fail(where + quote(key) + ": the input file is missing (\"FILE.csv:COLUMN\")");
        if (column.empty()) return fail(where + quote(key) + ": the column is missing (\"FILE.csv:COLUMN\")");
        source.file = resolvePath(baseDirectory, fileName);
        source.column = std::string(column);
        return true;
    }

    bool readUnit(const toml::table& table, std::int64_t tableLine, std::size_t index, UnitEntry& unit) {
        unit.line = tableLine;
        std::vector<std::string_view> known = {"name", "like"};
        for (const char* n : kParameterNames) known.push_back(n);
        for (const char* n : kInputNames) known.push_back(n);
        // The name first, so that every later message can carry it.
        if (const toml::node* n = table.get("name")) {
            const auto* s = n->as_string();
            if (!s)
                return fail(at(file, lineOf(*n)) + "[[unit]] " + std::to_string(index + 1) +
                            ": 'name': expected a string, got " + typeName(*n));
            unit.name = s->get();
            if (!isGoodUnitName(unit.name))
                return fail(at(file, lineOf(*n)) + "[[unit]] " + std::to_string(index + 1) + ": 'name' = \"" +
                            unit.name + "\": expected 1 to 64 letters, digits, '-' or '_'");
        } else {
            return fail(at(file, tableLine) + "[[unit]] " + std::to_string(index + 1) + ": missing key 'name'");
        }
        for (auto&& [key, node] : table) {
            const std::string where = at(file, lineOf(key)) + "[[unit]] " + quote(unit.name) + " ";
            const std::string_view k = key.str();
            if (k == "name") continue;
            if (k == "like") {
                const auto* s = node.as_string();
                if (!s) return fail(where + "'like': expected the name of a unit above, got " + typeName(node));
                unit.like = s->get();
                continue;
            }
            const auto p =
                std::find_if(kParameterNames.begin(), kParameterNames.end(), [&](const char* n) { return k == n; });
            if (p != kParameterNames.end()) {
                const auto v = finiteNumber(node, where, k, error);
                if (!v) return false;
                unit.parameters[static_cast<int>(p - kParameterNames.begin())] = *v;
                continue;
            }
            const auto i = std::find_if(kInputNames.begin(), kInputNames.end(), [&](const char* n) { return k == n; });
            if (i != kInputNames.end()) {
                InputSource source;
                if (!readSource(node, where, k, source)) return false;
                unit.inputs[static_cast<int>(i - kInputNames.begin())] = std::move(source);
                continue;
            }
            return fail(unknownKey(where, k, known));
        }
        return true;
    }

    // Checks that every parameter and input has a value (`like` already applied).
    bool completeUnit(const UnitEntry& entry, UnitSpec& unit) {
        const std::string where = at(file, entry.line) + "[[unit]] " + quote(entry.name) + ": ";
        const std::map<int, double>& parameters = entry.parameters;
        const std::map<int, InputSource>& inputs = entry.inputs;
        unit.name = entry.name;
        for (int k = 0; k < kParameterCount; ++k) {
            const auto it = parameters.find(k);
            if (it == parameters.end())
                return fail(where + "missing key " + quote(kParameterNames[static_cast<std::size_t>(k)]));
            unit.parameters[static_cast<std::size_t>(k)] = it->second;
        }
        for (int k = 0; k < kInputCount; ++k) {
            const auto it = inputs.find(k);
            if (it == inputs.end())
                return fail(where + "missing key " + quote(kInputNames[static_cast<std::size_t>(k)]));
            unit.inputs[static_cast<std::size_t>(k)] = it->second;
        }
        return true;
    }

    bool parse(std::string_view text, RunSpec& spec) {
        if (const std::string bad = findTextTomlCannotTake(text); !bad.empty()) return fail(file + ":" + bad);
        toml::parse_result parsed = toml::parse(text, file);
        if (!parsed) {
            const auto& e = parsed.error();
            return fail(at(file, static_cast<std::int64_t>(e.source().begin.line)) +
                        "not valid TOML: " + std::string(e.description()));
        }
        const toml::table& root = parsed.table();
        bool sawSimulation = false;
        std::vector<UnitEntry> entries;
        for (auto&& [key, node] : root) {
            const std::string where = at(file, lineOf(key));
            const std::string_view k = key.str();
            if (k == "simulation") {
                const auto* t = node.as_table();
                if (!t) return fail(where + "'simulation': expected a table [simulation], got " + typeName(node));
                if (!readSimulation(*t, spec, lineOf(key))) return false;
                sawSimulation = true;
            } else if (k == "output") {
                const auto* t = node.as_table();
                if (!t) return fail(where + "'output': expected a table [output], got " + typeName(node));
                if (!readOutput(*t, spec)) return false;
            } else if (k == "unit") {
                const auto* a = node.as_array();
                if (!a || !a->is_array_of_tables())
                    return fail(where + "'unit': expected tables [[unit]], got " + typeName(node));
                for (std::size_t i = 0; i < a->size(); ++i) {
                    const toml::node& u = *a->get(i);
                    UnitEntry entry;
                    if (!readUnit(*u.as_table(), lineOf(u), i, entry)) return false;
                    for (const UnitEntry& e : entries)
                        if (e.name == entry.name)
                            return fail(at(file, entry.line) + "[[unit]] " + quote(entry.name) +
                                        ": the name is already used by the unit on line " + std::to_string(e.line));
                    // Fold `like` in now, so that a chain of likes resolves in order.
                    if (!entry.like.empty()) {
                        const auto base = std::find_if(entries.begin(), entries.end(),
                                                       [&](const UnitEntry& e) { return e.name == entry.like; });
                        if (base == entries.end())
                            return fail(at(file, entry.line) + "[[unit]] " + quote(entry.name) + ": 'like' = \"" +
                                        entry.like + "\": expected the name of a unit above this one");
                        entry.parameters.insert(base->parameters.begin(), base->parameters.end());
                        entry.inputs.insert(base->inputs.begin(), base->inputs.end());
                        entry.like.clear();
                    }
                    entries.push_back(std::move(entry));
                }
            } else {
                return fail(unknownKey(where, k, {"simulation", "output", "unit"}));
            }
        }
        if (!sawSimulation) return fail(file + ": missing table [simulation] (start, stop, step in hours)");
        if (entries.empty()) return fail(file + ": missing [[unit]]: a run needs at least one unit");
        if (entries.size() > kMaxUnits)
            return fail(file + ": " + std::to_string(entries.size()) + " units; at most " + std::to_string(kMaxUnits) +
                        " are allowed");
        for (const UnitEntry& entry : entries) {
            UnitSpec unit;
            if (!completeUnit(entry, unit)) return false;
            spec.units.push_back(std::move(unit));
        }
        if (spec.outputDirectory.empty()) {
            const std::string stem = std::filesystem::path(file).stem().string();
            spec.outputDirectory = resolvePath(baseDirectory, (stem.empty() ? std::string("run") : stem) + "-results");
        }
        return true;
    }
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> splitCells(std::string_view line) {
    std::vector<std::string_view> cells;
    std::size_t begin = 0;
    while (true) {
        const std::size_t comma = line.find(',', begin);
        cells.push_back(
            trim(line.substr(begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin)));
        if (comma == std::string_view::npos) return cells;
        begin = comma + 1;
    }
}

// A whole cell as a finite number; from_chars does not depend on the locale.
std::optional<double> parseCell(std::string_view cell) {
    if (!cell.empty() && cell.front() == '+') cell.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), v);
    if (ec != std::errc() || end != cell.data() + cell.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// A message made one printable line: user text quoted in it (a TOML string
// with a line break, a CSV cell with a NUL or a terminal escape) is shown with
// its control characters escaped, so that the message stays one line on a
// terminal and in a log.
std::string oneLine(std::string message) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string line;
    line.reserve(message.size());
    for (const char c : message) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) {
            line += c;
        } else if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if (c == '\t') {
            line += "\\t";
        } else {
            line += "\\x";
            line += kHex[u >> 4];
            line += kHex[u & 15];
        }
    }
    return line;
}

}  // namespace

Parsed<RunSpec> parseRunText(std::string_view text, const std::string& name, const std::string& baseDirectory) {
    Parsed<RunSpec> result;
    try {
        Parser parser{name, baseDirectory, {}};
        result.value.runFile = name;
        if (!parser.parse(text, result.value)) {
            result.error = parser.error.empty() ? name + ": could not be read" : parser.error;
            result.value = {};
        }
    } catch (const std::exception& e) {
        result = {};
        result.error = name + ": " + e.what();
    }
    result.error = oneLine(std::move(result.error));
    return result;
}

bool readWholeFile(const std::string& path, std::string& text, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": is a folder, expected a file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened: " + std::strerror(errno);
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    text = std::move(buffer).str();
    return true;
}

Parsed<RunSpec> parseRunFile(const std::string& path) {
    Parsed<RunSpec> result;
    std::string text;
    try {
        if (!readWholeFile(path, text, result.error)) return result;
    } catch (const std::exception& e) {
        result.error = path + ": " + e.what();
        return result;
    }
    return parseRunText(text, path, std::filesystem::path(path).parent_path().string());
}

int InputTable::findColumn(std::string_view heading) const {
    const auto it = std::find(columns.begin(), columns.end(), heading);
    return it == columns.end() ? -1 : static_cast<int>(it - columns.begin());
}

double InputTable::at(int column, double t) const {
    const std::vector<double>& v = values[static_cast<std::size_t>(column)];
    // The first row whose time is above t; t lies within the table.
    const auto upper = std::upper_bound(time.begin(), time.end(), t);
    if (upper == time.end()) return v.back();
    if (upper == time.begin()) return v.front();
    const std::size_t i = static_cast<std::size_t>(upper - time.begin());
    const double t0 = time[i - 1], t1 = time[i];
    const double w = (t - t0) / (t1 - t0);
    const double rise = v[i] - v[i - 1];
    if (std::isfinite(rise)) return v[i - 1] + rise * w;
    // Rows so far apart (beyond half the largest double) that their
    // difference overflows: weigh the two instead, which cannot.
    return v[i - 1] * (1.0 - w) + v[i] * w;
}

Parsed<InputTable> parseCsvText(std::string_view text, const std::string& name) {
    Parsed<InputTable> result;
    try {
        InputTable& table = result.value;
        table.name = name;
        std::size_t lineNumber = 0, position = 0;
        bool haveHeading = false;
        while (position < text.size()) {
            const std::size_t newline = text.find('\n', position);
            const std::string_view raw =
                text.substr(position, newline == std::string_view::npos ? std::string_view::npos : newline - position);
            position = newline == std::string_view::npos ? text.size() : newline + 1;
            ++lineNumber;
            const std::string_view line = trim(raw);
            if (line.empty() || line.front() == '#') continue;
            const std::string where = name + ":" + std::to_string(lineNumber) + ": ";
            const std::vector<std::string_view> cells = splitCells(line);
            if (!haveHeading) {
                if (cells.size() < 2) {
                    result.error = where + "expected a heading line: time, then at least one column name";
                    break;
                }
                for (std::size_t c = 1; c < cells.size(); ++c) {
                    if (cells[c].empty()) {
                        result.error = where + "column " + std::to_string(c + 1) + " has no heading";
                        break;
                    }
                    if (table.findColumn(cells[c]) >= 0) {
                        result.error = where + "the heading " + quote(cells[c]) + " appears twice";
                        break;
                    }
                    table.columns.emplace_back(cells[c]);
                }
                if (!result.error.empty()) break;
                table.values.resize(table.columns.size());
                haveHeading = true;
                continue;
            }
            if (cells.size() != table.columns.size() + 1) {
                result.error = where + "expected " + std::to_string(table.columns.size() + 1) +
                               " cells as in the heading, got " + std::to_string(cells.size());
                break;
            }
            for (std::size_t c = 0; c < cells.size(); ++c) {
                const std::string column = c == 0 ? std::string("time") : quote(table.columns[c - 1]);
                if (cells[c].empty()) {
                    result.error = where + "column " + column + ": the cell is empty, expected a number";
                    break;
                }
                const auto v = parseCell(cells[c]);
                if (!v) {
                    result.error = where + "column " + column + ": expected a finite number, got \"" +
                                   std::string(cells[c]) + "\"";
                    break;
                }
                if (c == 0) {
                    if (!table.time.empty() && !(*v > table.time.back())) {
                        result.error = where + "time " + formatNumber(*v) +
                                       " h does not increase (the row before is at " + formatNumber(table.time.back()) +
                                       " h)";
                        break;
                    }
                    table.time.push_back(*v);
                } else {
                    table.values[c - 1].push_back(*v);
                }
            }
            if (!result.error.empty()) break;
        }
        if (result.error.empty() && !haveHeading) result.error = name + ": empty, expected a heading line and rows";
        if (result.error.empty() && table.time.empty()) result.error = name + ": has a heading but no rows";
    } catch (const std::exception& e) {
        result.error = name + ": " + e.what();
    }
    if (!result.ok()) result.value = {};
    result.error = oneLine(std::move(result.error));
    return result;
}

Parsed<InputTable> parseCsvFile(const std::string& path) {
    Parsed<InputTable> result;
    std::string text;
    try {
        if (!readWholeFile(path, text, result.error)) return result;
    } catch (const std::exception& e) {
        result.error = path + ": " + e.what();
        return result;
    }
    return parseCsvText(text, path);
}

double RunInputs::value(const RunSpec& spec, std::size_t unit, int input, double t) const {
    const auto [table, column] = sources[unit][static_cast<std::size_t>(input)];
    if (table < 0) return spec.units[unit].inputs[static_cast<std::size_t>(input)].constant;
    return tables[static_cast<std::size_t>(table)].at(column, t);
}

Parsed<RunInputs> loadRunInputs(const RunSpec& spec) {
    Parsed<RunInputs> result;
    try {
        RunInputs& inputs = result.value;
        for (const UnitSpec& unit : spec.units) {
            std::array<std::pair<int, int>, kInputCount> sources;
            for (std::size_t k = 0; k < unit.inputs.size(); ++k) {
                const InputSource& source = unit.inputs[k];
                sources[k] = {-1, -1};
                if (!source.isColumn()) continue;
                const std::string where =
                    at(spec.runFile, source.line) + "[[unit]] " + quote(unit.name) + " " + quote(kInputNames[k]) + ": ";
                auto table = std::find_if(inputs.tables.begin(), inputs.tables.end(),
                                          [&](const InputTable& t) { return t.name == source.file; });
                if (table == inputs.tables.end()) {
                    Parsed<InputTable> loaded = parseCsvFile(source.file);
                    if (!loaded.ok()) {
                        result.error = loaded.error;
                        break;
                    }
                    const InputTable& t = loaded.value;
                    if (t.time.front() > spec.start || t.time.back() < spec.stop) {
                        result.error = source.file + ": covers " + formatNumber(t.time.front()) + " h to " +
                                       formatNumber(t.time.back()) + " h, but the run needs " +
                                       formatNumber(spec.start) + " h to " + formatNumber(spec.stop) + " h";
                        break;
                    }
                    inputs.tables.push_back(std::move(loaded.value));
                    table = inputs.tables.end() - 1;
                }
                const int column = table->findColumn(source.column);
                if (column < 0) {
                    result.error = where + source.file + " has no column " + quote(source.column) + " (it has:";
                    for (const std::string& c : table->columns) result.error += " " + c;
                    result.error += ")";
                    break;
                }
                sources[k] = {static_cast<int>(table - inputs.tables.begin()), column};
            }
            if (!result.error.empty()) break;
            inputs.sources.push_back(sources);
        }
    } catch (const std::exception& e) {
        result.error = spec.runFile + ": " + e.what();
    }
    if (!result.ok()) result.value = {};
    result.error = oneLine(std::move(result.error));
    return result;
}

}  // namespace pcm::runner
