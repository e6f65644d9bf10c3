#pragma once
// The log objects' process-wide state: the logging lock, the mode and the per-component
// levels. The sinks beneath keep their own (UTLogFileSinkInternal.h, UTLogFrameworkInternal.h),
// the settings theirs (UTLogSettingsInternal.h).
#include "AUTExport.h"
#include "UTLogFile.h"

#include <BrxThread.h>
#include <I18NString.h>
#include <atomic>
#include <map>
#include <vector>

using LogLevelMap = std::map<I18NString, AUT_I_LogFile::ELogLevel>;

// Guarded by AUTg_LogLock, except that Log reads the mode without it to choose the path.
struct LogState {
    std::atomic<bool> f_useFramework{true}; // records go to the framework, or to the log file
    bool f_initialized = false;             // the full initialization has run
    LogLevelMap f_traceLevels;              // per component
    LogLevelMap f_auditLevels;
};

// Defined at their place in the library's load order (UTLibraryStatics.cpp).
// The logging lock guards the log objects' state, the settings cache and both sinks.
extern AUT_TESTABLE BrxThreadCriticalSection AUTg_LogLock;
extern LogState AUTg_LogState;

// The steps of the log file family on names, for the library's tests and fuzzers, measured
// against the base name set last.
struct AUT_TESTABLE LogFileTestAccess {
    static I18NString GetDate();
    static I18NString GenerateSequenceString(unsigned long number);
    static unsigned long GetLastSequenceNumber(const I18NString& fileName);
    static void FilterExistingLogFileNames(std::vector<I18NString>& fileNames);
    static void SetLogBaseName(const I18NString& baseName);
};
