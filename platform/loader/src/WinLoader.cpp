#include "WinLoader.h"

#include <dlfcn.h>

HMODULE LoadLibraryA(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        return nullptr;
    }
    // RTLD_NOW binds every symbol at load, as the Windows loader does, so that a library with
    // a missing dependency fails here and not at its first call. RTLD_LOCAL keeps components
    // from interposing on each other.
    return static_cast<HMODULE>(dlopen(fileName, RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
    if (module == nullptr || procName == nullptr) {
        return nullptr;
    }
    void* const symbol = dlsym(module, procName);
    // POSIX guarantees that an object pointer from dlsym converts to a function pointer.
    return reinterpret_cast<FARPROC>(symbol);
}

int FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        return 0;
    }
    return dlclose(module) == 0 ? 1 : 0;
}
