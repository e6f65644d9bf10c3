#include "AutTestSupport.h"
#include "UTException.h"
#include "UTUserConfigurationWin32.h"

#include <AUTInitialize.h>
#include <BrxException.h>
#include <BrxMessage.h>
#include <WinRegistry.h>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Config = AUT_UserConfigurationWin32;

const char* const kDefaultPath = "Software\\Morvex\\SchemistDefaultRendition\\Schemist";

// A temporary installation with its registry files in it; the library is initialized.
class UserConfigurationWin32Test : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        ASSERT_EQ(AUT_Initialize("test"), 0);
        f_user = root().file("registry/user.db");
        f_machine = root().file("registry/machine.db");
        setenv("ORQ_REGISTRY_USER", f_user.c_str(), 1);
        setenv("ORQ_REGISTRY_MACHINE", f_machine.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ORQ_REGISTRY_USER");
        unsetenv("ORQ_REGISTRY_MACHINE");
        EXPECT_EQ(AUT_Terminate("test"), 0);
        InstallationTest::TearDown();
    }
    void writeRendition(const std::string& content) {
        std::ofstream(binDir() + "/Rendition.cfg") << content;
    }

    std::string f_user;
    std::string f_machine;
};

// The raw value under root\path: its type and bytes, or type REG_NONE when it is missing.
struct Raw {
    DWORD type = REG_NONE;
    std::string bytes;
};
Raw readRaw(HKEY root, const std::string& path, const char* name) {
    Raw raw;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return raw;
    }
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &raw.type, nullptr, &size) == ERROR_SUCCESS) {
        raw.bytes.resize(size);
        RegQueryValueExA(key, name, nullptr, &raw.type, reinterpret_cast<BYTE*>(&raw.bytes[0]),
                         &size);
    }
    RegCloseKey(key);
    return raw;
}

std::string assertionText(const std::function<void()>& call) {
    try {
        call();
    } catch (const BrxAssertError& error) {
        return error.getText();
    } catch (...) {
        return "another exception";
    }
    return "no exception";
}

// Runs `call`, which must throw AUT_Exception with `code` and one message `number` with
// exactly `parameters`.
void expectError(const std::function<void()>& call,
                 long code,
                 std::uint32_t number,
                 const std::vector<std::string>& parameters) {
    try {
        call();
        ADD_FAILURE() << "no exception";
    } catch (const AUT_Exception& caught) {
        EXPECT_EQ(caught.getErrorCode(), code);
        ASSERT_EQ(caught.messageCount(), 1u);
        const auto* message = dynamic_cast<const BrxMessageComponents*>(&caught.messageAt(0));
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->getMessageNumber(), number);
        std::vector<std::string> actual;
        for (const I18NString& parameter : message->getParameters()) {
            actual.push_back(parameter.c_str());
        }
        EXPECT_EQ(actual, parameters);
        ASSERT_FALSE(caught.getBackTrace().empty());
        EXPECT_EQ(caught.getBackTrace()[0].file, "Source/UTUserConfigurationWin32.cpp");
        EXPECT_EQ(caught.getBackTrace()[0].component, "UT");
    }
}

TEST_F(UserConfigurationWin32Test, WithoutRenditionFileTheDefaultPathIsUsed) {
    Config::SetPath(nullptr);
    Config config(Config::kRootKeyCurrentUser);
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionCompanyName(), "Morvex");
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionName(), "SchemistDefaultRendition");
    config.SetInt("Logging", "Level", 5);
    const Raw raw = readRaw(HKEY_CURRENT_USER, std::string(kDefaultPath) + "\\Logging", "Level");
    EXPECT_EQ(raw.type, REG_DWORD);
    EXPECT_EQ(raw.bytes, std::string("\x05\0\0\0", 4));
    // The other root is another database.
    EXPECT_EQ(Config(Config::kRootKeyLocalMachine).GetInt("Logging", "Level", 9), 9u);
}

TEST_F(UserConfigurationWin32Test, NamesComeFromTheRenditionFileOnce) {
    writeRendition("; the installation's rendition\n[RENDITION]\n"
                   "  base rendition name =  Custom Rendition  \n");
    Config::SetPath(nullptr);
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionName(), "Custom Rendition");
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionCompanyName(), "Morvex");
    Config(Config::kRootKeyLocalMachine).SetString("S", "E", "v");
    EXPECT_EQ(
        readRaw(HKEY_LOCAL_MACHINE, "Software\\Morvex\\Custom Rendition\\Schemist\\S", "E").bytes,
        std::string("v\0", 2));

    // Loaded once: a new file and a new path change nothing.
    writeRendition("[Rendition]\nBase Rendition Company=Other\nBase Rendition Name=Other\n");
    Config::SetPath(nullptr);
    Config later(Config::kRootKeyCurrentUser);
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionName(), "Custom Rendition");
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionCompanyName(), "Morvex");
}

TEST_F(UserConfigurationWin32Test, ProductNamesDifferFromTheEngineConfiguration) {
    EXPECT_EQ(AUT_I_UserConfiguration::GetProductName(), "Orq");
    EXPECT_EQ(AUT_UserConfigurationCommon::GetProductName(), "Schemist");
}

TEST_F(UserConfigurationWin32Test, ValuesRoundTripAndAWrongKindFailsItsAssertion) {
    Config config(Config::kRootKeyCurrentUser);
    config.SetInt("Section", "Int", 5);
    EXPECT_EQ(config.GetInt("Section", "Int", 0), 5u);
    EXPECT_EQ(assertionText([&] { config.GetString("Section", "Int", "d"); }),
              "BRX_ASSERT(theType == REG_SZ);");

    // 32 bits are kept.
    config.SetInt("Section", "Wrapped", 0x100000007ul);
    EXPECT_EQ(config.GetInt("Section", "Wrapped", 0), 7u);
    config.SetInt("Section", "Max", 0xFFFFFFFFul);
    EXPECT_EQ(config.GetInt("Section", "Max", 0), 0xFFFFFFFFul);

    config.SetString("Section", "Text", "abc");
    EXPECT_EQ(config.GetString("Section", "Text", "d"), "abc");
    EXPECT_EQ(readRaw(HKEY_CURRENT_USER, std::string(kDefaultPath) + "\\Section", "Text").bytes,
              std::string("abc\0", 4));
    // A text of at most 4 bytes fits the integer's buffer and is of the wrong type; a longer
    // one does not fit and reads as missing.
    EXPECT_EQ(assertionText([&] { config.GetInt("Section", "Text", 1); }),
              "BRX_ASSERT(theType == REG_DWORD);");
    config.SetString("Section", "Longer", "abcd");
    EXPECT_EQ(config.GetInt("Section", "Longer", 1), 1u);
    config.SetString("Section", "Empty", "");
    EXPECT_EQ(config.GetString("Section", "Empty", "d"), "");

    // Texts are written as ISO-8859-1.
    config.SetString("Section", "Latin", I18NString(U"\u00E9t\u00E9"));
    EXPECT_EQ(readRaw(HKEY_CURRENT_USER, std::string(kDefaultPath) + "\\Section", "Latin").bytes,
              std::string("\xE9t\xE9\0", 4));

    // A value written by hand with the integer's size but another type.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kDefaultPath) + "\\Section").c_str(), 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    const std::string two("\x01\x02", 2);
    ASSERT_EQ(
        RegSetValueExA(key, "Short", 0, REG_DWORD, reinterpret_cast<const BYTE*>(two.data()), 2),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(assertionText([&] { config.GetInt("Section", "Short", 1); }),
              "BRX_ASSERT(theSize == sizeof(theValue));");

    // Absent entries and sections give the default.
    EXPECT_EQ(config.GetInt("Section", "Absent", 42), 42u);
    EXPECT_EQ(config.GetString("Section", "Absent", "dflt"), "dflt");
    EXPECT_EQ(config.GetInt("Absent", "Int", 43), 43u);
    EXPECT_EQ(config.GetString("Absent", "Int", "dflt"), "dflt");
}

TEST_F(UserConfigurationWin32Test, EmptyNamesAndUnknownRootsFailTheirAssertions) {
    Config config(Config::kRootKeyCurrentUser);
    const char* const section = "BRX_ASSERT(!sectionName.empty());";
    const char* const entry = "BRX_ASSERT(!entryName.empty());";
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* expected;
    };
    const Case cases[] = {
        {"GetInt section", [&] { config.GetInt("", "e", 0); }, section},
        {"GetInt entry", [&] { config.GetInt("s", "", 0); }, entry},
        {"GetString section", [&] { config.GetString("", "e", ""); }, section},
        {"GetString entry", [&] { config.GetString("s", "", ""); }, entry},
        {"SetInt section", [&] { config.SetInt("", "e", 1); }, section},
        {"SetInt entry", [&] { config.SetInt("s", "", 1); }, entry},
        {"SetString section", [&] { config.SetString("", "e", "v"); }, section},
        {"SetString entry", [&] { config.SetString("s", "", "v"); }, entry},
        {"DeleteSection", [&] { config.DeleteSection(""); }, section},
        {"DeleteEntry section", [&] { config.DeleteEntry("", "e"); }, section},
        {"DeleteEntry entry", [&] { config.DeleteEntry("s", ""); }, entry},
        {"unknown root", [] { Config(static_cast<Config::ERootKey>(2)).GetInt("s", "e", 0); },
         "BRX_ASSERT(false);"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(assertionText(c.call), c.expected);
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
    EXPECT_EQ(config.GetInt("Section", "B", 0), 0u);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kDefaultPath) + "\\Section").c_str(), 0,
                            KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(UserConfigurationWin32Test, AnUnwritableRegistryThrowsOnWritesAndGivesDefaults) {
    const std::string blocker = root().writeFile("blocker", "a file, not a directory");
    setenv("ORQ_REGISTRY_USER", (blocker + "/user.db").c_str(), 1);
    Config config(Config::kRootKeyCurrentUser);
    EXPECT_EQ(config.GetInt("Section", "Entry", 11), 11u);
    EXPECT_EQ(config.GetString("Section", "Entry", "dflt"), "dflt");
    expectError([&] { config.SetInt("Section", "Entry", 0x100000005ul); }, 500, 0x72170C23,
                {"Section", "Entry", "5"});
    expectError([&] { config.SetString("Section", "Entry", "text"); }, 500, 0x72170C23,
                {"Section", "Entry", "text"});
    expectError([&] { config.DeleteSection("Section"); }, 503, 0x7218399B,
                {"Morvex", "SchemistDefaultRendition"});
    expectError([&] { config.DeleteEntry("Section", "Entry"); }, 504, 0x721AEC9E, {"Section"});
}

TEST_F(UserConfigurationWin32Test, AReadOnlyRegistryRefusesChangesToWhatItHolds) {
    {
        Config writable(Config::kRootKeyCurrentUser);
        writable.SetInt("Section", "Entry", 3);
    }
    setenv("ORQ_REGISTRY_USER", ("file:" + f_user + "?mode=ro").c_str(), 1);
    Config config(Config::kRootKeyCurrentUser);
    EXPECT_EQ(config.GetInt("Section", "Entry", 0), 3u);
    expectError([&] { config.SetInt("Section", "Entry", 4); }, 500, 0x72170C23,
                {"Section", "Entry", "4"});
    expectError([&] { config.DeleteSection("Section"); }, 501, 0x7218A27A, {"Section"});
    expectError([&] { config.DeleteEntry("Section", "Entry"); }, 502, 0x721B5B3A,
                {"Section", "Entry"});
    // A section that does not exist cannot be made, so there is no key to delete from.
    expectError([&] { config.DeleteEntry("Other", "Entry"); }, 504, 0x721AEC9E, {"Other"});
    EXPECT_EQ(config.GetInt("Section", "Entry", 0), 3u);
}

TEST_F(UserConfigurationWin32Test, ACorruptRegistryGivesDefaultsAndWriteErrors) {
    const std::string path = root().writeFile("corrupt.db", std::string(4096, '\x7F'));
    setenv("ORQ_REGISTRY_USER", path.c_str(), 1);
    Config config(Config::kRootKeyCurrentUser);
    EXPECT_EQ(config.GetInt("Section", "Entry", 12), 12u);
    expectError([&] { config.SetInt("Section", "Entry", 1); }, 500, 0x72170C23,
                {"Section", "Entry", "1"});
}

} // namespace
