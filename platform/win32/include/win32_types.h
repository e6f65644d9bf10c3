#pragma once
// The Windows base types that the Windows-name calls take, with this system's widths:
// DWORD is 32 bits as there, HANDLE an opaque pointer.
#include <cstdint>

#ifndef WIN32_EXPORT
#define WIN32_EXPORT __attribute__((visibility("default")))
#endif

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using HANDLE = void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAX_PATH 260
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
