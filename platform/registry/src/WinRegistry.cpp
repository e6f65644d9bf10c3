#include "WinRegistry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <pwd.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Marks a registry database of ours: another program's SQLite file is refused, not altered.
constexpr int kApplicationId = 0x4F524752; // "ORGR"
constexpr int kBusyTimeoutMs = 10000;
constexpr std::size_t kMaxKeyNameBytes = 255;
constexpr std::uint32_t kHandleMagic = 0x4B455921;
constexpr std::int64_t kRootKeyId = 0; // the root has no row; its children name parent 0

const char* const kSchema = "CREATE TABLE IF NOT EXISTS keys("
                            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                            " parent INTEGER NOT NULL,"
                            " name TEXT NOT NULL COLLATE NOCASE,"
                            " UNIQUE(parent, name));"
                            "CREATE TABLE IF NOT EXISTS vals("
                            " key INTEGER NOT NULL,"
                            " name TEXT NOT NULL COLLATE NOCASE,"
                            " type INTEGER NOT NULL,"
                            " data BLOB NOT NULL,"
                            " PRIMARY KEY(key, name)) WITHOUT ROWID;";

LONG resultOf(int sqliteCode) {
    switch (sqliteCode & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_READONLY:
        return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_CANTOPEN;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
        return ERROR_INVALID_PARAMETER;
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PROTOCOL:
        return ERROR_CANTWRITE;
    default:
        // SQLITE_NOTADB, SQLITE_CORRUPT, SQLITE_SCHEMA, SQLITE_ERROR ("no such table" in a
        // damaged file): the file is not the database it should be.
        return ERROR_BADDB;
    }
}

// Resets a statement and clears its bindings when the scope ends, on every path.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* statement)
        : f_statement(statement) {}
    ~StatementUse() {
        sqlite3_reset(f_statement);
        sqlite3_clear_bindings(f_statement);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    sqlite3_stmt* operator*() const { return f_statement; }

private:
    sqlite3_stmt* f_statement;
};

// One open database file, shared by every handle of the process that reaches it.
class Database {
public:
    enum Statement {
        kFindChild,
        kInsertKey,
        kKeyExists,
        kHasChildren,
        kQueryValue,
        kSetValue,
        kDeleteValue,
        kDeleteValues,
        kDeleteKey,
        kBegin,
        kCommit,
        kRollback,
        kStatementCount
    };

    // Opens the database `path`; with `create` (a change is coming) a missing plain path is
    // made, with its directories. On failure returns null and sets `error`.
    static std::shared_ptr<Database> open(const std::string& path, bool create, LONG& error);

    ~Database() {
        // A child of fork() must not close its parent's connection: SQLite would release or
        // checkpoint on the parent's behalf. Leave it to the parent.
        if (f_pid != getpid()) {
            return;
        }
        for (sqlite3_stmt*& statement : f_statements) {
            sqlite3_finalize(statement);
        }
        sqlite3_close_v2(f_db);
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& path() const { return f_path; }
    bool ownedByThisProcess() const { return f_pid == getpid(); }
    bool hasSchema() const { return f_hasSchema; }
    // Takes the file as a registry: one whose header bears the library's application id, or a
    // new (empty) one, which gets the schema when `create` and the file is writable. Anything
    // else is ERROR_BADDB. Until the schema exists each call looks again, so that tables another
    // process made are seen. Takes mutex().
    LONG adopt(bool create);
    std::mutex& mutex() { return f_mutex; }
    sqlite3_stmt* statement(Statement which) const { return f_statements[which]; }

    // Runs a statement to its end (for statements without rows); returns the SQLite code.
    int run(Statement which) {
        StatementUse use(statement(which));
        const int code = sqlite3_step(*use);
        return code == SQLITE_DONE || code == SQLITE_ROW ? SQLITE_OK : code;
    }

private:
    Database(sqlite3* db, std::string path)
        : f_db(db)
        , f_path(std::move(path))
        , f_pid(getpid()) {}
    LONG prepare();
    LONG makeSchema();

    sqlite3* f_db;
    std::string f_path;
    pid_t f_pid;              // the process that opened the connection
    bool f_hasSchema = false; // false: an empty file, which holds no keys
    std::mutex f_mutex;       // serializes every call on this connection
    sqlite3_stmt* f_statements[kStatementCount] = {};
};

// The file's application id and how many schema objects it holds, read in one statement, so
// that both come from one state of the file even while another process creates the tables.
int readMarks(sqlite3* db, int& applicationId, int& objectCount) {
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(db,
                                  "SELECT (SELECT application_id FROM pragma_application_id()),"
                                  " (SELECT count(*) FROM sqlite_master)",
                                  -1, &statement, nullptr);
    if (code == SQLITE_OK) {
        code = sqlite3_step(statement);
        if (code == SQLITE_ROW) {
            applicationId = sqlite3_column_int(statement, 0);
            objectCount = sqlite3_column_int(statement, 1);
            code = SQLITE_OK;
        }
    }
    sqlite3_finalize(statement);
    return code;
}

// Whether the file is new (empty) or bears the library's header, read past SQLite's pager:
// SQLite would replay another program's hot journal or write-ahead log into its file at the
// first read, and checkpoint it on closing, before the file is known to be ours.
LONG inspectHeader(sqlite3* db, bool& isNew) {
    sqlite3_file* file = nullptr;
    sqlite3_int64 size = 0;
    unsigned char header[100] = {};
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        file == nullptr || file->pMethods == nullptr ||
        file->pMethods->xFileSize(file, &size) != SQLITE_OK) {
        return ERROR_CANTOPEN;
    }
    isNew = size == 0;
    if (isNew) {
        return ERROR_SUCCESS;
    }
    const int code = size < static_cast<sqlite3_int64>(sizeof header)
                         ? SQLITE_NOTADB
                         : file->pMethods->xRead(file, header, sizeof header, 0);
    if (code != SQLITE_OK) {
        return code == SQLITE_IOERR_SHORT_READ ? ERROR_BADDB : resultOf(code);
    }
    // The application id: big-endian at offset 68.
    const std::uint32_t id = std::uint32_t{header[68]} << 24 | std::uint32_t{header[69]} << 16 |
                             std::uint32_t{header[70]} << 8 | header[71];
    return std::memcmp(header, "SQLite format 3", 16) == 0 && id == kApplicationId ? ERROR_SUCCESS
                                                                                   : ERROR_BADDB;
}

LONG Database::makeSchema() {
    // Two processes may get here at once: the immediate transaction lets one create the tables,
    // and the other finds them made.
    int applicationId = 0;
    int tableCount = 0;
    int code = sqlite3_exec(f_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) {
        code = readMarks(f_db, applicationId, tableCount);
    }
    if (code == SQLITE_OK && applicationId != kApplicationId &&
        (applicationId != 0 || tableCount != 0)) {
        sqlite3_exec(f_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return ERROR_BADDB; // another program made it meanwhile
    }
    if (code == SQLITE_OK && applicationId != kApplicationId) {
        code = sqlite3_exec(f_db, kSchema, nullptr, nullptr, nullptr);
        if (code == SQLITE_OK) {
            const std::string mark = "PRAGMA application_id = " + std::to_string(kApplicationId);
            code = sqlite3_exec(f_db, mark.c_str(), nullptr, nullptr, nullptr);
        }
    }
    if (code == SQLITE_OK) {
        code = sqlite3_exec(f_db, "COMMIT", nullptr, nullptr, nullptr);
    }
    if (code != SQLITE_OK) {
        sqlite3_exec(f_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return resultOf(code);
}

LONG Database::adopt(bool create) {
    std::lock_guard<std::mutex> guard(f_mutex);
    if (f_hasSchema) {
        return ERROR_SUCCESS;
    }
    bool isNew = false;
    LONG error = inspectHeader(f_db, isNew);
    if (error == ERROR_SUCCESS && !isNew) {
        // The header is the library's, but a process killed while it made the database leaves
        // it there beside the hot journal that takes it out again: SQLite replays the journal
        // at this first read, and the file is new after all if nothing of it is left.
        int applicationId = 0;
        int objectCount = 0;
        error = resultOf(readMarks(f_db, applicationId, objectCount));
        isNew = applicationId == 0 && objectCount == 0;
        if (error == ERROR_SUCCESS && !isNew && applicationId != kApplicationId) {
            error = ERROR_BADDB;
        }
    }
    const bool writable = sqlite3_db_readonly(f_db, "main") == 0;
    if (error != ERROR_SUCCESS || (isNew && !(create && writable))) {
        return error; // a new file that a read, or nobody, may fill: a registry without keys
    }
    if (isNew && (error = makeSchema()) != ERROR_SUCCESS) {
        return error;
    }
    if (writable) {
        // The write-ahead log lets readers go on while another process writes. A busy file
        // keeps the mode it has. The tables and the application id are committed before, so
        // the file alone always bears the header.
        sqlite3_exec(f_db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    }
    // A returned write is in the log, so it survives the process being killed; only a power
    // cut may take the last writes back (never half of one), as with a lazily flushed
    // registry. Syncing every commit would make each write wait for the disk.
    sqlite3_exec(f_db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    error = prepare();
    f_hasSchema = error == ERROR_SUCCESS;
    return error;
}

LONG Database::prepare() {
    static const char* const texts[kStatementCount] = {
        "SELECT id FROM keys WHERE parent = ?1 AND name = ?2",
        "INSERT INTO keys(parent, name) VALUES(?1, ?2)",
        "SELECT 1 FROM keys WHERE id = ?1",
        "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
        "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2",
        "INSERT OR REPLACE INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4)",
        "DELETE FROM vals WHERE key = ?1 AND name = ?2",
        "DELETE FROM vals WHERE key = ?1",
        "DELETE FROM keys WHERE id = ?1",
        "BEGIN IMMEDIATE",
        "COMMIT",
        "ROLLBACK",
    };
    for (int i = 0; i < kStatementCount; ++i) {
        const int code = sqlite3_prepare_v3(f_db, texts[i], -1, SQLITE_PREPARE_PERSISTENT,
                                            &f_statements[i], nullptr);
        if (code != SQLITE_OK) {
            for (sqlite3_stmt*& statement : f_statements) {
                sqlite3_finalize(statement); // so that the next call prepares them anew
                statement = nullptr;
            }
            return resultOf(code);
        }
    }
    return ERROR_SUCCESS;
}

void makeParentDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        // Failures show when the database itself cannot be created.
        mkdir(path.substr(0, slash).c_str(), 0700);
    }
}

// Makes the missing database file `path`, readable by its owner only: SQLite gives the files
// beside it (-wal, -shm, -journal) the mode of the database. O_EXCL never follows a symbolic
// link at the path, and SQLite then refuses the link.
void makeFile(const std::string& path) {
    makeParentDirectories(path);
    const int descriptor =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
        fchmod(descriptor, 0600); // whatever the umask
        close(descriptor);
    }
}

std::shared_ptr<Database> Database::open(const std::string& path, bool create, LONG& error) {
    const bool isUri = path.compare(0, 5, "file:") == 0;
    struct stat status {};
    if (!isUri && !create && lstat(path.c_str(), &status) != 0 && errno == ENOENT) {
        error = ERROR_FILE_NOT_FOUND; // a read creates no file and no directory
        return nullptr;
    }
    if (!isUri && create) {
        makeFile(path);
    }
    sqlite3* db = nullptr;
    // Never SQLITE_OPEN_CREATE: plain paths are made above, with their mode, and a URI names
    // an existing file. NOFOLLOW: a link planted at the path would have SQLite write its target.
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (code != SQLITE_OK) {
        error = db == nullptr ? ERROR_NOT_ENOUGH_MEMORY : resultOf(code);
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::shared_ptr<Database> database;
    try {
        database.reset(new Database(db, path));
    } catch (const std::bad_alloc&) {
        sqlite3_close_v2(db);
        error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Nothing that makes SQLite read the file (a statement, even a pragma) before this.
    error = database->adopt(create);
    return error == ERROR_SUCCESS ? database : nullptr;
}

std::string environment(const char* name) {
    const char* const value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string databasePath(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) {
        const std::string path = environment("ORQ_REGISTRY_MACHINE");
        return path.empty() ? std::string("/var/lib/orq/registry.db") : path;
    }
    std::string path = environment("ORQ_REGISTRY_USER");
    if (!path.empty()) {
        return path;
    }
    std::string base = environment("XDG_CONFIG_HOME");
    if (base.empty()) {
        std::string home = environment("HOME");
        if (home.empty()) {
            const passwd* const entry = getpwuid(getuid());
            home = entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
        }
        base = home + "/.config";
    }
    return base + "/orq/registry.db";
}

// The open databases of this process by path. A failed open is not kept: the next call tries
// again, so that a directory made or a file repaired later is seen.
class DatabaseCache {
public:
    std::shared_ptr<Database> get(const std::string& path, bool create, LONG& error) {
        std::lock_guard<std::mutex> guard(f_mutex);
        std::shared_ptr<Database>& slot = f_databases[path];
        if (slot && !slot->ownedByThisProcess()) {
            slot.reset(); // the parent's connection, after fork(); its destructor leaves it be
        }
        if (!slot) {
            slot = Database::open(path, create, error);
            if (!slot) {
                f_databases.erase(path);
                return nullptr;
            }
        }
        error = ERROR_SUCCESS;
        return slot;
    }

private:
    std::mutex f_mutex; // guards f_databases
    std::map<std::string, std::shared_ptr<Database>> f_databases;
};

DatabaseCache& databaseCache() {
    static DatabaseCache cache;
    return cache;
}

bool isRoot(HKEY key) {
    return key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

} // namespace

struct HKEY__ {
    std::uint32_t magic = kHandleMagic;
    std::shared_ptr<Database> database;
    std::int64_t id = kRootKeyId;
    REGSAM access = 0;
};

namespace {

// What a call works on: the database, the key id and the access of a handle or a root.
struct KeyRef {
    std::shared_ptr<Database> database;
    std::int64_t id = kRootKeyId;
    REGSAM access = 0;
};

// `create`: the call changes something, so a missing database file may be made and a new one
// gets its schema; reads create nothing.
LONG resolve(HKEY key, KeyRef& ref, bool create = false) {
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    LONG error = ERROR_SUCCESS;
    if (isRoot(key)) {
        ref.database = databaseCache().get(databasePath(key), create, error);
        ref.id = kRootKeyId;
        ref.access = KEY_ALL_ACCESS;
        return error != ERROR_SUCCESS ? error : ref.database->adopt(create);
    }
    if (key->magic != kHandleMagic) {
        return ERROR_INVALID_HANDLE;
    }
    ref.database = key->database;
    if (!ref.database->ownedByThisProcess()) {
        // A handle inherited through fork(): the key ids hold in any connection to the file.
        ref.database = databaseCache().get(ref.database->path(), create, error);
        if (error != ERROR_SUCCESS) {
            return error;
        }
        key->database = ref.database;
    }
    ref.id = key->id;
    ref.access = key->access;
    return ref.database->adopt(create);
}

// Splits "a\b\c" into its names; empty components and overlong names are malformed.
bool splitPath(const char* subKey, std::vector<std::string>& names) {
    if (subKey == nullptr || *subKey == '\0') {
        return true;
    }
    const char* begin = subKey;
    for (;;) {
        const char* end = std::strchr(begin, '\\');
        const std::size_t length =
            end != nullptr ? static_cast<std::size_t>(end - begin) : std::strlen(begin);
        if (length == 0 || length > kMaxKeyNameBytes) {
            return false;
        }
        names.emplace_back(begin, length);
        if (end == nullptr) {
            return true;
        }
        begin = end + 1;
    }
}

// The child `name` of `parent`: its id in `child`, or -1 when it does not exist.
int findChild(Database& database,
              std::int64_t parent,
              const std::string& name,
              std::int64_t& child) {
    StatementUse use(database.statement(Database::kFindChild));
    sqlite3_bind_int64(*use, 1, parent);
    sqlite3_bind_text(*use, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    const int code = sqlite3_step(*use);
    if (code == SQLITE_ROW) {
        child = sqlite3_column_int64(*use, 0);
        return SQLITE_OK;
    }
    child = -1;
    return code == SQLITE_DONE ? SQLITE_OK : code;
}

// Follows `names` from `id`; `id` becomes the last key found and `found` how many were.
int walk(Database& database,
         std::int64_t& id,
         const std::vector<std::string>& names,
         std::size_t& found) {
    found = 0;
    while (found < names.size()) {
        std::int64_t child = -1;
        const int code = findChild(database, id, names[found], child);
        if (code != SQLITE_OK) {
            return code;
        }
        if (child < 0) {
            return SQLITE_OK;
        }
        id = child;
        ++found;
    }
    return SQLITE_OK;
}

bool keyExists(Database& database, std::int64_t id) {
    if (id == kRootKeyId) {
        return true;
    }
    StatementUse use(database.statement(Database::kKeyExists));
    sqlite3_bind_int64(*use, 1, id);
    return sqlite3_step(*use) == SQLITE_ROW;
}

// One write transaction; rolled back unless committed.
class WriteTransaction {
public:
    explicit WriteTransaction(Database& database)
        : f_database(database)
        , f_code(database.run(Database::kBegin)) {}
    ~WriteTransaction() {
        if (f_code == SQLITE_OK && !f_committed) {
            f_database.run(Database::kRollback);
        }
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    int begun() const { return f_code; }
    int commit() {
        const int code = f_database.run(Database::kCommit);
        f_committed = code == SQLITE_OK;
        return code;
    }

private:
    Database& f_database;
    int f_code;
    bool f_committed = false;
};

LONG newHandle(const KeyRef& ref, std::int64_t id, REGSAM access, PHKEY result) {
    HKEY__* const handle = new (std::nothrow) HKEY__;
    if (handle == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    handle->database = ref.database;
    handle->id = id;
    handle->access = access;
    *result = handle;
    return ERROR_SUCCESS;
}

LONG openKey(
    HKEY key, const char* subKey, REGSAM access, bool create, PHKEY result, DWORD* disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    std::vector<std::string> names;
    try {
        if (!splitPath(subKey, names)) {
            return ERROR_INVALID_PARAMETER;
        }
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    KeyRef ref;
    LONG error = resolve(key, ref, create);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    Database& database = *ref.database;
    std::lock_guard<std::mutex> guard(database.mutex());
    if (!database.hasSchema()) {
        return names.empty() ? newHandle(ref, ref.id, access, result)
                             : (create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    }
    std::int64_t id = ref.id;
    std::size_t found = 0;
    int code = walk(database, id, names, found);
    if (code != SQLITE_OK) {
        return resultOf(code);
    }
    // A key found below the handle's key proves that one still exists (keys with subkeys are
    // never deleted), so the common case costs one lookup per name.
    if ((found == 0 || found < names.size()) && !keyExists(database, ref.id)) {
        return ERROR_KEY_DELETED;
    }
    if (found == names.size()) {
        if (disposition != nullptr) {
            *disposition = REG_OPENED_EXISTING_KEY;
        }
        return newHandle(ref, id, access, result);
    }
    if (!create) {
        return ERROR_FILE_NOT_FOUND;
    }
    if ((ref.access & KEY_CREATE_SUB_KEY) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    // Walk again inside the transaction: another process may have made part of the path.
    WriteTransaction transaction(database);
    if (transaction.begun() != SQLITE_OK) {
        return resultOf(transaction.begun());
    }
    if (!keyExists(database, ref.id)) {
        return ERROR_KEY_DELETED;
    }
    id = ref.id;
    code = walk(database, id, names, found);
    for (std::size_t i = found; code == SQLITE_OK && i < names.size(); ++i) {
        StatementUse use(database.statement(Database::kInsertKey));
        sqlite3_bind_int64(*use, 1, id);
        sqlite3_bind_text(*use, 2, names[i].data(), static_cast<int>(names[i].size()),
                          SQLITE_STATIC);
        code = sqlite3_step(*use);
        if (code == SQLITE_DONE) {
            code = SQLITE_OK;
            id = sqlite3_last_insert_rowid(sqlite3_db_handle(*use));
        }
    }
    if (code == SQLITE_OK) {
        code = transaction.commit();
    }
    if (code != SQLITE_OK) {
        return resultOf(code);
    }
    if (disposition != nullptr) {
        *disposition = found == names.size() ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    return newHandle(ref, id, access, result);
}

const char* valueNameOf(const char* valueName) {
    return valueName != nullptr ? valueName : "";
}

} // namespace

namespace {

// Runs `body(database, ref)` on the key behind `key` with its database locked, after the checks
// that every use of a key's contents shares: a live handle holding `access`, and a database
// with the library's schema (else `noSchema`). Only a change that `create`s may make the
// database file.
template <typename Body>
LONG UseKey(HKEY key, REGSAM access, LONG noSchema, Body body, bool create = false) {
    KeyRef ref;
    const LONG error = resolve(key, ref, create);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    if ((ref.access & access) != access) {
        return ERROR_ACCESS_DENIED;
    }
    Database& database = *ref.database;
    std::lock_guard<std::mutex> guard(database.mutex());
    if (!database.hasSchema()) {
        return noSchema;
    }
    return body(database, ref);
}

// Runs `change` in one write transaction on the key behind `key`, after UseKey's checks and
// on a key that no other handle deleted meanwhile. The lock is held and the transaction open
// for the whole call; `change` commits.
template <typename Change>
LONG ChangeKey(HKEY key, REGSAM access, LONG noSchema, Change change, bool create = false) {
    return UseKey(
        key, access, noSchema,
        [&change](Database& database, KeyRef& ref) {
            WriteTransaction transaction(database);
            if (transaction.begun() != SQLITE_OK) {
                return resultOf(transaction.begun());
            }
            if (!keyExists(database, ref.id)) {
                return static_cast<LONG>(ERROR_KEY_DELETED);
            }
            return change(database, ref, transaction);
        },
        create);
}

} // namespace

LONG RegCreateKeyExA(HKEY key,
                     const char* subKey,
                     DWORD /*reserved*/,
                     char* /*keyClass*/,
                     DWORD /*options*/,
                     REGSAM access,
                     const void* /*securityAttributes*/,
                     PHKEY result,
                     DWORD* disposition) {
    return openKey(key, subKey, access, true, result, disposition);
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD /*options*/, REGSAM access, PHKEY result) {
    return openKey(key, subKey, access, false, result, nullptr);
}

LONG RegQueryValueExA(HKEY key,
                      const char* valueName,
                      DWORD* /*reserved*/,
                      DWORD* type,
                      BYTE* data,
                      DWORD* dataSize) {
    if (data != nullptr && dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return UseKey(
        key, KEY_QUERY_VALUE, ERROR_FILE_NOT_FOUND, [&](Database& database, KeyRef& ref) -> LONG {
            const char* const name = valueNameOf(valueName);
            StatementUse use(database.statement(Database::kQueryValue));
            sqlite3_bind_int64(*use, 1, ref.id);
            sqlite3_bind_text(*use, 2, name, -1, SQLITE_STATIC);
            const int code = sqlite3_step(*use);
            if (code == SQLITE_DONE) {
                return keyExists(database, ref.id) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
            }
            if (code != SQLITE_ROW) {
                return resultOf(code);
            }
            const DWORD storedType = static_cast<DWORD>(sqlite3_column_int64(*use, 0));
            const void* const bytes = sqlite3_column_blob(*use, 1);
            const DWORD size = static_cast<DWORD>(sqlite3_column_bytes(*use, 1));
            if (type != nullptr) {
                *type = storedType;
            }
            if (dataSize == nullptr) {
                return ERROR_SUCCESS;
            }
            if (data == nullptr) {
                *dataSize = size;
                return ERROR_SUCCESS;
            }
            if (*dataSize < size) {
                *dataSize = size;
                return ERROR_MORE_DATA;
            }
            if (size > 0) {
                std::memcpy(data, bytes, size);
            }
            *dataSize = size;
            return ERROR_SUCCESS;
        });
}

LONG RegSetValueExA(HKEY key,
                    const char* valueName,
                    DWORD /*reserved*/,
                    DWORD type,
                    const BYTE* data,
                    DWORD dataSize) {
    if (data == nullptr && dataSize != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    return ChangeKey(
        key, KEY_SET_VALUE, ERROR_ACCESS_DENIED,
        [&](Database& database, const KeyRef& ref, WriteTransaction& transaction) -> LONG {
            int code = SQLITE_OK;
            {
                StatementUse use(database.statement(Database::kSetValue));
                sqlite3_bind_int64(*use, 1, ref.id);
                sqlite3_bind_text(*use, 2, valueNameOf(valueName), -1, SQLITE_STATIC);
                sqlite3_bind_int64(*use, 3, type);
                // A zero-length blob, not NULL, for an empty value.
                sqlite3_bind_blob(*use, 4, data != nullptr ? static_cast<const void*>(data) : "",
                                  static_cast<int>(dataSize), SQLITE_STATIC);
                code = sqlite3_step(*use);
            }
            if (code == SQLITE_DONE) {
                code = transaction.commit();
            }
            return resultOf(code);
        },
        true);
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) {
    std::vector<std::string> names;
    try {
        if (subKey == nullptr || *subKey == '\0' || !splitPath(subKey, names)) {
            return ERROR_INVALID_PARAMETER;
        }
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ChangeKey(
        key, 0, ERROR_FILE_NOT_FOUND,
        [&](Database& database, const KeyRef& ref, WriteTransaction& transaction) -> LONG {
            std::int64_t id = ref.id;
            std::size_t found = 0;
            int code = walk(database, id, names, found);
            if (code != SQLITE_OK) {
                return resultOf(code);
            }
            if (found < names.size()) {
                return ERROR_FILE_NOT_FOUND;
            }
            {
                StatementUse use(database.statement(Database::kHasChildren));
                sqlite3_bind_int64(*use, 1, id);
                code = sqlite3_step(*use);
            }
            if (code == SQLITE_ROW) {
                return ERROR_ACCESS_DENIED;
            }
            if (code != SQLITE_DONE) {
                return resultOf(code);
            }
            for (Database::Statement which : {Database::kDeleteValues, Database::kDeleteKey}) {
                StatementUse use(database.statement(which));
                sqlite3_bind_int64(*use, 1, id);
                code = sqlite3_step(*use);
                if (code != SQLITE_DONE) {
                    return resultOf(code);
                }
            }
            return resultOf(transaction.commit());
        });
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
    return ChangeKey(
        key, KEY_SET_VALUE, ERROR_FILE_NOT_FOUND,
        [&](Database& database, const KeyRef& ref, WriteTransaction& transaction) -> LONG {
            int code = SQLITE_OK;
            {
                StatementUse use(database.statement(Database::kDeleteValue));
                sqlite3_bind_int64(*use, 1, ref.id);
                sqlite3_bind_text(*use, 2, valueNameOf(valueName), -1, SQLITE_STATIC);
                code = sqlite3_step(*use);
            }
            if (code != SQLITE_DONE) {
                return resultOf(code);
            }
            const bool deleted =
                sqlite3_changes(sqlite3_db_handle(database.statement(Database::kDeleteValue))) > 0;
            code = transaction.commit();
            if (code != SQLITE_OK) {
                return resultOf(code);
            }
            return deleted ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        });
}

LONG RegCloseKey(HKEY key) {
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (isRoot(key)) {
        return ERROR_SUCCESS;
    }
    if (key->magic != kHandleMagic) {
        return ERROR_INVALID_HANDLE;
    }
    key->magic = 0;
    delete key;
    return ERROR_SUCCESS;
}

namespace {

// One row of an enumeration: the name at `index` below `key` (and, for values, type and size)
// from `query`, whose parameters are the key id and the index.
LONG EnumerateAt(HKEY key,
                 REGSAM access,
                 const char* query,
                 DWORD index,
                 char* name,
                 DWORD* nameSize,
                 DWORD* type,
                 DWORD* dataSize) {
    if (name == nullptr || nameSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return UseKey(key, access, ERROR_NO_MORE_ITEMS, [&](Database& database, KeyRef& ref) -> LONG {
        // Prepared per call: listings are rare, and the connection's own statements stay as made.
        sqlite3_stmt* statement = nullptr;
        int code = sqlite3_prepare_v2(sqlite3_db_handle(database.statement(Database::kFindChild)),
                                      query, -1, &statement, nullptr);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(statement, &sqlite3_finalize);
        if (code != SQLITE_OK) {
            return resultOf(code);
        }
        sqlite3_bind_int64(statement, 1, ref.id);
        sqlite3_bind_int64(statement, 2, index);
        code = sqlite3_step(statement);
        if (code == SQLITE_DONE) {
            return keyExists(database, ref.id) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
        }
        if (code != SQLITE_ROW) {
            return resultOf(code);
        }
        const auto* const text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        const DWORD length = static_cast<DWORD>(sqlite3_column_bytes(statement, 0));
        if (*nameSize <= length) {
            *nameSize = length + 1;
            return ERROR_MORE_DATA;
        }
        std::memcpy(name, text, length + 1);
        *nameSize = length;
        if (type != nullptr) {
            *type = static_cast<DWORD>(sqlite3_column_int64(statement, 1));
        }
        if (dataSize != nullptr) {
            *dataSize = static_cast<DWORD>(sqlite3_column_int64(statement, 2));
        }
        return ERROR_SUCCESS;
    });
}

} // namespace

LONG RegEnumKeyExA(HKEY key,
                   DWORD index,
                   char* name,
                   DWORD* nameSize,
                   DWORD* /*reserved*/,
                   char* /*keyClass*/,
                   DWORD* /*classSize*/,
                   void* /*lastWriteTime*/) {
    return EnumerateAt(key, KEY_ENUMERATE_SUB_KEYS,
                       "SELECT name FROM keys WHERE parent = ?1 ORDER BY name LIMIT 1 OFFSET ?2",
                       index, name, nameSize, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY key,
                   DWORD index,
                   char* name,
                   DWORD* nameSize,
                   DWORD* /*reserved*/,
                   DWORD* type,
                   BYTE* data,
                   DWORD* dataSize) {
    if (data != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return EnumerateAt(key, KEY_QUERY_VALUE,
                       "SELECT name, type, length(data) FROM vals WHERE key = ?1"
                       " ORDER BY name LIMIT 1 OFFSET ?2",
                       index, name, nameSize, type, dataSize);
}
