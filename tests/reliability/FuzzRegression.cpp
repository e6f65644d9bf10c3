// Runs one fuzz target's kept crash inputs (fuzz/regressions/<folder>/) and seed corpus
// (fuzz/corpus/<folder>/) through the target's own entry point, so that a fixed fault stays
// fixed in the ordinary suite and under every sanitizer build, not only in the fuzz build.
// Built once per target with the target's source (tests/CMakeLists.txt), which names the
// target (AUT_FUZZ_NAME) and its folder (AUT_FUZZ_FOLDER).
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Most targets have none.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

// The target's name becomes the suite's, so that ctest tells the targets apart.
#define AUT_FUZZ_REGRESSION(target) TEST(target, KeptInputsAndSeedsRunClean)

AUT_FUZZ_REGRESSION(AUT_FUZZ_NAME) {
    // Targets that start the library do it in a throw-away installation, as the fuzz run does.
    auttest::TempDir installation;
    setenv("ORQ_BIN_DIR", installation.makeDirectory("bin").c_str(), 1);
    if (LLVMFuzzerInitialize != nullptr) {
        int argc = 1;
        char name[] = "FuzzRegression";
        char* args[] = {name, nullptr};
        char** argv = args;
        ASSERT_EQ(LLVMFuzzerInitialize(&argc, &argv), 0);
    }
    // The empty input and a long run of one byte: the edges every parser must take.
    std::vector<std::pair<std::string, std::string>> inputs = {
        {"the empty input", ""}, {"70000 times '{'", std::string(70000, '{')}};
    for (const char* kind : {"/fuzz/regressions/", "/fuzz/corpus/"}) {
        const std::string folder = AUT_SOURCE_DIR + std::string(kind) + AUT_FUZZ_FOLDER;
        for (const std::string& path : reliability::FilesWithPrefix(folder, "")) {
            inputs.emplace_back(path, auttest::readFile(path));
        }
    }
    for (const auto& [what, bytes] : inputs) {
        // A target reports a fault by aborting: say first which input it was.
        std::fprintf(stderr, "running %s\n", what.c_str());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size()),
                  0)
            << what;
    }
}

} // namespace
