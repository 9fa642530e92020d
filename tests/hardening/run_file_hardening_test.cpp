// The runner's parsers on texts that once broke them: each is refused with
// one line that names the file, never with a crash or a message that spills
// over several lines, and the text users do write (non-ASCII comments and
// values) still reads.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "run_file.h"

namespace pcm::testing {
namespace {

struct BadText {
    const char* name;
    bool csv;          // an input table, else a run file
    std::string text;  // may hold a NUL
};

// Run files need a [simulation] and a unit before most of their values are
// looked at; this one is complete but for the line a case adds.
const std::string kUnit =
    "[simulation]\nstart = 0\nstop = 1\nstep = 0.5\n[[unit]]\nname = \"u\"\nconductivity = 0.2\ndensity = 800\n"
    "baseSpecificHeat = 2000\npeakSpecificHeat = 20000\npeakWidth = 4\nnodeCount = 11\nthickness = 0.02\n"
    "initialTemperature = 20\npeakTemperature = 25\nleftFilmCoefficient = 8\nleftHeatFlux = 100\n"
    "rightFluidTemperature = 18\nrightFilmCoefficient = 25\nrightHeatFlux = 0\n";

const BadText kBadTexts[] = {
    // User text quoted in the message carried its line breaks and control
    // characters into it.
    {"key_with_a_line_break", false, "\"a\\nb\" = 1\n"},
    {"unit_name_with_a_line_break", false, "[[unit]]\nname = \"a\\nb\"\n"},
    {"source_with_a_line_break", false, kUnit + "leftFluidTemperature = \"week\\ncsv\"\n"},
    {"cell_with_a_nul", true, std::string("time,a\n0,1\0", 11)},
    {"cell_with_a_carriage_return", true, "time,a\n0,1\r2\n"},
    {"cell_with_a_terminal_escape", true, "time,a\n0,\x1b[31m\n"},
    // toml++ 3.3 asserts (aborting a debug build) on these table headers.
    {"table_header_opening_a_brace", false, "[{a]\n"},
    {"array_of_tables_header_with_a_third_bracket", false, "[[[a]]]\n"},
    // toml++ 3.3 reaches __builtin_unreachable() when it asks whether one of
    // these characters is whitespace.
    {"non_ascii_bare_key", false, "[simulation]\ntemp\xC3\xA9rature = 1\n"},
    {"non_ascii_after_a_value", false, "[simulation]\nstart = 0 \xC3\xA9\n"},
    {"non_ascii_quoted_key", false, "\"\xC3\xA9\" = 1\n"},
    {"non_ascii_quoted_table_header", false, "[\"\xC3\xA9\"]\n"},
    {"non_ascii_in_a_value_toml_cannot_read", false, "[simulation]\nstart = 2i=\"\xC2\xB0\"\n"},
    {"non_ascii_after_a_line_ending_backslash", false, "s = \"\"\"\\\n\xC2\xA7\"\"\"\n"},
    {"non_ascii_escaped_in_a_multi_line_string", false, "s = \"\"\"\\\xC2\xA7\"\"\"\n"},
};

void PrintTo(const BadText& bad, std::ostream* os) { *os << bad.name; }

struct RefusedText : ::testing::TestWithParam<BadText> {};

TEST_P(RefusedText, gets_one_error_line_naming_the_file) {
    const BadText& bad = GetParam();
    const std::string error = bad.csv ? runner::parseCsvText(bad.text, "bad.csv").error
                                      : runner::parseRunText(bad.text, "bad.toml", "").error;
    ASSERT_FALSE(error.empty());
    EXPECT_EQ(error.rfind(bad.csv ? "bad.csv:" : "bad.toml:", 0), 0u) << error;
    for (const char c : error) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << error;
}

INSTANTIATE_TEST_SUITE_P(texts, RefusedText, ::testing::ValuesIn(kBadTexts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(run_file_text, non_ascii_comments_and_values_still_read) {
    const std::string text =
        "# Vn\xC4\x9Bj\xC5\xA1\xC3\xAD st\xC4\x9Bna \xE2\x80\x94 a comment in Czech\n" + kUnit +
        "leftFluidTemperature = \"po\xC4\x8D" "as\xC3\xAD.csv:venku\"  # \xC2\xB0" "C\n"
        "[output]\ndirectory = 'v\xC3\xBDsledky'\ntemperatureUnit = \"\xC2\xB0" "C\"\n";
    const auto parsed = runner::parseRunText(text, "czech.toml", "");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.value.temperatureUnit, "\xC2\xB0" "C");
    EXPECT_EQ(parsed.value.outputDirectory, "v\xC3\xBDsledky");
    const runner::InputSource& left = parsed.value.units.at(0).inputs[1];
    EXPECT_EQ(left.file, "po\xC4\x8D" "as\xC3\xAD.csv");
    EXPECT_EQ(left.column, "venku");
}

// Rows so far apart that their difference overflows: the table must still
// give each row's own value at its time and stay between them in between.
TEST(input_table, interpolates_values_whose_difference_overflows) {
    const auto parsed = runner::parseCsvText("time,a\n0,1e308\n1,-1e308\n2,1e308\n", "far.csv");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const runner::InputTable& table = parsed.value;
    EXPECT_EQ(table.at(0, 0.0), 1e308);
    EXPECT_EQ(table.at(0, 1.0), -1e308);
    EXPECT_EQ(table.at(0, 2.0), 1e308);
    const double middle = table.at(0, 0.5);
    EXPECT_TRUE(std::isfinite(middle));
    EXPECT_LE(std::fabs(middle), 1e308);
}

}  // namespace
}  // namespace pcm::testing
