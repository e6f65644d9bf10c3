// The registry user configuration's reads and writes beside their floors: one query on an
// open key of the registry layer, and a prepared SELECT on a bare SQLite key-value table
// (what a program would write instead of a registry).
#include "UTUserConfigurationWin32.h"

#include <AUTInitialize.h>
#include <WinRegistry.h>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <sqlite3.h>
#include <string>
#include <unistd.h>

namespace {

// A registry in a fresh directory, for the whole run.
class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/autregbench.XXXXXX";
        f_dir = mkdtemp(pattern);
        setenv("ORQ_REGISTRY_USER", (f_dir + "/user.db").c_str(), 1);
        setenv("ORQ_BIN_DIR", f_dir.c_str(), 1);
        AUT_Initialize("bench");
    }
    ~Scratch() {
        AUT_Terminate("bench");
        const std::string command = "rm -rf '" + f_dir + "'";
        if (std::system(command.c_str()) != 0) {
            // Leaving a temporary directory behind is harmless.
        }
    }
    const std::string& dir() const { return f_dir; }

private:
    std::string f_dir;
};

Scratch& scratch() {
    static Scratch instance;
    return instance;
}

void BM_UserConfigurationGetInt(benchmark::State& state) {
    scratch();
    AUT_UserConfigurationWin32 config(AUT_I_UserConfiguration::kRootKeyCurrentUser);
    config.SetInt("Logging", "LogLevel", 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(config.GetInt("Logging", "LogLevel", 0));
    }
}
BENCHMARK(BM_UserConfigurationGetInt);

void BM_UserConfigurationSetInt(benchmark::State& state) {
    scratch();
    AUT_UserConfigurationWin32 config(AUT_I_UserConfiguration::kRootKeyCurrentUser);
    unsigned long value = 0;
    for (auto _ : state) {
        config.SetInt("Logging", "Counter", ++value);
    }
}
BENCHMARK(BM_UserConfigurationSetInt);

void BM_RegQueryValueOnOpenKey(benchmark::State& state) {
    scratch();
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Bench\\Logging", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key, nullptr);
    DWORD value = 3;
    RegSetValueExA(key, "LogLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    for (auto _ : state) {
        DWORD size = sizeof(value);
        DWORD type = 0;
        RegQueryValueExA(key, "LogLevel", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        benchmark::DoNotOptimize(value);
    }
    RegCloseKey(key);
}
BENCHMARK(BM_RegQueryValueOnOpenKey);

// Anchors: a bare table (path, name) -> value with one prepared statement.
struct BareTable {
    BareTable() {
        sqlite3_open((scratch().dir() + "/bare.db").c_str(), &db);
        sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                     "CREATE TABLE IF NOT EXISTS kv(path TEXT, name TEXT, value INTEGER,"
                     " PRIMARY KEY(path, name)) WITHOUT ROWID;"
                     "INSERT OR REPLACE INTO kv VALUES('Software\\Bench\\Logging','LogLevel',3)",
                     nullptr, nullptr, nullptr);
    }
    ~BareTable() { sqlite3_close(db); }
    sqlite3* db = nullptr;
};

void BM_AnchorSqliteSelect(benchmark::State& state) {
    BareTable table;
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(table.db, "SELECT value FROM kv WHERE path = ?1 AND name = ?2", -1, &select,
                       nullptr);
    for (auto _ : state) {
        sqlite3_bind_text(select, 1, "Software\\Bench\\Logging", -1, SQLITE_STATIC);
        sqlite3_bind_text(select, 2, "LogLevel", -1, SQLITE_STATIC);
        if (sqlite3_step(select) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_int(select, 0));
        }
        sqlite3_reset(select);
    }
    sqlite3_finalize(select);
}
BENCHMARK(BM_AnchorSqliteSelect);

void BM_AnchorSqliteUpsert(benchmark::State& state) {
    BareTable table;
    sqlite3_stmt* upsert = nullptr;
    sqlite3_prepare_v2(table.db, "INSERT OR REPLACE INTO kv VALUES(?1, ?2, ?3)", -1, &upsert,
                       nullptr);
    int value = 0;
    for (auto _ : state) {
        sqlite3_bind_text(upsert, 1, "Software\\Bench\\Logging", -1, SQLITE_STATIC);
        sqlite3_bind_text(upsert, 2, "Counter", -1, SQLITE_STATIC);
        sqlite3_bind_int(upsert, 3, ++value);
        sqlite3_step(upsert);
        sqlite3_reset(upsert);
    }
    sqlite3_finalize(upsert);
}
BENCHMARK(BM_AnchorSqliteUpsert);

} // namespace
