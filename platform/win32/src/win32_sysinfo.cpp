#include "win32_sysinfo.h"

#include "win32_errors.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

UINT copyDirectory(const char* directory, LPSTR buffer, UINT size) {
    struct stat status {};
    if (stat(directory, &status) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return 0;
    }
    if (!S_ISDIR(status.st_mode)) {
        SetLastError(static_cast<DWORD>(ENOTDIR));
        return 0;
    }
    const std::size_t length = std::strlen(directory);
    if (buffer == nullptr || length + 1 > size) {
        return static_cast<UINT>(length + 1);
    }
    std::memcpy(buffer, directory, length + 1);
    return static_cast<UINT>(length);
}

} // namespace

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    const char* configured = std::getenv("ORQ_SYSTEM_DIR");
    return copyDirectory(configured != nullptr && *configured != '\0' ? configured : "/etc", buffer,
                         size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return copyDirectory("/usr/lib", buffer, size);
}
