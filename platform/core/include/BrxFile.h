#pragma once
// Reading the small input files of the platform libraries (catalogs, profiles).
#include "BrxExport.h"

#include <cstdint>
#include <string>

// The whole of `path` into `content` when it is a regular file of at most `maxBytes`; false
// (and `content` unspecified) otherwise, with errno the open's error, or 0 when the file was
// opened but is not a regular file or too large. Opened without blocking, so that a FIFO in
// its place cannot hang the caller, and read no further than the size measured at opening, so
// that a growing file (or /dev/zero behind a link) cannot either; a file that shrinks
// meanwhile gives what was there. Without `followLinks`, a symbolic link at the path fails
// with ELOOP.
BRX_EXPORT bool brxReadRegularFile(const char* path,
                                   std::uint64_t maxBytes,
                                   std::string& content,
                                   bool followLinks = true);
