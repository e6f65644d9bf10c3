// Log objects (AUT_LogFile): the level filter, scope tracers and parameter packing. Records
// pass to the file sink or the framework sink beneath.
#include "UTLogFile.h"

#include "UTExceptionInternal.h"
#include "UTLibraryInternal.h"
#include "UTLogFileInternal.h"
#include "UTLogFileSinkInternal.h"
#include "UTLogFrameworkInternal.h"
#include "UTLogSettingsInternal.h"
#include "UTStringSupport.h"

#include <BrxThread.h>

namespace {

constexpr int kParameterCount = 16;

// The framework's path, out of line: the file sink's path is the one inlined into each Log.
__attribute__((noinline)) void SendToFramework(const I18NString& componentName,
                                               AUT_I_LogFile::ELogType logType,
                                               AUT_I_LogFile::ELogLevel level,
                                               const I18NString& message,
                                               const I18NString* const* parameters,
                                               int parameterCount,
                                               const I18NString* sessionId,
                                               const I18NString* requestId) {
    const I18NString& empty = AUT_GetEmptyString();
    I18NString text(message);
    if (parameterCount > 0) {
        const I18NString* p[kParameterCount];
        for (int i = 0; i < kParameterCount; ++i) {
            p[i] = i < parameterCount ? parameters[i] : &empty;
        }
        AUT_SimpleSubstituteText(text, *p[0], *p[1], *p[2], *p[3], *p[4], *p[5], *p[6], *p[7],
                                 *p[8], *p[9], *p[10], *p[11], *p[12], *p[13], *p[14], *p[15]);
    }
    BrxThreadGuard guard(AUTg_LogLock);
    FrameworkSendRecord(componentName, logType, level, text,
                        sessionId != nullptr ? *sessionId : empty,
                        requestId != nullptr ? *requestId : empty);
}

} // namespace

// Inlined into each Log: the caller returns from the record's write(2) through every frame
// between, and each costs it a cold fetch on this machine (tens of nanoseconds a page).
inline __attribute__((always_inline)) void
AUT_LogFile::LogRecord(ELogLevel level,
                       const I18NString& message,
                       const I18NString* const* parameters,
                       int parameterCount,
                       bool isStart,
                       const I18NString* sessionId,
                       const I18NString* requestId) {
    if (!AUTg_LogState.f_useFramework.load(std::memory_order_relaxed)) {
        // Substituting and encoding need no shared state: done before the logging lock.
        FileRecord record;
        ComposeRecordText(record.f_text, message, parameters, parameterCount);
        record.f_audit = f_logType == kLogTypeAudit;
        record.f_isStart = isStart;
        FileSinkWrite(record);
        return;
    }
    SendToFramework(f_componentName, f_logType, level, message, parameters, parameterCount,
                    sessionId, requestId);
}

// ---- Construction and destruction ----------------------------------------------------------

AUT_LogFile::AUT_LogFile(const I18NString& name) {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
}

AUT_LogFile::AUT_LogFile(const I18NString& name, ELogType type)
    : f_logType(type) {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         std::initializer_list<const I18NString*> parameters)
    : f_isScopeTracer(true)
    , f_tracerLevel(level)
    , f_entryMessage(entry)
    , f_exitMessage(exit) {
    int count = 0;
    for (const I18NString* parameter : parameters) {
        f_parameters[count++] = *parameter;
    }
    // Entry record and indentation under one hold of the lock: no other record comes between.
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
    if (!entry.empty() && level <= f_logLevel) {
        LogRecord(level, entry, parameters.begin(), count, false, nullptr, nullptr);
    }
    ++AUTg_FileSink.f_traceDepth;
}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit)
    : AUT_LogFile(name, level, entry, exit, {}) {}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1)
    : AUT_LogFile(name, level, entry, exit, {&p1}) {}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1,
                         const I18NString& p2)
    : AUT_LogFile(name, level, entry, exit, {&p1, &p2}) {}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1,
                         const I18NString& p2,
                         const I18NString& p3)
    : AUT_LogFile(name, level, entry, exit, {&p1, &p2, &p3}) {}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1,
                         const I18NString& p2,
                         const I18NString& p3,
                         const I18NString& p4)
    : AUT_LogFile(name, level, entry, exit, {&p1, &p2, &p3, &p4}) {}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1,
                         const I18NString& p2,
                         const I18NString& p3,
                         const I18NString& p4,
                         const I18NString& p5,
                         const I18NString& p6,
                         const I18NString& p7,
                         const I18NString& p8,
                         const I18NString& p9,
                         const I18NString& p10,
                         const I18NString& p11,
                         const I18NString& p12,
                         const I18NString& p13,
                         const I18NString& p14,
                         const I18NString& p15,
                         const I18NString& p16)
    : AUT_LogFile(name,
                  level,
                  entry,
                  exit,
                  {&p1, &p2, &p3, &p4, &p5, &p6, &p7, &p8, &p9, &p10, &p11, &p12, &p13, &p14, &p15,
                   &p16}) {}

AUT_LogFile::~AUT_LogFile() {
    try {
        BrxThreadGuard guard(AUTg_LogLock);
        // Lowered before the exit record, so that it stands where the entry record stood.
        if (f_isScopeTracer && AUTg_FileSink.f_traceDepth > 0) {
            --AUTg_FileSink.f_traceDepth;
        }
        if (!f_exitMessage.empty() && f_tracerLevel <= f_logLevel) {
            const I18NString* parameters[kParameterCount];
            for (int i = 0; i < kParameterCount; ++i) {
                parameters[i] = &f_parameters[i];
            }
            LogRecord(f_tracerLevel, f_exitMessage, parameters, kParameterCount, false, nullptr,
                      nullptr);
        }
    } catch (...) {
        // A destructor must not throw: a failed exit record was logged where it failed.
    }
}

void AUT_LogFile::Initialize(const I18NString& name) {
    LogState& state = AUTg_LogState;
    f_componentName = name;
    if (!state.f_initialized) {
        const bool framework = ConfiguredFrameworkMode();
        state.f_useFramework.store(framework, std::memory_order_relaxed);
        if (framework) {
            // File mode at one initialization and framework mode at a later one (a name reset
            // in between, no Terminate) must still find the framework maps.
            FrameworkCreateMaps();
        } else {
            FileSinkOpen();
        }
    }
    InitComponentLogging();
    SetLogLevel();
    state.f_initialized = true;
}

// ---- Levels --------------------------------------------------------------------------------

void AUT_LogFile::InitComponentLogging() {
    LogState& state = AUTg_LogState;
    if (state.f_traceLevels.find(f_componentName) != state.f_traceLevels.end()) {
        return;
    }
    if (state.f_useFramework.load(std::memory_order_relaxed)) {
        FrameworkInitComponent(f_componentName);
    }
    SyncTraceLevel();
    SyncAuditLevel();
}

void AUT_LogFile::SyncTraceLevel() {
    LogState& state = AUTg_LogState;
    state.f_traceLevels[f_componentName] = state.f_useFramework.load(std::memory_order_relaxed)
                                               ? FrameworkProbeTraceLevel(f_componentName)
                                               : ConfiguredTraceLevel(f_componentName);
}

void AUT_LogFile::SyncAuditLevel() {
    LogState& state = AUTg_LogState;
    state.f_auditLevels[f_componentName] = state.f_useFramework.load(std::memory_order_relaxed)
                                               ? FrameworkProbeAuditLevel(f_componentName)
                                               : ConfiguredAuditLevel(f_componentName);
}

void AUT_LogFile::SetLogLevel() {
    LogState& state = AUTg_LogState;
    if (f_logType == kLogTypeTrace) {
        f_logLevel = state.f_traceLevels[f_componentName];
    } else if (f_logType == kLogTypeAudit) {
        // Audit objects read their levels afresh, so a changed setting reaches the next one.
        SyncTraceLevel();
        SyncAuditLevel();
        f_logLevel = state.f_auditLevels[f_componentName];
    }
    // Objects of other types keep level 0: only the most important records.
}

AUT_I_LogFile::ELogLevel AUT_LogFile::GetLogLevel() {
    return f_logLevel;
}

// ---- Records -------------------------------------------------------------------------------
// Each Log tests the level before anything else: a filtered record costs a load and a compare.

AUT_LOG_PATH void AUT_LogFile::Log(ELogLevel level,
                                   const I18NString& message,
                                   const I18NString& p1,
                                   const I18NString& p2,
                                   const I18NString& p3,
                                   const I18NString& p4,
                                   const I18NString& p5,
                                   const I18NString& p6,
                                   const I18NString& p7,
                                   const I18NString& p8,
                                   const I18NString& p9,
                                   const I18NString& p10,
                                   const I18NString& p11,
                                   const I18NString& p12,
                                   const I18NString& p13,
                                   const I18NString& p14,
                                   const I18NString& p15,
                                   const I18NString& p16) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[kParameterCount] = {
        &p1, &p2, &p3, &p4, &p5, &p6, &p7, &p8, &p9, &p10, &p11, &p12, &p13, &p14, &p15, &p16};
    LogRecord(level, message, parameters, kParameterCount, false, nullptr, nullptr);
}

AUT_LOG_PATH void AUT_LogFile::Log(ELogLevel level,
                                   const I18NString& message,
                                   const I18NString& p1,
                                   const I18NString& p2,
                                   const I18NString& p3,
                                   const I18NString& p4) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[4] = {&p1, &p2, &p3, &p4};
    LogRecord(level, message, parameters, 4, false, nullptr, nullptr);
}

AUT_LOG_PATH void AUT_LogFile::Log(ELogLevel level,
                                   const I18NString& message,
                                   const I18NString& p1,
                                   const I18NString& p2,
                                   const I18NString& p3) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[3] = {&p1, &p2, &p3};
    LogRecord(level, message, parameters, 3, false, nullptr, nullptr);
}

AUT_LOG_PATH void AUT_LogFile::Log(ELogLevel level,
                                   const I18NString& message,
                                   const I18NString& p1,
                                   const I18NString& p2) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[2] = {&p1, &p2};
    LogRecord(level, message, parameters, 2, false, nullptr, nullptr);
}

AUT_LOG_PATH void
AUT_LogFile::Log(ELogLevel level, const I18NString& message, const I18NString& p1) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[1] = {&p1};
    LogRecord(level, message, parameters, 1, false, nullptr, nullptr);
}

AUT_LOG_PATH void AUT_LogFile::Log(ELogLevel level, const I18NString& message) {
    if (level > f_logLevel) {
        return;
    }
    LogRecord(level, message, nullptr, 0, false, nullptr, nullptr);
}

AUT_LOG_PATH void AUT_LogFile::AuditLog(ELogLevel level,
                                        bool isStart,
                                        const I18NString& sessionId,
                                        const I18NString& requestId,
                                        const I18NString& message) {
    if (level > f_logLevel) {
        return;
    }
    // The text as it stands: audit records take no parameters.
    LogRecord(level, message, nullptr, 0, isStart, &sessionId, &requestId);
}

// ---- Shared state --------------------------------------------------------------------------

void AUT_LogFile::ResetLineCountLimit() {
    BrxThreadGuard guard(AUTg_LogLock);
    AUTg_LogSettings.f_lineCountLimitRead = false;
}

void AUT_LogFile::ResetFileCountLimit() {
    BrxThreadGuard guard(AUTg_LogLock);
    AUTg_LogSettings.f_fileCountLimitRead = false;
}

void AUT_LogFile::ResetLogFileName() {
    BrxThreadGuard guard(AUTg_LogLock);
    AUTg_LogSettings.f_logFileNameRead = false;
    FileSinkReset();
    AUTg_LogState.f_initialized = false;
}

void AUT_LogFile::GetLogFileNames(std::vector<I18NString>& names, bool clearFirst) {
    BrxThreadGuard guard(AUTg_LogLock);
    FileSinkCreatedFiles(names, clearFirst);
}

void AUT_LogFile::Terminate() {
    BrxThreadGuard guard(AUTg_LogLock);
    ResetLogFileName();
    AUTg_LogState.f_traceLevels.clear();
    AUTg_LogState.f_auditLevels.clear();
    AUTg_LogSettings.f_lineCountLimitRead = false;
    AUTg_LogSettings.f_fileCountLimitRead = false;
    AUTg_FileSink.f_writeProcessId = false;
    FrameworkDeleteMaps();
}

// ---- Exception records ---------------------------------------------------------------------

void WriteExceptionRecord(const I18NString& entryText, const I18NString& formattedMessages) {
    // The logging lock always comes before the exception log lock: a thread that holds the
    // logging lock (a failing rotation) logs its exception under it. A caller that arrives
    // here holding only the exception log lock therefore lets go of it, with its busy flag,
    // while it waits for the logging lock, and takes both back in that order. The caller
    // holds the exception log lock once (a nested call never gets past the busy flag).
    const bool reorder =
        !AUTg_LogLock.isHeldByCurrentThread() && AUTg_ExceptionLogLock.isHeldByCurrentThread();
    if (reorder) {
        AUTg_ExceptionLogBusy = false;
        AUTg_ExceptionLogLock.unlock();
    }
    BrxThreadGuard logGuard(AUTg_LogLock);
    if (reorder) {
        AUTg_ExceptionLogLock.lock();
        AUTg_ExceptionLogBusy = true;
    }
    AUT_LogFile log("QueryEngine");
    log.Log(AUT_I_LogFile::kLogLevelTrace1, entryText, formattedMessages);
}
