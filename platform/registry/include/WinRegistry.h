#pragma once
// The registry under the Windows names the library calls, kept in SQLite database files.
//
// Where it lives: one database file per root.
//   HKEY_CURRENT_USER   $ORQ_REGISTRY_USER when set and not empty, else
//                       $XDG_CONFIG_HOME/orq/registry.db, else ~/.config/orq/registry.db
//   HKEY_LOCAL_MACHINE  $ORQ_REGISTRY_MACHINE when set and not empty, else
//                       /var/lib/orq/registry.db
// The variables are read whenever a root is opened, so a program (or a test) may point them
// at other files between calls. A name beginning with "file:" is an SQLite URI of an existing
// file, so "file:/path/registry.db?mode=ro" opens a database read-only. A missing plain path
// is made by the first call that stores something (RegCreateKeyExA, RegSetValueExA), with its
// missing directories (0700): the file 0600, and the files SQLite keeps beside it (-wal, -shm,
// -journal) take its mode. Reads and deletions create no file, directory or key. A symbolic
// link at the path is refused (ERROR_CANTOPEN), never followed.
//
// A file is new only when it is empty or absent. Any other file is taken only when its header
// bears the library's application id, read before SQLite may recover, roll back or checkpoint
// anything: another program's file, with or without a write-ahead log or hot journal beside
// it, is refused with ERROR_BADDB and keeps every byte.
//
// Semantics, as the Windows calls have them: key names are paths of components separated by
// "\", compared without regard to ASCII letter case; values are typed (REG_DWORD, REG_SZ, ...)
// and hold the bytes given; a key is created along its path. Every change is one SQLite
// transaction (write-ahead log, busy timeout of 10 s), so two processes may write at once and
// a process killed mid-write loses nothing whose call had returned. A power cut may take the
// last writes back, whole, but never leaves half of one.
// Failures are result codes, never crashes: ERROR_BADDB for a file that is not a registry
// database (corrupt, or another program's database), ERROR_ACCESS_DENIED for a write to a
// read-only database or through a handle without write access, ERROR_CANTOPEN when the file
// cannot be opened or created. The codes are those of the other Windows-name layers.
//
// Handles are thread-safe: the calls on one database are serialized in the process. After
// fork(), the child opens the databases anew and leaves the parent's connections alone.
#include <cerrno>
#include <cstdint>

#define AUTREGISTRY_EXPORT __attribute__((visibility("default")))

// The same types as the other Windows-name layers declare (a repeated alias is no conflict).
using LONG = std::int32_t; // the result code of every call, 32 bits as on Windows
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using REGSAM = DWORD;

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

// The two predefined roots. They need no opening, and closing them does nothing.
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

// Result codes, as the other Windows-name layers have them: this system's errno value where
// one fits (ERROR_FILE_NOT_FOUND is 2 as on Windows), else the Windows number with bit 29,
// the bit Windows leaves to applications. Guarded, so that either layer's header may come
// first.
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0u
#endif
#ifndef ERROR_FILE_NOT_FOUND // no such key or value
#define ERROR_FILE_NOT_FOUND static_cast<DWORD>(ENOENT)
#endif
#ifndef ERROR_ACCESS_DENIED // read-only database, missing access right, a key with subkeys
#define ERROR_ACCESS_DENIED static_cast<DWORD>(EACCES)
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY static_cast<DWORD>(ENOMEM)
#endif
#ifndef ERROR_INVALID_PARAMETER // null or malformed arguments
#define ERROR_INVALID_PARAMETER static_cast<DWORD>(EINVAL)
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE static_cast<DWORD>(EBADF)
#endif
#define ERROR_MORE_DATA (0x20000000u | 234u)    // the value does not fit the buffer
#define ERROR_BADDB (0x20000000u | 1009u)       // the file is corrupt or another program's
#define ERROR_CANTOPEN (0x20000000u | 1011u)    // the file cannot be opened or created
#define ERROR_CANTWRITE (0x20000000u | 1013u)   // the file could not be written (disk, lock)
#define ERROR_KEY_DELETED (0x20000000u | 1018u) // the handle's key was deleted meanwhile

// An enumeration index past the last item.
#define ERROR_NO_MORE_ITEMS (0x20000000u | 259u)

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Dispositions of RegCreateKeyExA.
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens `subKey` below `key`, creating every missing key along the path (which needs the
// database to be writable). `subKey` null or empty opens `key` itself again. `reserved`,
// `keyClass`, `options` and `securityAttributes` are accepted and not used. The new handle
// carries `access`; close it with RegCloseKey. On failure *result is null.
AUTREGISTRY_EXPORT LONG RegCreateKeyExA(HKEY key,
                                        const char* subKey,
                                        DWORD reserved,
                                        char* keyClass,
                                        DWORD options,
                                        REGSAM access,
                                        const void* securityAttributes,
                                        PHKEY result,
                                        DWORD* disposition);

// Opens an existing `subKey` below `key`: ERROR_FILE_NOT_FOUND when it, or the database file,
// is missing.
AUTREGISTRY_EXPORT LONG
RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, PHKEY result);

// Reads the value `valueName` (null or empty: the key's unnamed value); needs KEY_QUERY_VALUE.
// `type` (may be null) receives its type. With `data` null, *dataSize receives the size.
// Otherwise *dataSize is the buffer's size on entry and the value's size on return; a buffer
// too small gives ERROR_MORE_DATA. The bytes are those stored: no NUL is added.
AUTREGISTRY_EXPORT LONG RegQueryValueExA(
    HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);

// Stores `dataSize` bytes of `data` with `type` as `valueName`, replacing any value of that
// name; needs KEY_SET_VALUE.
AUTREGISTRY_EXPORT LONG RegSetValueExA(
    HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);

// Deletes the key `subKey` below `key` with its values. A key that has subkeys is not deleted
// (ERROR_ACCESS_DENIED); a missing one gives ERROR_FILE_NOT_FOUND.
AUTREGISTRY_EXPORT LONG RegDeleteKeyA(HKEY key, const char* subKey);

// Deletes the value `valueName`; needs KEY_SET_VALUE. A missing one gives ERROR_FILE_NOT_FOUND.
AUTREGISTRY_EXPORT LONG RegDeleteValueA(HKEY key, const char* valueName);

// The name of the subkey (RegEnumKeyExA, needs KEY_ENUMERATE_SUB_KEYS) or value (RegEnumValueA,
// needs KEY_QUERY_VALUE) at `index` below `key`, counting from 0 in the order of the names
// compared without regard to ASCII letter case; ERROR_NO_MORE_ITEMS past the last. *nameSize
// is the buffer's size in bytes on entry and the name's length without its NUL on return; a
// buffer too small gives ERROR_MORE_DATA. An index stays meaningful only while nothing is
// added or deleted below the key. `type` and `dataSize` (may be null) receive the value's type
// and size; `data` must be null (read the value by name). The other arguments are not used.
AUTREGISTRY_EXPORT LONG RegEnumKeyExA(HKEY key,
                                      DWORD index,
                                      char* name,
                                      DWORD* nameSize,
                                      DWORD* reserved,
                                      char* keyClass,
                                      DWORD* classSize,
                                      void* lastWriteTime);
AUTREGISTRY_EXPORT LONG RegEnumValueA(HKEY key,
                                      DWORD index,
                                      char* name,
                                      DWORD* nameSize,
                                      DWORD* reserved,
                                      DWORD* type,
                                      BYTE* data,
                                      DWORD* dataSize);

// Releases a handle from RegCreateKeyExA or RegOpenKeyExA; the roots need no closing. A null
// handle gives ERROR_INVALID_HANDLE. A handle must not be used after it is closed.
AUTREGISTRY_EXPORT LONG RegCloseKey(HKEY key);
