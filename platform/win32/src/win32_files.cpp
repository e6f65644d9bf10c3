#include "win32_files.h"

#include "win32_errors.h"

#include <cerrno>
#include <crt_io.h>
#include <cstring>

namespace {

FILETIME toFileTime(std::time_t seconds) {
    // Seconds from 1601-01-01 to 1970-01-01, then 100-nanosecond units.
    constexpr std::int64_t kEpochOffset = 11644473600LL;
    const auto ticks = static_cast<std::uint64_t>((seconds + kEpochOffset) * 10000000LL);
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

void describe(const _finddata_t& found, WIN32_FIND_DATAA* findData) {
    DWORD attributes = 0;
    if (found.attrib & _A_RDONLY) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (found.attrib & _A_HIDDEN) {
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    if (found.attrib & _A_SUBDIR) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    findData->dwFileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    findData->ftCreationTime = toFileTime(found.time_create);
    findData->ftLastAccessTime = toFileTime(found.time_access);
    findData->ftLastWriteTime = toFileTime(found.time_write);
    const auto size = static_cast<std::uint64_t>(found.size);
    findData->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    findData->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    findData->dwReserved0 = 0;
    findData->dwReserved1 = 0;
    static_assert(sizeof findData->cFileName == sizeof found.name, "names are copied whole");
    std::memcpy(findData->cFileName, found.name, sizeof found.name);
    findData->cAlternateFileName[0] = '\0';
}

} // namespace

HANDLE FindFirstFileA(LPCSTR fileName, WIN32_FIND_DATAA* findData) {
    if (fileName == nullptr || findData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    _finddata_t found{};
    const std::intptr_t search = _findfirst(fileName, &found);
    if (search == -1) {
        SetLastError(static_cast<DWORD>(errno));
        return INVALID_HANDLE_VALUE;
    }
    describe(found, findData);
    return reinterpret_cast<HANDLE>(search);
}

BOOL FindNextFileA(HANDLE findFile, WIN32_FIND_DATAA* findData) {
    if (findFile == INVALID_HANDLE_VALUE || findFile == nullptr || findData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    _finddata_t found{};
    if (_findnext(reinterpret_cast<std::intptr_t>(findFile), &found) != 0) {
        SetLastError(errno == ENOENT ? ERROR_NO_MORE_FILES : static_cast<DWORD>(errno));
        return FALSE;
    }
    describe(found, findData);
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    if (findFile == INVALID_HANDLE_VALUE || findFile == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (_findclose(reinterpret_cast<std::intptr_t>(findFile)) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return FALSE;
    }
    return TRUE;
}
