#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"

#include <WinRegistry.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Points the user's root at a file of a fresh directory.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("ORQ_REGISTRY_USER", f_user.c_str(), 1); }

    auttest::TempDir f_dir;
    std::string f_user = f_dir.file("user/registry.db");
};

// Opens (creating) `path` below `root` with `access`; null on failure, the result in `error`.
HKEY create(HKEY root,
            const std::string& path,
            REGSAM access = KEY_ALL_ACCESS,
            LONG* error = nullptr,
            DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    LONG result = 0;
    (error != nullptr ? *error : result) =
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, access, nullptr, &key, disposition);
    return key;
}

LONG setDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
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
    umask(0); // so that the modes checked below are the library's own doing
    DWORD disposition = 0;
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Morvex\\Product", KEY_ALL_ACCESS, nullptr,
                      &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(setDword(key, "Count", 7), ERROR_SUCCESS);
    RegCloseKey(key);
    key = create(HKEY_CURRENT_USER, "SOFTWARE\\morvex", KEY_READ, nullptr, &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    HKEY product = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key, "PRODUCT", 0, KEY_READ, &product), ERROR_SUCCESS);
    EXPECT_EQ(getDword(product, "COUNT", 0), 7u);
    EXPECT_EQ(RegCloseKey(product), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(key, "Missing", 0, KEY_READ, &product), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(product, nullptr);
    RegCloseKey(key);
    // Readers go on while another process writes: the file is in write-ahead-log mode
    // (header bytes 18 and 19).
    EXPECT_EQ(auttest::readFile(f_user).substr(18, 2), std::string("\2\2", 2));
    // Private whatever the umask (SQLite gives the files it keeps beside it the same mode).
    struct stat status {};
    EXPECT_EQ(stat(f_user.c_str(), &status) == 0 ? status.st_mode & 0777 : 0, 0600u);
}

// Each value of RegistryTest-values.tsv, read into a buffer of its size with a byte to spare
// (which must stay untouched) and into one a byte short.
TEST_F(RegistryTest, ValuesKeepTheirTypeAndBytes) {
    HKEY key = create(HKEY_CURRENT_USER, "Values");
    const std::vector<auttest::Row> rows = auttest::ReadTable("RegistryTest-values.tsv", 3);
    for (const auttest::Row& row : rows) {
        ASSERT_EQ(RegSetValueExA(key, row[0].c_str(), 0, std::stoul(row[1]),
                                 reinterpret_cast<const BYTE*>(row[2].data()), row[2].size()),
                  ERROR_SUCCESS);
    }
    for (const auttest::Row& row : rows) {
        const DWORD size = static_cast<DWORD>(row[2].size());
        for (const DWORD room : {size + 1, size - 1}) {
            SCOPED_TRACE(row[0] + " in " + std::to_string(room));
            std::string buffer(size + 1, '\xAA');
            DWORD type = REG_NONE;
            DWORD got = room;
            const LONG result = RegQueryValueExA(key, row[0].c_str(), nullptr, &type,
                                                 reinterpret_cast<BYTE*>(&buffer[0]), &got);
            EXPECT_EQ(result, room > size || size == 0 ? ERROR_SUCCESS : ERROR_MORE_DATA);
            EXPECT_EQ(got, size);
            EXPECT_EQ(type, std::stoul(row[1]));
            EXPECT_EQ(buffer,
                      result == ERROR_SUCCESS ? row[2] + "\xAA" : std::string(size + 1, '\xAA'));
        }
    }
    // A value of the same name in other letters is the same value; a new type replaces.
    ASSERT_EQ(setDword(key, "TEXT", 9), ERROR_SUCCESS);
    EXPECT_EQ(getDword(key, "text", 0), 9u);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(
        RegQueryValueExA(key, "text", nullptr, nullptr, reinterpret_cast<BYTE*>(&size), nullptr),
        ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
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
    EXPECT_EQ(RegDeleteKeyA(parent, "child\\grandchild"), ERROR_SUCCESS);
    // The open handle outlives its key: every use says so, opening the key itself as well.
    EXPECT_EQ(setDword(child, "v", 3), ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(child, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    LONG error = 0;
    for (const char* path : {"", "Sub"}) {
        EXPECT_EQ(create(child, path, KEY_ALL_ACCESS, &error), nullptr);
        EXPECT_EQ(error, ERROR_KEY_DELETED) << path;
    }
    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_SUCCESS);
    RegCloseKey(parent);
    RegCloseKey(child);
}

TEST_F(RegistryTest, MalformedArgumentsAreRefused) {
    for (const auttest::Row& row : auttest::ReadTable("RegistryTest-paths.tsv", 2)) {
        LONG error = 0;
        HKEY key = create(HKEY_CURRENT_USER, row[0], KEY_ALL_ACCESS, &error);
        EXPECT_EQ(error, std::stol(row[1])) << row[0];
        EXPECT_EQ(key != nullptr, row[1] == "0") << row[0];
        RegCloseKey(key);
    }
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setDword(nullptr, "v", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_BINARY, nullptr, 4),
              ERROR_INVALID_PARAMETER);
}

// A handle without the right, a file opened read-only, a file that cannot be made.
TEST_F(RegistryTest, ChangesAreRefusedWithTheirReason) {
    RegCloseKey(create(HKEY_CURRENT_USER, "A\\Kept"));
    HKEY readOnly = create(HKEY_CURRENT_USER, "A", KEY_READ);
    EXPECT_EQ(setDword(readOnly, "v", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly, "v"), ERROR_ACCESS_DENIED);
    LONG error = 0;
    // Opening an existing subkey needs no right to create, making one does; the new handle
    // has the rights it asked for.
    HKEY key = create(readOnly, "Kept", KEY_SET_VALUE, &error);
    EXPECT_EQ(setDword(key, "v", 5), ERROR_SUCCESS);
    EXPECT_EQ(getDword(key, "v", 0), 0u);
    EXPECT_EQ(create(readOnly, "New", KEY_ALL_ACCESS, &error), nullptr);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    RegCloseKey(readOnly);
    setenv("ORQ_REGISTRY_USER", ("file:" + f_user + "?mode=ro").c_str(), 1);
    key = create(HKEY_CURRENT_USER, "A\\Kept", KEY_ALL_ACCESS, &error);
    EXPECT_EQ(getDword(key, "v", 0), 5u);
    EXPECT_EQ(setDword(key, "v", 6), ERROR_ACCESS_DENIED);
    EXPECT_EQ(create(key, "New", KEY_ALL_ACCESS, &error), nullptr);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    // Nothing can be made below a regular file, read-only needs the file, and a link (a
    // dangling one, which SQLite would make the target of) is not followed.
    const std::string blocker = f_dir.writeFile("blocker", "not a directory");
    symlink((blocker + "x").c_str(), f_dir.file("link").c_str());
    for (const std::string& path :
         {blocker + "/registry.db", "file:" + blocker + "x?mode=ro", f_dir.file("link")}) {
        setenv("ORQ_REGISTRY_USER", path.c_str(), 1);
        EXPECT_EQ(create(HKEY_CURRENT_USER, "Software", KEY_READ, &error), nullptr);
        EXPECT_EQ(error, ERROR_CANTOPEN) << path;
        EXPECT_EQ(setDword(HKEY_CURRENT_USER, "v", 1), ERROR_CANTOPEN) << path;
    }
}

// A process killed while it made the database leaves the library's header in the file beside
// the hot journal that takes it out again (here one of no pages, the file having been empty):
// the next process makes the database anew and writes.
TEST_F(RegistryTest, ACreationCutShortIsMadeAgain) {
    f_dir.makeDirectory("user");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(f_user.c_str(), &db), SQLITE_OK);
    // The library's application id, "ORGR".
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA application_id = 1330792274; CREATE TABLE t(x)", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    // Magic, no pages, nonce, pages before the transaction, sector size, page size.
    std::string journal("\xD9\xD5\x05\xF9\x20\xA1\x63\xD7");
    for (const unsigned field : {0u, 0u, 0u, 512u, 4096u}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            journal += static_cast<char>(field >> shift);
        }
    }
    journal.resize(512, '\0');
    f_dir.writeFile("user/registry.db-journal", journal);
    EXPECT_EQ(setDword(HKEY_CURRENT_USER, "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(getDword(HKEY_CURRENT_USER, "v", 0), 1u);
}

// Each row of RegistryTest-foreign.tsv becomes a file, which a process then runs SQL on and is
// killed: refused by reads and writes, every byte of it and of its log or journal kept.
TEST_F(RegistryTest, ACorruptOrForeignFileIsRefusedNotAltered) {
    int n = 0;
    for (const auttest::Row& row : auttest::ReadTable("RegistryTest-foreign.tsv", 2)) {
        const std::string path = f_dir.writeFile(std::to_string(n++), row[0]);
        const auto runSqlAndDie = [&] {
            sqlite3* db = nullptr;
            sqlite3_open(path.c_str(), &db);
            return std::to_string(sqlite3_exec(db, row[1].c_str(), nullptr, nullptr, nullptr));
        };
        ASSERT_EQ(reliability::RunInChild(runSqlAndDie, 10), "0") << row[1];
        const auto files = [&] {
            return auttest::readFile(path) + auttest::readFile(path + "-wal") +
                   auttest::readFile(path + "-journal");
        };
        const std::string before = files();
        setenv("ORQ_REGISTRY_USER", path.c_str(), 1);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);
        LONG error = 0;
        EXPECT_EQ(create(HKEY_CURRENT_USER, "Software", KEY_ALL_ACCESS, &error), nullptr);
        EXPECT_EQ(error, ERROR_BADDB) << path;
        EXPECT_EQ(setDword(HKEY_CURRENT_USER, "v", 1), ERROR_BADDB) << path;
        EXPECT_TRUE(files() == before) << row[0].substr(0, 20) << " " << row[1];
    }
}

} // namespace
