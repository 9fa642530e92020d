// The built module takes no exponential from the C runtime: its dynamic
// symbol table imports no `exp` (plain or versioned, exp@GLIBC_...).
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> undefinedDynamicSymbols(std::string& error) {
    const std::string command = std::string(PCM_NM) + " -D --undefined-only '" + PCM_MODULE_PATH + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        error = "cannot run " + command;
        return {};
    }
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    if (pclose(pipe) != 0) error = command + " failed:\n" + output;
    // Lines read "                 U name" or "U name@VERSION".
    std::vector<std::string> names;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string kind, name;
        if (words >> kind >> name && kind == "U") names.push_back(name);
    }
    return names;
}

TEST(module, imports_no_exp_from_the_c_runtime) {
    std::string error;
    const std::vector<std::string> names = undefinedDynamicSymbols(error);
    ASSERT_EQ(error, "");
    // The listing is real: the module imports the host's kernel routines.
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        const std::string base = name.substr(0, name.find('@'));
        EXPECT_NE(base, "exp") << name;
    }
}

}  // namespace
