#pragma once
// The C runtime's string names that the library calls, over their POSIX counterparts.
#include "crt_export.h"

// Case-insensitive comparison of NUL-terminated texts: each byte folds to lower case by the
// current C locale (in "C" and UTF-8 locales: ASCII letters only) and the first difference
// decides, as unsigned bytes. So "a" and "A" both compare above "_" (0x5F) and "[" (0x5B).
// Negative, zero or positive; a null pointer counts as "".
CRT_EXPORT int _stricmp(const char* a, const char* b);
// The same over at most `count` bytes.
CRT_EXPORT int _strnicmp(const char* a, const char* b, unsigned long count);
