#pragma once
// The system's own directories.
//
// This system's "Windows directory" is where it keeps its own configuration: "/etc", or the
// directory that the environment variable ORQ_SYSTEM_DIR names when it is set and not empty
// (so that tests and unusual installations can point elsewhere). Its "system directory" is
// where its shared libraries live: "/usr/lib".
#include "win32_types.h"

// Both copy the directory (no trailing separator) into `buffer` and return its length. When
// `size` bytes cannot hold it and its NUL, nothing is written and the size needed (NUL
// included) is returned. 0 when the directory does not exist or is no directory; the last
// error then holds the reason (ENOENT, ENOTDIR, ...).
WIN32_EXPORT UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
WIN32_EXPORT UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
