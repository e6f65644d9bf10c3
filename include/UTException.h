#pragma once
// The library's exception type, the two ways of adding messages to it, the logging of an
// exception, and the two component texts.
#include "AUTExport.h"

#include <BrxException.h>
#include <BrxMessage.h>
#include <I18NString.h>

// The one exception type that the library throws: the platform exception under the library's
// name. It adds no data; severity, code, messages and back trace live in the platform bases,
// so it can be caught as AUT_Exception, BrxException, BrxThrowable, BrxMessageSet or
// std::exception (what() gives the messages formatted for "en-us", one per line).
// Not shared between threads; adding messages takes no lock.
class AUT_EXPORT AUT_Exception : public BrxException {
public:
    explicit AUT_Exception(long errorCode);
    AUT_Exception(BrxSeverity severity, long errorCode);
    // The text becomes the first (literal) message; the error code is 0.
    explicit AUT_Exception(const char* text);
    AUT_Exception(BrxSeverity severity, const char* text);
    AUT_Exception(const AUT_Exception& other);
    // Assignment to itself does nothing.
    AUT_Exception& operator=(const AUT_Exception& other);
    ~AUT_Exception() override;

    // Appends a copy of the message; returns *this so that appends chain.
    AUT_Exception& operator<<(const BrxMessageBase& message);

    // A heap copy (same code, severity, messages and back trace); the caller owns it.
    BrxThrowable* clone() const override;
    // Adds (where, component, tag) to the back trace, then throws a copy as AUT_Exception.
    // Final, so that a call through AUT_Exception& is known not to return.
    [[noreturn]] void
    hurl(const BrxFileLocation& where, const char* component, const char* tag) final;
    // "AUT_Exception".
    const char* getThrowableName() const override;
};

// Adds the numbered message `messageNumber` of the library's catalog with the parameters
// p1.. up to the first empty one: ("a", "", "c") adds the one parameter "a".
AUT_EXPORT void UTAddMessages(AUT_Exception& exception,
                              long messageNumber,
                              const I18NString& p1,
                              const I18NString& p2,
                              const I18NString& p3,
                              const I18NString& p4,
                              const I18NString& p5,
                              const I18NString& p6);

// Adds `text` as a literal message, with p1..p6 substituted for "{0}".."{5}" and the other
// placeholders ("{6}".."{9}", "{A}".."{F}") removed: "x{0}y{1}{6}" with "1", "2" -> "x1y2".
AUT_EXPORT void UTAddMessages(AUT_Exception& exception,
                              const I18NString& text,
                              const I18NString& p1,
                              const I18NString& p2,
                              const I18NString& p3,
                              const I18NString& p4,
                              const I18NString& p5,
                              const I18NString& p6);

// Writes the exception's messages (formatted for "en-us") as one record of the "QueryEngine"
// log. Never throws: a failure to log is silent. Serialized by the exception log lock; a call
// made while an exception is being logged (also a nested one on the logging thread) writes
// nothing. `file` and `line` are not used.
AUT_EXPORT void AUT_LogException(BrxException& exception, const char* file, int line);

// The texts naming the library's error component and the system's: read from the catalog on
// the first call that succeeds (the library's first initialization) and kept until unload.
// A fetch that fails leaves the text unread and the next call tries again.
AUT_EXPORT I18NString AUT_GetErrorComponent();
AUT_EXPORT I18NString AUT_GetSystemErrorComponent();
