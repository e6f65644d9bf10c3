#include "AutTestSupport.h"

#include <WinRegistry.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Points both roots at files of a fresh directory; restores the environment afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        f_user = f_dir.file("user/registry.db");
        f_machine = f_dir.file("machine/registry.db");
        setenv("ORQ_REGISTRY_USER", f_user.c_str(), 1);
        setenv("ORQ_REGISTRY_MACHINE", f_machine.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ORQ_REGISTRY_USER");
        unsetenv("ORQ_REGISTRY_MACHINE");
    }

    auttest::TempDir f_dir;
    std::string f_user;
    std::string f_machine;
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

// Which entries a child process wrote: "<prefix><i>" = i for i in [0, count).
void writeEntries(const char* path, const std::string& prefix, int count) {
    HKEY key = create(HKEY_CURRENT_USER, path);
    if (key == nullptr) {
        _exit(2);
    }
    for (int i = 0; i < count; ++i) {
        if (setDword(key, (prefix + std::to_string(i)).c_str(), static_cast<DWORD>(i)) !=
            ERROR_SUCCESS) {
            _exit(3);
        }
    }
    RegCloseKey(key);
    _exit(0);
}

int waitFor(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RegistryTest, KeysAreCreatedAlongThePathAndFoundInAnyLetterCase) {
    LONG error = 0;
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

    // One step at a time reaches the same key.
    HKEY software = create(HKEY_CURRENT_USER, "Software");
    HKEY morvex = create(software, "Morvex");
    HKEY product = nullptr;
    EXPECT_EQ(RegOpenKeyExA(morvex, "Product", 0, KEY_READ, &product), ERROR_SUCCESS);
    EXPECT_EQ(getDword(product, "Count", 0), 7u);
    RegCloseKey(product);
    EXPECT_EQ(RegOpenKeyExA(morvex, "Missing", 0, KEY_READ, &product), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(product, nullptr);
    for (HKEY open : {software, morvex}) {
        EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
    }
    // The other root is another file and knows nothing of it.
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &product),
              ERROR_FILE_NOT_FOUND);
    HKEY machine = create(HKEY_LOCAL_MACHINE, "Software", KEY_READ, &error);
    EXPECT_EQ(error, ERROR_SUCCESS);
    RegCloseKey(machine);
    EXPECT_TRUE(std::ifstream(f_user).good());
    EXPECT_TRUE(std::ifstream(f_machine).good());
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
    // The open handle outlives its key: every use says so.
    EXPECT_EQ(setDword(child, "v", 3), ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(child, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    LONG error = 0;
    EXPECT_EQ(create(child, "Sub", KEY_ALL_ACCESS, &error), nullptr);
    EXPECT_EQ(error, ERROR_KEY_DELETED);
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
    struct Case {
        const char* xdgConfigHome; // null: unset
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"xdg", "home", f_dir.file("xdg/orq/registry.db")},
        {nullptr, "home", f_dir.file("home/.config/orq/registry.db")},
        {"", "home", f_dir.file("home/.config/orq/registry.db")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        if (c.xdgConfigHome != nullptr) {
            setenv("XDG_CONFIG_HOME", f_dir.file(c.xdgConfigHome).c_str(), 1);
            if (*c.xdgConfigHome == '\0') {
                setenv("XDG_CONFIG_HOME", "", 1);
            }
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        setenv("HOME", f_dir.file(c.home).c_str(), 1);
        HKEY key = create(HKEY_CURRENT_USER, "Software");
        EXPECT_NE(key, nullptr);
        RegCloseKey(key);
        EXPECT_TRUE(std::ifstream(c.expected).good());
    }
    setenv("HOME", savedHome.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RegistryTest, ValuesWrittenByOneProcessAreReadByAnother) {
    // The parent has the database open before the fork: the child must not reuse the
    // connection but open its own.
    HKEY key = create(HKEY_CURRENT_USER, "Shared");
    ASSERT_EQ(setDword(key, "fromParent", 1), ERROR_SUCCESS);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (getDword(key, "fromParent", 0) != 1) {
            _exit(4);
        }
        writeEntries("Shared", "fromChild", 3);
    }
    ASSERT_EQ(waitFor(child), 0);
    for (DWORD i = 0; i < 3; ++i) {
        EXPECT_EQ(getDword(key, ("fromChild" + std::to_string(i)).c_str(), 99), i);
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, TwoProcessesWritingOneKeyAtOnceLoseNothing) {
    constexpr int kCount = 1000;
    pid_t children[2] = {};
    const char* prefixes[2] = {"first", "second"};
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) {
            writeEntries("Software\\Race\\Section", prefixes[i], kCount);
        }
    }
    for (pid_t child : children) {
        EXPECT_EQ(waitFor(child), 0);
    }
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Race\\Section", KEY_READ);
    ASSERT_NE(key, nullptr);
    int missing = 0;
    for (const char* prefix : prefixes) {
        for (int i = 0; i < kCount; ++i) {
            const std::string name = prefix + std::to_string(i);
            missing += getDword(key, name.c_str(), 0xFFFFFFFFu) != static_cast<DWORD>(i);
        }
    }
    EXPECT_EQ(missing, 0);
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
    EXPECT_EQ(getDword(key, "v", 0), 5u);
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
    struct Case {
        const char* what;
        std::string content;
    };
    const Case cases[] = {
        {"junk", std::string(8192, '\x5A')},
        {"sqlite header then junk",
         std::string("SQLite format 3\0", 16) + std::string(4080, '\xFF')},
        {"truncated header", "SQLite"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = f_dir.writeFile(std::string(c.what) + ".db", c.content);
        setenv("ORQ_REGISTRY_USER", path.c_str(), 1);
        LONG error = 0;
        EXPECT_EQ(create(HKEY_CURRENT_USER, "Software", KEY_ALL_ACCESS, &error), nullptr);
        EXPECT_EQ(error, ERROR_BADDB);
        EXPECT_EQ(setDword(HKEY_CURRENT_USER, "v", 1), ERROR_BADDB);
        EXPECT_EQ(auttest::readFile(path), c.content);
    }
}

TEST_F(RegistryTest, DamagedPagesNeverCrash) {
    // A process that ends normally closes its database, which moves the log into the file:
    // the file alone then holds every value.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HKEY key = create(HKEY_CURRENT_USER, "Software\\Damaged");
        for (int i = 0; i < 200; ++i) {
            setDword(key, ("value" + std::to_string(i)).c_str(), i);
        }
        RegCloseKey(key);
        std::exit(0);
    }
    ASSERT_EQ(waitFor(child), 0);
    ASSERT_FALSE(std::ifstream(f_user + "-wal").good());
    const std::string good = auttest::readFile(f_user);
    ASSERT_GT(good.size(), 4096u);
    // Overwrite one stretch at a time, in a fresh file each round, and use the result.
    for (std::size_t offset = 0; offset + 64 <= good.size(); offset += 1000) {
        SCOPED_TRACE(offset);
        std::string damaged = good;
        for (std::size_t i = 0; i < 64; ++i) {
            damaged[offset + i] = static_cast<char>(0xA5 ^ i);
        }
        const std::string path = f_dir.writeFile("damaged" + std::to_string(offset), damaged);
        setenv("ORQ_REGISTRY_USER", path.c_str(), 1);
        HKEY opened = create(HKEY_CURRENT_USER, "Software\\Damaged", KEY_ALL_ACCESS);
        for (int i = 0; opened != nullptr && i < 200; i += 7) {
            getDword(opened, ("value" + std::to_string(i)).c_str(), 0);
            setDword(opened, ("value" + std::to_string(i)).c_str(), 1);
        }
        RegCloseKey(opened);
    }
}

} // namespace
