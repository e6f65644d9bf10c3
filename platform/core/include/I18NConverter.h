#pragma once
// Character-set converters between narrow texts and code points (ICU converters).
#include "BrxExport.h"

#include <cstddef>
#include <string>

class I18NString;

// A converter for one encoding, by any name ICU knows ("iso-8859-1", "UTF8", "utf-8",
// "latin1"). Copyable; each copy owns its own ICU converter, so copies may be used on
// different threads, but one object is not thread-safe.
// An unknown, empty or null encoding name throws BrxException from the constructor, its
// message naming the encoding.
// UTF-8 and ISO-8859-1 convert without ICU: UTF-8 exactly as I18NString(const char*) does.
class BRX_EXPORT I18NConverter {
public:
    explicit I18NConverter(const char* encoding);
    I18NConverter(const I18NConverter& other);
    I18NConverter& operator=(const I18NConverter& other);
    ~I18NConverter();

    // The canonical ICU name of the encoding, e.g. "ISO-8859-1" or "UTF-8".
    const char* getName() const;

    // Whether every byte sequence of the text is well-formed in the encoding and maps to a
    // code point, so that toCodePoints substitutes nothing (a U+FFFD written as such is fine).
    bool isValid(const char* text, std::size_t length) const;
    // Narrow bytes to code points; malformed or unmappable bytes become U+FFFD.
    std::u32string toCodePoints(const char* text, std::size_t length) const;
    // Code points to narrow bytes; unmappable code points (and surrogates or values above
    // U+10FFFF) become the encoding's substitute: 0x1A in ISO-8859-1, U+FFFD in UTF-8.
    std::string fromCodePoints(const std::u32string& codePoints) const;
    // The same without allocating when `out` has the capacity: append to / replace `out`.
    void appendCodePoints(std::u32string& out, const char* text, std::size_t length) const;
    void toNarrow(const char32_t* begin, const char32_t* end, std::string& out) const;

private:
    struct Impl;
    Impl* f_impl;
};
