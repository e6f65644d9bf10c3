// Feeds arbitrary bytes to the profile reader as a file, and asks for values and lists with
// buffers of several sizes: nothing may crash, hang or write past a buffer.
#include <WinProfile.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// One in-memory file for the whole run, rewritten for each input.
int profileFile() {
    static const int fd = memfd_create("profile.ini", 0);
    return fd;
}

void checkBuffer(const char* buffer, std::uint32_t size, std::uint32_t count, char guard) {
    if (buffer[size] != guard) {
        __builtin_trap(); // wrote past the buffer
    }
    if (size > 0 && count >= size) {
        __builtin_trap(); // a count that cannot be
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = profileFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
        return 0;
    }
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    // Names from the input itself, so that the fuzzer can find sections and keys that match.
    const std::string head(reinterpret_cast<const char*>(data), size < 16 ? size : 16);
    const std::string section = head.substr(0, head.size() / 2);
    const std::string key = head.substr(head.size() / 2);
    const char* const sections[] = {"Rendition", section.c_str(), nullptr};
    const char* const keys[] = {"Base Rendition Name", key.c_str(), nullptr};
    const std::uint32_t sizes[] = {0, 1, 2, 7, 2048};
    char buffer[2049];
    for (const char* s : sections) {
        for (const char* k : keys) {
            for (std::uint32_t bufferSize : sizes) {
                buffer[bufferSize] = '\x5A';
                const std::uint32_t count =
                    GetPrivateProfileStringA(s, k, "default ", buffer, bufferSize, path.c_str());
                checkBuffer(buffer, bufferSize, count, '\x5A');
            }
        }
    }
    return 0;
}
