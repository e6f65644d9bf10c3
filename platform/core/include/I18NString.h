#pragma once
// Unicode strings of code points, held by value, with narrow texts in any ICU encoding.
#include "BrxExport.h"

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>

class I18NConverter;

// A string of Unicode code points (UTF-32 storage, so indexes and lengths are O(1)).
// Indexes and counts are in code points; "not found" is -1.
// Narrow texts: the default encoding is UTF-8. c_str() keeps the converted text until the
// string changes, so a second c_str() of an unchanged string converts nothing.
// Any char32_t may be stored; code points that are not Unicode scalar values (surrogates,
// values above U+10FFFF) are written to UTF-8 as U+FFFD.
// Not thread-safe per object (c_str() fills a cache); distinct objects are independent.
class BRX_EXPORT I18NString {
public:
    using value_type = char32_t;
    using iterator = std::u32string::iterator;
    using const_iterator = std::u32string::const_iterator;

    I18NString() = default;
    I18NString(const I18NString& other);
    I18NString(I18NString&& other) noexcept;
    // Narrow text in the default encoding (UTF-8); a null pointer gives the empty string.
    // Malformed UTF-8 becomes one U+FFFD per maximal ill-formed subsequence, as ICU does:
    // "\xC3" -> U+FFFD; "\xE2\x82" -> one U+FFFD; "\x80\x80" -> two; overlongs
    // ("\xC0\xAF" -> two, "\xE0\x80\xAF" -> three), encoded surrogates ("\xED\xA0\x80" ->
    // three) and bytes 0xF5..0xFF (one each) are ill-formed.
    I18NString(const char* text);
    // Narrow text through a converter; bytes the converter cannot map become U+FFFD.
    I18NString(const char* text, const I18NConverter& converter);
    // The code point `codePoint` repeated `count` times.
    I18NString(char32_t codePoint, long count);
    explicit I18NString(std::u32string codePoints);
    ~I18NString();

    I18NString& operator=(const I18NString& other);
    I18NString& operator=(I18NString&& other) noexcept;
    I18NString& operator=(const char* text);

    long length() const { return static_cast<long>(f_text.size()); }
    bool empty() const { return f_text.empty(); }
    // The code point at `index`; BRX_ASSERT on an index outside [0, length()).
    char32_t operator[](long index) const;
    char32_t at(long index) const { return (*this)[index]; }

    // Code point order: a total order usable as a map key.
    bool operator<(const I18NString& other) const { return f_text < other.f_text; }
    bool operator==(const I18NString& other) const { return f_text == other.f_text; }
    bool operator!=(const I18NString& other) const { return f_text != other.f_text; }
    // Against a narrow text in the default encoding; a null pointer equals the empty string.
    bool operator==(const char* text) const;
    bool operator!=(const char* text) const { return !(*this == text); }

    I18NString& operator+=(const I18NString& other);
    I18NString& operator+=(const char* text);
    I18NString& operator+=(char32_t codePoint);

    // Half-open [begin, end); end -1 (any negative) means to the end. Bounds are clamped to
    // [0, length()]; end <= begin gives the empty string.
    I18NString substring(long begin, long end = -1) const;
    // First index at or after `start` (a negative start counts as 0) of `what`, or -1.
    // An empty `what` is found at `start` when start <= length(), else -1.
    long find(const I18NString& what, long start = 0) const;
    long find(char32_t codePoint, long start = 0) const;
    // Last index at or before `start` (-1, any negative: from the end) of `what`, or -1.
    // An empty `what` from the end is found at length().
    long rfind(const I18NString& what, long start = -1) const;
    long rfind(char32_t codePoint, long start = -1) const;
    // First index at or after `start` of any code point of `set`, or -1 (also for an
    // empty set).
    long findFirstOf(const I18NString& set, long start = 0) const;

    // Inserts before `index` (clamped to the length).
    I18NString& insert(long index, const I18NString& text);
    // Replaces `count` code points from `index` (count -1, any negative, or past the end: to
    // the end). `index` is clamped to [0, length()]: past the end appends.
    I18NString& replace(long index, long count, const I18NString& text);
    // Removes `count` code points from `index` (count -1, any negative, or past the end: to
    // the end); an index past the end removes nothing.
    I18NString& erase(long index, long count = -1);
    // New code points are `fill`; BRX_ASSERT on a negative length.
    void resize(long newLength, char32_t fill = U'\0');
    void clear();

    // The non-const iterators drop the narrow caches: writes through them are seen by the
    // next c_str() as long as they happen before it (take a fresh begin() after a c_str()).
    iterator begin();
    iterator end();
    const_iterator begin() const { return f_text.begin(); }
    const_iterator end() const { return f_text.end(); }

    // NUL-terminated narrow text in the default encoding (UTF-8), valid until the string
    // changes or is destroyed.
    const char* c_str() const;
    // The same in a named encoding ("iso-8859-1", "UTF8", ...) or through a converter.
    // Code points the encoding cannot hold become its substitution character ('?' or 0x1A).
    // An unknown encoding name throws BrxException. Valid until the string changes or
    // another encoding is asked for.
    const char* c_str(const char* encoding) const;
    const char* c_str(const I18NConverter& converter) const;

    // The code points themselves (UTF-32), for code that works on raw code points. The
    // non-const form drops the narrow caches, like the non-const iterators.
    const std::u32string& codePoints() const { return f_text; }
    std::u32string& codePoints();

private:
    void changed() {
        f_narrowValid = false;
        f_otherValid = false;
    }

    std::u32string f_text;
    mutable std::string f_narrow; // UTF-8 cache of f_text
    mutable bool f_narrowValid = false;
    mutable std::string f_other;     // cache for the last other encoding asked for
    mutable std::string f_otherName; // the encoding name it was made for
    mutable bool f_otherValid = false;
};

BRX_EXPORT I18NString operator+(const I18NString& a, const I18NString& b);
BRX_EXPORT I18NString operator+(const I18NString& a, const char* b);
BRX_EXPORT I18NString operator+(const char* a, const I18NString& b);
BRX_EXPORT I18NString operator+(const I18NString& a, char32_t codePoint);
// Writes the UTF-8 text: for test failure messages and diagnostics.
BRX_EXPORT std::ostream& operator<<(std::ostream& out, const I18NString& s);

using I18NStringIterator = I18NString::iterator;
