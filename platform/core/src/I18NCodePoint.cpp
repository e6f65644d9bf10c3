#include "I18NCodePoint.h"

#include <unicode/uchar.h>

namespace {

// ICU takes a signed UChar32: values from 0x80000000 on would wrap to negative ones.
bool inRange(unsigned int codePoint) {
    return codePoint <= 0x10FFFF;
}

} // namespace

bool I18NCodePointIsDigit(unsigned int codePoint) {
    return inRange(codePoint) && u_isdigit(static_cast<UChar32>(codePoint));
}

bool I18NCodePointIsLetter(unsigned int codePoint) {
    return inRange(codePoint) && u_isalpha(static_cast<UChar32>(codePoint));
}

bool I18NCodePointIsSpace(unsigned int codePoint) {
    return inRange(codePoint) && u_isUWhiteSpace(static_cast<UChar32>(codePoint));
}

bool I18NCodePointIsAlphanumeric(unsigned int codePoint) {
    return inRange(codePoint) && u_isalnum(static_cast<UChar32>(codePoint));
}

bool I18NCodePointIsPunctuation(unsigned int codePoint) {
    return inRange(codePoint) && u_ispunct(static_cast<UChar32>(codePoint));
}
