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
    I18NString relative("../logs"), absolute("/etc/OrqConfig.xml");
    EXPECT_EQ(&BrxConfigurationFactory::getInstance().resolveInstallPath(relative), &relative);
    BrxConfigurationFactory::getInstance().resolveInstallPath(absolute);
    EXPECT_EQ(relative.c_str(), binDir() + "/../logs");
    EXPECT_STREQ(absolute.c_str(), "/etc/OrqConfig.xml");
}

const std::string kLibraryDirectory = std::string(AUT_BINARY_DIR) + "/lib";

// A program without libaut: the service loaded into a namespace of its own, where libaut is
// not among the loaded objects, falls back to its own directory. "" when it does, else the
// directory it gave. Runs in a child; the result is never freed (another allocator's).
[[maybe_unused]] std::string DirectoryWithoutLibautIsTheServicesOwn() {
    void* handle = dlmopen(LM_ID_NEWLM, (kLibraryDirectory + "/libbrxcfgapi.so").c_str(),
                           RTLD_NOW | RTLD_LOCAL);
    void* factory = handle ? dlsym(handle, "_ZN23BrxConfigurationFactory11getInstanceEv") : nullptr;
    if (factory == nullptr) {
        return dlerror();
    }
    alignas(I18NString) static unsigned char storage[sizeof(I18NString)];
    const auto* directory = new (storage)
        I18NString(reinterpret_cast<IBrxConfiguration& (*)()>(factory)().getBinaryDirectory());
    const std::string narrow(directory->codePoints().begin(), directory->codePoints().end());
    return narrow == kLibraryDirectory ? "" : narrow;
}

TEST(ConfigurationWithoutVariable, FallsBackToTheDirectoryOfLibautElseOfTheServiceItself) {
    unsetenv("ORQ_BIN_DIR");
    EXPECT_EQ(BrxConfigurationFactory::getInstance().getBinaryDirectory().c_str(),
              kLibraryDirectory);
#ifndef __SANITIZE_ADDRESS__ // its runtime cannot start in a second link namespace
    EXPECT_EQ(reliability::RunInChild(DirectoryWithoutLibautIsTheServicesOwn, 60), "");
#endif
}

} // namespace
