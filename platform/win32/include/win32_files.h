#pragma once
// The first-match file search, over the C runtime layer's directory search (same patterns:
// '*' and '?' after the last '/', '?' exactly one character).
#include "win32_types.h"

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;  // FILE_ATTRIBUTE_NORMAL when no other bit is set
    FILETIME ftCreationTime; // the last status change: this system keeps no creation time
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];    // the bare name
    char cAlternateFileName[14]; // always empty
};

// A search handle and the first match of `fileName`, or INVALID_HANDLE_VALUE with the last
// error ERROR_FILE_NOT_FOUND (nothing matches, or the directory is missing) or the errno of a
// directory that cannot be read. Close a valid handle with FindClose.
WIN32_EXPORT HANDLE FindFirstFileA(LPCSTR fileName, WIN32_FIND_DATAA* findData);
// TRUE and the next match; FALSE with the last error ERROR_NO_MORE_FILES after the last one.
WIN32_EXPORT BOOL FindNextFileA(HANDLE findFile, WIN32_FIND_DATAA* findData);
WIN32_EXPORT BOOL FindClose(HANDLE findFile);
