// Runs every fuzz target's kept crash inputs (fuzz/regressions/<name>/) and its seed corpus
// (fuzz/corpus/<name>/) through the target's own entry point, so that a fixed fault stays fixed
// in the ordinary suite and under every sanitizer build, not only in the fuzz build.
//
// Each target's source is compiled in here, in a namespace of its own, with its libFuzzer entry
// points renamed. Targets that have not landed yet are left out (__has_include); the last test
// makes sure that none that exists is forgotten here.
#include "AutTestSupport.h"

// Everything the targets include, at file scope first: their own includes inside the namespaces
// below then find the include guards set and declare nothing in there.
#include "../platform/core/src/BrxCatalog.h"
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "UTException.h"
#include "UTLocaleString.h"
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
#include <dirent.h>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#if __has_include("../fuzz/LogFileNameFuzz.cpp")
#include "UTLogFile.h"
#include "UTLogFileInternal.h"
#endif

using TestOneInput = int (*)(const std::uint8_t*, std::size_t);
using Initialize = int (*)(int*, char***);

// A target without an initializer leaves its weak declaration null.
#define AUT_DECLARE_FUZZ_ENTRIES(prefix)                                                           \
    extern "C" int prefix##TestOneInput(const std::uint8_t*, std::size_t);                         \
    extern "C" int prefix##Initialize(int*, char***) __attribute__((weak));

#define LLVMFuzzerTestOneInput ConfigFileFuzzTestOneInput
#define LLVMFuzzerInitialize ConfigFileFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(ConfigFileFuzz)
namespace configfilefuzz {
#include "../fuzz/ConfigFileFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize

#define LLVMFuzzerTestOneInput I18NStringFuzzTestOneInput
#define LLVMFuzzerInitialize I18NStringFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(I18NStringFuzz)
namespace i18nstringfuzz {
#include "../fuzz/I18NStringFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize

#define LLVMFuzzerTestOneInput LocaleStringFuzzTestOneInput
#define LLVMFuzzerInitialize LocaleStringFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(LocaleStringFuzz)
namespace localestringfuzz {
#include "../fuzz/LocaleStringFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize

#if __has_include("../fuzz/LogFileNameFuzz.cpp")
#define AUT_HAVE_LOG_FILE_NAME_FUZZ
#define LLVMFuzzerTestOneInput LogFileNameFuzzTestOneInput
#define LLVMFuzzerInitialize LogFileNameFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(LogFileNameFuzz)
namespace logfilenamefuzz {
#include "../fuzz/LogFileNameFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize
#endif

// The catalog reader is hidden inside the core library; its target compiles it in, and so do we.
#include "../platform/core/src/BrxCatalog.cpp"
#define LLVMFuzzerTestOneInput MessageCatalogFuzzTestOneInput
#define LLVMFuzzerInitialize MessageCatalogFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(MessageCatalogFuzz)
namespace messagecatalogfuzz {
#include "../fuzz/MessageCatalogFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize

#define LLVMFuzzerTestOneInput PathFuzzTestOneInput
#define LLVMFuzzerInitialize PathFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(PathFuzz)
namespace pathfuzz {
#include "../fuzz/PathFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize

#define LLVMFuzzerTestOneInput ProfileFuzzTestOneInput
#define LLVMFuzzerInitialize ProfileFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(ProfileFuzz)
namespace profilefuzz {
#include "../fuzz/ProfileFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize

#define LLVMFuzzerTestOneInput SubstitutionFuzzTestOneInput
#define LLVMFuzzerInitialize SubstitutionFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(SubstitutionFuzz)
namespace substitutionfuzz {
#include "../fuzz/SubstitutionFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize

#if __has_include("../fuzz/RegistryDatabaseFuzz.cpp")
#define AUT_HAVE_REGISTRY_DATABASE_FUZZ
#define LLVMFuzzerTestOneInput RegistryDatabaseFuzzTestOneInput
#define LLVMFuzzerInitialize RegistryDatabaseFuzzInitialize
AUT_DECLARE_FUZZ_ENTRIES(RegistryDatabaseFuzz)
namespace registrydatabasefuzz {
#include "../fuzz/RegistryDatabaseFuzz.cpp"
}
#undef LLVMFuzzerTestOneInput
#undef LLVMFuzzerInitialize
#endif

namespace {

struct FuzzTarget {
    const char* name; // the source file's name without ".cpp"
    TestOneInput testOneInput;
    Initialize initialize;
};

// ctest shows the parameter beside each test's name.
void PrintTo(const FuzzTarget& target, std::ostream* out) {
    *out << target.name;
}

#define AUT_FUZZ_TARGET(prefix)                                                                    \
    FuzzTarget {                                                                                   \
#prefix, &prefix##TestOneInput, &prefix##Initialize                                        \
    }

const FuzzTarget kTargets[] = {
    AUT_FUZZ_TARGET(ConfigFileFuzz),
    AUT_FUZZ_TARGET(I18NStringFuzz),
    AUT_FUZZ_TARGET(LocaleStringFuzz),
    AUT_FUZZ_TARGET(MessageCatalogFuzz),
    AUT_FUZZ_TARGET(PathFuzz),
    AUT_FUZZ_TARGET(ProfileFuzz),
    AUT_FUZZ_TARGET(SubstitutionFuzz),
#ifdef AUT_HAVE_LOG_FILE_NAME_FUZZ
    AUT_FUZZ_TARGET(LogFileNameFuzz),
#endif
#ifdef AUT_HAVE_REGISTRY_DATABASE_FUZZ
    AUT_FUZZ_TARGET(RegistryDatabaseFuzz),
#endif
};

// "PathFuzz" -> "path": the folder name of its corpus and of its regressions.
std::string FolderName(const std::string& target) {
    std::string name = target.substr(0, target.size() - 4);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

// The regular files of `directory`, sorted; none when it does not exist.
std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> files;
    if (DIR* dir = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string path = directory + "/" + entry->d_name;
            struct stat status {};
            if (entry->d_name[0] != '.' && stat(path.c_str(), &status) == 0 &&
                S_ISREG(status.st_mode)) {
                files.push_back(path);
            }
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzRegression : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzRegression, KeptInputsAndSeedsRunClean) {
    const FuzzTarget& target = GetParam();
    // Targets that start the library do it in a throw-away installation, as the fuzz run does.
    auttest::TempDir installation;
    const std::string bin = installation.makeDirectory("bin");
    setenv("ORQ_BIN_DIR", bin.c_str(), 1);
    if (target.initialize != nullptr) {
        int argc = 1;
        char name[] = "FuzzRegressionTest";
        char* args[] = {name, nullptr};
        char** argv = args;
        ASSERT_EQ(target.initialize(&argc, &argv), 0);
    }

    const std::string folder = FolderName(target.name);
    std::vector<std::string> inputs = FilesIn(AUT_SOURCE_DIR "/fuzz/regressions/" + folder);
    const std::vector<std::string> seeds = FilesIn(AUT_SOURCE_DIR "/fuzz/corpus/" + folder);
    inputs.insert(inputs.end(), seeds.begin(), seeds.end());
    // The empty input and a long run of one byte: the edges every parser must take.
    const std::vector<std::string> edges = {std::string(), std::string(70000, '{')};
    for (const std::string& path : inputs) {
        SCOPED_TRACE(path);
        // A target reports a fault by aborting: say first which input it was.
        std::fprintf(stderr, "running %s\n", path.c_str());
        const std::string bytes = auttest::readFile(path);
        EXPECT_EQ(
            target.testOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
            0);
    }
    for (const std::string& bytes : edges) {
        EXPECT_EQ(
            target.testOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
            0);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets,
                         FuzzRegression,
                         ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<FuzzTarget>& target) {
                             return std::string(target.param.name);
                         });

TEST(FuzzRegressionCoverage, EveryFuzzTargetAndRegressionFolderIsRunHere) {
    std::set<std::string> known;
    for (const FuzzTarget& target : kTargets) {
        known.insert(target.name);
    }
    for (const std::string& path : FilesIn(AUT_SOURCE_DIR "/fuzz")) {
        const std::string file = path.substr(path.rfind('/') + 1);
        if (file.size() > 8 && file.compare(file.size() - 8, 8, "Fuzz.cpp") == 0) {
            EXPECT_EQ(known.count(file.substr(0, file.size() - 4)), 1u)
                << file << " is not run by FuzzRegressionTest";
        }
    }
    // A regression kept under a misspelt folder would never run.
    std::set<std::string> folders;
    for (const std::string& name : known) {
        folders.insert(FolderName(name));
    }
    if (DIR* dir = opendir(AUT_SOURCE_DIR "/fuzz/regressions")) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                EXPECT_EQ(folders.count(entry->d_name), 1u)
                    << "fuzz/regressions/" << entry->d_name << " belongs to no target";
            }
        }
        closedir(dir);
    }
}

} // namespace
