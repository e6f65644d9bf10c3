#include "AutTestSupport.h"
#include "ReliabilitySupport.h"

#include <WinRegistry.h>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Points both roots at files of a fresh directory; restores the environment afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        f_user = f_dir.file("user/registry.db");
        setenv("ORQ_REGISTRY_USER", f_user.c_str(), 1);
        setenv("ORQ_REGISTRY_MACHINE", f_dir.file("machine/registry.db").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ORQ_REGISTRY_USER");
        unsetenv("ORQ_REGISTRY_MACHINE");
    }

    auttest::TempDir f_dir;
    std::string f_user;
};

// Opens (creating) `path` below `root` with `access`; null on failure, the result in `error`.
HKEY create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS, LONG* error = nullptr) {
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr);
    if (error != nullptr) {
        *error = result;
    }
    return key;
}

LONG setDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

// The value's DWORD, or `fallback` when it cannot be read as one.
DWORD getDword(HKEY key, const char* name, DWORD fallback) {
    DWORD value = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof(value);
    const LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == 4 ? value : fallback;
}

TEST_F(RegistryTest, KeysAreCreatedAlongThePathAndFoundInAnyLetterCase) {
    DWORD disposition = 0;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Morvex\\Product", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(setDword(key, "Count", 7), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\morvex\\PRODUCT", 0, nullptr, 0,
                              KEY_READ, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(getDword(key, "COUNT", 0), 7u);
    RegCloseKey(key);
    // Below a handle as below a root.
    HKEY software = create(HKEY_CURRENT_USER, "Software");
    HKEY product = nullptr;
    EXPECT_EQ(RegOpenKeyExA(software, "Morvex\\Product", 0, KEY_READ, &product), ERROR_SUCCESS);
    EXPECT_EQ(getDword(product, "Count", 0), 7u);
    RegCloseKey(product);
    EXPECT_EQ(RegOpenKeyExA(software, "Missing", 0, KEY_READ, &product), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(product, nullptr);
    EXPECT_EQ(RegCloseKey(software), ERROR_SUCCESS);
    // The other root is another file and knows nothing of it.
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &product),
              ERROR_FILE_NOT_FOUND);
    // Readers go on while another process writes: the file is in write-ahead-log mode
    // (header bytes 18 and 19).
    const std::string header = auttest::readFile(f_user).substr(0, 20);
    EXPECT_EQ(header.substr(18), std::string("\2\2", 2));
}

TEST_F(RegistryTest, ValuesKeepTheirTypeAndBytes) {
    HKEY key = create(HKEY_CURRENT_USER, "Values");
    ASSERT_NE(key, nullptr);
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
    };
    const Case cases[] = {
        {"dword", REG_DWORD, std::string("\x01\x00\x00\x80", 4)},
        {"text", REG_SZ, std::string("abc\0", 4)},
        {"no terminator", REG_SZ, "abc"},
        {"binary", REG_BINARY, std::string("\0\xFF\0", 3)},
        {"empty", REG_BINARY, ""},
        {"", REG_SZ, std::string("unnamed\0", 8)},
        {"latin-1 \xE9", REG_SZ, std::string("\xE9t\xE9\0", 4)},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(RegSetValueExA(key, c.name, 0, c.type,
                                 reinterpret_cast<const BYTE*>(c.bytes.data()),
                                 static_cast<DWORD>(c.bytes.size())),
                  ERROR_SUCCESS);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD type = REG_NONE;
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        ASSERT_EQ(size, c.bytes.size());
        std::vector<BYTE> buffer(size + 1, 0xAA);
        DWORD room = static_cast<DWORD>(buffer.size());
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, buffer.data(), &room),
                  ERROR_SUCCESS);
        EXPECT_EQ(room, size);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + size), c.bytes);
        EXPECT_EQ(buffer[size], 0xAA) << "wrote past the value";
        if (size > 0) {
            room = size - 1;
            EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, buffer.data(), &room),
                      ERROR_MORE_DATA);
            EXPECT_EQ(room, size);
        }
    }
    // A value of the same name in other letters is the same value; a new type replaces.
    ASSERT_EQ(setDword(key, "TEXT", 9), ERROR_SUCCESS);
    EXPECT_EQ(getDword(key, "text", 0), 9u);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(
        RegQueryValueExA(key, "dword", nullptr, nullptr, reinterpret_cast<BYTE*>(&size), nullptr),
        ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, AccessRightsOfTheHandleAreEnforced) {
    HKEY writable = create(HKEY_CURRENT_USER, "A\\Existing");
    ASSERT_EQ(setDword(writable, "v", 1), ERROR_SUCCESS);
    RegCloseKey(writable);
    HKEY readOnly = create(HKEY_CURRENT_USER, "A", KEY_READ);
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(setDword(readOnly, "v", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly, "v"), ERROR_ACCESS_DENIED);
    LONG error = 0;
    // Opening an existing subkey needs no right to create, making one does.
    HKEY existing = create(readOnly, "Existing", KEY_READ, &error);
    EXPECT_EQ(error, ERROR_SUCCESS);
    EXPECT_EQ(getDword(existing, "v", 0), 1u);
    EXPECT_EQ(create(readOnly, "New", KEY_ALL_ACCESS, &error), nullptr);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    HKEY writeOnly = create(HKEY_CURRENT_USER, "A\\Existing", KEY_SET_VALUE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writeOnly, "v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    for (HKEY open : {readOnly, existing, writeOnly}) {
        RegCloseKey(open);
    }
}

TEST_F(RegistryTest, DeletionsReportWhatIsMissingAndKeepKeysWithSubkeys) {
    HKEY parent = create(HKEY_CURRENT_USER, "P");
    HKEY child = create(parent, "Child\\Grandchild");
    ASSERT_EQ(setDword(child, "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(child, "absent"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(parent, "Absent"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(child, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(child, "v"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(setDword(child, "v", 2), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, "child\\grandchild"), ERROR_SUCCESS);
    // The open handle outlives its key: every use says so, opening the key itself as well.
    EXPECT_EQ(setDword(child, "v", 3), ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(child, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    LONG error = 0;
    for (const char* path : {"", "Sub"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(create(child, path, KEY_ALL_ACCESS, &error), nullptr);
        EXPECT_EQ(error, ERROR_KEY_DELETED);
    }
    // A key of the same name made again starts empty.
    HKEY again = create(parent, "Child\\Grandchild");
    EXPECT_EQ(getDword(again, "v", 99), 99u);
    EXPECT_EQ(RegDeleteKeyA(parent, "Child\\Grandchild"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_SUCCESS);
    for (HKEY open : {parent, child, again}) {
        RegCloseKey(open);
    }
}

TEST_F(RegistryTest, MalformedArgumentsAreRefused) {
    const std::string tooLong(256, 'k');
    const std::string longest(255, 'k');
    struct Case {
        const char* what;
        const char* path;
        LONG expected;
    };
    const Case cases[] = {
        {"leading separator", "\\A", ERROR_INVALID_PARAMETER},
        {"empty component", "A\\\\B", ERROR_INVALID_PARAMETER},
        {"trailing separator", "A\\", ERROR_INVALID_PARAMETER},
        {"name of 256 bytes", tooLong.c_str(), ERROR_INVALID_PARAMETER},
        {"name of 255 bytes", longest.c_str(), ERROR_SUCCESS},
        {"empty path: the key itself", "", ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LONG error = 0;
        HKEY key = create(HKEY_CURRENT_USER, c.path, KEY_ALL_ACCESS, &error);
        EXPECT_EQ(error, c.expected);
        EXPECT_EQ(key != nullptr, c.expected == ERROR_SUCCESS);
        RegCloseKey(key);
    }
    EXPECT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "A", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(setDword(nullptr, "v", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_BINARY, nullptr, 4),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, TheUserDatabaseDefaultsToTheConfigurationDirectory) {
    unsetenv("ORQ_REGISTRY_USER");
    const std::string savedHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    // XDG_CONFIG_HOME set, unset and empty; a home of its own each, as databases stay open.
    const std::string xdg[] = {f_dir.file("xdg"), "(unset)", ""};
    const std::string expected[] = {f_dir.file("xdg/orq/registry.db"),
                                    f_dir.file("home1/.config/orq/registry.db"),
                                    f_dir.file("home2/.config/orq/registry.db")};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i]);
        setenv("HOME", f_dir.file("home" + std::to_string(i)).c_str(), 1);
        setenv("XDG_CONFIG_HOME", xdg[i].c_str(), 1);
        if (i == 1) {
            unsetenv("XDG_CONFIG_HOME");
        }
        RegCloseKey(create(HKEY_CURRENT_USER, "Software"));
        EXPECT_TRUE(std::ifstream(expected[i]).good());
    }
    setenv("HOME", savedHome.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RegistryTest, AHandleInheritedThroughForkOpensItsOwnConnection) {
    HKEY key = create(HKEY_CURRENT_USER, "Shared");
    ASSERT_EQ(setDword(key, "fromParent", 1), ERROR_SUCCESS);
    EXPECT_EQ(reliability::RunInChild(
                  [key] {
                      return getDword(key, "fromParent", 0) == 1 &&
                                     setDword(key, "fromChild", 2) == ERROR_SUCCESS
                                 ? ""
                                 : "the inherited handle failed";
                  },
                  30),
              "");
    EXPECT_EQ(getDword(key, "fromChild", 0), 2u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, AnUnwritableDatabaseGivesResultCodes) {
    // A directory in the path that is a regular file: nothing can be created there.
    const std::string blocker = f_dir.writeFile("blocker", "not a directory");
    setenv("ORQ_REGISTRY_USER", (blocker + "/registry.db").c_str(), 1);
    LONG error = 0;
    EXPECT_EQ(create(HKEY_CURRENT_USER, "Software", KEY_READ, &error), nullptr);
    EXPECT_EQ(error, ERROR_CANTOPEN);
    EXPECT_EQ(setDword(HKEY_CURRENT_USER, "v", 1), ERROR_CANTOPEN);
    // A database opened read-only: what it holds is read, writes are refused.
    setenv("ORQ_REGISTRY_USER", f_user.c_str(), 1);
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Kept");
    ASSERT_EQ(setDword(key, "v", 5), ERROR_SUCCESS);
    RegCloseKey(key);
    setenv("ORQ_REGISTRY_USER", ("file:" + f_user + "?mode=ro").c_str(), 1);
    key = create(HKEY_CURRENT_USER, "Software\\Kept", KEY_ALL_ACCESS, &error);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(setDword(key, "v", 6), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(create(key, "New", KEY_ALL_ACCESS, &error), nullptr);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(getDword(key, "v", 0), 5u);
    RegCloseKey(key);
    // Read-only and not there at all.
    setenv("ORQ_REGISTRY_USER", ("file:" + f_dir.file("none.db") + "?mode=ro").c_str(), 1);
    EXPECT_EQ(create(HKEY_CURRENT_USER, "Software", KEY_READ, &error), nullptr);
    EXPECT_EQ(error, ERROR_CANTOPEN);
}

TEST_F(RegistryTest, ACorruptOrForeignFileIsRefusedNotAltered) {
    // Tables and application id are committed before the file turns to its log, so the file
    // alone is a whole database of ours; without our application id it is another program's.
    RegCloseKey(create(HKEY_CURRENT_USER, "Software"));
    std::string foreign = auttest::readFile(f_user);
    ASSERT_GT(foreign.size(), 72u);
    foreign.replace(68, 4, 4, '\0');
    const std::pair<const char*, std::string> cases[] = {
        {"junk", std::string(8192, '\x5A')},
        {"sqlite header then junk",
         std::string("SQLite format 3\0", 16) + std::string(4080, '\xFF')},
        {"truncated header", "SQLite"},
        {"another program's tables", foreign},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string path = f_dir.writeFile(std::string(c.first) + ".db", c.second);
        setenv("ORQ_REGISTRY_USER", path.c_str(), 1);
        LONG error = 0;
        EXPECT_EQ(create(HKEY_CURRENT_USER, "Software", KEY_ALL_ACCESS, &error), nullptr);
        EXPECT_EQ(error, ERROR_BADDB);
        EXPECT_EQ(setDword(HKEY_CURRENT_USER, "v", 1), ERROR_BADDB);
        EXPECT_EQ(auttest::readFile(path), c.second);
    }
}

} // namespace
