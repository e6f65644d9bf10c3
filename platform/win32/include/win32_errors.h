#pragma once
// The thread's last error and the system's text for an error code.
//
// Error codes here are this system's errno values (ERROR_FILE_NOT_FOUND is ENOENT, 2, as on
// Windows). Conditions that have no errno of their own carry bit 29, the bit Windows leaves
// to applications, so they never collide with an errno.
#include "win32_types.h"

#include <cerrno>
#include <cstdarg>

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND static_cast<DWORD>(ENOENT)
#define ERROR_ACCESS_DENIED static_cast<DWORD>(EACCES)
#define ERROR_NOT_ENOUGH_MEMORY static_cast<DWORD>(ENOMEM)
#define ERROR_INVALID_PARAMETER static_cast<DWORD>(EINVAL)
#define ERROR_INSUFFICIENT_BUFFER static_cast<DWORD>(ERANGE)
#define ERROR_NO_MORE_FILES (0x20000000u | 18u)

// FormatMessageA flags. Only FORMAT_MESSAGE_FROM_SYSTEM is supported; the texts hold no
// inserts, so FORMAT_MESSAGE_IGNORE_INSERTS changes nothing.
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) ((static_cast<DWORD>(sub) << 10) | static_cast<DWORD>(primary))

// The calling thread's last error code, kept per thread; 0 until a call sets one.
WIN32_EXPORT DWORD GetLastError();
WIN32_EXPORT void SetLastError(DWORD errorCode);

// Writes the system's text for `messageId` into `buffer` (`size` bytes, NUL included) and
// returns its length. The text is the C library's for an errno value, in the process's
// message locale, without the line end that Windows adds; an unknown code gives "Unknown
// error <n>". `source`, `languageId` and `arguments` are ignored. Returns 0 and sets the last
// error: ERROR_INVALID_PARAMETER without FORMAT_MESSAGE_FROM_SYSTEM or without a buffer,
// ERROR_INSUFFICIENT_BUFFER when the text does not fit (nothing is written then).
WIN32_EXPORT DWORD FormatMessageA(DWORD flags,
                                  LPCVOID source,
                                  DWORD messageId,
                                  DWORD languageId,
                                  LPSTR buffer,
                                  DWORD size,
                                  va_list* arguments);
