#pragma once
// The hierarchical logging framework: typed loggers by dotted name ("Trace.Orq",
// "Audit.RTUsage.Orq") and the trace and audit records sent to them.
//
// Configuration: the log4cxx file named by $ORQ_LOG_CONFIG (".xml": XML, anything else:
// properties), read on the first logger request; without it, or when it cannot be read,
// records of level 30000 and above go to standard error. Levels are the framework's numbers:
// higher is more important (10000 debug, 20000 info, 30000 warn, 40000 error, 50000 fatal).
// A record carries its thread, session, request, sub-request and step ids and its object as
// the context entries "thread", "session", "request", "subrequest", "step", "object", which a
// pattern layout prints with %X{name}.
#include <BrxExport.h>
#include <I18NString.h>

// Base of everything a logger accepts.
class BRX_EXPORT LOGObject {
public:
    virtual ~LOGObject();
};

// Base of every logger.
class BRX_EXPORT LOGLogger {
public:
    virtual ~LOGLogger();
};

// A record with its context ids and level; reusable: fields keep their values between sends.
class BRX_EXPORT LogIndication : public LOGObject {
public:
    LogIndication(const I18NString& name, long number);
    ~LogIndication() override;

    void setThreadID(unsigned long threadId) { f_threadId = threadId; }
    void setLevel(long level) { f_level = level; }
    void setSessionID(const I18NString& id) { f_sessionId = id; }
    void setRequestID(const I18NString& id) { f_requestId = id; }
    void setSubRequestID(const I18NString& id) { f_subRequestId = id; }
    void setStepID(const I18NString& id) { f_stepId = id; }

    const I18NString& getName() const { return f_name; }
    long getNumber() const { return f_number; }
    unsigned long getThreadID() const { return f_threadId; }
    long getLevel() const { return f_level; }
    const I18NString& getSessionID() const { return f_sessionId; }
    const I18NString& getRequestID() const { return f_requestId; }
    const I18NString& getSubRequestID() const { return f_subRequestId; }
    const I18NString& getStepID() const { return f_stepId; }
    // The record's text and the object it is about (empty for records without one).
    virtual const I18NString& getText() const = 0;
    virtual const I18NString& getObject() const;

private:
    I18NString f_name;
    long f_number;
    unsigned long f_threadId = 0;
    long f_level = 0;
    I18NString f_sessionId;
    I18NString f_requestId;
    I18NString f_subRequestId;
    I18NString f_stepId;
};

class BRX_EXPORT LogTraceIndication : public LogIndication {
public:
    LogTraceIndication(const I18NString& name, long number);

    void setAction(unsigned char action) { f_action = action; }
    void setObject(const I18NString& object) { f_object = object; }
    void setMessage(const I18NString& message) { f_message = message; }
    unsigned char getAction() const { return f_action; }
    const I18NString& getText() const override { return f_message; }
    const I18NString& getObject() const override { return f_object; }

private:
    unsigned char f_action = 0;
    I18NString f_object;
    I18NString f_message;
};

class BRX_EXPORT LogAuditIndication : public LogIndication {
public:
    LogAuditIndication(const I18NString& name, long number);

    void setLogData(const I18NString& data) { f_data = data; }
    const I18NString& getText() const override { return f_data; }

private:
    I18NString f_data;
};

// A logger of the framework, by dotted name. Loggers live until the process ends.
// Thread-safe: loggers may be asked and used from any thread.
class BRX_EXPORT LogTypedLogger : public LOGLogger {
public:
    // The one logger of that name; `typeName` names the record type it is given and is kept
    // only for diagnostics. Never null.
    static LOGLogger* getInstance(const I18NString& name, const I18NString& typeName);

    // Non-zero when the logger takes records of `level`.
    long isEnabled(long level) const;
    // Sends the record now, whatever the logger's level: callers filter before they send.
    // Records that are not LogIndication are ignored.
    void log(LOGObject* record);

    const I18NString& getName() const { return f_name; }
    ~LogTypedLogger() override;

private:
    LogTypedLogger(const I18NString& name, const I18NString& typeName);
    struct Impl;
    I18NString f_name;
    I18NString f_typeName;
    Impl* f_impl;
};

namespace LogFramework {
// Reads the configuration again ($ORQ_LOG_CONFIG or the default), replacing the current one.
BRX_EXPORT void configure();
// The file that configured the framework, or "" for the default.
BRX_EXPORT I18NString configurationFile();
} // namespace LogFramework
