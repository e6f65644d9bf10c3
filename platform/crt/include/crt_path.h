#pragma once
// Splitting a path into drive, directory, file name and extension, and joining such parts,
// by the C runtime's documented rules. Both "/" and "\" separate directories.
#include "crt_export.h"

// Buffer sizes in bytes, terminating NUL included.
#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

// Splits `path` into the buffers that are not null, each assumed to hold its _MAX_* size:
//   drive     the first two characters when the second is ':', else empty;
//   dir       from there up to and including the last '/' or '\';
//   fname     the rest up to its last '.';
//   ext       from that '.' (included) to the end; empty when the rest holds no '.'.
// "C:/logs/app.log" -> "C:", "/logs/", "app", ".log"; ".profile" -> "", "", "", ".profile".
// A part longer than its buffer is cut to the buffer's size less one, never in the middle of
// a UTF-8 sequence; nothing is written past a buffer. A null `path` gives four empty parts.
// Thread-safe; `path` must not overlap an output buffer.
CRT_EXPORT void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);

// Joins the parts into `path` (a buffer of _MAX_PATH bytes); null and empty parts add nothing:
//   drive     its first character followed by ':';
//   dir       copied, followed by a separator unless it ends in '/' or '\'; the separator
//             added is the last one `dir` already holds ("\logs" -> "\logs\"), else '/';
//   fname     copied;
//   ext       copied, preceded by '.' unless it begins with one.
// A result longer than _MAX_PATH - 1 bytes is cut there, never in the middle of a UTF-8
// sequence. Thread-safe; the parts must not overlap `path`.
CRT_EXPORT void
_makepath(char* path, const char* drive, const char* dir, const char* fname, const char* ext);
