#include "WinLoader.h"

#include "win32_errors.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The linker's name for the ELF header of the object being linked: this library's own, mapped
// with it. Hidden, so that it always means this library and never an interposed symbol.
extern "C" const ElfW(Ehdr) __ehdr_start __attribute__((visibility("hidden")));

namespace {

using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : f_fd(fd) {}
    ~Descriptor() {
        if (f_fd >= 0) {
            close(f_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return f_fd; }

private:
    int f_fd;
};

// Reads exactly `size` bytes at `offset`: 0, ENOEXEC when the file ends first, or the errno of
// a failed read.
int readAt(int fd, void* buffer, std::size_t size, off_t offset) {
    auto* next = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t got = pread(fd, next, size, offset);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return ENOEXEC;
        }
        next += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
    return 0;
}

// Whether [offset, offset + length) lies within a file of `fileSize` bytes, without overflow.
bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t fileSize) {
    return offset <= fileSize && length <= fileSize - offset;
}

// What the check of a file found.
struct Verdict {
    int error = 0;             // 0 when the file can be given to dlopen
    bool otherMachine = false; // a library, but of another class, byte order or machine
};

// Checks the file open on `fd` against what the dynamic loader trusts without checking: it
// maps every loadable segment as the headers describe it, and a segment that reaches past the
// end of the file faults (SIGBUS) at its first touch, inside dlopen. So the file must be a
// shared object built like this library (same class, byte order and machine) whose program
// headers and loadable segments all lie within the file. Read with pread, never mapped, so
// that a bad file cannot fault here either.
Verdict checkImage(int fd) {
    struct stat status;
    if (fstat(fd, &status) != 0) {
        return {errno, false};
    }
    if (!S_ISREG(status.st_mode)) {
        return {ENOEXEC, false};
    }
    const auto fileSize = static_cast<std::uint64_t>(status.st_size);

    Ehdr header;
    if (fileSize < sizeof header) {
        return {ENOEXEC, false};
    }
    if (const int error = readAt(fd, &header, sizeof header, 0)) {
        return {error, false};
    }
    const unsigned char* const ident = header.e_ident;
    if (ident[EI_MAG0] != ELFMAG0 || ident[EI_MAG1] != ELFMAG1 || ident[EI_MAG2] != ELFMAG2 ||
        ident[EI_MAG3] != ELFMAG3 || ident[EI_VERSION] != EV_CURRENT) {
        return {ENOEXEC, false};
    }
    // Compared before any other field: those of another class or byte order mean other things.
    if (ident[EI_CLASS] != __ehdr_start.e_ident[EI_CLASS] ||
        ident[EI_DATA] != __ehdr_start.e_ident[EI_DATA] ||
        header.e_machine != __ehdr_start.e_machine) {
        return {ENOEXEC, true};
    }
    if (header.e_type != ET_DYN || header.e_phentsize != sizeof(Phdr) || header.e_phnum == 0 ||
        header.e_phnum == PN_XNUM ||
        !within(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(Phdr), fileSize)) {
        return {ENOEXEC, false};
    }

    std::vector<Phdr> segments(header.e_phnum);
    if (const int error = readAt(fd, segments.data(), segments.size() * sizeof(Phdr),
                                 static_cast<off_t>(header.e_phoff))) {
        return {error, false};
    }
    bool loadable = false;
    for (const Phdr& segment : segments) {
        // The dynamic section is read through the loaded segments, so it must lie in the file
        // as well.
        if (segment.p_type != PT_LOAD && segment.p_type != PT_DYNAMIC) {
            continue;
        }
        if (!within(segment.p_offset, segment.p_filesz, fileSize) ||
            segment.p_filesz > segment.p_memsz) {
            return {ENOEXEC, false};
        }
        loadable = loadable || segment.p_type == PT_LOAD;
    }
    return {loadable ? 0 : ENOEXEC, false};
}

Verdict checkFile(const char* path) {
    // stat first, so that a FIFO or a device is refused without being opened: opening one can
    // block or act on the device.
    struct stat status;
    if (stat(path, &status) != 0) {
        return {errno, false};
    }
    if (!S_ISREG(status.st_mode)) {
        return {S_ISDIR(status.st_mode) ? EISDIR : ENOEXEC, false};
    }
    const Descriptor file(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        return {errno, false};
    }
    return checkImage(file.get());
}

// The directories that dlopen, called from this library, searches for a bare name, in its
// order: LD_LIBRARY_PATH, this library's RUNPATH (or the RPATHs), the system's directories.
// They are fixed when the process starts, so they are read once. Empty when the loader cannot
// tell them.
std::vector<std::string> readSearchDirectories() {
    std::vector<std::string> directories;
    Dl_info self;
    if (dladdr(&__ehdr_start, &self) == 0 || self.dli_fname == nullptr) {
        return directories;
    }
    // NOLOAD finds this library without loading anything; the load it counts is given back.
    void* const handle = dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return directories;
    }
    Dl_serinfo size;
    if (dlinfo(handle, RTLD_DI_SERINFOSIZE, &size) == 0) {
        // Dl_serinfo is followed by the directory strings in one block of dls_size bytes.
        std::unique_ptr<std::max_align_t[]> block(
            new std::max_align_t[(size.dls_size + sizeof(std::max_align_t) - 1) /
                                 sizeof(std::max_align_t)]);
        auto* const info = reinterpret_cast<Dl_serinfo*>(block.get());
        info->dls_size = size.dls_size;
        info->dls_cnt = size.dls_cnt;
        if (dlinfo(handle, RTLD_DI_SERINFO, info) == 0) {
            for (unsigned int i = 0; i < info->dls_cnt; ++i) {
                directories.emplace_back(info->dls_serpath[i].dls_name);
            }
        }
    }
    dlclose(handle);
    return directories;
}

// Checks the file that dlopen takes for the bare name `name`: the first in the search
// directories that it can open and that is built for this machine (the loader passes over
// the others as well). Sets `found` when there is one; when there is none, dlopen falls back
// to its cache, which names only the system's installed libraries, and they are trusted.
Verdict checkBareName(const char* name, bool& found) {
    static const std::vector<std::string> directories = readSearchDirectories();
    found = false;
    for (const std::string& directory : directories) {
        const std::string path = directory + "/" + name;
        const Verdict verdict = checkFile(path.c_str());
        if (verdict.error == ENOENT || verdict.error == ENOTDIR || verdict.error == EACCES ||
            verdict.otherMachine) {
            continue;
        }
        found = true;
        return verdict;
    }
    return {};
}

} // namespace

HMODULE LoadLibraryA(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // dlopen takes a name with a "/" as a path and searches for any other. The file can still
    // change between this check and dlopen; a library replaced in that moment by a broken one
    // is not guarded against.
    const bool isPath = std::string(fileName).find('/') != std::string::npos;
    bool found = isPath;
    const Verdict verdict = isPath ? checkFile(fileName) : checkBareName(fileName, found);
    if (verdict.error != 0) {
        SetLastError(static_cast<DWORD>(verdict.error));
        return nullptr;
    }
    // RTLD_NOW binds every symbol at load, as the Windows loader does, so that a library with
    // a missing dependency fails here and not at its first call. RTLD_LOCAL keeps components
    // from interposing on each other.
    void* const handle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        // A file that was found and passed the check was refused for its dependencies or its
        // symbols; a bare name may not have been found at all.
        SetLastError(found ? static_cast<DWORD>(ELIBACC) : ERROR_FILE_NOT_FOUND);
    }
    return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
    if (module == nullptr || procName == nullptr) {
        return nullptr;
    }
    void* const symbol = dlsym(module, procName);
    // POSIX guarantees that an object pointer from dlsym converts to a function pointer.
    return reinterpret_cast<FARPROC>(symbol);
}

int FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        return 0;
    }
    return dlclose(module) == 0 ? 1 : 0;
}
