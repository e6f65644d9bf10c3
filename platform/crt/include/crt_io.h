#pragma once
// The C runtime's low-level file, directory and process calls by their C runtime names, over
// POSIX. Failures return -1 (a null stream for _fdopen) and leave the reason in errno.
#include "crt_export.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Open flags for _open: the POSIX values under the C runtime's names. Callers combine the
// names, never numbers written for another system (0x502 is not _O_RDWR|_O_CREAT|_O_EXCL here).
#define _O_RDONLY O_RDONLY
#define _O_WRONLY O_WRONLY
#define _O_RDWR O_RDWR
#define _O_APPEND O_APPEND
#define _O_CREAT O_CREAT
#define _O_TRUNC O_TRUNC
#define _O_EXCL O_EXCL
#define _O_NOINHERIT O_CLOEXEC
// Text and binary mode are the same on this system.
#define _O_TEXT 0
#define _O_BINARY 0

// Permission bits for _open with _O_CREAT: owner read and write (the umask still applies).
#define _S_IREAD S_IRUSR
#define _S_IWRITE S_IWUSR

// Modes of _access.
#define _A_EXISTS 0
#define _A_WRITE 2
#define _A_READ 4

// 0 when `path` exists (mode 0), is writable (2), readable (4) or both (6); else -1 (EINVAL
// for another mode).
CRT_EXPORT int _access(const char* path, int mode);
// Creates one directory (parents are not made), for its owner only (0700, less what the umask
// takes): the library's directories hold its logs and settings, which no one else may delete,
// rename or plant files among, and whose files are the owner's alone anyway (0600).
CRT_EXPORT int _mkdir(const char* path);
// The descriptor of `path` opened with `oflag`; `pmode` is used only with _O_CREAT. The
// descriptor is never inherited by programs the process starts (close-on-exec) and is never
// 0, 1 or 2: with standard descriptors closed (a daemon), a file the library writes must not
// become standard output, where anyone's printf would land in it.
CRT_EXPORT int _open(const char* path, int oflag, int pmode = 0);
CRT_EXPORT int _close(int fd);
// A stream over `fd`. `mode` is a C stream mode; the C runtime's 't' (text) is accepted and
// means nothing here. The stream owns `fd` from then on: fclose closes both.
CRT_EXPORT FILE* _fdopen(int fd, const char* mode);
// The length in bytes of the file open on `fd`, or -1.
CRT_EXPORT long _filelength(int fd);
// Writes `count` bytes of `buffer` to `fd`; the number written (fewer on a full disk), or -1
// with errno set. Retries a write that a signal interrupted. Inline: each frame a caller
// returns through after a system call costs it more here than the loop does.
inline long long _write(int fd, const void* buffer, std::size_t count) {
    const char* at = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t written = ::write(fd, at + done, count - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return done > 0 ? static_cast<long long>(done) : -1;
        }
        if (written == 0) {
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    return static_cast<long long>(done);
}
// The descriptor under a stream.
CRT_EXPORT int _fileno(FILE* stream);
// Moves the position of `fd` (origin SEEK_SET, SEEK_CUR or SEEK_END); the new position or -1.
CRT_EXPORT long long _lseeki64(int fd, long long offset, int origin);
// Cuts or extends the file open on `fd` to `size` bytes; 0, or -1 with errno set.
CRT_EXPORT int _chsize_s(int fd, long long size);
CRT_EXPORT int _getpid();

// Attributes of a search result.
#define _A_NORMAL 0x00
#define _A_RDONLY 0x01 // no write permission bit set
#define _A_HIDDEN 0x02 // the name begins with '.' (but is not "." or "..")
#define _A_SUBDIR 0x10

using _fsize_t = unsigned long;

struct _finddata_t {
    unsigned attrib;
    std::time_t time_create; // the last status change: this system keeps no creation time
    std::time_t time_access;
    std::time_t time_write;
    _fsize_t size;
    char name[260]; // the bare name, without its directory
};

// Directory search. `filespec` is a directory (default ".") and a name pattern after the last
// '/': '*' matches any run of characters, '?' exactly one character (a whole UTF-8 sequence),
// everything else itself, case-sensitively; '[' and '\' are plain characters. A pattern
// without wildcards names one entry. Every matching entry is found, "." and ".." included,
// in directory order.
// _findfirst: a search handle and the first match; -1 with errno ENOENT when nothing matches
// (also when the directory is missing), or another errno when the directory cannot be read.
CRT_EXPORT std::intptr_t _findfirst(const char* filespec, _finddata_t* fileinfo);
// 0 and the next match; -1 with errno ENOENT after the last one.
CRT_EXPORT int _findnext(std::intptr_t handle, _finddata_t* fileinfo);
// Ends the search and frees the handle, also when it reports an error (-1).
CRT_EXPORT int _findclose(std::intptr_t handle);
