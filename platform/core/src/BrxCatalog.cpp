#include "BrxCatalog.h"

namespace brxcatalog {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Decodes one UTF-8 sequence at `at`; advances `at`. Malformed input (overlong forms,
// surrogates, values above U+10FFFF, truncated sequences) gives U+FFFD for one byte.
char32_t decodeUtf8(const char* text, std::size_t size, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++at;
        return kReplacement;
    }
    if (size - at < length) {
        ++at;
        return kReplacement;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++at;
        return kReplacement;
    }
    at += length;
    return value;
}

// Reads `digits` hex digits at `at` into a code point; false on a bad digit or a value that
// is no scalar value.
bool readCodePointEscape(
    const char* line, std::size_t size, std::size_t& at, std::size_t digits, char32_t& value) {
    if (size - at < digits) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int digit = hexValue(line[at + i]);
        if (digit < 0) {
            return false;
        }
        value = (value << 4) | static_cast<char32_t>(digit);
    }
    at += digits;
    return value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
}

// NUMBER: "0x" and hex digits, or decimal digits; at most 0xFFFFFFFF.
bool readNumber(const char* line, std::size_t size, std::size_t& at, std::uint32_t& number) {
    std::uint64_t value = 0;
    std::size_t digits = 0;
    if (size - at > 2 && line[at] == '0' && (line[at + 1] == 'x' || line[at + 1] == 'X')) {
        at += 2;
        for (; at < size && hexValue(line[at]) >= 0; ++at, ++digits) {
            value = value * 16 + static_cast<std::uint64_t>(hexValue(line[at]));
            if (value > 0xFFFFFFFFu) {
                return false;
            }
        }
    } else {
        for (; at < size && line[at] >= '0' && line[at] <= '9'; ++at, ++digits) {
            value = value * 10 + static_cast<std::uint64_t>(line[at] - '0');
            if (value > 0xFFFFFFFFu) {
                return false;
            }
        }
    }
    number = static_cast<std::uint32_t>(value);
    return digits > 0;
}

// The quoted text starting after the opening quote; `at` ends behind the closing quote.
bool readText(const char* line, std::size_t size, std::size_t& at, std::u32string& text) {
    while (at < size) {
        const char c = line[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (c == '\\') {
            if (++at == size) {
                return false;
            }
            const char escape = line[at++];
            char32_t value = 0;
            switch (escape) {
            case '\\':
            case '"':
                text += static_cast<char32_t>(escape);
                break;
            case 'n':
                text += U'\n';
                break;
            case 't':
                text += U'\t';
                break;
            case 'r':
                text += U'\r';
                break;
            case 'u':
                if (!readCodePointEscape(line, size, at, 4, value)) {
                    return false;
                }
                text += value;
                break;
            case 'U':
                if (!readCodePointEscape(line, size, at, 8, value)) {
                    return false;
                }
                text += value;
                break;
            default:
                return false;
            }
            continue;
        }
        // Raw control characters other than the tab are no text: they mark binary junk.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
            return false;
        }
        text += decodeUtf8(line, size, at);
    }
    return false; // unterminated
}

// One line without its end; false when it is malformed. `number` and `text` are set only for
// a definition (`defined`).
bool parseLine(const char* line,
               std::size_t size,
               bool& defined,
               std::uint32_t& number,
               std::u32string& text) {
    defined = false;
    std::size_t at = 0;
    while (at < size && isBlank(line[at])) {
        ++at;
    }
    if (at == size || line[at] == '#') {
        return true;
    }
    if (!readNumber(line, size, at, number)) {
        return false;
    }
    while (at < size && isBlank(line[at])) {
        ++at;
    }
    if (at == size || line[at++] != '=') {
        return false;
    }
    while (at < size && isBlank(line[at])) {
        ++at;
    }
    if (at == size || line[at++] != '"') {
        return false;
    }
    if (!readText(line, size, at, text)) {
        return false;
    }
    while (at < size && isBlank(line[at])) {
        ++at;
    }
    if (at < size && line[at] != '#') {
        return false;
    }
    defined = true;
    return true;
}

} // namespace

Catalog parseCatalog(const char* data, std::size_t size) {
    Catalog catalog;
    std::size_t at = 0;
    if (size >= 3 && data[0] == '\xEF' && data[1] == '\xBB' && data[2] == '\xBF') {
        at = 3;
    }
    std::u32string text;
    while (at < size) {
        std::size_t end = at;
        while (end < size && data[end] != '\n') {
            ++end;
        }
        std::size_t length = end - at;
        if (length > 0 && data[at + length - 1] == '\r') {
            --length;
        }
        if (length > kMaxLineBytes) {
            ++catalog.rejectedLines;
        } else {
            bool defined = false;
            std::uint32_t number = 0;
            text.clear();
            if (!parseLine(data + at, length, defined, number, text)) {
                ++catalog.rejectedLines;
            } else if (defined && !catalog.messages.emplace(number, text).second) {
                ++catalog.duplicates;
            }
        }
        at = end + 1;
    }
    return catalog;
}

const std::u32string* findMessage(const Chain& chain, std::uint32_t number) {
    for (const auto& catalog : chain) {
        if (!catalog) {
            continue;
        }
        auto found = catalog->messages.find(number);
        if (found != catalog->messages.end()) {
            return &found->second;
        }
    }
    return nullptr;
}

} // namespace brxcatalog
