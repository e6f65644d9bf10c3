#pragma once
// The logging settings of section "Logging" as the writer reads them: limits, the log file
// name, framework or file mode and the component levels, with what it keeps of them between
// initializations. Below the log objects and both sinks; only the configuration store's
// public interface beneath it.
#include "UTI_LogFile.h"

#include <I18NString.h>
#include <cstdint>

// The ranges the limits are clamped to when read and checked against when set.
constexpr unsigned long kLineCountMinimum = 1000;
constexpr unsigned long kLineCountMaximum = 4000000000UL;
constexpr unsigned long kLineCountDefault = 10000;
constexpr unsigned long kFileCountMinimum = 100;
constexpr unsigned long kFileCountMaximum = 10000;

// What the writer keeps of the settings; guarded by AUTg_LogLock. A cleared "read" flag makes
// the next full initialization read the value again.
struct LogSettingsCache {
    std::uint32_t f_lineCountLimit = 0;
    bool f_lineCountLimitRead = false;
    std::uint32_t f_fileCountLimit = 0;
    bool f_fileCountLimitRead = false;
    I18NString f_logFileName;
    bool f_logFileNameRead = false;
};

// Defined at its place in the library's load order (UTLibraryStatics.cpp).
extern LogSettingsCache AUTg_LogSettings;

// The cached limits and name, read when their flag is clear. Caller holds AUTg_LogLock.
std::uint32_t CachedLineCountLimit();
std::uint32_t CachedFileCountLimit();
const I18NString& CachedLogFileName();

// "UseIPFLogging" (default 1): records go to the framework rather than to the log file.
bool ConfiguredFrameworkMode();
// The component's levels as the section gives them: trace level from the entry named like the
// component (default 1, stored unchanged); audit level from the framework key + "AuditLevel"
// (default 12; any other value v gives 12 + v). Need an initialized library.
AUT_I_LogFile::ELogLevel ConfiguredTraceLevel(const I18NString& componentName);
AUT_I_LogFile::ELogLevel ConfiguredAuditLevel(const I18NString& componentName);

// The framework's name of a component: "Orq" for "QueryEngine", else the name itself.
I18NString FrameworkKey(const I18NString& componentName);

// Error 704, message 0x7212F1B2 with the name: a log file name that cannot be used.
[[noreturn]] void ThrowInvalidLogFileName(const I18NString& name);

// Stores one entry of the section for the current user.
void StoreLogSetting(const I18NString& entry, unsigned long value);
void StoreLogSetting(const I18NString& entry, const I18NString& value);
