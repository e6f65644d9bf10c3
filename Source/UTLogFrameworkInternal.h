#pragma once
// The framework branch of the log file writer: per-component loggers and reusable records of
// the platform's logging framework, the level probes, and sending one record. All calls run
// with AUTg_LogLock held.
// The loggers belong to the framework and live until the process ends; the record objects
// are the library's and go with FrameworkDeleteMaps.
#include "UTI_LogFile.h"

#include <I18NString.h>

struct FrameworkLogState; // UTLogFramework.cpp
// The framework branch's per-component state, null until the first framework-mode object;
// guarded by AUTg_LogLock. Defined in UTLibraryStatics.cpp.
extern FrameworkLogState* AUTg_FrameworkLog;

// "Trace." + key and "Audit.RTUsage." + key.
I18NString FrameworkTraceLoggerName(const I18NString& componentName);
I18NString FrameworkAuditLoggerName(const I18NString& componentName);

// The framework level of each ELogLevel 0..17 (higher is more important).
extern const long kFrameworkLevels[18];

// Creates the per-component framework maps unless they exist.
void FrameworkCreateMaps();
// Deletes the record objects and the maps; the loggers belong to the framework.
void FrameworkDeleteMaps();
// Sets up the component's trace and audit loggers and their reusable records (once).
void FrameworkInitComponent(const I18NString& componentName);
// The component's trace level (0..11) and audit level (12..17) as its loggers take records.
AUT_I_LogFile::ELogLevel FrameworkProbeTraceLevel(const I18NString& componentName);
AUT_I_LogFile::ELogLevel FrameworkProbeAuditLevel(const I18NString& componentName);
// Fills the component's trace (or audit) record and sends it; other types send nothing.
void FrameworkSendRecord(const I18NString& componentName,
                         AUT_I_LogFile::ELogType type,
                         AUT_I_LogFile::ELogLevel level,
                         const I18NString& text,
                         const I18NString& sessionId,
                         const I18NString& requestId);
