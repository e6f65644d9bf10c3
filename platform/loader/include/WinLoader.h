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
// Loads are counted: every successful call needs its own FreeLibrary. A null or empty name
// gives null. Thread-safe.
AUTLOADER_EXPORT HMODULE LoadLibraryA(const char* fileName);

// The exported entry `procName` (exact, case-sensitive name) of `module`, or null when the
// module does not export it or either argument is null. Thread-safe.
AUTLOADER_EXPORT FARPROC GetProcAddress(HMODULE module, const char* procName);

// Gives one load of `module` back; the library is unloaded when its last load goes.
// Returns nonzero on success, 0 for a null handle or when the loader refuses.
AUTLOADER_EXPORT int FreeLibrary(HMODULE module);
