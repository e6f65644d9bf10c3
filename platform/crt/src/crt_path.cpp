#include "crt_path.h"

#include <cstddef>
#include <cstring>

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// How many of the first `length` bytes of `text` fit into `capacity` bytes with a NUL. A cut
// backs off to the start of a UTF-8 sequence that would otherwise be split, so that a
// truncated part still converts without replacement characters.
std::size_t fittingLength(const char* text, std::size_t length, std::size_t capacity) {
    if (length < capacity) {
        return length;
    }
    std::size_t cut = capacity - 1;
    std::size_t lead = cut;
    while (lead > 0 && cut - lead < 3 && isContinuation(static_cast<unsigned char>(text[lead]))) {
        --lead;
    }
    const auto leadByte = static_cast<unsigned char>(text[lead]);
    if (leadByte >= 0xC0) {
        const std::size_t sequence = leadByte >= 0xF0 ? 4 : leadByte >= 0xE0 ? 3 : 2;
        if (lead + sequence > cut) {
            cut = lead;
        }
    }
    return cut;
}

void copyPart(char* out, std::size_t capacity, const char* begin, const char* end) {
    if (out == nullptr) {
        return;
    }
    const std::size_t length =
        fittingLength(begin, static_cast<std::size_t>(end - begin), capacity);
    std::memcpy(out, begin, length);
    out[length] = '\0';
}

// Appends into a fixed buffer; what does not fit is dropped and remembered, so that the final
// cut can be moved to a character boundary.
class Joiner {
public:
    explicit Joiner(char* out)
        : f_out(out) {}

    void append(const char* text, std::size_t length) {
        const std::size_t room = kCapacity - f_length;
        const std::size_t taken = length < room ? length : room;
        std::memcpy(f_out + f_length, text, taken);
        f_length += taken;
        f_truncated = f_truncated || taken < length;
    }
    void append(char c) { append(&c, 1); }

    char last() const { return f_length == 0 ? '\0' : f_out[f_length - 1]; }

    void finish() {
        if (f_truncated) {
            // One byte more than fits was never written, so judge the cut by what precedes it.
            std::size_t cut = f_length;
            std::size_t lead = cut;
            while (lead > 0 && cut - lead < 4 &&
                   isContinuation(static_cast<unsigned char>(f_out[lead - 1]))) {
                --lead;
            }
            if (lead > 0) {
                const auto leadByte = static_cast<unsigned char>(f_out[lead - 1]);
                const std::size_t sequence = leadByte >= 0xF0   ? 4
                                             : leadByte >= 0xE0 ? 3
                                             : leadByte >= 0xC0 ? 2
                                                                : 1;
                if (leadByte >= 0xC0 && lead - 1 + sequence > cut) {
                    cut = lead - 1;
                }
            }
            f_length = cut;
        }
        f_out[f_length] = '\0';
    }

private:
    static constexpr std::size_t kCapacity = _MAX_PATH - 1;
    char* f_out;
    std::size_t f_length = 0;
    bool f_truncated = false;
};

// The length of the UTF-8 sequence that starts `text` (1 for an invalid or ASCII byte), at
// most the text's own length.
std::size_t firstCharacterLength(const char* text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t sequence = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::size_t length = 1;
    while (length < sequence && text[length] != '\0' &&
           isContinuation(static_cast<unsigned char>(text[length]))) {
        ++length;
    }
    return length;
}

} // namespace

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
    if (path == nullptr) {
        path = "";
    }
    const char* rest = path;
    if (path[0] != '\0' && path[1] == ':') {
        rest = path + 2;
    }
    copyPart(drive, _MAX_DRIVE, path, rest);

    const char* end = rest + std::strlen(rest);
    const char* nameBegin = rest;
    const char* lastDot = nullptr;
    for (const char* p = rest; p != end; ++p) {
        if (isSeparator(*p)) {
            nameBegin = p + 1;
            lastDot = nullptr;
        } else if (*p == '.') {
            lastDot = p;
        }
    }
    const char* extBegin = lastDot != nullptr ? lastDot : end;
    copyPart(dir, _MAX_DIR, rest, nameBegin);
    copyPart(fname, _MAX_FNAME, nameBegin, extBegin);
    copyPart(ext, _MAX_EXT, extBegin, end);
}

void _makepath(char* path, const char* drive, const char* dir, const char* fname, const char* ext) {
    if (path == nullptr) {
        return;
    }
    Joiner out(path);
    if (drive != nullptr && drive[0] != '\0') {
        out.append(drive, firstCharacterLength(drive));
        out.append(':');
    }
    if (dir != nullptr && dir[0] != '\0') {
        const std::size_t length = std::strlen(dir);
        out.append(dir, length);
        if (!isSeparator(dir[length - 1])) {
            // Keep the style the caller wrote; a bare name gets this system's separator.
            char separator = '/';
            for (std::size_t i = length; i-- > 0;) {
                if (isSeparator(dir[i])) {
                    separator = dir[i];
                    break;
                }
            }
            out.append(separator);
        }
    }
    if (fname != nullptr) {
        out.append(fname, std::strlen(fname));
    }
    if (ext != nullptr && ext[0] != '\0') {
        if (ext[0] != '.') {
            out.append('.');
        }
        out.append(ext, std::strlen(ext));
    }
    out.finish();
}
