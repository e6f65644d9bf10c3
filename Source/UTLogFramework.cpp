// The framework branch of the log file writer (see UTLogFrameworkInternal.h).
#include "UTLogFileInternal.h"
#include "UTLogFrameworkInternal.h"

#include <climits>
#include <map>

// What the library keeps per component for the framework: the names its loggers go by. The
// framework's logger handles and the reusable record objects join them with the framework
// layer.
struct FrameworkComponent {
    I18NString f_traceLoggerName;
    I18NString f_auditLoggerName;
};

struct FrameworkLogState {
    std::map<I18NString, FrameworkComponent> f_components;
};

const long kFrameworkLevels[18] = {INT_MAX, 50000, 30000, 20000, 10000, 10000,
                                   10000,   10000, 10000, 10000, 10000, INT_MIN,
                                   INT_MAX, 50000, 40000, 30000, 20000, 10000};

I18NString FrameworkKey(const I18NString& componentName) {
    return componentName == "QueryEngine" ? I18NString("Orq") : componentName;
}

I18NString FrameworkTraceLoggerName(const I18NString& componentName) {
    return "Trace." + FrameworkKey(componentName);
}

I18NString FrameworkAuditLoggerName(const I18NString& componentName) {
    return "Audit.RTUsage." + FrameworkKey(componentName);
}

void FrameworkCreateMaps() {
    if (AUTg_LogState.f_framework == nullptr) {
        AUTg_LogState.f_framework = new FrameworkLogState();
    }
}

void FrameworkDeleteMaps() {
    delete AUTg_LogState.f_framework;
    AUTg_LogState.f_framework = nullptr;
}

void FrameworkInitComponent(const I18NString& componentName) {
    FrameworkCreateMaps();
    auto& components = AUTg_LogState.f_framework->f_components;
    if (components.find(componentName) == components.end()) {
        components.emplace(componentName,
                           FrameworkComponent{FrameworkTraceLoggerName(componentName),
                                              FrameworkAuditLoggerName(componentName)});
    }
}

// Without the framework's answers the probes give what file mode reads, so a component logs
// at the same levels in both modes.
AUT_I_LogFile::ELogLevel FrameworkProbeTraceLevel(const I18NString& componentName) {
    return ConfiguredTraceLevel(componentName);
}

AUT_I_LogFile::ELogLevel FrameworkProbeAuditLevel(const I18NString& componentName) {
    return ConfiguredAuditLevel(componentName);
}

void FrameworkSendRecord(const I18NString& /*componentName*/,
                         AUT_I_LogFile::ELogType /*type*/,
                         AUT_I_LogFile::ELogLevel /*level*/,
                         const I18NString& /*text*/,
                         const I18NString& /*sessionId*/,
                         const I18NString& /*requestId*/) {
    // No framework to receive it yet: the record is dropped, as the framework drops records
    // that no appender takes.
}
