#pragma once
// Unicode character properties of single code points (ICU).
#include "BrxExport.h"

// Each takes a code point; values outside the Unicode range give false.
BRX_EXPORT bool I18NCodePointIsDigit(unsigned int codePoint);        // decimal digit (Nd)
BRX_EXPORT bool I18NCodePointIsLetter(unsigned int codePoint);       // any letter (L*)
BRX_EXPORT bool I18NCodePointIsSpace(unsigned int codePoint);        // white space
BRX_EXPORT bool I18NCodePointIsAlphanumeric(unsigned int codePoint); // letter or digit
BRX_EXPORT bool I18NCodePointIsPunctuation(unsigned int codePoint);  // punctuation (P*)
