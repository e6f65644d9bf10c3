#pragma once
// Reading of profile (INI) files under the Windows name the library calls.
#include <cstdint>

#define AUTPROFILE_EXPORT __attribute__((visibility("default")))

// The file format, as the Windows call reads it:
//   [Section]          a section header; blanks inside the brackets are trimmed
//   key = value        blanks around the key and the value are trimmed; one pair of matching
//                      quotes ('...' or "...") around the whole value is removed
//   ; comment          a line whose first non-blank character is ';'
// Section and key names compare without regard to ASCII letter case. The first section of a
// name and the first key of a name within it win. A line without '=' inside a section is a key
// with an empty value. "\n", "\r\n" and a UTF-8 byte order mark at the start are accepted; a
// NUL byte ends a line's text. Lines longer than 1 MiB are cut there. Binary junk is read as
// lines like any other text and never crashes.

// Copies into `returnedString` (of `size` bytes, always NUL-terminated when size > 0):
//   - appName and keyName given: the key's value (trimmed as above: only values read from the
//     file are), or `defaultValue` exactly as given, blanks and all (null means empty), when
//     the file, the section or the key is missing;
//   - keyName null: every key name of the section, each NUL-terminated, then one more NUL;
//   - appName null: every section name of the file, in the same form.
// `fileName` is opened as given (a relative name from the current directory), without
// blocking; only a regular file of at most 16 MiB is read. Anything else counts as missing: a
// null or empty name, a directory, a FIFO, a device such as /dev/zero, an unreadable or a
// larger file. A value longer than the buffer is cut to size - 1 bytes. Returns the number of
// bytes copied, without the final NUL (for the lists: size - 2 when the list was cut). Never
// throws.
AUTPROFILE_EXPORT std::uint32_t GetPrivateProfileStringA(const char* appName,
                                                         const char* keyName,
                                                         const char* defaultValue,
                                                         char* returnedString,
                                                         std::uint32_t size,
                                                         const char* fileName);
