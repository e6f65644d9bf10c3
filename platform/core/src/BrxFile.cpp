#include "BrxFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool brxReadRegularFile(const char* path,
                        std::uint64_t maxBytes,
                        std::string& content,
                        bool followLinks) {
    const int descriptor =
        open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (descriptor < 0) {
        return false;
    }
    struct stat status {};
    const bool ok = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                    static_cast<std::uint64_t>(status.st_size) <= maxBytes;
    if (ok) {
        content.resize(static_cast<std::size_t>(status.st_size));
        std::size_t done = 0;
        while (done < content.size()) {
            const ssize_t got = read(descriptor, &content[done], content.size() - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break; // the file shrank or failed: keep what was read
            }
            done += static_cast<std::size_t>(got);
        }
        content.resize(done);
    }
    close(descriptor);
    errno = 0;
    return ok;
}
