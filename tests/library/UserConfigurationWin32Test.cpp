#include "AutTestSupport.h"
#include "UTException.h"
#include "UTUserConfigurationWin32.h"
#include "UTUserConfigurationWin32Internal.h"

#include <AUTInitialize.h>
#include <BrxException.h>
#include <WinRegistry.h>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Config = AUT_UserConfigurationWin32;

const std::string kDefaultPath = "Software\\Morvex\\SchemistDefaultRendition\\Schemist\\";

// A temporary installation with its registry files in it; the library is initialized.
class UserConfigurationWin32Test : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        AUTg_UserConfigurationWin32 = {}; // "Rendition.cfg" is read once per process
        ASSERT_EQ(AUT_Initialize("test"), 0);
        f_user = root().file("registry/user.db");
        setenv("ORQ_REGISTRY_USER", f_user.c_str(), 1);
        setenv("ORQ_REGISTRY_MACHINE", root().file("registry/machine.db").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ORQ_REGISTRY_USER");
        unsetenv("ORQ_REGISTRY_MACHINE");
        EXPECT_EQ(AUT_Terminate("test"), 0);
        InstallationTest::TearDown();
    }

    std::string f_user;
};

// The value under root\path as "<type>:<bytes>", or "" when it is missing.
std::string stored(HKEY root, const std::string& path, const char* name) {
    HKEY key = nullptr;
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::string bytes(64, '\0');
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "";
    }
    size = static_cast<DWORD>(bytes.size());
    const LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::to_string(type) + ":" + bytes.substr(0, size) : "";
}

std::string assertionText(const std::function<void()>& call) {
    try {
        call();
    } catch (const BrxAssertError& error) {
        return error.getText();
    }
    return "no assertion";
}

TEST_F(UserConfigurationWin32Test, TheKeyPathComesFromTheRenditionFileReadOnce) {
    Config::SetPath(nullptr);
    Config(Config::kRootKeyCurrentUser).SetInt("Logging", "Level", 5);
    EXPECT_EQ(stored(HKEY_CURRENT_USER, kDefaultPath + "Logging", "Level"),
              std::string("4:\x05\0\0\0", 6));
    // The other root is another database.
    EXPECT_EQ(Config(Config::kRootKeyLocalMachine).GetInt("Logging", "Level", 9), 9u);

    AUTg_UserConfigurationWin32 = {};
    root().writeFile("bin/Rendition.cfg", "; the installation's rendition\n[RENDITION]\n"
                                          "  base rendition name =  Custom Rendition  \n");
    Config::SetPath(nullptr);
    Config(Config::kRootKeyLocalMachine).SetString("S", "E", "v");
    EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, "Software\\Morvex\\Custom Rendition\\Schemist\\S", "E"),
              std::string("1:v\0", 4));
    // Read once: a new file and a new path change nothing.
    root().writeFile("bin/Rendition.cfg", "[Rendition]\nBase Rendition Company=Other\n");
    Config::SetPath(nullptr);
    Config later(Config::kRootKeyCurrentUser);
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionName(), "Custom Rendition");
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionCompanyName(), "Morvex");
}

TEST_F(UserConfigurationWin32Test, ValuesRoundTripAndAWrongKindFailsItsAssertion) {
    Config config(Config::kRootKeyCurrentUser);
    // 32 bits are kept.
    config.SetInt("Section", "Wrapped", 0x100000007ul);
    EXPECT_EQ(config.GetInt("Section", "Wrapped", 0), 7u);
    config.SetInt("Section", "Max", 0xFFFFFFFFul);
    EXPECT_EQ(config.GetInt("Section", "Max", 0), 0xFFFFFFFFul);
    EXPECT_EQ(assertionText([&] { config.GetString("Section", "Max", "d"); }),
              "BRX_ASSERT(theType == REG_SZ);");
    config.SetString("Section", "Empty", "");
    EXPECT_EQ(config.GetString("Section", "Empty", "d"), "");
    config.SetString("Section", "Text", "abc");
    EXPECT_EQ(config.GetString("Section", "Text", "d"), "abc");
    // Texts are written as ISO-8859-1, with their NUL.
    config.SetString("Section", "Latin", I18NString(U"\u00E9t\u00E9"));
    EXPECT_EQ(stored(HKEY_CURRENT_USER, kDefaultPath + "Section", "Latin"),
              std::string("1:\xE9t\xE9\0", 6));
    // A text of at most 4 bytes fits the integer's buffer and is of the wrong type; a longer
    // one does not fit and reads as missing.
    EXPECT_EQ(assertionText([&] { config.GetInt("Section", "Empty", 1); }),
              "BRX_ASSERT(theType == REG_DWORD);");
    config.SetString("Section", "Longer", "abcd");
    EXPECT_EQ(config.GetInt("Section", "Longer", 1), 1u);
    // A value written by hand with the integer's type but not its size.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (kDefaultPath + "Section").c_str(), 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Short", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\2"), 2),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(assertionText([&] { config.GetInt("Section", "Short", 1); }),
              "BRX_ASSERT(theSize == sizeof(theValue));");
    // Absent entries and sections give the default.
    EXPECT_EQ(config.GetInt("Section", "Absent", 42), 42u);
    EXPECT_EQ(config.GetString("Absent", "Int", "dflt"), "dflt");
}

TEST_F(UserConfigurationWin32Test, EmptyNamesAndUnknownRootsFailTheirAssertions) {
    Config config(Config::kRootKeyCurrentUser);
    const std::string section = "BRX_ASSERT(!sectionName.empty());";
    const std::string entry = "BRX_ASSERT(!entryName.empty());";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { config.GetInt("", "e", 0); }, section},
        {[&] { config.GetInt("s", "", 0); }, entry},
        {[&] { config.GetString("", "e", ""); }, section},
        {[&] { config.GetString("s", "", ""); }, entry},
        {[&] { config.SetInt("", "e", 1); }, section},
        {[&] { config.SetInt("s", "", 1); }, entry},
        {[&] { config.SetString("", "e", "v"); }, section},
        {[&] { config.SetString("s", "", "v"); }, entry},
        {[&] { config.DeleteSection(""); }, section},
        {[&] { config.DeleteEntry("", "e"); }, section},
        {[&] { config.DeleteEntry("s", ""); }, entry},
        {[] { Config(static_cast<Config::ERootKey>(2)).GetInt("s", "e", 0); },
         "BRX_ASSERT(false);"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(assertionText(cases[i].first), cases[i].second);
    }
    // None of them reached the registry.
    EXPECT_FALSE(std::ifstream(f_user).good());
}

TEST_F(UserConfigurationWin32Test, DeletingWhatIsMissingSucceeds) {
    Config config(Config::kRootKeyCurrentUser);
    EXPECT_NO_THROW(config.DeleteEntry("Section", "Absent"));
    EXPECT_NO_THROW(config.DeleteSection("Absent"));
    config.SetInt("Section", "A", 1);
    config.SetInt("Section", "B", 2);
    config.DeleteEntry("Section", "A");
    EXPECT_EQ(config.GetInt("Section", "A", 0), 0u);
    EXPECT_EQ(config.GetInt("Section", "B", 0), 2u);
    config.DeleteSection("Section");
    HKEY key = nullptr;
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, (kDefaultPath + "Section").c_str(), 0, KEY_READ, &key),
        ERROR_FILE_NOT_FOUND);
}

// Reads give their defaults; each failed change is its error with what it was to change.
TEST_F(UserConfigurationWin32Test, RegistryFailuresBecomeErrors500To504) {
    {
        Config writable(Config::kRootKeyCurrentUser);
        writable.SetInt("Section", "Entry", 3);
    }
    const std::string blocker = root().writeFile("blocker", "a file, not a directory");
    struct Case {
        std::string database;
        std::function<void(Config&)> call;
        long code;
        unsigned number;
        std::vector<std::string> parameters;
    };
    const std::string unwritable = blocker + "/user.db";
    const std::string readOnly = "file:" + f_user + "?mode=ro";
    const Case cases[] = {
        {unwritable,
         [](Config& c) { c.SetInt("Section", "Entry", 0x100000005ul); },
         500,
         0x72170C23,
         {"Section", "Entry", "5"}},
        {unwritable,
         [](Config& c) { c.SetString("Section", "Entry", "text"); },
         500,
         0x72170C23,
         {"Section", "Entry", "text"}},
        {unwritable,
         [](Config& c) { c.DeleteSection("Section"); },
         503,
         0x7218399B,
         {"Morvex", "SchemistDefaultRendition"}},
        {unwritable,
         [](Config& c) { c.DeleteEntry("Section", "Entry"); },
         504,
         0x721AEC9E,
         {"Section"}},
        {readOnly,
         [](Config& c) { c.SetInt("Section", "Entry", 4); },
         500,
         0x72170C23,
         {"Section", "Entry", "4"}},
        {readOnly, [](Config& c) { c.DeleteSection("Section"); }, 501, 0x7218A27A, {"Section"}},
        {readOnly,
         [](Config& c) { c.DeleteEntry("Section", "Entry"); },
         502,
         0x721B5B3A,
         {"Section", "Entry"}},
        // A section that does not exist cannot be made, so there is no key to delete from.
        {readOnly, [](Config& c) { c.DeleteEntry("Other", "Entry"); }, 504, 0x721AEC9E, {"Other"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.database + " " + std::to_string(c.code));
        setenv("ORQ_REGISTRY_USER", c.database.c_str(), 1);
        Config config(Config::kRootKeyCurrentUser);
        const auttest::Thrown t = auttest::Catch([&] { c.call(config); });
        EXPECT_EQ(t.code, c.code);
        EXPECT_EQ(t.number, c.number);
        EXPECT_EQ(t.parameters, c.parameters);
        EXPECT_EQ(t.file, "Source/UTUserConfigurationWin32.cpp");
        EXPECT_EQ(config.GetInt("Section", "Entry", 11), c.database == readOnly ? 3u : 11u);
        EXPECT_EQ(config.GetString("Absent", "Entry", "dflt"), "dflt");
    }
}

} // namespace
