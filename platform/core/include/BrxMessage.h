#pragma once
// Numbered messages of message catalogs, literal messages, message sets and message files.
// The catalog format, where catalogs are found and the locale fallback: messages/README.md.
#include "BrxExport.h"
#include "I18NString.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A message that can be formatted for a locale. `component` arguments are accepted for the
// callers' sake and unused; a null or empty locale means "en-us".
class BRX_EXPORT BrxMessageBase {
public:
    BrxMessageBase() = default;
    BrxMessageBase(const BrxMessageBase&) = default;
    BrxMessageBase& operator=(const BrxMessageBase&) = default;
    virtual ~BrxMessageBase();

    virtual BrxMessageBase* clone() const = 0;
    virtual const char* getClassName() const = 0;
    virtual void format(const char* component, const char* locale, I18NString& result) const = 0;
    // The formatted text preceded by `indent` blanks.
    virtual void
    toString(const char* component, const char* locale, I18NString& result, int indent) const;
    virtual int getSeverity() const { return f_severity; }
    virtual void setSeverity(int severity) { f_severity = severity; }
    // The catalog name ("utmsgs"); empty for literal messages.
    virtual const I18NString& getMsgFile() const { return f_msgFile; }

protected:
    virtual void setMsgFile(const I18NString& msgFile) { f_msgFile = msgFile; }

private:
    int f_severity = 0;
    I18NString f_msgFile;
};

// One parameter of a numbered message: fills the next placeholder "{0}".."{9}", "{A}".."{F}".
class BRX_EXPORT BrxMessageParm {
public:
    explicit BrxMessageParm(const I18NString& value)
        : f_value(value) {}
    const I18NString& getValue() const { return f_value; }

private:
    I18NString f_value;
};

// A message number with its parameters, without a catalog of its own.
class BRX_EXPORT BrxMessageComponents : public BrxMessageBase {
public:
    BrxMessageComponents() = default;
    explicit BrxMessageComponents(std::uint32_t messageNumber)
        : f_number(messageNumber) {}

    BrxMessageComponents& operator<<(const BrxMessageParm& parameter);
    // Selects another message; the parameters are kept.
    void setMessage(std::uint32_t messageNumber) { f_number = messageNumber; }
    std::uint32_t getMessageNumber() const { return f_number; }
    const std::vector<I18NString>& getParameters() const { return f_parameters; }

private:
    std::uint32_t f_number = 0;
    std::vector<I18NString> f_parameters;
};

// A numbered message of the catalog named by `msgFile` (case-insensitive: "utmsgs" and
// "UTmsgs" are one catalog). format() looks the catalog up for the locale, with fallback;
// a missing catalog or number formats to a text that names the number and shows the
// parameters, never an exception.
class BRX_EXPORT BrxMessage : public BrxMessageComponents {
public:
    BrxMessage(const I18NString& msgFile, std::uint32_t messageNumber);

    BrxMessageBase* clone() const override;
    const char* getClassName() const override;
    void format(const char* component, const char* locale, I18NString& result) const override;
};

// A literal text: formats to itself in every locale.
class BRX_EXPORT BrxMessageString : public BrxMessageBase {
public:
    explicit BrxMessageString(const I18NString& text)
        : f_text(text) {}

    BrxMessageBase* clone() const override;
    const char* getClassName() const override;
    void format(const char* component, const char* locale, I18NString& result) const override;

private:
    I18NString f_text;
};

// An opened message catalog, by its bare name ("UTmsgs"): reads each locale's catalog once,
// on the first format() for that locale, and keeps it for the object's life.
// setMessage() selects the message that format() formats. Not thread-safe: callers
// serialize selecting and formatting.
class BRX_EXPORT BrxMessageFile : public BrxMessage {
public:
    explicit BrxMessageFile(const I18NString& name);
    BrxMessageFile(const BrxMessageFile& other);
    ~BrxMessageFile() override;

    BrxMessageBase* clone() const override;
    const char* getClassName() const override;
    void format(const char* component, const char* locale, I18NString& result) const override;

    // How many catalog files this process has read so far (all objects): for tests and tools.
    static long catalogReadCount();

private:
    struct Cache;
    std::unique_ptr<Cache> f_cache;
};

// An ordered set of messages, owned by copy. format() joins the texts with "\n".
class BRX_EXPORT BrxMessageSet {
public:
    BrxMessageSet() = default;
    BrxMessageSet(const BrxMessageSet& other);
    BrxMessageSet& operator=(const BrxMessageSet& other);
    virtual ~BrxMessageSet();

    void addMessage(const BrxMessageBase& message);
    std::size_t messageCount() const { return f_messages.size(); }
    const BrxMessageBase& messageAt(std::size_t index) const { return *f_messages.at(index); }
    void format(const char* component, const char* locale, I18NString& result) const;

private:
    std::vector<std::unique_ptr<BrxMessageBase>> f_messages;
};

// Registers a built-in copy of the catalog `name` for `locale` (null or "" for the catalog
// without locale): catalog text in the format of messages/README.md, copied. A catalog file
// found on disk for the same name and locale takes precedence. Libraries call this from their
// load-time constructors so that an installation without its messages directory still has
// its texts. A later registration of the same name and locale replaces the earlier one.
BRX_EXPORT void
brxRegisterBuiltInCatalog(const char* name, const char* locale, const char* data, std::size_t size);
