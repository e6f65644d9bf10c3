#include "I18NString.h"

#include "BrxException.h"
#include "I18NCodecInternal.h"
#include "I18NConverter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>

namespace {

// Positions of std::u32string as the string's signed indexes.
long toIndex(std::size_t position) {
    return position == std::u32string::npos ? -1 : static_cast<long>(position);
}

std::size_t clampIndex(long index, std::size_t size) {
    if (index < 0) {
        return 0;
    }
    return std::min(static_cast<std::size_t>(index), size);
}

// Any negative count, or one past the end, reaches the end.
std::size_t clampCount(long count, std::size_t from, std::size_t size) {
    const std::size_t available = size - from;
    if (count < 0) {
        return available;
    }
    return std::min(static_cast<std::size_t>(count), available);
}

// Converters of the named encodings that c_str(encoding) was asked for on this thread, so that
// the named form does not reopen an ICU converter on every call.
I18NConverter& converterNamed(const char* encoding) {
    struct Entry {
        std::string name;
        std::unique_ptr<I18NConverter> converter;
    };
    constexpr std::size_t kEntries = 4;
    thread_local Entry entries[kEntries];
    thread_local std::size_t nextVictim = 0;
    if (encoding != nullptr) {
        for (Entry& entry : entries) {
            if (entry.converter && entry.name == encoding) {
                return *entry.converter;
            }
        }
    }
    // Throws for an unknown name before any entry changes.
    auto converter = std::make_unique<I18NConverter>(encoding);
    Entry& entry = entries[nextVictim];
    nextVictim = (nextVictim + 1) % kEntries;
    entry.name = encoding;
    entry.converter = std::move(converter);
    return *entry.converter;
}

} // namespace

I18NString::I18NString(const I18NString& other)
    : f_text(other.f_text) {}

I18NString::I18NString(I18NString&& other) noexcept
    : f_text(std::move(other.f_text))
    , f_narrow(std::move(other.f_narrow))
    , f_narrowValid(other.f_narrowValid)
    , f_other(std::move(other.f_other))
    , f_otherName(std::move(other.f_otherName))
    , f_otherValid(other.f_otherValid) {
    other.f_text.clear();
    other.changed();
}

I18NString::I18NString(const char* text) {
    if (text != nullptr) {
        i18n::appendUtf8(f_text, text, std::strlen(text));
    }
}

I18NString::I18NString(const char* text, const I18NConverter& converter) {
    if (text != nullptr) {
        converter.appendCodePoints(f_text, text, std::strlen(text));
    }
}

I18NString::I18NString(char32_t codePoint, long count)
    : f_text(count > 0 ? static_cast<std::size_t>(count) : 0, codePoint) {}

I18NString::I18NString(std::u32string codePoints)
    : f_text(std::move(codePoints)) {}

I18NString::~I18NString() = default;

I18NString& I18NString::operator=(const I18NString& other) {
    if (this != &other) {
        f_text = other.f_text;
        changed();
    }
    return *this;
}

I18NString& I18NString::operator=(I18NString&& other) noexcept {
    if (this != &other) {
        f_text = std::move(other.f_text);
        f_narrow = std::move(other.f_narrow);
        f_narrowValid = other.f_narrowValid;
        f_other = std::move(other.f_other);
        f_otherName = std::move(other.f_otherName);
        f_otherValid = other.f_otherValid;
        other.f_text.clear();
        other.changed();
    }
    return *this;
}

I18NString& I18NString::operator=(const char* text) {
    // The text may be this string's own c_str(): decode it before the cache is reused.
    std::u32string decoded;
    if (text != nullptr) {
        i18n::appendUtf8(decoded, text, std::strlen(text));
    }
    f_text.swap(decoded);
    changed();
    return *this;
}

char32_t I18NString::operator[](long index) const {
    BRX_ASSERT(index >= 0 && index < length());
    return f_text[static_cast<std::size_t>(index)];
}

bool I18NString::operator==(const char* text) const {
    if (text == nullptr) {
        return f_text.empty();
    }
    // Decode on the fly: comparing against literals must not allocate.
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + std::strlen(text);
    const char32_t* mine = f_text.data();
    const char32_t* mineEnd = mine + f_text.size();
    while (p != end) {
        if (mine == mineEnd) {
            return false;
        }
        const unsigned char lead = *p++;
        const char32_t c = lead < 0x80 ? char32_t(lead) : i18n::decodeMultiByte(lead, p, end);
        if (c != *mine++) {
            return false;
        }
    }
    return mine == mineEnd;
}

I18NString& I18NString::operator+=(const I18NString& other) {
    f_text += other.f_text;
    changed();
    return *this;
}

I18NString& I18NString::operator+=(const char* text) {
    if (text != nullptr) {
        i18n::appendUtf8(f_text, text, std::strlen(text));
    }
    changed();
    return *this;
}

I18NString& I18NString::operator+=(char32_t codePoint) {
    f_text.push_back(codePoint);
    changed();
    return *this;
}

I18NString I18NString::substring(long begin, long end) const {
    const std::size_t size = f_text.size();
    const std::size_t first = clampIndex(begin, size);
    const std::size_t last = end < 0 ? size : clampIndex(end, size);
    if (last <= first) {
        return I18NString();
    }
    return I18NString(f_text.substr(first, last - first));
}

long I18NString::find(const I18NString& what, long start) const {
    return toIndex(f_text.find(what.f_text, start < 0 ? 0 : static_cast<std::size_t>(start)));
}

long I18NString::find(char32_t codePoint, long start) const {
    return toIndex(f_text.find(codePoint, start < 0 ? 0 : static_cast<std::size_t>(start)));
}

long I18NString::rfind(const I18NString& what, long start) const {
    return toIndex(f_text.rfind(what.f_text, start < 0 ? std::u32string::npos
                                                       : static_cast<std::size_t>(start)));
}

long I18NString::rfind(char32_t codePoint, long start) const {
    return toIndex(f_text.rfind(codePoint, start < 0 ? std::u32string::npos
                                                     : static_cast<std::size_t>(start)));
}

long I18NString::findFirstOf(const I18NString& set, long start) const {
    return toIndex(
        f_text.find_first_of(set.f_text, start < 0 ? 0 : static_cast<std::size_t>(start)));
}

I18NString& I18NString::insert(long index, const I18NString& text) {
    f_text.insert(clampIndex(index, f_text.size()), text.f_text);
    changed();
    return *this;
}

I18NString& I18NString::replace(long index, long count, const I18NString& text) {
    const std::size_t from = clampIndex(index, f_text.size());
    f_text.replace(from, clampCount(count, from, f_text.size()), text.f_text);
    changed();
    return *this;
}

I18NString& I18NString::erase(long index, long count) {
    const std::size_t from = clampIndex(index, f_text.size());
    f_text.erase(from, clampCount(count, from, f_text.size()));
    changed();
    return *this;
}

void I18NString::resize(long newLength, char32_t fill) {
    BRX_ASSERT(newLength >= 0);
    f_text.resize(static_cast<std::size_t>(newLength), fill);
    changed();
}

void I18NString::clear() {
    f_text.clear();
    changed();
}

I18NString::iterator I18NString::begin() {
    changed();
    return f_text.begin();
}

I18NString::iterator I18NString::end() {
    changed();
    return f_text.end();
}

std::u32string& I18NString::codePoints() {
    changed();
    return f_text;
}

const char* I18NString::c_str() const {
    if (!f_narrowValid) {
        i18n::toUtf8(f_text.data(), f_text.data() + f_text.size(), f_narrow);
        f_narrowValid = true;
    }
    return f_narrow.c_str();
}

const char* I18NString::c_str(const char* encoding) const {
    if (f_otherValid && encoding != nullptr && f_otherName == encoding) {
        return f_other.c_str();
    }
    const I18NConverter& converter = converterNamed(encoding);
    converter.toNarrow(f_text.data(), f_text.data() + f_text.size(), f_other);
    f_otherName = encoding;
    f_otherValid = true;
    return f_other.c_str();
}

const char* I18NString::c_str(const I18NConverter& converter) const {
    const char* name = converter.getName();
    if (f_otherValid && f_otherName == name) {
        return f_other.c_str();
    }
    converter.toNarrow(f_text.data(), f_text.data() + f_text.size(), f_other);
    f_otherName = name;
    f_otherValid = true;
    return f_other.c_str();
}

I18NString operator+(const I18NString& a, const I18NString& b) {
    I18NString result(a);
    result += b;
    return result;
}

I18NString operator+(const I18NString& a, const char* b) {
    I18NString result(a);
    result += b;
    return result;
}

I18NString operator+(const char* a, const I18NString& b) {
    I18NString result(a);
    result += b;
    return result;
}

I18NString operator+(const I18NString& a, char32_t codePoint) {
    I18NString result(a);
    result += codePoint;
    return result;
}

std::ostream& operator<<(std::ostream& out, const I18NString& s) {
    // Its own buffer: printing must not touch the string's cache, which another thread may
    // be reading through a const reference.
    std::string text;
    const std::u32string& points = s.codePoints();
    i18n::toUtf8(points.data(), points.data() + points.size(), text);
    return out << text;
}
