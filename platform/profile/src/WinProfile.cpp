#include "WinProfile.h"

#include <BrxFile.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A hostile file may hold one line of gigabytes; nothing real comes close to this.
constexpr std::size_t kMaxLineBytes = 1u << 20;
// Larger than any profile; a file beyond it is refused whole, as a missing one.
constexpr std::size_t kMaxFileBytes = 16u << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    const std::size_t length = std::strlen(b);
    if (a.size() != length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string trimmed(const char* begin, const char* end) {
    while (begin < end && isBlank(*begin)) {
        ++begin;
    }
    while (end > begin && isBlank(end[-1])) {
        --end;
    }
    return std::string(begin, end);
}

// Reads the line at `position` without its "\n" into `line` and moves past it; false at the
// end of the text. Bytes after a NUL or beyond kMaxLineBytes are dropped.
bool readLine(const std::string& text, std::size_t& position, std::string& line) {
    if (position >= text.size()) {
        return false;
    }
    std::size_t end = text.find('\n', position);
    end = end == std::string::npos ? text.size() : end;
    const std::size_t length = std::min(end - position, kMaxLineBytes);
    line.assign(text, position, length);
    line.resize(std::strlen(line.c_str()));
    position = end + 1;
    return true;
}

enum class Query { kValue, kKeyNames, kSectionNames };

struct Scan {
    bool found = false;             // kValue: the key was found
    std::string value;              // kValue: its value
    std::vector<std::string> names; // the lists
};

Scan scanFile(const std::string& text, Query query, const char* appName, const char* keyName) {
    Scan scan;
    std::string line;
    std::size_t position = 0;
    bool inSection = false;   // inside the first section named appName
    bool sectionSeen = false; // that section has begun (later ones of the name are ignored)
    bool first = true;
    while (readLine(text, position, line)) {
        const char* begin = line.data();
        const char* end = begin + line.size();
        if (first && line.size() >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0) {
            begin += 3;
        }
        first = false;
        while (begin < end && isBlank(*begin)) {
            ++begin;
        }
        if (begin == end || *begin == ';') {
            continue;
        }
        if (*begin == '[') {
            const char* close = static_cast<const char*>(std::memchr(begin, ']', end - begin));
            const std::string name = trimmed(begin + 1, close != nullptr ? close : end);
            if (query == Query::kSectionNames) {
                scan.names.push_back(name);
                continue;
            }
            if (sectionSeen) {
                break;
            }
            inSection = equalsIgnoringCase(name, appName);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) {
            continue;
        }
        const char* equals = static_cast<const char*>(std::memchr(begin, '=', end - begin));
        const std::string key = trimmed(begin, equals != nullptr ? equals : end);
        if (query == Query::kKeyNames) {
            scan.names.push_back(key);
            continue;
        }
        if (equalsIgnoringCase(key, keyName)) {
            scan.found = true;
            if (equals != nullptr) {
                scan.value = trimmed(equals + 1, end);
            }
            const std::size_t length = scan.value.size();
            if (length >= 2 && (scan.value[0] == '"' || scan.value[0] == '\'') &&
                scan.value[length - 1] == scan.value[0]) {
                scan.value = scan.value.substr(1, length - 2);
            }
            break;
        }
    }
    return scan;
}

std::uint32_t copyText(const char* text, std::size_t length, char* out, std::uint32_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t count = length < size - 1u ? length : size - 1u;
    std::memcpy(out, text, count);
    out[count] = '\0';
    return static_cast<std::uint32_t>(count);
}

// Each name NUL-terminated, then one more NUL; a list that does not fit is cut and still ends
// in two NULs, and the result is then size - 2.
std::uint32_t copyList(const std::vector<std::string>& names, char* out, std::uint32_t size) {
    if (size < 2) {
        if (size == 1) {
            out[0] = '\0';
        }
        return 0;
    }
    std::size_t used = 0;
    for (const std::string& name : names) {
        if (used + name.size() + 2 > size) {
            // The name before may have filled all but the final NUL: nothing more fits then.
            const std::size_t room = used + 2 <= size ? size - 2 - used : 0;
            std::memcpy(out + used, name.data(), room);
            out[size - 2] = '\0';
            out[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(out + used, name.data(), name.size());
        used += name.size();
        out[used++] = '\0';
    }
    out[used] = '\0';
    return static_cast<std::uint32_t>(used);
}

} // namespace

std::uint32_t GetPrivateProfileStringA(const char* appName,
                                       const char* keyName,
                                       const char* defaultValue,
                                       char* returnedString,
                                       std::uint32_t size,
                                       const char* fileName) {
    if (returnedString == nullptr) {
        return 0;
    }
    const Query query = appName == nullptr   ? Query::kSectionNames
                        : keyName == nullptr ? Query::kKeyNames
                                             : Query::kValue;
    Scan scan;
    try {
        std::string text;
        if (fileName != nullptr && brxReadRegularFile(fileName, kMaxFileBytes, text)) {
            scan = scanFile(text, query, appName, keyName);
        }
    } catch (...) {
        // Out of memory on a hostile file: answer as for a missing file.
        scan = Scan();
    }
    if (query != Query::kValue) {
        return copyList(scan.names, returnedString, size);
    }
    if (scan.found) {
        return copyText(scan.value.data(), scan.value.size(), returnedString, size);
    }
    const char* const text = defaultValue != nullptr ? defaultValue : "";
    return copyText(text, std::strlen(text), returnedString, size);
}
