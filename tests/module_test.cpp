// The built module, loaded as a host loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "host_driver.h"
#include "stand_in_kernel.h"

namespace pcm::testing {
namespace {

std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    pclose(pipe);
    return output;
}

// The symbol names (last column) of `nm` output.
std::set<std::string> symbolNames(const std::string& nmOutput) {
    std::set<std::string> names;
    std::istringstream lines(nmOutput);
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find_last_of(' ');
        std::string name = line.substr(at == std::string::npos ? 0 : at + 1);
        if (const auto version = name.find('@'); version != std::string::npos) name.resize(version);
        if (!name.empty()) names.insert(name);
    }
    return names;
}

TEST(module, exports_the_entry_alone) {
    const auto exported = symbolNames(runCommand("nm -D --defined-only '" PCM_MODULE_PATH "'"));
    EXPECT_EQ(exported, std::set<std::string>{"TYPE471"});
}

TEST(module, takes_the_kernel_routines_from_the_kernel_library) {
    const auto imported = symbolNames(runCommand("nm -D --undefined-only '" PCM_MODULE_PATH "'"));
    for (const char* routine : {"TYPECK", "MESSAGES", "TRNSYSFUNCTIONS_mp_GETSIMULATIONTIMESTEP",
                                "TRNSYSFUNCTIONS_mp_GETSIMULATIONSTARTTIME"})
        EXPECT_EQ(imported.count(routine), 1u) << routine;
    EXPECT_NE(runCommand("objdump -p '" PCM_MODULE_PATH "'").find("NEEDED               libTRNDll.so"),
              std::string::npos);
}

TEST(module, runs_the_worked_example_through_dlsym) {
    standin::reset();
    standin::setSimulationTimeStep(0.25);
    void* module = dlopen(PCM_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto entry = reinterpret_cast<Entry>(dlsym(module, "TYPE471"));
    ASSERT_NE(entry, nullptr) << dlerror();

    HostUnit unit(entry, 1);
    unit.version();
    EXPECT_EQ(unit.info[11], 16);
    unit.initialize();
    ASSERT_EQ(standin::messageCalls().size(), 1u);  // the module reached our kernel
    EXPECT_EQ(standin::typeckCalls().size(), 1u);
    unit.step(0.0);
    EXPECT_EQ(unit.outputs[0], 0.0);
    unit.step(0.25);
    unit.step(0.25);
    unit.step(0.25);
    EXPECT_EQ(unit.outputs[0], 26.588139120364435);
    EXPECT_EQ(unit.outputs[1], 19.899105589246087);
    unit.endOfRun(0.25);
    EXPECT_EQ(dlclose(module), 0);
}

}  // namespace
}  // namespace pcm::testing
