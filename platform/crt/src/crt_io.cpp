#include "crt_io.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <new>
#include <string>
#include <unistd.h>

namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// One character of a UTF-8 name: a lead byte and the continuation bytes after it.
const char* nextCharacter(const char* p) {
    ++p;
    while (isContinuation(static_cast<unsigned char>(*p))) {
        ++p;
    }
    return p;
}

// '*' and '?' only. fnmatch is not used: its '?' follows the process locale (one byte of a
// UTF-8 name in the "C" locale) and its brackets and escapes would make names such as
// "a[1].log" unmatchable by themselves.
bool wildcardMatch(const char* pattern, const char* name) {
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?') {
            ++pattern;
            name = nextCharacter(name);
        } else if (*pattern != '\0' && *pattern == *name) {
            ++pattern;
            ++name;
        } else if (starPattern != nullptr) {
            // Let the last '*' take one more character and try the rest again.
            pattern = starPattern;
            starName = nextCharacter(starName);
            name = starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

bool hasWildcard(const char* pattern) {
    return std::strpbrk(pattern, "*?") != nullptr;
}

struct Search {
    DIR* directory = nullptr; // null: a search for one literal name, already reported
    std::string pattern;
};

void describe(const char* name, const struct stat& status, _finddata_t* fileinfo) {
    unsigned attrib = _A_NORMAL;
    if (S_ISDIR(status.st_mode)) {
        attrib |= _A_SUBDIR;
    }
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attrib |= _A_RDONLY;
    }
    if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
        attrib |= _A_HIDDEN;
    }
    fileinfo->attrib = attrib;
    fileinfo->time_create = status.st_ctime;
    fileinfo->time_access = status.st_atime;
    fileinfo->time_write = status.st_mtime;
    fileinfo->size = S_ISDIR(status.st_mode) ? 0 : static_cast<_fsize_t>(status.st_size);
    // Names here are at most 255 bytes; the copy is bounded all the same.
    std::strncpy(fileinfo->name, name, sizeof fileinfo->name - 1);
    fileinfo->name[sizeof fileinfo->name - 1] = '\0';
}

// The next entry of the directory that matches; false with errno ENOENT at the end, or with
// the error of a failed read.
bool nextMatch(Search& search, _finddata_t* fileinfo) {
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(search.directory);
        if (entry == nullptr) {
            if (errno == 0) {
                errno = ENOENT;
            }
            return false;
        }
        if (!wildcardMatch(search.pattern.c_str(), entry->d_name)) {
            continue;
        }
        struct stat status {};
        if (fstatat(dirfd(search.directory), entry->d_name, &status, 0) != 0 &&
            fstatat(dirfd(search.directory), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            // Removed since it was listed: it no longer exists to report.
            continue;
        }
        describe(entry->d_name, status, fileinfo);
        return true;
    }
}

Search* fromHandle(std::intptr_t handle) {
    if (handle == -1 || handle == 0) {
        errno = EINVAL;
        return nullptr;
    }
    return reinterpret_cast<Search*>(handle);
}

} // namespace

int _access(const char* path, int mode) {
    int how;
    switch (mode) {
    case _A_EXISTS:
        how = F_OK;
        break;
    case _A_WRITE:
        how = W_OK;
        break;
    case _A_READ:
        how = R_OK;
        break;
    case _A_READ | _A_WRITE:
        how = R_OK | W_OK;
        break;
    default:
        errno = EINVAL;
        return -1;
    }
    return access(path, how);
}

int _mkdir(const char* path) {
    return mkdir(path, 0700);
}

int _open(const char* path, int oflag, int pmode) {
    const int fd = open(path, oflag | O_CLOEXEC, static_cast<mode_t>(pmode));
    if (fd < 0 || fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    close(fd);
    errno = error;
    return moved;
}

int _close(int fd) {
    return close(fd);
}

FILE* _fdopen(int fd, const char* mode) {
    if (mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    // Keep what this system's fdopen knows; the C runtime's 't' and other letters go.
    char posixMode[8];
    std::size_t length = 0;
    for (const char* p = mode; *p != '\0' && length < sizeof posixMode - 1; ++p) {
        if (std::strchr("rwa+b", *p) != nullptr) {
            posixMode[length++] = *p;
        }
    }
    posixMode[length] = '\0';
    return fdopen(fd, posixMode);
}

long _filelength(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        return -1;
    }
    return static_cast<long>(status.st_size);
}

int _fileno(FILE* stream) {
    return fileno(stream);
}

long long _lseeki64(int fd, long long offset, int origin) {
    return static_cast<long long>(lseek(fd, static_cast<off_t>(offset), origin));
}

int _chsize_s(int fd, long long size) {
    return ftruncate(fd, static_cast<off_t>(size));
}

int _getpid() {
    return static_cast<int>(getpid());
}

std::intptr_t _findfirst(const char* filespec, _finddata_t* fileinfo) {
    if (filespec == nullptr || fileinfo == nullptr) {
        errno = EINVAL;
        return -1;
    }
    const char* slash = std::strrchr(filespec, '/');
    const char* pattern = slash != nullptr ? slash + 1 : filespec;
    if (*pattern == '\0') {
        errno = ENOENT;
        return -1;
    }
    Search* search = new (std::nothrow) Search;
    if (search == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    if (!hasWildcard(pattern)) {
        // One name: no need to read the whole directory.
        struct stat status {};
        if (stat(filespec, &status) != 0 && lstat(filespec, &status) != 0) {
            const int error = errno;
            delete search;
            errno = error;
            return -1;
        }
        describe(pattern, status, fileinfo);
        return reinterpret_cast<std::intptr_t>(search);
    }
    try {
        const std::string directory = slash == nullptr    ? "."
                                      : slash == filespec ? "/"
                                                          : std::string(filespec, slash);
        search->pattern = pattern;
        search->directory = opendir(directory.c_str());
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    }
    if (search->directory == nullptr || !nextMatch(*search, fileinfo)) {
        const int error = errno;
        _findclose(reinterpret_cast<std::intptr_t>(search));
        errno = error;
        return -1;
    }
    return reinterpret_cast<std::intptr_t>(search);
}

int _findnext(std::intptr_t handle, _finddata_t* fileinfo) {
    Search* search = fromHandle(handle);
    if (search == nullptr) {
        return -1;
    }
    if (fileinfo == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (search->directory == nullptr) {
        errno = ENOENT;
        return -1;
    }
    return nextMatch(*search, fileinfo) ? 0 : -1;
}

int _findclose(std::intptr_t handle) {
    Search* search = fromHandle(handle);
    if (search == nullptr) {
        return -1;
    }
    int result = 0;
    if (search->directory != nullptr && closedir(search->directory) != 0) {
        result = -1;
    }
    delete search;
    return result;
}
