#pragma once
// The platform's exceptions: throwables with severity, code and back trace, exceptions that
// carry numbered messages, and the assertion error behind BRX_ASSERT.
#include "BrxExport.h"
#include "BrxMessage.h"

#include <exception>
#include <string>
#include <vector>

// Severity of an exception; the library uses 1. Other values are the caller's to define.
class BRX_EXPORT BrxSeverity {
public:
    constexpr explicit BrxSeverity(int value = 0)
        : f_value(value) {}
    constexpr int value() const { return f_value; }
    constexpr bool operator==(BrxSeverity other) const { return f_value == other.f_value; }
    constexpr bool operator!=(BrxSeverity other) const { return f_value != other.f_value; }

private:
    int f_value;
};

// A place in the source: file name (relative to the source tree) and line.
class BRX_EXPORT BrxFileLocation {
public:
    BrxFileLocation(const char* file, int line)
        : f_file(file ? file : "")
        , f_line(line) {}
    const char* getFile() const { return f_file; }
    int getLine() const { return f_line; }

private:
    const char* f_file; // a string literal: __FILE__ or a unit's own name
    int f_line;
};

// One hop of a throwable's way to the caller, added by every hurl.
struct BRX_EXPORT BrxBackTraceEntry {
    std::string file;
    int line = 0;
    std::string component; // empty when hurled with a null component
    std::string tag;
};

// Base of everything the platform throws. Derives from std::exception, so generic handlers
// catch it; what() names the throwable and its code (BrxException: its formatted messages).
class BRX_EXPORT BrxThrowable : public std::exception {
public:
    BrxThrowable();
    explicit BrxThrowable(long errorCode);
    BrxThrowable(BrxSeverity severity, long errorCode);
    BrxThrowable(const BrxThrowable& other);
    BrxThrowable& operator=(const BrxThrowable& other);
    ~BrxThrowable() override;

    long getErrorCode() const { return f_errorCode; }
    BrxSeverity getSeverity() const { return f_severity; }
    void addBackTrace(const BrxFileLocation& where, const char* component, const char* tag);
    const std::vector<BrxBackTraceEntry>& getBackTrace() const { return f_backTrace; }

    // A heap copy of the most derived type; the caller owns it.
    virtual BrxThrowable* clone() const;
    // Adds the location to the back trace, then throws a copy of the most derived type.
    [[noreturn]] virtual void
    hurl(const BrxFileLocation& where, const char* component, const char* tag);
    virtual const char* getThrowableName() const;
    const char* what() const noexcept override;

protected:
    mutable std::string f_what; // built on demand by what()

private:
    long f_errorCode = 0;
    BrxSeverity f_severity;
    std::vector<BrxBackTraceEntry> f_backTrace;
};

// A throwable with an ordered set of messages. Copies copy the messages.
class BRX_EXPORT BrxException : public BrxThrowable, public BrxMessageSet {
public:
    explicit BrxException(long errorCode);
    BrxException(BrxSeverity severity, long errorCode);
    // A literal text becomes the first message; the error code is 0.
    explicit BrxException(const char* text);
    BrxException(BrxSeverity severity, const char* text);
    BrxException(const BrxException& other);
    BrxException& operator=(const BrxException& other);
    ~BrxException() override;

    // Appends a copy of the message.
    BrxException& operator<<(const BrxMessageBase& message);

    BrxThrowable* clone() const override;
    [[noreturn]] void
    hurl(const BrxFileLocation& where, const char* component, const char* tag) override;
    // All messages formatted for "en-us", one per line.
    virtual I18NString getMessage();
    const char* getThrowableName() const override;
    virtual I18NString toString();
    I18NString getMessage() const;
    // Name, code, severity, messages and back trace, each line indented by `indent` blanks.
    virtual void
    toString(const char* component, const char* locale, I18NString& result, int indent) const;
    // The formatted messages (for "en-us"), or the throwable's name when there are none.
    const char* what() const noexcept override;
};

// The consistency-check failure: a code and the text of the failed check.
class BRX_EXPORT BrxAssertError : public BrxException {
public:
    BrxAssertError(long errorCode, const char* text);
    BrxThrowable* clone() const override;
    [[noreturn]] void
    hurl(const BrxFileLocation& where, const char* component, const char* tag) override;
    const char* getThrowableName() const override;
    // The text as given: "BRX_ASSERT(expression);".
    const std::string& getText() const { return f_text; }
    const char* what() const noexcept override { return f_text.c_str(); }

private:
    std::string f_text;
};

// Always on; throws BrxAssertError (code 0, text "BRX_ASSERT(<expression>);", null component,
// tag "BRX_THROW") instead of aborting, so that callers and tests see a broken precondition.
#define BRX_ASSERT(expression)                                                                     \
    do {                                                                                           \
        if (!(expression)) {                                                                       \
            BrxAssertError(0, "BRX_ASSERT(" #expression ");")                                      \
                .hurl(BrxFileLocation(__FILE__, __LINE__), nullptr, "BRX_THROW");                  \
        }                                                                                          \
    } while (false)

// The named form: the text is the macro call as written, e.g.
// BRX_ASSERT_NAMED(false, "Unable to load the resource file.");
#define BRX_ASSERT_NAMED(expression, name)                                                         \
    do {                                                                                           \
        if (!(expression)) {                                                                       \
            BrxAssertError(0, "BRX_ASSERT_NAMED(" #expression ", " #name ");")                     \
                .hurl(BrxFileLocation(__FILE__, __LINE__), nullptr, "BRX_THROW");                  \
        }                                                                                          \
    } while (false)
