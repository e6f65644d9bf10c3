#include "AutTestSupport.h"
#include "Table.h"
#include "UTStringSupport.h"
#include "UTUserConfigurationWin32.h"
#include "UTUserConfigurationWin32Internal.h"

#include <BrxException.h>
#include <WinRegistry.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

using Config = AUT_UserConfigurationWin32;

const std::string kDefaultPath = "Software\\Morvex\\SchemistDefaultRendition\\Schemist\\";

// A temporary installation with its registry files in it; the library is initialized.
class UserConfigurationWin32Test : public auttest::InitializedTest {
protected:
    void SetUp() override {
        AUTg_UserConfigurationWin32 = {}; // "Rendition.cfg" is read once per process
        InitializedTest::SetUp();
        f_user = root().file("user.db");
        setenv("ORQ_REGISTRY_USER", f_user.c_str(), 1);
        setenv("ORQ_REGISTRY_MACHINE", root().file("machine/machine.db").c_str(), 1);
    }

    std::string f_user;
};

// The value under root\path as "<type>:<bytes>", or "" when it is missing.
std::string stored(const std::string& path, const char* name, HKEY root = HKEY_CURRENT_USER) {
    HKEY key = nullptr;
    DWORD type = REG_NONE;
    std::string bytes(64, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
    const LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::to_string(type) + ":" + bytes.substr(0, size) : "";
}

// Runs the operation row[0] on section row[1], entry row[2] and value row[3]; gives what it
// read, the text of the assertion that failed, or "".
std::string apply(Config& config, const auttest::Row& row) {
    const I18NString section(row[1].c_str());
    const I18NString entry(row[2].c_str());
    const std::map<std::string, std::function<I18NString()>> operations = {
        {"GetInt", [&] { return AUT_ToString(config.GetInt(section, entry, 99)); }},
        {"GetString", [&] { return config.GetString(section, entry, "default"); }},
        {"SetInt", [&] { return config.SetInt(section, entry, std::stoul(row[3])), I18NString(); }},
        {"SetString",
         [&] { return config.SetString(section, entry, row[3].c_str()), I18NString(); }},
        {"DeleteSection", [&] { return config.DeleteSection(section), I18NString(); }},
        {"DeleteEntry", [&] { return config.DeleteEntry(section, entry), I18NString(); }},
    };
    try {
        return operations.at(row[0])().c_str();
    } catch (const BrxAssertError& error) {
        return error.getText();
    }
}

TEST_F(UserConfigurationWin32Test, TheKeyPathComesFromTheRenditionFileReadOnce) {
    Config::SetPath(nullptr);
    Config(Config::kRootKeyCurrentUser).SetInt("Logging", "Level", 5);
    EXPECT_EQ(stored(kDefaultPath + "Logging", "Level"), std::string("4:\x05\0\0\0", 6));
    // The other root is another database, which a read does not make (nor its directory).
    EXPECT_EQ(Config(Config::kRootKeyLocalMachine).GetInt("Logging", "Level", 9), 9u);
    EXPECT_NE(access(root().file("machine").c_str(), F_OK), 0);

    AUTg_UserConfigurationWin32 = {};
    root().writeFile("bin/Rendition.cfg", "; the installation's rendition\n[RENDITION]\n"
                                          "  base rendition name =  Custom Rendition  \n");
    Config::SetPath(nullptr);
    // Texts are written as ISO-8859-1, with their NUL.
    Config(Config::kRootKeyLocalMachine).SetString("S", "E", I18NString(U"\u00E9t\u00E9"));
    EXPECT_EQ(stored("Software\\Morvex\\Custom Rendition\\Schemist\\S", "E", HKEY_LOCAL_MACHINE),
              std::string("1:\xE9t\xE9\0", 6));
    // Read once: a new file and a new path change nothing.
    root().writeFile("bin/Rendition.cfg", "[Rendition]\nBase Rendition Company=Other\n");
    Config::SetPath(nullptr);
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionName(), "Custom Rendition");
    EXPECT_EQ(AUT_UserConfigurationCommon::GetBaseRenditionCompanyName(), "Morvex");
}

TEST_F(UserConfigurationWin32Test, CallsGiveWhatWasWrittenOrFailTheirAssertions) {
    Config config(Config::kRootKeyCurrentUser);
    for (const auttest::Row& row : auttest::ReadTable("UserConfigurationWin32Test-calls.tsv", 5)) {
        EXPECT_EQ(apply(config, row), row[4]) << row[0] << " " << row[1] << "/" << row[2];
    }
    Config unknownRoot(static_cast<Config::ERootKey>(2));
    EXPECT_EQ(apply(unknownRoot, {"GetInt", "s", "e", ""}), "BRX_ASSERT(false);");
    // A value written by hand with the integer's type but not its size.
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, (kDefaultPath + "Latin").c_str(), 0, KEY_WRITE, &key);
    ASSERT_EQ(RegSetValueExA(key, "Short", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\2"), 2),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(apply(config, {"GetInt", "Latin", "Short", ""}),
              "BRX_ASSERT(theSize == sizeof(theValue));");
}

// Reads give their defaults; each failed change is its error with what it was to change.
TEST_F(UserConfigurationWin32Test, RegistryFailuresBecomeErrors500To504) {
    Config(Config::kRootKeyCurrentUser).SetInt("Section", "Entry", 3);
    const std::map<std::string, std::string> databases = {
        {"unwritable", root().writeFile("blocker", "") + "/user.db"},
        {"read-only", "file:" + f_user + "?mode=ro"},
        {"writable", f_user}};
    for (const auttest::Row& row : auttest::ReadTable("UserConfigurationWin32Test-errors.tsv", 7)) {
        SCOPED_TRACE(row[4] + " " + row[0] + " " + row[1]);
        setenv("ORQ_REGISTRY_USER", databases.at(row[4]).c_str(), 1);
        Config config(Config::kRootKeyCurrentUser);
        const auttest::Thrown t = auttest::Catch([&] { apply(config, row); });
        EXPECT_EQ(t.code, std::stol(row[5]));
        EXPECT_EQ(t.number, std::stoul(row[6], nullptr, 16));
        EXPECT_EQ(t.parameters, std::vector<std::string>(row.begin() + 7, row.end()));
        EXPECT_EQ(t.file, "Source/UTUserConfigurationWin32.cpp");
        EXPECT_EQ(config.GetInt("Section", "Entry", 11), row[4] == "unwritable" ? 11u : 3u);
    }
}

} // namespace
