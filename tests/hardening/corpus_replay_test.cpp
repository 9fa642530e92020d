// A fuzzer's inputs kept in fuzz/ replayed through its harness: its seeds
// (fuzz/corpus/TARGET) and every input that once found a fault
// (fuzz/regressions/TARGET).  The harness is compiled in with this file, for
// the target PCM_FUZZ_TARGET names.  A harness aborts with the check that
// failed, so a failure here reads as a crash of this program with that line
// on stderr.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Defined by the harnesses that need to set something up first.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

// The files of a corpus folder, sorted, or none if the folder is absent.
std::vector<fs::path> corpusFiles(const std::string& folder) {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(PCM_FUZZ_DIR) / folder;
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::size_t replay(const std::string& folder) {
    static const bool initialized = [] {
        if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(nullptr, nullptr);
        return true;
    }();
    (void)initialized;
    const std::vector<fs::path> files = corpusFiles(folder + "/" PCM_FUZZ_TARGET);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    }
    return files.size();
}

// The suite is named after the fuzzer (entry_fuzzer, runfile_fuzzer, ...).
TEST(PCM_FUZZ_SUITE, seeds_pass_every_check) { EXPECT_GT(replay("corpus"), 0u); }

TEST(PCM_FUZZ_SUITE, inputs_that_once_found_a_fault_pass_every_check) { replay("regressions"); }

}  // namespace
