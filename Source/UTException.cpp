#include "UTException.h"

#include "UTExceptionInternal.h"
#include "UTLibraryInternal.h"
#include "UTResourceAccess.h"
#include "UTStringSupport.h"

#include <BrxThread.h>
#include <cstdint>

namespace {

constexpr std::uint32_t kErrorComponentMessage = 0xF7C24AC5;
constexpr std::uint32_t kSystemErrorComponentMessage = 0xF7C6F7DC;
constexpr std::uint32_t kExceptionLogEntryMessage = 0x721A0CA1;

// Made once, never freed: every UTMessage refers to it, also from statics destroyed late.
const I18NString& GetMessageFileName() {
    static const I18NString* name = new I18NString("utmsgs");
    return *name;
}

} // namespace

// ---- AUT_Exception -------------------------------------------------------------------------

AUT_Exception::AUT_Exception(long errorCode)
    : BrxException(errorCode) {}

AUT_Exception::AUT_Exception(BrxSeverity severity, long errorCode)
    : BrxException(severity, errorCode) {}

AUT_Exception::AUT_Exception(const char* text)
    : BrxException(text) {}

AUT_Exception::AUT_Exception(BrxSeverity severity, const char* text)
    : BrxException(severity, text) {}

AUT_Exception::AUT_Exception(const AUT_Exception& other) = default;

AUT_Exception& AUT_Exception::operator=(const AUT_Exception& other) {
    if (this != &other) {
        BrxException::operator=(other);
    }
    return *this;
}

AUT_Exception::~AUT_Exception() = default;

AUT_Exception& AUT_Exception::operator<<(const BrxMessageBase& message) {
    BrxException::operator<<(message);
    return *this;
}

BrxThrowable* AUT_Exception::clone() const {
    return new AUT_Exception(*this);
}

void AUT_Exception::hurl(const BrxFileLocation& where, const char* component, const char* tag) {
    addBackTrace(where, component, tag);
    throw AUT_Exception(*this);
}

const char* AUT_Exception::getThrowableName() const {
    return "AUT_Exception";
}

// ---- Messages ------------------------------------------------------------------------------

UTMessage::UTMessage(std::uint32_t messageNumber)
    : BrxMessage(GetMessageFileName(), messageNumber) {}

UTMessage::~UTMessage() = default;

void UTAddMessages(AUT_Exception& exception,
                   long messageNumber,
                   const I18NString& p1,
                   const I18NString& p2,
                   const I18NString& p3,
                   const I18NString& p4,
                   const I18NString& p5,
                   const I18NString& p6) {
    UTMessage message(static_cast<std::uint32_t>(messageNumber));
    for (const I18NString* parameter : {&p1, &p2, &p3, &p4, &p5, &p6}) {
        // Parameters fill the placeholders in order, so one missing ends the list.
        if (parameter->empty()) {
            break;
        }
        message << BrxMessageParm(*parameter);
    }
    exception.addMessage(message);
}

void UTAddMessages(AUT_Exception& exception,
                   const I18NString& text,
                   const I18NString& p1,
                   const I18NString& p2,
                   const I18NString& p3,
                   const I18NString& p4,
                   const I18NString& p5,
                   const I18NString& p6) {
    I18NString literal(text);
    const I18NString& none = AUT_GetEmptyString();
    AUT_SimpleSubstituteText(literal, p1, p2, p3, p4, p5, p6, none, none, none, none, none, none,
                             none, none, none, none);
    exception.addMessage(BrxMessageString(literal));
}

// ---- Logging -------------------------------------------------------------------------------

void AUT_LogException(BrxException& exception, const char* /*file*/, int /*line*/) {
    BrxThreadGuard guard(AUTg_ExceptionLogLock);
    // Logging may itself fail and throw; that exception would be logged from inside this
    // call, so the busy flag drops it instead of recursing.
    if (AUTg_ExceptionLogBusy) {
        return;
    }
    AUTg_ExceptionLogBusy = true;
    try {
        I18NString formatted;
        exception.format(nullptr, "en-us", formatted);
        WriteExceptionRecord(AUT_ResourceGetString(kExceptionLogEntryMessage), formatted);
    } catch (...) {
        // The caller is about to throw its own exception; a failure to log it must not
        // replace that exception, so it is dropped.
    }
    AUTg_ExceptionLogBusy = false;
}

[[noreturn]] void ThrowLibraryException(long errorCode,
                                        std::uint32_t messageNumber,
                                        const char* file,
                                        int line,
                                        const I18NString& p1,
                                        const I18NString& p2,
                                        const I18NString& p3,
                                        const I18NString& p4,
                                        const I18NString& p5,
                                        const I18NString& p6) {
    AUT_Exception exception(BrxSeverity(1), errorCode);
    UTAddMessages(exception, static_cast<long>(messageNumber), p1, p2, p3, p4, p5, p6);
    AUT_LogException(exception, file, line);
    exception.hurl(BrxFileLocation(file, line), "UT", "BRX_THROW");
}

// ---- Component texts -----------------------------------------------------------------------

namespace {

// Read once; a fetch that throws leaves `loaded` clear so the next call tries again.
I18NString CachedText(I18NString& text, bool& loaded, std::uint32_t messageNumber) {
    if (!loaded) {
        text = AUT_ResourceGetString(messageNumber);
        loaded = true;
    }
    return text;
}

} // namespace

I18NString AUT_GetErrorComponent() {
    static I18NString text;
    static bool loaded = false;
    return CachedText(text, loaded, kErrorComponentMessage);
}

I18NString AUT_GetSystemErrorComponent() {
    static I18NString text;
    static bool loaded = false;
    return CachedText(text, loaded, kSystemErrorComponentMessage);
}
