#include "BrxException.h"

#include <string>

namespace {

// Appends `text` with every line preceded by `indent` blanks.
void appendIndented(I18NString& result, const I18NString& text, int indent) {
    const I18NString blanks(U' ', indent > 0 ? indent : 0);
    result += blanks;
    for (char32_t c : text.codePoints()) {
        result += c;
        if (c == U'\n') {
            result += blanks;
        }
    }
}

} // namespace

// ---- BrxThrowable --------------------------------------------------------------------------

BrxThrowable::BrxThrowable() = default;

BrxThrowable::BrxThrowable(long errorCode)
    : f_errorCode(errorCode) {}

BrxThrowable::BrxThrowable(BrxSeverity severity, long errorCode)
    : f_errorCode(errorCode)
    , f_severity(severity) {}

// The cached what() text belongs to the object it was built for, so copies start without it.
BrxThrowable::BrxThrowable(const BrxThrowable& other)
    : std::exception(other)
    , f_errorCode(other.f_errorCode)
    , f_severity(other.f_severity)
    , f_backTrace(other.f_backTrace) {}

BrxThrowable& BrxThrowable::operator=(const BrxThrowable& other) {
    if (this != &other) {
        f_errorCode = other.f_errorCode;
        f_severity = other.f_severity;
        f_backTrace = other.f_backTrace;
        f_what.clear();
    }
    return *this;
}

BrxThrowable::~BrxThrowable() = default;

void BrxThrowable::addBackTrace(const BrxFileLocation& where,
                                const char* component,
                                const char* tag) {
    BrxBackTraceEntry entry;
    entry.file = where.getFile();
    entry.line = where.getLine();
    entry.component = component ? component : "";
    entry.tag = tag ? tag : "";
    f_backTrace.push_back(std::move(entry));
}

BrxThrowable* BrxThrowable::clone() const {
    return new BrxThrowable(*this);
}

void BrxThrowable::hurl(const BrxFileLocation& where, const char* component, const char* tag) {
    addBackTrace(where, component, tag);
    throw BrxThrowable(*this);
}

const char* BrxThrowable::getThrowableName() const {
    return "BrxThrowable";
}

const char* BrxThrowable::what() const noexcept {
    try {
        f_what =
            std::string(getThrowableName()) + " (error code " + std::to_string(f_errorCode) + ")";
        return f_what.c_str();
    } catch (...) {
        return getThrowableName();
    }
}

// ---- BrxException --------------------------------------------------------------------------

BrxException::BrxException(long errorCode)
    : BrxThrowable(errorCode) {}

BrxException::BrxException(BrxSeverity severity, long errorCode)
    : BrxThrowable(severity, errorCode) {}

BrxException::BrxException(const char* text)
    : BrxThrowable(0) {
    addMessage(BrxMessageString(I18NString(text)));
}

BrxException::BrxException(BrxSeverity severity, const char* text)
    : BrxThrowable(severity, 0) {
    addMessage(BrxMessageString(I18NString(text)));
}

BrxException::BrxException(const BrxException& other) = default;

BrxException& BrxException::operator=(const BrxException& other) {
    if (this != &other) {
        BrxThrowable::operator=(other);
        BrxMessageSet::operator=(other);
    }
    return *this;
}

BrxException::~BrxException() = default;

BrxException& BrxException::operator<<(const BrxMessageBase& message) {
    addMessage(message);
    return *this;
}

BrxThrowable* BrxException::clone() const {
    return new BrxException(*this);
}

void BrxException::hurl(const BrxFileLocation& where, const char* component, const char* tag) {
    addBackTrace(where, component, tag);
    throw BrxException(*this);
}

I18NString BrxException::getMessage() {
    return static_cast<const BrxException&>(*this).getMessage();
}

const char* BrxException::getThrowableName() const {
    return "BrxException";
}

I18NString BrxException::toString() {
    I18NString result;
    toString(nullptr, "en-us", result, 0);
    return result;
}

I18NString BrxException::getMessage() const {
    I18NString result;
    format(nullptr, "en-us", result);
    return result;
}

void BrxException::toString(const char* component,
                            const char* locale,
                            I18NString& result,
                            int indent) const {
    I18NString text(U' ', indent > 0 ? indent : 0);
    text += getThrowableName();
    text += ": error code ";
    text += std::to_string(getErrorCode()).c_str();
    text += ", severity ";
    text += std::to_string(getSeverity().value()).c_str();
    I18NString message;
    for (std::size_t i = 0; i < messageCount(); ++i) {
        messageAt(i).format(component, locale, message);
        text += U'\n';
        appendIndented(text, message, indent + 2);
    }
    for (const BrxBackTraceEntry& entry : getBackTrace()) {
        std::string hop = "at " + entry.file + ":" + std::to_string(entry.line) + " (" +
                          (entry.component.empty() ? "-" : entry.component) + ", " + entry.tag +
                          ")";
        text += U'\n';
        appendIndented(text, I18NString(hop.c_str()), indent + 2);
    }
    result = std::move(text);
}

const char* BrxException::what() const noexcept {
    try {
        if (messageCount() == 0) {
            return getThrowableName();
        }
        f_what = getMessage().c_str();
        return f_what.c_str();
    } catch (...) {
        return getThrowableName();
    }
}

// ---- BrxAssertError ------------------------------------------------------------------------

BrxAssertError::BrxAssertError(long errorCode, const char* text)
    : BrxException(errorCode)
    , f_text(text ? text : "") {
    // Handlers that only know BrxException still see the failed check in its messages.
    addMessage(BrxMessageString(I18NString(f_text.c_str())));
}

BrxThrowable* BrxAssertError::clone() const {
    return new BrxAssertError(*this);
}

void BrxAssertError::hurl(const BrxFileLocation& where, const char* component, const char* tag) {
    addBackTrace(where, component, tag);
    throw BrxAssertError(*this);
}

const char* BrxAssertError::getThrowableName() const {
    return "BrxAssertError";
}
