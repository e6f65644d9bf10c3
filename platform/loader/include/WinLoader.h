#pragma once
// Loading of dynamic libraries under the Windows names the library calls, over dlopen.
#define AUTLOADER_EXPORT __attribute__((visibility("default")))

// Opaque module handle: what dlopen returned. Null means "not loaded".
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
// An exported entry, to be cast to its real type before the call.
typedef void (*FARPROC)();

// Loads the file `fileName` and returns its handle, or null when it cannot be loaded (missing
// file, not a library, unresolved symbols: every symbol is bound at load, so a library that
// loads is complete). Names are taken as they are, the extension included ("libx.so"):
// a name with a "/" is opened as that path; a bare name is found by the dynamic loader's
// search (LD_LIBRARY_PATH, the caller's RUNPATH, the system's library directories).
// Loads are counted: every successful call needs its own FreeLibrary. Thread-safe.
//
// Before the file is handed to the dynamic loader it is checked, by reading it: it must be a
// regular file holding an ELF shared object of this process's class, byte order and machine,
// whose program headers and loadable segments all lie within the file. The dynamic loader
// itself would map a cut-short library and kill the process (SIGBUS) touching the missing
// part. A bare name is checked where the search above finds it; one found only through the
// loader's cache is an installed system library and is not checked.
//
// On failure GetLastError (win32_errors.h) gives an errno value:
//   ERROR_INVALID_PARAMETER (EINVAL)  a null or empty name
//   ERROR_FILE_NOT_FOUND (ENOENT)     no such file, or a bare name the search does not find
//   EACCES, ENOTDIR, ELOOP, ...       the file cannot be reached or opened, as open(2) tells
//   EISDIR                            the name is a directory
//   ENOEXEC                           not a regular file, not a shared object for this
//                                     machine, or cut short or malformed
//   EIO, ...                          reading the file failed
//   ELIBACC                           the loader refused the file: a dependency is missing
//                                     or a symbol is unresolved (dlerror() tells which)
// A success leaves the last error as it was.
AUTLOADER_EXPORT HMODULE LoadLibraryA(const char* fileName);

// The exported entry `procName` (exact, case-sensitive name) of `module`, or null when the
// module does not export it or either argument is null. Thread-safe.
AUTLOADER_EXPORT FARPROC GetProcAddress(HMODULE module, const char* procName);

// Gives one load of `module` back; the library is unloaded when its last load goes.
// Returns nonzero on success, 0 for a null handle or when the loader refuses.
AUTLOADER_EXPORT int FreeLibrary(HMODULE module);
