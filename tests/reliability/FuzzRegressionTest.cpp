// Runs every fuzz target's kept crash inputs (fuzz/regressions/<name>/) and its seed corpus
// (fuzz/corpus/<name>/) through the target's own entry point, so that a fixed fault stays fixed
// in the ordinary suite and under every sanitizer build, not only in the fuzz build.
//
// Each target's source is compiled in here, in a namespace of its own (which keeps its helpers
// apart), with its libFuzzer entry points renamed after it. A new target needs its block below
// and its line in kTargets.
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"

// Everything the targets include, at file scope first: their own includes inside the namespaces
// below then find the include guards set and declare nothing in there.
#include "../platform/core/src/BrxCatalog.h"
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "SubstitutionReference.h"
#include "UTException.h"
#include "UTLocaleString.h"
#include "UTLogFile.h"
#include "UTLogFileInternal.h"
#include "UTStringSupport.h"
#include "UTStringSupportInternal.h"
#include "uti_filesupport.h"

#include <BRXIDOM.h>
#include <I18NConverter.h>
#include <I18NString.h>
#include <WinProfile.h>
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The entry points take the name of the target being compiled in (AUT_FUZZ): "PathFuzz" gives
// PathFuzzTestOneInput and PathFuzzInitialize. Initialize is weak: most targets have none.
#define AUT_FUZZ_PASTE(a, b) AUT_FUZZ_PASTE2(a, b)
#define AUT_FUZZ_PASTE2(a, b) a##b
#define LLVMFuzzerTestOneInput AUT_FUZZ_PASTE(AUT_FUZZ, TestOneInput)
#define LLVMFuzzerInitialize AUT_FUZZ_PASTE(AUT_FUZZ, Initialize)
// Declares the entry points of the target named by AUT_FUZZ and opens its namespace.
#define AUT_FUZZ_BEGIN                                                                             \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t);                       \
    extern "C" int LLVMFuzzerInitialize(int*, char***) __attribute__((weak));                      \
    namespace AUT_FUZZ {

#define AUT_FUZZ ConfigFileFuzz
AUT_FUZZ_BEGIN
#include "../fuzz/ConfigFileFuzz.cpp"
}
#undef AUT_FUZZ
#define AUT_FUZZ I18NStringFuzz
AUT_FUZZ_BEGIN
#include "../fuzz/I18NStringFuzz.cpp"
}
#undef AUT_FUZZ
#define AUT_FUZZ LocaleStringFuzz
AUT_FUZZ_BEGIN
#include "../fuzz/LocaleStringFuzz.cpp"
}
#undef AUT_FUZZ
#define AUT_FUZZ LogFileNameFuzz
AUT_FUZZ_BEGIN
#include "../fuzz/LogFileNameFuzz.cpp"
}
#undef AUT_FUZZ
// The catalog reader is hidden inside the core library; its target compiles it in, and so do we.
#include "../platform/core/src/BrxCatalog.cpp"
#define AUT_FUZZ MessageCatalogFuzz
AUT_FUZZ_BEGIN
#include "../fuzz/MessageCatalogFuzz.cpp"
}
#undef AUT_FUZZ
#define AUT_FUZZ PathFuzz
AUT_FUZZ_BEGIN
#include "../fuzz/PathFuzz.cpp"
}
#undef AUT_FUZZ
#define AUT_FUZZ ProfileFuzz
AUT_FUZZ_BEGIN
#include "../fuzz/ProfileFuzz.cpp"
}
#undef AUT_FUZZ
#define AUT_FUZZ SubstitutionFuzz
AUT_FUZZ_BEGIN
#include "../fuzz/SubstitutionFuzz.cpp"
}
#undef AUT_FUZZ

namespace {

struct FuzzTarget {
    const char* name; // the source file's name without ".cpp"
    int (*testOneInput)(const std::uint8_t*, std::size_t);
    int (*initialize)(int*, char***);
};

// ctest shows the parameter beside each test's name.
void PrintTo(const FuzzTarget& target, std::ostream* out) {
    *out << target.name;
}

#define AUT_FUZZ_TARGET(name)                                                                      \
    FuzzTarget {                                                                                   \
#name, &name##TestOneInput, &name##Initialize                                              \
    }
const FuzzTarget kTargets[] = {
    AUT_FUZZ_TARGET(ConfigFileFuzz),     AUT_FUZZ_TARGET(I18NStringFuzz),
    AUT_FUZZ_TARGET(LocaleStringFuzz),   AUT_FUZZ_TARGET(LogFileNameFuzz),
    AUT_FUZZ_TARGET(MessageCatalogFuzz), AUT_FUZZ_TARGET(PathFuzz),
    AUT_FUZZ_TARGET(ProfileFuzz),        AUT_FUZZ_TARGET(SubstitutionFuzz),
};

// "PathFuzz" -> "path": the folder name of its corpus and of its regressions.
std::string FolderName(const std::string& target) {
    std::string name = target.substr(0, target.size() - 4);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    return name;
}

class FuzzRegression : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzRegression, KeptInputsAndSeedsRunClean) {
    const FuzzTarget& target = GetParam();
    // Targets that start the library do it in a throw-away installation, as the fuzz run does.
    auttest::TempDir installation;
    setenv("ORQ_BIN_DIR", installation.makeDirectory("bin").c_str(), 1);
    if (target.initialize != nullptr) {
        int argc = 1;
        char name[] = "FuzzRegressionTest";
        char* args[] = {name, nullptr};
        char** argv = args;
        ASSERT_EQ(target.initialize(&argc, &argv), 0);
    }
    // The empty input and a long run of one byte: the edges every parser must take.
    std::vector<std::pair<std::string, std::string>> inputs = {
        {"the empty input", ""}, {"70000 times '{'", std::string(70000, '{')}};
    for (const char* kind : {"/fuzz/regressions/", "/fuzz/corpus/"}) {
        const std::string folder = AUT_SOURCE_DIR + std::string(kind) + FolderName(target.name);
        for (const std::string& path : reliability::FilesWithPrefix(folder, "")) {
            inputs.emplace_back(path, auttest::readFile(path));
        }
    }
    for (const auto& input : inputs) {
        // A target reports a fault by aborting: say first which input it was.
        std::fprintf(stderr, "running %s\n", input.first.c_str());
        const std::string& bytes = input.second;
        EXPECT_EQ(
            target.testOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
            0)
            << input.first;
    }
}

INSTANTIATE_TEST_SUITE_P(Targets,
                         FuzzRegression,
                         ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<FuzzTarget>& target) {
                             return std::string(target.param.name);
                         });

} // namespace
