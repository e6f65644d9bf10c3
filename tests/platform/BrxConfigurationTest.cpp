// The configuration service: the binary directory and the resolution of relative paths.
#include "ReliabilitySupport.h"

#include <BrxConfiguration.h>
#include <cstdlib>
#include <dlfcn.h>
#include <new>

namespace {

using Configuration = auttest::InstallationTest;

TEST_F(Configuration, ResolvesRelativePathsAgainstTheBinaryDirectoryInPlace) {
    setenv("ORQ_BIN_DIR", (binDir() + "//").c_str(), 1);
    struct Case {
        const char* path;
        std::string expected;
    };
    const Case cases[] = {
        {"OrqConfig.xml", binDir() + "/OrqConfig.xml"},
        {"../logs", binDir() + "/../logs"},
        {"/etc/OrqConfig.xml", "/etc/OrqConfig.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        I18NString path(c.path);
        EXPECT_EQ(&BrxConfigurationFactory::getInstance().resolveInstallPath(path), &path);
        EXPECT_EQ(std::string(path.c_str()), c.expected);
    }
}

const std::string kLibraryDirectory = std::string(AUT_BINARY_DIR) + "/lib";

// The binary directory as a program without libaut sees it: the service loaded into a
// namespace of its own, where libaut is not among the loaded objects. Runs in a child; the
// result is never freed (it belongs to the other namespace's allocator).
std::string DirectoryWithoutLibaut() {
    void* handle = dlmopen(LM_ID_NEWLM, (kLibraryDirectory + "/libbrxcfgapi.so").c_str(),
                           RTLD_NOW | RTLD_LOCAL);
    void* factory = handle ? dlsym(handle, "_ZN23BrxConfigurationFactory11getInstanceEv") : nullptr;
    if (factory == nullptr) {
        return dlerror();
    }
    alignas(I18NString) static unsigned char storage[sizeof(I18NString)];
    const auto* directory = new (storage)
        I18NString(reinterpret_cast<IBrxConfiguration& (*)()>(factory)().getBinaryDirectory());
    const std::u32string& wide = directory->codePoints();
    return std::string(wide.begin(), wide.end());
}

TEST(ConfigurationWithoutVariable, FallsBackToTheDirectoryOfLibautElseOfTheServiceItself) {
    unsetenv("ORQ_BIN_DIR");
    EXPECT_EQ(BrxConfigurationFactory::getInstance().getBinaryDirectory().c_str(),
              kLibraryDirectory);
    EXPECT_EQ(reliability::RunInChild(
                  [] {
                      const std::string directory = DirectoryWithoutLibaut();
                      return directory == kLibraryDirectory ? "" : directory;
                  },
                  60),
              "");
}

} // namespace
