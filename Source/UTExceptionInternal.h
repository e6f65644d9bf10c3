#pragma once
// The message bound to the library's own catalog, and the one way the library throws.
#include "AUTExport.h"
#include "UTException.h"

#include <BrxException.h>
#include <BrxMessage.h>
#include <I18NString.h>
#include <cstdint>

// A numbered message of the library's catalog "utmsgs". The catalog name is one string made
// on first use and never freed (the library's first initialization makes it).
class AUT_TESTABLE UTMessage : public BrxMessage {
public:
    explicit UTMessage(std::uint32_t messageNumber);
    ~UTMessage() override;
};

// Builds AUT_Exception(severity 1, errorCode), adds message `messageNumber` with p1..p6 (up to
// the first empty one), logs it and hurls it from (file, line) with the component "UT" and
// the tag "BRX_THROW". Call it through AUT_THROW.
[[noreturn]] AUT_TESTABLE void ThrowLibraryException(long errorCode,
                                                     std::uint32_t messageNumber,
                                                     const char* file,
                                                     int line,
                                                     const I18NString& p1 = I18NString(),
                                                     const I18NString& p2 = I18NString(),
                                                     const I18NString& p3 = I18NString(),
                                                     const I18NString& p4 = I18NString(),
                                                     const I18NString& p5 = I18NString(),
                                                     const I18NString& p6 = I18NString());

// Puts the location first so that AUT_THROW needs no empty variadic arguments (which the
// pedantic warnings reject in C++17).
[[noreturn]] inline void ThrowLibraryExceptionAt(const char* file,
                                                 int line,
                                                 long errorCode,
                                                 std::uint32_t messageNumber,
                                                 const I18NString& p1 = I18NString(),
                                                 const I18NString& p2 = I18NString(),
                                                 const I18NString& p3 = I18NString(),
                                                 const I18NString& p4 = I18NString(),
                                                 const I18NString& p5 = I18NString(),
                                                 const I18NString& p6 = I18NString()) {
    ThrowLibraryException(errorCode, messageNumber, file, line, p1, p2, p3, p4, p5, p6);
}

// AUT_THROW(errorCode, messageNumber[, p1 .. p6]) throws from the calling line, e.g.
// AUT_THROW(702, 0x7217A829, value, "1000", "4000000000").
#define AUT_THROW(...) ThrowLibraryExceptionAt(__FILE__, __LINE__, __VA_ARGS__)
