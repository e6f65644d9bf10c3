// The framework branch of the log file writer (see UTLogFrameworkInternal.h).
#include "UTLogFrameworkInternal.h"
#include "UTLogSettingsInternal.h"

#include <BrxThread.h>
#include <climits>
#include <map>
#include <memory>
#include <mrvipf2.h>

namespace {

// The framework's record number and trace action for records of the library.
constexpr long kRecordNumber = 827;
constexpr unsigned char kTraceAction = 3;

} // namespace

// What the library keeps per component for the framework: its two loggers (the framework's)
// and one reusable record for each (the library's).
struct FrameworkComponent {
    LogTypedLogger* f_traceLogger = nullptr;
    LogTypedLogger* f_auditLogger = nullptr;
    std::unique_ptr<LogTraceIndication> f_traceRecord;
    std::unique_ptr<LogAuditIndication> f_auditRecord;
};

struct FrameworkLogState {
    std::map<I18NString, FrameworkComponent> f_components;
};

const long kFrameworkLevels[18] = {INT_MAX, 50000, 30000, 20000, 10000, 10000,
                                   10000,   10000, 10000, 10000, 10000, INT_MIN,
                                   INT_MAX, 50000, 40000, 30000, 20000, 10000};

I18NString FrameworkTraceLoggerName(const I18NString& componentName) {
    return "Trace." + FrameworkKey(componentName);
}

I18NString FrameworkAuditLoggerName(const I18NString& componentName) {
    return "Audit.RTUsage." + FrameworkKey(componentName);
}

void FrameworkCreateMaps() {
    if (AUTg_FrameworkLog == nullptr) {
        AUTg_FrameworkLog = new FrameworkLogState();
    }
}

void FrameworkDeleteMaps() {
    delete AUTg_FrameworkLog;
    AUTg_FrameworkLog = nullptr;
}

namespace {

FrameworkComponent& Component(const I18NString& componentName) {
    FrameworkCreateMaps();
    return AUTg_FrameworkLog->f_components[componentName];
}

} // namespace

void FrameworkInitComponent(const I18NString& componentName) {
    FrameworkComponent& component = Component(componentName);
    if (component.f_traceRecord) {
        return;
    }
    const I18NString key = FrameworkKey(componentName);
    const I18NString zero("0");
    component.f_traceLogger = static_cast<LogTypedLogger*>(LogTypedLogger::getInstance(
        FrameworkTraceLoggerName(componentName), I18NString("LogTraceIndication")));
    component.f_traceRecord.reset(new LogTraceIndication(key, kRecordNumber));
    component.f_traceRecord->setSessionID(zero);
    component.f_traceRecord->setRequestID(zero);
    component.f_traceRecord->setSubRequestID(zero);
    component.f_traceRecord->setStepID(zero);
    component.f_traceRecord->setAction(kTraceAction);
    component.f_traceRecord->setObject(key);

    component.f_auditLogger = static_cast<LogTypedLogger*>(LogTypedLogger::getInstance(
        FrameworkAuditLoggerName(componentName), I18NString("LogAuditIndication")));
    component.f_auditRecord.reset(new LogAuditIndication(key, kRecordNumber));
    component.f_auditRecord->setSessionID(zero);
    component.f_auditRecord->setRequestID(zero);
    component.f_auditRecord->setSubRequestID(zero);
    component.f_auditRecord->setStepID(zero);
}

namespace {

// A framework level to ask a logger about, and the library level it gives when the logger
// takes it.
struct Probe {
    long frameworkLevel;
    AUT_I_LogFile::ELogLevel level;
};

// The level of the first probe the logger takes, in the order given; `none` when it takes none.
template <std::size_t N>
AUT_I_LogFile::ELogLevel
FirstTaken(const LogTypedLogger& logger, const Probe (&probes)[N], AUT_I_LogFile::ELogLevel none) {
    for (const Probe& probe : probes) {
        if (logger.isEnabled(probe.frameworkLevel) != 0) {
            return probe.level;
        }
    }
    return none;
}

} // namespace

AUT_I_LogFile::ELogLevel FrameworkProbeTraceLevel(const I18NString& componentName) {
    FrameworkInitComponent(componentName);
    // The lower the first level the logger takes, the more detail the component writes.
    static const Probe probes[] = {
        {INT_MIN, AUT_I_LogFile::kLogLevelTrace11}, {10000, AUT_I_LogFile::kLogLevelTrace10},
        {20000, AUT_I_LogFile::kLogLevelTrace3},    {30000, AUT_I_LogFile::kLogLevelTrace2},
        {40000, AUT_I_LogFile::kLogLevelTrace1},    {50000, AUT_I_LogFile::kLogLevelTrace1},
    };
    return FirstTaken(*Component(componentName).f_traceLogger, probes,
                      AUT_I_LogFile::kLogLevelTrace0);
}

AUT_I_LogFile::ELogLevel FrameworkProbeAuditLevel(const I18NString& componentName) {
    FrameworkInitComponent(componentName);
    static const Probe probes[] = {
        {INT_MIN, AUT_I_LogFile::kLogLevelAudit5}, {10000, AUT_I_LogFile::kLogLevelAudit5},
        {20000, AUT_I_LogFile::kLogLevelAudit4},   {30000, AUT_I_LogFile::kLogLevelAudit3},
        {40000, AUT_I_LogFile::kLogLevelAudit2},   {50000, AUT_I_LogFile::kLogLevelAudit1},
    };
    return FirstTaken(*Component(componentName).f_auditLogger, probes,
                      AUT_I_LogFile::kLogLevelAudit0);
}

void FrameworkSendRecord(const I18NString& componentName,
                         AUT_I_LogFile::ELogType type,
                         AUT_I_LogFile::ELogLevel level,
                         const I18NString& text,
                         const I18NString& sessionId,
                         const I18NString& requestId) {
    if (type != AUT_I_LogFile::kLogTypeTrace && type != AUT_I_LogFile::kLogTypeAudit) {
        return;
    }
    FrameworkInitComponent(componentName);
    FrameworkComponent& component = Component(componentName);
    if (type == AUT_I_LogFile::kLogTypeTrace) {
        LogTraceIndication& record = *component.f_traceRecord;
        record.setThreadID(BrxThread::currentThreadId());
        record.setLevel(kFrameworkLevels[level]);
        record.setMessage(text);
        component.f_traceLogger->log(&record);
        return;
    }
    LogAuditIndication& record = *component.f_auditRecord;
    record.setThreadID(BrxThread::currentThreadId());
    record.setLevel(kFrameworkLevels[level]);
    record.setSessionID(sessionId);
    record.setRequestID(requestId);
    record.setLogData(text);
    component.f_auditLogger->log(&record);
}
