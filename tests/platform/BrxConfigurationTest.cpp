// The configuration service: the binary directory and the resolution of relative paths.
#include <BrxConfiguration.h>

#include "AutTestSupport.h"

#include <cstdlib>

namespace {

using Configuration = auttest::InstallationTest;

TEST_F(Configuration, ResolvesAgainstBinaryDirectoryInPlace) {
    struct Case {
        const char* relative;
        std::string expected;
    };
    const Case cases[] = {
        {".", binDir() + "/."},
        {"OrqConfig.xml", binDir() + "/OrqConfig.xml"},
        {"../logs", binDir() + "/../logs"},
        {"Rendition.cfg", binDir() + "/Rendition.cfg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.relative);
        I18NString path(c.relative);
        I18NString& result = BrxConfigurationFactory::getInstance().resolveInstallPath(path);
        EXPECT_EQ(&result, &path);
        EXPECT_EQ(std::string(path.c_str()), c.expected);
    }
}

TEST_F(Configuration, TrailingSeparatorsOfTheVariableAreDropped) {
    setenv("ORQ_BIN_DIR", (binDir() + "//").c_str(), 1);
    I18NString path("x");
    BrxConfigurationFactory::getInstance().resolveInstallPath(path);
    EXPECT_EQ(std::string(path.c_str()), binDir() + "/x");
}

TEST(ConfigurationWithoutVariable, FallsBackToTheLibraryDirectory) {
    unsetenv("ORQ_BIN_DIR");
    const std::string directory = BrxConfigurationFactory::getInstance().getBinaryDirectory().c_str();
    // The tests load libaut from the build tree's lib/ folder.
    EXPECT_EQ(directory, std::string(AUT_BINARY_DIR) + "/lib");
}

TEST_F(Configuration, AbsolutePathsStayAsTheyAre) {
    I18NString path("/etc/OrqConfig.xml");
    BrxConfigurationFactory::getInstance().resolveInstallPath(path);
    EXPECT_EQ(std::string(path.c_str()), "/etc/OrqConfig.xml");
}

} // namespace
